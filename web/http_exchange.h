// One HTTP/1.1 exchange with the adapter's web server.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "web/device_info.h"
#include "web/digest_auth_state.h"

namespace orb {

// What one exchange came to.
enum class HttpOutcome {
    Received,        // the adapter answered and its page was scraped
    ChallengeTaken,  // Digest demanded: the challenge is in `credentials`, nothing scraped
    SocketFailed,    // no TCP socket
    BindFailed,      // no local port of the search was free
    ConnectFailed,   // the adapter refused or did not answer the connection
};

struct HttpResult {
    HttpOutcome outcome;
    int32_t bytes;  // the bytes of the answer in the buffer (0 or more); 0 when no connection was made
};

// The local ports an exchange tries: first local port .. first + 100.
inline constexpr int kHttpLocalPortTries = 101;

// A TCP socket bound to the PC address (first free port of firstLocalPort ..
// firstLocalPort + 100) and connected to the adapter; kInvalidSocket with
// `*failure` set to the step that failed.
SocketHandle openDeviceConnection(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress,
                                  uint16_t devicePort, HttpOutcome* failure);

// Sends one GET (with a Digest Authorization header when `credentials` holds a
// password; its nc counts up) and reads until the adapter closes. The answer,
// or a challenge taken into `credentials` when the adapter demanded Digest
// authentication, or the step of the connection that failed. `buffer` holds
// size + 1 bytes. Scrapes the page into `info`.
HttpResult httpGet(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress, uint16_t devicePort,
                   const char* path, char* buffer, int32_t size, DigestAuthState* credentials, DeviceInfo* info);

}  // namespace orb
