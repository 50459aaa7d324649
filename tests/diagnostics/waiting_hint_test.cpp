// The waiting window's hint: due 20 s after the window opened on the
// millisecond clock (also across its wrap), set once in the model, and drawn
// by the terminal view on the line under the window's progress line.
#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/dialogs/headless_robot.h"
#include "platform/dialogs/terminal/screen_builder.h"
#include "tftp/waiting_hint.h"

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

uint32_t testNow = 0;

bool waitingProc(WindowHandle, uint32_t message, uintptr_t, intptr_t) { return message == kWmInitDialog; }

TEST(WaitingHint, ShowsOnceDueAndTheTerminalDrawsItUnderTheProgressLine) {
    testNow = 0xffffff00u;  // the clock wraps during the wait
    setClockSource([] { return testNow; });
    WindowHandle window = createModelessDialog(nullptr, 114, waitingProc);
    ASSERT_NE(window, nullptr);
    WaitingHint hint = startWaitingHint();

    testNow += 19999;
    updateWaitingHint(&hint, window, 70, 0x0a010005);
    EXPECT_EQ(robot::hint(window), "");
    testNow += 1;
    updateWaitingHint(&hint, window, 70, 0x0a010005);
    const std::string expected =
        "No request from the adapter yet: a firewall on this computer may block UDP port 70, and the adapter must "
        "reach the chosen PC address 10.1.0.5.";
    EXPECT_EQ(robot::hint(window), expected);
    setClockSource(nullptr);

    auto state = robot::state(window);
    ASSERT_TRUE(state);
    terminal::LiveScreen screen = terminal::buildLiveScreen({*state}, {}, nullptr, 80, 24);
    std::string shown;
    for (const terminal::StyledLine& line : screen.lines) shown += line.plain() + "\n";
    EXPECT_NE(shown.find("Waiting For Firmware Upload Request From ORB ["), std::string::npos) << shown;
    EXPECT_NE(shown.find("Esc/^C=Cancel\n"
                         "  No request from the adapter yet: a firewall on this computer may block UDP\n"
                         "  port 70, and the adapter must reach the chosen PC address 10.1.0.5.\n"),
              std::string::npos)
        << shown;
    destroyWindow(window);
}

}  // namespace
}  // namespace orb
