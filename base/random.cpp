#include "base/random.h"

#include <atomic>

namespace orb {

// The classic linear congruential generator of the C runtime: the same
// sequence on every platform for the same seed.
static std::atomic<uint32_t> randomState{1};
static std::atomic<RandomSource> randomSource{nullptr};

void seedRandom(uint32_t seed) { randomState = seed; }

int nextRandom() {
    if (RandomSource source = randomSource.load()) return source() & kRandomMax;
    uint32_t next = randomState.load() * 214013u + 2531011u;
    randomState = next;
    return static_cast<int>((next >> 16) & kRandomMax);
}

void setRandomSource(RandomSource source) { randomSource = source; }

}  // namespace orb
