// The one record of HTTP Digest credentials and challenge data of a run.
#pragma once

#include <cstdint>

namespace orb {

struct DigestAuthState {
    uint32_t nc;  // headers built since the current nonce arrived
    char previousNonce[128];
    char nonce[128];
    char cnonce[128];
    char user[128];
    char password[128];  // empty: no credentials given
    char realm[128];
    char qop[16];
    char algorithm[16];
    char uri[128];  // stays empty for the whole run
    char opaque[128];
};

}  // namespace orb
