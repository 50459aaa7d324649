// One HTTP/1.1 exchange with the adapter: the connection with its port search,
// the request, the read until the adapter closes, classification and scraping.
// Reading the answer is response_parsing.cpp's.
#include "web/http_exchange.h"

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
void appendText(char* buffer, size_t capacity, size_t* length, const char* text) {
    size_t room = capacity - 1 - *length;
    size_t n = std::strlen(text);
    if (n > room) n = room;
    std::memcpy(buffer + *length, text, n);
    *length += n;
    buffer[*length] = '\0';
}

}  // namespace

SocketHandle openDeviceConnection(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress,
                                  uint16_t devicePort, HttpOutcome* failure) {
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
        uint32_t port = static_cast<uint32_t>(firstLocalPort) + static_cast<uint32_t>(k);
        if (port > 0xffff) break;  // past the last port: no wrap to port 0 (any port)
        fillSockaddr(pcAddress, static_cast<uint16_t>(port), &address);
        bound = calls.bind(connection, &address) == 0;
    }
    if (!bound) {
        calls.close(connection);
        *failure = HttpOutcome::BindFailed;
        return kInvalidSocket;
    }

    // The adapter's address goes into the same socket address; the connect
    // waits as long as the system lets it.
    fillSockaddr(deviceAddress, devicePort, &address);
    if (calls.connect(connection, &address) != 0) {
        calls.close(connection);
        *failure = HttpOutcome::ConnectFailed;
        return kInvalidSocket;
    }
    return connection;
}

HttpResult httpGet(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress, uint16_t devicePort,
                   const char* path, char* buffer, int32_t size, DigestAuthState* credentials, DeviceInfo* info) {
    if (size < 0) size = 0;
    const size_t capacity = static_cast<size_t>(size) + 1;  // the buffer holds size + 1 bytes

    HttpOutcome failure = HttpOutcome::SocketFailed;
    SocketHandle connection = openDeviceConnection(pcAddress, firstLocalPort, deviceAddress, devicePort, &failure);
    if (connection == kInvalidSocket) return HttpResult{failure, 0};

    // The request is built in the buffer that later takes the answer.
    size_t length = 0;
    buffer[0] = '\0';
    appendText(buffer, capacity, &length, "GET ");
    appendText(buffer, capacity, &length, path);
    appendText(buffer, capacity, &length, " HTTP/1.1\r\n");
    appendText(buffer, capacity, &length, kHostLine);
    if (credentials->password[0] != '\0') {
        ++credentials->nc;
        length += static_cast<size_t>(buildAuthorizationHeader(credentials, buffer + length, capacity - length));
    }
    appendText(buffer, capacity, &length, "\r\n");

    // One send; a failed or short one shows in what the adapter answers.
    trace("%s", buffer);
    const SocketCalls& calls = socketCalls();
    (void)calls.send(connection, buffer, static_cast<int>(length));

    // Everything until the adapter closes, a receive fails or size bytes have
    // come; a NUL after each chunk. The request text goes first, so that an
    // answer of nothing is the empty text.
    int32_t received = 0;
    buffer[0] = '\0';
    while (received < size) {
        int got = calls.recv(connection, buffer + received, static_cast<int>(size - received));
        if (got <= 0) break;
        received += got;
        buffer[received] = '\0';
    }

    trace("recv done\n");
    trace("%s", buffer);
    trace("\n");

    // A challenge taken is not scraped.
    if (classifyResponse(buffer, credentials) == ResponseClass::ChallengeTaken) {
        calls.close(connection);
        return HttpResult{HttpOutcome::ChallengeTaken, received};
    }
    if (received > 0) scrapeDeviceInfo(buffer, info);
    calls.close(connection);
    return HttpResult{HttpOutcome::Received, received};
}

}  // namespace orb
