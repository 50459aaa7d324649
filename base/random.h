// The program's one pseudo-random generator: integers 0..32767. It draws the
// TFTP file name and every Digest client nonce.
#pragma once

#include <cstdint>

namespace orb {

inline constexpr int kRandomMax = 32767;

void seedRandom(uint32_t seed);
int nextRandom();

// Tests choose the numbers drawn; nullptr restores the generator.
using RandomSource = int (*)();
void setRandomSource(RandomSource source);

}  // namespace orb
