// The images the tests serve and fetch, made in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orb::test {

// A deterministic image of `size` bytes (different bytes in every block), with
// no header: for the transfer itself.
std::vector<uint8_t> makeTestImage(size_t size);

// A firmware image as the adapter checks it: the magic, the version text at
// offset 92 and a pseudo-random body.
std::vector<uint8_t> makeTestImage(size_t size, const std::string& version,
                                   const std::string& magic = "OrB4100 FiRmWaRe");

}  // namespace orb::test
