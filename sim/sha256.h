// SHA-256 (FIPS 180-2), for the digest that orb-sim logs of every image it
// receives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orb::sim {

class Sha256 {
public:
    Sha256();
    void update(const void* data, size_t length);
    // Writes the 32-byte digest. The object is spent afterwards; reset() makes
    // it ready for a new message.
    void finish(uint8_t digest[32]);
    void reset();

private:
    void compress(const uint8_t block[64]);

    uint32_t state_[8];
    uint64_t length_;  // bytes added so far
    uint8_t buffer_[64];
    size_t buffered_;
};

// The 64 lowercase hexadecimal digits of the SHA-256 of `length` bytes.
std::string sha256Hex(const void* data, size_t length);
std::string sha256Hex(const std::string& text);

}  // namespace orb::sim
