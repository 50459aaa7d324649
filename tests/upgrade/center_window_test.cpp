// centerWindow: the halving rounds toward minus
// infinity, the window goes to the top, nothing happens without a rectangle.
#include <gtest/gtest.h>

#include "dialogs/dialog_view.h"
#include "upgrade/center_window.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

bool plainProc(WindowHandle, uint32_t message, uintptr_t, intptr_t) { return message == kWmInitDialog; }

class CenterWindow : public testing::Test {
protected:
    void SetUp() override { dialogs::setDialogBaseUnits(6, 13); }
    void TearDown() override {
        dialogs::setScreenSize(1024, 768);
        dialogs::setDialogBaseUnits(6, 13);
    }

    // The warning dialog: 306 x 232 pixels at 6 x 13.
    // Width before height, as GetSystemMetrics' SM_CXSCREEN and SM_CYSCREEN;
    // the template is most often left to its default.
    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
    static std::pair<int, int> centredAt(int screenWidth, int screenHeight, int templateId = 139) {
        dialogs::setScreenSize(screenWidth, screenHeight);
        EXPECT_EQ(readScreenWidth(), screenWidth);
        EXPECT_EQ(readScreenHeight(), screenHeight);
        WindowHandle w = createModelessDialog(nullptr, templateId, plainProc);
        EXPECT_NE(w, nullptr);
        centerWindow(w);
        WindowRect rect{};
        EXPECT_TRUE(readWindowRect(w, &rect));
        destroyWindow(w);
        return {rect.left, rect.top};
    }
};

TEST_F(CenterWindow, CentresOnTheDefaultScreen) {
    EXPECT_EQ(centredAt(1024, 768), std::make_pair(359, 268));  // (1024-306)/2, (768-232)/2
}

TEST_F(CenterWindow, OddDifferencesRoundDown) {
    EXPECT_EQ(centredAt(1025, 769), std::make_pair(359, 268));  // 359.5, 268.5
    EXPECT_EQ(centredAt(307, 233), std::make_pair(0, 0));       // 0.5, 0.5
}

TEST_F(CenterWindow, WindowLargerThanTheScreenGetsNegativeCoordinates) {
    EXPECT_EQ(centredAt(306, 232), std::make_pair(0, 0));
    EXPECT_EQ(centredAt(200, 100), std::make_pair(-53, -66));  // -53, -66
    EXPECT_EQ(centredAt(201, 101), std::make_pair(-53, -66));  // -52.5 -> -53, -65.5 -> -66
    EXPECT_EQ(centredAt(305, 231), std::make_pair(-1, -1));    // -0.5 -> -1
    EXPECT_EQ(centredAt(0, 0), std::make_pair(-153, -116));
}

TEST_F(CenterWindow, TheTemplatePositionDoesNotMatterAndTheSizeIsKept) {
    // The address dialog starts at (300, 325) pixels; 237 x 294.
    dialogs::setScreenSize(800, 600);
    WindowHandle w = createModelessDialog(nullptr, 101, plainProc);
    ASSERT_NE(w, nullptr);
    centerWindow(w);
    WindowRect rect{};
    ASSERT_TRUE(readWindowRect(w, &rect));
    EXPECT_EQ(rect.left, 281);  // 563 / 2
    EXPECT_EQ(rect.top, 153);   // 306 / 2
    EXPECT_EQ(rect.right - rect.left, 237);
    EXPECT_EQ(rect.bottom - rect.top, 294);
    destroyWindow(w);
}

TEST_F(CenterWindow, MovesTheWindowToTheTop) {
    WindowHandle first = createModelessDialog(nullptr, 110, plainProc);
    WindowHandle second = createModelessDialog(nullptr, 114, plainProc);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_LT(robot::state(first)->zOrder, robot::state(second)->zOrder);
    centerWindow(first);
    EXPECT_GT(robot::state(first)->zOrder, robot::state(second)->zOrder);
    destroyWindow(first);
    destroyWindow(second);
}

TEST_F(CenterWindow, NothingHappensWithoutARectangle) {
    WindowHandle w = createModelessDialog(nullptr, 110, plainProc);
    ASSERT_NE(w, nullptr);
    destroyWindow(w);
    centerWindow(w);  // GetWindowRect fails: no move
    EXPECT_EQ(robot::state(w)->x, 0);
    EXPECT_EQ(robot::state(w)->y, 0);
    centerWindow(nullptr);
}

}  // namespace
}  // namespace orb
