// The MD5 of a text as 32 lowercase hexadecimal characters, for tests that
// build expected Digest values by hand.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "web/md5.h"

namespace orb::test {

inline std::string md5Hex(const std::string& input) {
    Md5Context context;
    uint8_t digest[16];
    md5Init(&context);
    md5Update(&context, input.data(), input.size());
    md5Final(digest, &context);
    std::string text;
    char pair[3];
    for (uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

}  // namespace orb::test
