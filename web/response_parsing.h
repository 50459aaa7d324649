// Reading the adapter's answer: the status line's class and the values of the
// status page.
#pragma once

#include "web/device_info.h"
#include "web/digest_auth_state.h"

namespace orb {

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
