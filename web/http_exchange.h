// One HTTP/1.1 exchange with the adapter's web server.
#pragma once

#include <cstdint>

#include "platform/sockets.h"
#include "web/device_info.h"
#include "web/digest_auth_state.h"

namespace orb {

// A TCP socket bound to the PC address (first free port of firstLocalPort ..
// firstLocalPort + 100) and connected to the adapter. Every failure ends the
// process with its error box.
SocketHandle openDeviceConnection(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress,
                                  uint16_t devicePort);

// Sends one GET and reads until the adapter closes. -1 when the adapter demanded
// Digest authentication and the challenge was taken into runState.credentials;
// otherwise the number of bytes received. `buffer` holds size + 1 bytes. Scrapes
// the page into runState.deviceInfo.
int32_t httpGet(uint32_t pcAddress, uint16_t firstLocalPort, uint32_t deviceAddress, uint16_t devicePort,
                const char* path, char* buffer, int32_t size);

// -1 not HTTP/1.1, -2 nothing after the version, 0 status 200, 1 challenge taken,
// 2 anything else.
int classifyResponse(const char* response, DigestAuthState* state);

// Copies the text after `label` and the tags that follow it, at most
// `maxChars` characters; returns `destination`, or nullptr when nothing was
// copied (the destination is then untouched).
char* scrapeLabel(const char* page, const char* label, char* destination, int maxChars);

// The five labels, in order, into `info`.
void scrapeDeviceInfo(const char* page, DeviceInfo* info);

}  // namespace orb
