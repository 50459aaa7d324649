// The restart wait against an injected clock: it ends 1562 units of 32 ms
// after it began, a wrap of the millisecond clock included.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/clock.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/restart_wait.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

// Read n of the clock is `startMs` plus unitsAfter(n) units of 32 ms: big
// steps first, then one unit per read around the end.
struct ScriptedClock {
    static inline uint32_t startMs = 0;
    static inline WindowHandle window = nullptr;
    static inline std::vector<uint32_t> offsets;  // units after the start, per read
    static inline std::vector<int> barPositions;  // the bar when the read came

    static uint32_t unitsAfter(uint32_t read) { return read <= 30 ? read * 50 : 1500 + (read - 30); }

    static uint32_t read() {
        auto n = static_cast<uint32_t>(offsets.size());
        if (n > 200) throw std::runtime_error("the wait goes on past its end");
        offsets.push_back(unitsAfter(n));
        barPositions.push_back(robot::progress(window, kProgressBarId).position);
        return startMs + unitsAfter(n) * 32;  // wraps at 2^32 like the real clock
    }
};

class RestartWait : public testing::Test {
protected:
    void run(uint32_t startMs) {
        ScriptedClock::startMs = startMs;
        ScriptedClock::offsets.clear();
        ScriptedClock::barPositions.clear();
        window = createModelessDialog(nullptr, kUploadWindowId, progressDialogProc);
        ASSERT_NE(window, nullptr);
        setProgressRange(window, kProgressBarId, 0, 10);
        setProgressPosition(window, kProgressBarId, 7);
        ScriptedClock::window = window;
        setClockSource(ScriptedClock::read);
        EXPECT_NO_THROW(runRestartWait(window, "10.1.2.3"));
        setClockSource(nullptr);
    }
    void TearDown() override {
        setClockSource(nullptr);
        if (window != nullptr) destroyWindow(window);
    }
    void expectEndsAfter1562Units() {
        const std::vector<uint32_t>& offsets = ScriptedClock::offsets;
        ASSERT_FALSE(offsets.empty());
        EXPECT_EQ(offsets.back(), 1562u);  // the first read 1562 units after the start ends it
        EXPECT_EQ(offsets.size(), 93u);
        EXPECT_EQ(robot::title(window), "Updating Firmware to ORB@10.1.2.3");
        robot::Progress bar = robot::progress(window, kProgressBarId);
        EXPECT_EQ(bar.low, 0);
        EXPECT_EQ(bar.high, 1562);
        EXPECT_EQ(bar.position, 1562);
        // Each pass shows the units passed so far: the bar at read n shows read n - 1.
        EXPECT_EQ(ScriptedClock::barPositions[0], 7);
        for (size_t n = 2; n < offsets.size(); ++n) {
            ASSERT_EQ(ScriptedClock::barPositions[n], static_cast<int>(offsets[n - 1])) << n;
        }
        EXPECT_TRUE(robot::isAlive(window));  // the caller destroys it
    }

    WindowHandle window = nullptr;
};

TEST_F(RestartWait, EndsTheFirstTime1562UnitsHavePassed) {
    run(1000 * 32 + 17);
    expectEndsAfter1562Units();
}

TEST_F(RestartWait, EndsOnTimeWhenTheMillisecondClockWrapsDuringTheWait) {
    uint32_t startUnits = (1u << 27) - 700;  // the clock wraps 700 units in
    run(startUnits * 32 + 17);
    ASSERT_LT(ScriptedClock::startMs + ScriptedClock::unitsAfter(92) * 32, ScriptedClock::startMs);  // it did wrap
    expectEndsAfter1562Units();
}

TEST_F(RestartWait, EndsOnTimeWhenItStartsAtTheClocksLastUnit) {
    run(0xffffffffu);
    expectEndsAfter1562Units();
}

}  // namespace
}  // namespace orb
