// The run's error box on real windows (under Wine on Xvfb in CI): while it is
// up, the run's windows on other threads take no input, those opened meanwhile
// included, and they take it again once it is closed.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/windowing.h"
#include "upgrade/error_box.h"

namespace orb {
namespace {

constexpr int kConnectingWindowId = 105;
constexpr UINT kWmMarker = WM_APP + 7;  // reaches the procedure after what was posted before it
constexpr const char* kCaption = kErrorBoxCaption;

std::atomic<int> cancels{0};
std::atomic<int> markers{0};

bool recordingProc(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) return true;
    if (message == kWmMarker) ++markers;
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdCancel) {
        ++cancels;
        return true;
    }
    return false;
}

bool waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 5000; ++i) {
        if (condition()) return true;
        Sleep(1);
    }
    return condition();
}

// A Cancel click as the button sends it, then the marker: once the marker
// arrived, the click has been handled or dropped.
void clickCancel(HWND window) {
    int before = markers.load();
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    PostMessageA(window, kWmMarker, 0, 0);
    ASSERT_TRUE(waitFor([&] { return markers.load() > before; }));
}

TEST(RunBox, TheRunsWindowsOnOtherThreadsTakeNoInputWhileItIsUp) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&controls);
    std::atomic<HWND> first{nullptr}, late{nullptr};
    std::atomic<bool> openLate{false}, stop{false};
    // Another thread of the run, as the listener is: its windows, pumped.
    std::thread other([&] {
        auto open = [] {
            return reinterpret_cast<HWND>(
                createModelessDialog(GetModuleHandleA(nullptr), kConnectingWindowId, recordingProc));
        };
        first = open();
        while (!stop) {
            if (openLate && late == nullptr) late = open();
            pumpAllMessages(reinterpret_cast<WindowHandle>(first.load()));
            if (late != nullptr) pumpAllMessages(reinterpret_cast<WindowHandle>(late.load()));
            Sleep(1);
        }
        DestroyWindow(first);
        if (late != nullptr) DestroyWindow(late);
    });
    ASSERT_TRUE(waitFor([&] { return first != nullptr; }));
    ASSERT_NE(first.load(), nullptr);

    std::atomic<int> answer{-1};
    std::thread failing(
        [&] { answer = showMessageBox(nullptr, "Upgrade Failed: Test", kCaption, kMbOk | kMbTaskModal); });
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = FindWindowA(nullptr, kCaption)) != nullptr; }));

    EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(first); })) << "the other thread's window is disabled";
    clickCancel(first);
    EXPECT_EQ(cancels.load(), 0) << "a click on it goes nowhere";
    openLate = true;
    ASSERT_TRUE(waitFor([&] { return late != nullptr; }));
    EXPECT_TRUE(waitFor([&] { return !IsWindowEnabled(late); })) << "a window opened under the box starts disabled";
    clickCancel(late);
    EXPECT_EQ(cancels.load(), 0);

    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    failing.join();
    EXPECT_EQ(answer.load(), kIdOk);
    EXPECT_TRUE(waitFor([&] { return IsWindowEnabled(first) && IsWindowEnabled(late); }));
    clickCancel(first);
    EXPECT_EQ(cancels.load(), 1) << "once the box is closed, Cancel is taken again";
    stop = true;
    other.join();
}

}  // namespace
}  // namespace orb
