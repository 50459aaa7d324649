// One response text as the exchange sees it: classifyResponse, the five
// scrapeLabel calls of scrapeDeviceInfo (each into its own 128-byte field),
// parseDigestChallenge from the "WWW-Authenticate:" header name (or the whole
// text), then buildAuthorizationHeader on the resulting record into the room
// that httpGet gives it.
//
// The first input byte chooses the credentials held (none, short, full-width
// user and password) and the nc before the header; the rest is the response.
#include "web/digest_auth.h"
#include "web/http_exchange.h"
#include "web/response_parsing.h"
#include "web/status_page_fields.h"
#include "fuzz/fuzz_support.h"

using namespace orb;

namespace {

bool terminatedWithin(const char* field, size_t width) { return strnlen(field, width) < width; }

void checkRecord(const DigestAuthState& state) {
    fuzz::require(terminatedWithin(state.previousNonce, sizeof state.previousNonce), "previousNonce terminated");
    fuzz::require(terminatedWithin(state.nonce, sizeof state.nonce), "nonce terminated");
    fuzz::require(terminatedWithin(state.cnonce, sizeof state.cnonce), "cnonce terminated");
    fuzz::require(std::strlen(state.cnonce) <= 4, "cnonce of 1..4 hexadecimal digits");
    fuzz::require(terminatedWithin(state.realm, sizeof state.realm), "realm terminated");
    fuzz::require(terminatedWithin(state.qop, sizeof state.qop), "qop terminated");
    fuzz::require(terminatedWithin(state.algorithm, sizeof state.algorithm), "algorithm terminated");
    fuzz::require(terminatedWithin(state.opaque, sizeof state.opaque), "opaque terminated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    auto response = fuzz::terminatedCopy(data + 1, size - 1);

    // The record as the run may hold it before this answer.
    auto state = std::make_unique<DigestAuthState>();
    std::memset(state.get(), 0, sizeof *state);
    switch (selector % 3) {
        case 0: break;  // no credentials yet
        case 1:
            std::strcpy(state->user, "admin");
            std::strcpy(state->password, "secret");
            break;
        case 2:  // the credentials dialog's widest entries
            std::memset(state->user, 'u', 127);
            std::memset(state->password, 'p', 127);
            break;
    }
    state->nc = (selector & 0x80) != 0 ? 0xffffffffu : selector / 3u;

    // 1. The classification, as httpGet calls it.
    ResponseClass classification = classifyResponse(response.get(), state.get());
    fuzz::require(classification != ResponseClass::ChallengeTaken ||
                      std::strstr(response.get(), "WWW-Authenticate:") != nullptr,
                  "a challenge is taken only after \"WWW-Authenticate:\"");
    checkRecord(*state);

    // 2. The labels of the status page, each into a field of exactly 128 bytes.
    for (const StatusPageField& row : kStatusPageFields) {
        const char* label = row.label;
        std::unique_ptr<char[]> field(new char[128]);
        std::memset(field.get(), 'x', 127);
        field[127] = '\0';
        char* copied = scrapeLabel(response.get(), label, std::span(field.get(), 128));
        if (copied != nullptr) {
            fuzz::require(copied == field.get(), "scrapeLabel returns the destination");
            size_t length = strnlen(field.get(), 128);
            fuzz::require(length <= 127, "a scraped value has at most 127 characters");
            fuzz::require(std::memchr(field.get(), '<', length) == nullptr, "a scraped value holds no tag start");
        } else {
            fuzz::require(std::memcmp(field.get(), std::string(127, 'x').c_str(), 128) == 0,
                          "nothing scraped leaves the field untouched");
        }
    }

    // 3. The challenge parse on its own, from the header name onward.
    const char* challenge = std::strstr(response.get(), "WWW-Authenticate:");
    const char* parsed = challenge != nullptr ? challenge : response.get();
    bool taken = parseDigestChallenge(parsed, state.get());
    fuzz::require(!taken || (std::strstr(parsed, "realm=\"") != nullptr && std::strstr(parsed, "nonce=\"") != nullptr),
                  "a challenge is taken only with a realm and a nonce");
    checkRecord(*state);

    // 4. The header line, into the room that httpGet leaves for it: the
    // longest line of the run fits, and is never cut.
    ++state->nc;
    const size_t room = kAuthorizationHeaderMaxLength + 1;
    std::unique_ptr<char[]> line(new char[room]);
    int length = buildAuthorizationHeader(state.get(), std::span(line.get(), room));
    fuzz::require(length > 0 && static_cast<size_t>(length) <= kAuthorizationHeaderMaxLength,
                  "the header fits its room");
    fuzz::require(static_cast<size_t>(length) == std::strlen(line.get()), "the header is terminated at its length");
    fuzz::require(line[length - 2] == '\r' && line[length - 1] == '\n', "the header ends with CR LF (never cut)");
    fuzz::require(std::strncmp(line.get(), "Authorization: Digest username=\"", 32) == 0, "the header's start");
    return 0;
}
