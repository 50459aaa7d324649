// The coalescing of title and bar changes, on real windows (under Wine on Xvfb
// in CI): held values, their order, and what other calls do to them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/window_updates_win32.h"
#include "platform/windowing.h"

namespace orb {
namespace {

constexpr int kBarId = 1010;

// The intervals run on this clock, so that no test depends on how fast it runs.
DWORD fakeNow = 5000;
DWORD readFakeClock() { return fakeNow; }

class WindowUpdatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        setUpdateClock(readFakeClock);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        window = CreateWindowExA(0, "STATIC", "start", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        bar =
            CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 200, 10, window,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kBarId)), GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(bar, nullptr);
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    }
    void TearDown() override {
        forgetHeldUpdates(window);
        DestroyWindow(window);
        setUpdateClock(nullptr);
    }

    std::string title() const {
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        return text;
    }
    int position() const { return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0)); }
    static void passTime(DWORD ms) { fakeNow += ms; }

    HWND window = nullptr;
    HWND bar = nullptr;
};

TEST_F(WindowUpdatesTest, FirstChangeShowsAtOnceAndTheNextWaitsForItsInterval) {
    setTitleCoalesced(window, "1/3");
    setBarPositionCoalesced(window, kBarId, 1);
    EXPECT_EQ(title(), "1/3");
    EXPECT_EQ(position(), 1);

    setTitleCoalesced(window, "2/3");
    setTitleCoalesced(window, "3/3");
    setBarPositionCoalesced(window, kBarId, 2);
    setBarPositionCoalesced(window, kBarId, 3);
    passTime(kRedrawIntervalMs - 1);
    applyHeldUpdates(window, false);
    EXPECT_EQ(title(), "1/3") << "held within the interval";
    EXPECT_EQ(position(), 1);

    passTime(1);
    applyHeldUpdates(window, false);
    EXPECT_EQ(title(), "3/3") << "the newest held value, once the interval has passed";
    EXPECT_EQ(position(), 3);
}

TEST_F(WindowUpdatesTest, OtherCallsOnTheWindowApplyWhatIsHeldFirst) {
    setTitleCoalesced(window, "uploading 1");
    setBarPositionCoalesced(window, kBarId, 700);
    setTitleCoalesced(window, "uploading 2");
    setBarPositionCoalesced(window, kBarId, 900);
    // The restart wait sets a new range: the held position must land before it.
    setProgressRange(reinterpret_cast<WindowHandle>(window), kBarId, 0, 1000);
    EXPECT_EQ(title(), "uploading 2");
    EXPECT_EQ(position(), 900);
}

TEST_F(WindowUpdatesTest, PumpingAppliesHeldValuesOnlyAfterTheInterval) {
    setTitleCoalesced(window, "a");
    setTitleCoalesced(window, "b");
    pumpOneMessage(reinterpret_cast<WindowHandle>(window));
    EXPECT_EQ(title(), "a");
    passTime(kRedrawIntervalMs);
    pumpAllMessages(reinterpret_cast<WindowHandle>(window));
    EXPECT_EQ(title(), "b");
}

TEST_F(WindowUpdatesTest, ADestroyedWindowsHeldValuesAreDropped) {
    setTitleCoalesced(window, "shown");
    setTitleCoalesced(window, "held");
    forgetHeldUpdates(window);
    passTime(kRedrawIntervalMs);
    applyHeldUpdates(window, true);
    EXPECT_EQ(title(), "shown");
    // A new window starts afresh: its first title shows at once.
    setTitleCoalesced(window, "again");
    EXPECT_EQ(title(), "again");
}

}  // namespace
}  // namespace orb
