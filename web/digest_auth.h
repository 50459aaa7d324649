// HTTP Digest authentication (RFC 2617 as the adapter speaks it): the digest
// computations with MD5, the parse of a challenge into DigestAuthState and the
// Authorization header line built from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "web/digest_auth_state.h"

namespace orb {

// The hexadecimal form of a digest: 32 lowercase digits and a terminator.
inline constexpr size_t kDigestHexSize = 33;
using DigestHex = std::array<char, kDigestHexSize>;

// The longest Authorization line: every text field full, uri empty, a client
// nonce of four digits; CR LF included, terminator not.
inline constexpr size_t kAuthorizationHeaderMaxLength = 697;

// Each byte as two lowercase hexadecimal digits, high nibble first, then a NUL.
DigestHex digestToHex(std::span<const uint8_t, 16> digest);

// The texts that a request digest is computed from, each by its name: a
// caller names them (designated initializers) rather than lining up eleven
// texts in a row. A text not named is empty.
struct DigestInput {
    const char* user = "";
    const char* realm = "";
    const char* password = "";
    const char* algorithm = "";
    const char* nonce = "";
    const char* cnonce = "";
    const char* ncText = "";
    const char* qop = "";
    const char* method = "";
    const char* uri = "";
    const char* entityBody = "";
};

// H(A1): MD5(user ":" realm ":" password); for algorithm "md5-sess" (any case)
// MD5(those 16 raw bytes ":" nonce ":" cnonce), in hexadecimal form.
DigestHex digestHa1(const DigestInput& input);

// The request digest from H(A1): H(A2) = MD5(method ":" uri [":"
// MD5hex(entityBody) when qop is "auth-int", any case]); then MD5(ha1 ":"
// nonce ":" [ncText ":" cnonce ":" qop ":" when qop is non-empty] H(A2)).
DigestHex digestRequestDigest(const DigestHex& ha1, const DigestInput& input);

// digestHa1, then digestRequestDigest.
DigestHex digestResponse(const DigestInput& input);

// Writes one Authorization header line ending in CR LF, and a NUL, into `out`,
// built from the record (which is not changed); returns the characters written
// without the NUL. With kAuthorizationHeaderMaxLength + 1 bytes the longest
// line of the run fits; a line that would not fit is cut there (never written
// past). Nothing is written into an empty `out`.
int buildAuthorizationHeader(const DigestAuthState* state, std::span<char> out);

// Takes the challenge that starts at the "WWW-Authenticate:" header name and
// runs to the text's NUL. True when taken; false when "realm=\"" (record
// unchanged) or "nonce=\"" (realm already replaced) is missing. A new nonce
// resets nc to 0; every challenge taken draws a new client nonce from nextRandom().
bool parseDigestChallenge(const char* text, DigestAuthState* state);

}  // namespace orb
