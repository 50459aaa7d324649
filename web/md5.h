// MD5 as RFC 1321 defines it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orb {

struct Md5Context {
    uint32_t state[4];   // chaining words A, B, C, D
    uint32_t count[2];   // bits added so far, low word first
    uint8_t buffer[64];  // an incomplete block
};

void md5Init(Md5Context* context);
void md5Update(Md5Context* context, const void* data, size_t length);
// Writes the 16-byte digest, then wipes the context with zeros.
void md5Final(uint8_t digest[16], Md5Context* context);

}  // namespace orb
