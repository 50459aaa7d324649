// A Digest record's texts set in one statement, for tests that build the
// Authorization line from a record they fill by hand.
#pragma once

#include <cstring>

#include "web/digest_auth_state.h"

namespace orb::test {

// The fields left out stay empty.
struct DigestFields {
    const char* user = "";
    const char* password = "";
    const char* realm = "";
    const char* nonce = "";
    const char* previousNonce = "";
    const char* cnonce = "";
    const char* algorithm = "";
    const char* qop = "";
    const char* opaque = "";
};

// Copies the texts into a record; its other members keep their values.
inline void setDigestFields(DigestAuthState* state, const DigestFields& fields) {
    std::strcpy(state->user, fields.user);
    std::strcpy(state->password, fields.password);
    std::strcpy(state->realm, fields.realm);
    std::strcpy(state->nonce, fields.nonce);
    std::strcpy(state->previousNonce, fields.previousNonce);
    std::strcpy(state->cnonce, fields.cnonce);
    std::strcpy(state->algorithm, fields.algorithm);
    std::strcpy(state->qop, fields.qop);
    std::strcpy(state->opaque, fields.opaque);
}

}  // namespace orb::test
