// One HTTP/1.1 exchange with the adapter: the connection with its port search,
// the request, the read until the adapter closes, classification and scraping.
// Response parsing lives in response_parsing.cpp.
#include "web/http_exchange.h"

#include <cstring>

#include "upgrade/error_box.h"
#include "upgrade/run_state.h"
#include "base/trace.h"
#include "web/digest_auth.h"
#include "platform/socket_address.h"

namespace orb {

namespace {

constexpr int kPortSearchSteps = 101;  // first local port .. first + 100
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
                                  uint16_t devicePort) {
    // 1. The socket.
    SocketHandle connection = ::socket(AF_INET, SOCK_STREAM, 0);
    if (connection == kInvalidSocket) failRun("Upgrade Failed: Can't open HTTP socket");

    // 2. The port search, on the same socket and the same socket address.
    sockaddr_in address;
    bool bound = false;
    for (int k = 0; k < kPortSearchSteps && !bound; ++k) {
        uint32_t port = static_cast<uint32_t>(firstLocalPort) + static_cast<uint32_t>(k);
        if (port > 0xffff) break;  // past the last port: no wrap to port 0 (any port)
        fillSockaddr(pcAddress, static_cast<uint16_t>(port), &address);
        bound = ::bind(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    if (!bound) failRun("Upgrade Failed: Can't bind HTTP socket");

    // 3. The adapter's address in the same socket address; the platform's own
    // connect time-out.
    fillSockaddr(deviceAddress, devicePort, &address);
    if (::connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        failRun("Upgrade Failed: Can't connect to ORB");
    }
    return connection;
}

int32_t httpGet(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress, uint16_t devicePort,
                const char* path, char* buffer, int32_t size) {
    if (size < 0) size = 0;
    const size_t capacity = static_cast<size_t>(size) + 1;  // the buffer holds size + 1 bytes

    // 1. The connection.
    SocketHandle connection = openDeviceConnection(pcAddress, firstLocalPort, deviceAddress, devicePort);

    // 2. The request, in the buffer from offset 0.
    DigestAuthState& credentials = runState.credentials;
    size_t length = 0;
    buffer[0] = '\0';
    appendText(buffer, capacity, &length, "GET ");
    appendText(buffer, capacity, &length, path);
    appendText(buffer, capacity, &length, " HTTP/1.1\r\n");
    appendText(buffer, capacity, &length, kHostLine);
    if (credentials.password[0] != '\0') {
        ++credentials.nc;
        length += static_cast<size_t>(buildAuthorizationHeader(&credentials, buffer + length, capacity - length));
    }
    appendText(buffer, capacity, &length, "\r\n");

    // 3.-4. Trace, then one send; its result is not looked at.
    trace("%s", buffer);
    (void)::send(connection, buffer, static_cast<int>(length), 0);

    // 5. Everything until the adapter closes, a receive fails or size bytes
    // have come; a NUL after each chunk. The request text is gone first, so that
    // an answer of nothing is the empty text.
    int32_t received = 0;
    buffer[0] = '\0';
    while (received < size) {
        int got = static_cast<int>(::recv(connection, buffer + received, static_cast<int>(size - received), 0));
        if (got <= 0) break;
        received += got;
        buffer[received] = '\0';
    }

    // 6. The trace of the answer.
    trace("recv done\n");
    trace("%s", buffer);
    trace("\n");

    // 7.-9. Classification; a challenge taken is not scraped.
    if (classifyResponse(buffer, &credentials) == 1) {
        closeSocket(connection);
        return -1;
    }
    if (received > 0) scrapeDeviceInfo(buffer, &runState.deviceInfo);
    closeSocket(connection);
    return received;
}

}  // namespace orb
