// The waiting window's hint is due 20 s after the window opened on the
// millisecond clock, also across its wrap. Its text and the views are shown by
// the listener's loopback test and the terminal and Qt whole runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

constexpr const char* kBase =
    "No request from the adapter yet: a firewall on this computer may block UDP port 70, and the adapter must "
    "reach the chosen PC address 127.0.4.1.";

std::string hintAfter(const std::vector<uint32_t>& requesters) {
    IgnoredRequesters ignored;
    for (uint32_t address : requesters) noteIgnoredRequester(&ignored, address);
    char text[320];
    formatWaitingHint(text, sizeof text, 70, 0x7f000401, &ignored);
    return text;
}

TEST(WaitingHintText, NamesTheFirstOtherHostAndCountsTheRest) {
    EXPECT_EQ(hintAfter({}), kBase);
    EXPECT_EQ(hintAfter({0x7f004609, 0x7f004609}),
              std::string(kBase) + " (read requests from other hosts were ignored: 127.0.70.9)");
    EXPECT_EQ(hintAfter({0x7f004609, 0x0a000001, 0x7f004609, 0xc0a80101}),
              std::string(kBase) + " (read requests from other hosts were ignored: 127.0.70.9 and 2 more)");
    std::vector<uint32_t> many;
    for (uint32_t i = 1; i <= kTrackedRequesters + 5; ++i) many.push_back(0x7f004600 + i);
    EXPECT_EQ(hintAfter(many), std::string(kBase) +
                                   " (read requests from other hosts were ignored: 127.0.70.1 and at least " +
                                   std::to_string(kTrackedRequesters) + " more)");
}

TEST(WaitingHintText, ChangesOnlyForAHostNotSeenBefore) {
    IgnoredRequesters ignored;
    EXPECT_TRUE(noteIgnoredRequester(&ignored, 1));
    EXPECT_FALSE(noteIgnoredRequester(&ignored, 1));
    for (uint32_t host = 2; host <= kTrackedRequesters; ++host) EXPECT_TRUE(noteIgnoredRequester(&ignored, host));
    EXPECT_TRUE(noteIgnoredRequester(&ignored, 1000));  // the first one past what is kept
    EXPECT_FALSE(noteIgnoredRequester(&ignored, 1001));
    EXPECT_FALSE(noteIgnoredRequester(&ignored, 2));
}

}  // namespace
}  // namespace orb
