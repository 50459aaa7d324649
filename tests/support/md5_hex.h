// The MD5 of a text as 32 lowercase hexadecimal characters, for tests that
// build expected Digest values by hand.
#pragma once

#include <cstdint>
#include <string>

#include "base/hex.h"
#include "web/md5.h"

namespace orb::test {

// The 16 digest bytes as 32 lowercase hexadecimal characters.
inline std::string hexOf(const uint8_t digest[16]) { return hexOfBytes(digest, 16); }

// The raw 16 bytes of the MD5 of a text, as MD5-sess hashes them.
inline std::string md5Raw(const std::string& input) {
    Md5Context context;
    uint8_t digest[16];
    md5Init(&context);
    md5Update(&context, input.data(), input.size());
    md5Final(digest, &context);
    return std::string(reinterpret_cast<const char*>(digest), 16);
}

inline std::string md5Hex(const std::string& input) {
    return hexOf(reinterpret_cast<const uint8_t*>(md5Raw(input).data()));
}

}  // namespace orb::test
