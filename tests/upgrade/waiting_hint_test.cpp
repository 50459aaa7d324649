// The waiting window's hint is due 20 s after the window opened on the
// millisecond clock, also across its wrap. Its text and the views are shown by
// the listener's loopback test and the terminal and Qt whole runs.
#include <gtest/gtest.h>

#include "upgrade/waiting_hint.h"

namespace orb {
namespace {

struct DueCase {
    uint32_t start;
    uint32_t now;
    bool due;
    friend void PrintTo(const DueCase& c, std::ostream* out) { *out << c.start << "->" << c.now; }
};

class WaitingHintDue : public ::testing::TestWithParam<DueCase> {};

TEST_P(WaitingHintDue, AfterTwentySeconds) {
    EXPECT_EQ(isWaitingHintDue(GetParam().start, GetParam().now), GetParam().due);
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitingHintDue,
                         ::testing::Values(DueCase{1000, 1000, false}, DueCase{1000, 20999, false},
                                           DueCase{1000, 21000, true}, DueCase{1000, 900000, true},
                                           DueCase{0xfffff000u, 0xfffff000u + 19999u, false},
                                           DueCase{0xfffff000u, 0xfffff000u + 20000u, true}));

}  // namespace
}  // namespace orb
