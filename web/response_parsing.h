// Reading the adapter's answer: the status line's class and the values of the
// status page.
#pragma once

#include <span>

#include "web/device_info.h"
#include "web/digest_auth_state.h"

namespace orb {

// What the adapter's answer is, from its status line.
enum class ResponseClass {
    NotHttp11,       // it does not start with "HTTP/1.1"
    NoStatus,        // no status code after the version
    Ok,              // status 200
    ChallengeTaken,  // status 401 with a Digest challenge, taken into the record
    Other,           // any other status, or a 401 without a challenge to take
};

ResponseClass classifyResponse(const char* response, DigestAuthState* state);

// Copies the text after `label` and the tags that follow it into
// `destination` (not empty), at most its size - 1 characters and a NUL;
// returns its start, or nullptr when nothing was copied (the destination is
// then untouched).
char* scrapeLabel(const char* page, const char* label, std::span<char> destination);

// The labels of web/status_page_fields.h, in the page's order, into `info`.
void scrapeDeviceInfo(const char* page, DeviceInfo* info);

}  // namespace orb
