// The pure half of the HTTP exchange: classification of the status line and
// the scraping of the status page. Both treat the response as one NUL-terminated
// text and never read past its NUL.
#include <cassert>
#include <cstring>

#include "web/digest_auth.h"
#include "web/response_parsing.h"
#include "web/status_page_fields.h"

namespace orb {

ResponseClass classifyResponse(const char* response, DigestAuthState* state) {
    // The version, in exactly this case.
    if (std::strncmp(response, "HTTP/1.1", 8) != 0) return ResponseClass::NotHttp11;

    // The version and the one character after it, then blanks and tabs. An
    // answer of "HTTP/1.1" alone has no ninth character to skip: nothing but
    // the version stands there, so it has no status.
    if (response[8] == '\0') return ResponseClass::NoStatus;
    const char* status = response + 9;
    while (*status == ' ' || *status == '\t') ++status;

    // Nothing after the version.
    if (*status == '\0') return ResponseClass::NoStatus;

    // Only the three characters of the code are compared.
    if (std::strncmp(status, "200", 3) == 0) return ResponseClass::Ok;
    if (std::strncmp(status, "401", 3) != 0) return ResponseClass::Other;

    // The challenge, wherever it stands after the code.
    const char* challenge = std::strstr(status, "WWW-Authenticate:");
    if (challenge == nullptr) return ResponseClass::Other;
    return parseDigestChallenge(challenge, state) ? ResponseClass::ChallengeTaken : ResponseClass::Other;
}

char* scrapeLabel(const char* page, const char* label, std::span<char> destination) {
    assert(!destination.empty());  // room for the NUL
    // The first occurrence of the label.
    const char* at = std::strstr(page, label);
    if (at == nullptr) return nullptr;

    // The first greater-than sign from the label's first character on.
    at = std::strchr(at, '>');
    if (at == nullptr) return nullptr;
    ++at;

    // Tags that follow at once.
    while (*at == '<') {
        at = std::strchr(at, '>');
        if (at == nullptr) return nullptr;
        ++at;
    }

    // The value, up to the next tag, the end of the text or the destination's end.
    size_t copied = 0;
    while (copied < destination.size() - 1 && at[copied] != '\0' && at[copied] != '<') {
        destination[copied] = at[copied];
        ++copied;
    }
    destination[copied] = '\0';
    return destination.data();
}

void scrapeDeviceInfo(const char* page, DeviceInfo* info) {
    for (const StatusPageField& row : kStatusPageFields) scrapeLabel(page, row.label, info->*row.value);
}

}  // namespace orb
