// One HTTP/1.1 exchange with the adapter's web server.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "web/device_info.h"
#include "web/digest_auth_state.h"

namespace orb {

// What httpGet gives besides a byte count (0 or more).
inline constexpr int32_t kHttpChallengeTaken = -1;  // Digest demanded: the challenge is in `credentials`
inline constexpr int32_t kHttpSocketFailed = -2;    // no TCP socket
inline constexpr int32_t kHttpBindFailed = -3;      // no local port of the search was free
inline constexpr int32_t kHttpConnectFailed = -4;   // the adapter refused or did not answer the connection

// A TCP socket bound to the PC address (first free port of firstLocalPort ..
// firstLocalPort + 100) and connected to the adapter; kInvalidSocket with
// `*failure` set to one of the codes above when a step fails.
SocketHandle openDeviceConnection(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress,
                                  uint16_t devicePort, int32_t* failure);

// Sends one GET (with a Digest Authorization header when `credentials` holds a
// password; its nc counts up) and reads until the adapter closes. Returns the
// number of bytes received, kHttpChallengeTaken when the adapter demanded
// Digest authentication and the challenge was taken into `credentials`, or a
// failure code of the connection. `buffer` holds size + 1 bytes. Scrapes the
// page into `info`.
int32_t httpGet(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress, uint16_t devicePort,
                const char* path, char* buffer, int32_t size, DigestAuthState* credentials, DeviceInfo* info);

}  // namespace orb
