// One HTTP/1.1 exchange with the adapter's web server.
#pragma once

#include <cstdint>
#include <span>

#include "platform/sockets.h"
#include "base/endpoint.h"
#include "web/digest_auth_state.h"

namespace orb {

// What one exchange came to.
enum class HttpOutcome {
    Received,        // the adapter answered: its answer is in the buffer
    ChallengeTaken,  // Digest demanded: the challenge is in `credentials`
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

// The two ends of an exchange.
struct HttpRoute {
    Endpoint pc;  // this computer's address, and the first local port of the search (kHttpLocalPortTries ports)
    Endpoint device;
};

// A TCP socket bound to the PC address (its first free port of the search)
// and connected to the adapter; kInvalidSocket with `*failure` set to the step
// that failed.
SocketHandle openDeviceConnection(const HttpRoute& route, HttpOutcome* failure);

// Sends one GET (with a Digest Authorization header when `credentials` holds a
// password; its nc counts up) and reads until the adapter closes. The answer,
// or a challenge taken into `credentials` when the adapter demanded Digest
// authentication, or the step of the connection that failed. `buffer` (not
// empty) takes the request, then the answer: at most buffer.size() - 1 bytes
// and a NUL. The page is the caller's to read (scrapeDeviceInfo).
HttpResult httpGet(const HttpRoute& route, const char* path, std::span<char> buffer, DigestAuthState* credentials);

}  // namespace orb
