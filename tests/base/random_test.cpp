#include <gtest/gtest.h>

#include <vector>

#include "base/random.h"

namespace orb {
namespace {

TEST(RandomGenerator, StaysWithin0To32767AndReachesBothEnds) {
    seedRandom(12345);
    int lowest = kRandomMax, highest = 0;
    for (int i = 0; i < 200000; ++i) {
        int value = nextRandom();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, kRandomMax);
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    EXPECT_LT(lowest, 16);
    EXPECT_GT(highest, kRandomMax - 16);
}

TEST(RandomGenerator, SameSeedSameSequenceOtherSeedOtherSequence) {
    auto draw = [](uint32_t seed) {
        seedRandom(seed);
        std::vector<int> values;
        for (int i = 0; i < 8; ++i) values.push_back(nextRandom());
        return values;
    };
    EXPECT_EQ(draw(77), draw(77));
    EXPECT_NE(draw(77), draw(78));
}

TEST(RandomGenerator, TestsCanChooseTheNumbersAndAreKeptInRange) {
    static int next = 0;
    setRandomSource([] { return next++ == 0 ? 0x1a2b : 0x7fffffff; });
    EXPECT_EQ(nextRandom(), 0x1a2b);
    EXPECT_EQ(nextRandom(), kRandomMax);
    setRandomSource(nullptr);
}

}  // namespace
}  // namespace orb
