// One HTTP/1.1 exchange with the adapter: the connection with its port search,
// the request, the read until the adapter closes and its classification.
// Reading the answer is response_parsing.cpp's.
#include "web/http_exchange.h"

#include <cassert>
#include <cstring>

#include "platform/socket_address.h"
#include "base/trace.h"
#include "web/digest_auth.h"
#include "web/response_parsing.h"

namespace orb {

namespace {

constexpr const char* kHostLine = "Host: 192.168.2.110\r\n";

// Appends text to the request without passing the buffer's end; the request
// stays terminated.
void appendText(std::span<char> buffer, size_t* length, const char* text) {
    size_t room = buffer.size() - 1 - *length;
    size_t n = std::strlen(text);
    if (n > room) n = room;
    std::memcpy(buffer.data() + *length, text, n);
    *length += n;
    buffer[*length] = '\0';
}

}  // namespace

SocketHandle openDeviceConnection(const HttpRoute& route, HttpOutcome* failure) {
    const SocketCalls& calls = socketCalls();
    SocketHandle connection = calls.open(SocketType::Stream);
    if (connection == kInvalidSocket) {
        *failure = HttpOutcome::SocketFailed;
        return kInvalidSocket;
    }

    // A port whose exchange our side closed first (a time-out, Cancel) waits
    // out its TIME-WAIT for a minute: without this, a batch's runs would find
    // every port of the search taken after a hundred hung adapters. Runs of a
    // batch may then share a port at once, each connected to its own adapter.
    // Refused, the search goes on as before.
    (void)calls.allowAddressReuse(connection);

    // The port search binds the same socket, with the same socket address.
    sockaddr_in address;
    bool bound = false;
    for (int k = 0; k < kHttpLocalPortTries && !bound; ++k) {
        uint32_t port = static_cast<uint32_t>(route.pc.port) + static_cast<uint32_t>(k);
        if (port > 0xffff) break;  // past the last port: no wrap to port 0 (any port)
        fillSockaddr(route.pc.address, static_cast<uint16_t>(port), &address);
        bound = calls.bind(connection, &address) == 0;
    }
    if (!bound) {
        calls.close(connection);
        *failure = HttpOutcome::BindFailed;
        return kInvalidSocket;
    }

    // The adapter's address goes into the same socket address; the connect
    // waits as long as the system lets it.
    fillSockaddr(route.device.address, route.device.port, &address);
    if (calls.connect(connection, &address) != 0) {
        calls.close(connection);
        *failure = HttpOutcome::ConnectFailed;
        return kInvalidSocket;
    }
    return connection;
}

HttpResult httpGet(const HttpRoute& route, const char* path, std::span<char> buffer, DigestAuthState* credentials) {
    assert(!buffer.empty() && buffer.size() - 1 <= INT32_MAX);  // room for the NUL; the count fits the result
    const auto size = static_cast<int32_t>(buffer.size() - 1);  // the answer's most bytes

    HttpOutcome failure = HttpOutcome::SocketFailed;
    SocketHandle connection = openDeviceConnection(route, &failure);
    if (connection == kInvalidSocket) return HttpResult{failure, 0};

    // The request is built in the buffer that later takes the answer.
    size_t length = 0;
    buffer[0] = '\0';
    appendText(buffer, &length, "GET ");
    appendText(buffer, &length, path);
    appendText(buffer, &length, " HTTP/1.1\r\n");
    appendText(buffer, &length, kHostLine);
    if (credentials->password[0] != '\0') {
        ++credentials->nc;
        length += static_cast<size_t>(buildAuthorizationHeader(credentials, buffer.subspan(length)));
    }
    appendText(buffer, &length, "\r\n");

    // One send; a failed or short one shows in what the adapter answers.
    trace("%s", buffer.data());
    const SocketCalls& calls = socketCalls();
    (void)calls.send(connection, buffer.data(), static_cast<int>(length));

    // Everything until the adapter closes, a receive fails or size bytes have
    // come; a NUL after each chunk. The request text goes first, so that an
    // answer of nothing is the empty text.
    int32_t received = 0;
    buffer[0] = '\0';
    while (received < size) {
        int got = calls.recv(connection, buffer.data() + received, static_cast<int>(size - received));
        if (got <= 0) break;
        received += got;
        buffer[received] = '\0';
    }

    trace("recv done\n");
    trace("%s", buffer.data());
    trace("\n");

    ResponseClass answer = classifyResponse(buffer.data(), credentials);
    calls.close(connection);
    return HttpResult{answer == ResponseClass::ChallengeTaken ? HttpOutcome::ChallengeTaken : HttpOutcome::Received,
                      received};
}

}  // namespace orb
