// The portable dialog manager driven by the robot: modal results, keyboard,
// threads and their queues, message boxes, control operations, rectangles.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/windowing.h"
#include "dialogs/dialog_view.h"
#include "dialogs/message_boxes.h"
#include "upgrade/error_box.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

using namespace std::chrono_literals;

constexpr int kWarning = 139, kAddress = 101, kConnecting = 105, kConfirm = 103, kWaiting = 114, kUpload = 110,
              kSuccess = 111, kCredentials = 104;
constexpr int kProgressBar = 1010;
constexpr uint32_t kWmClose = 0x0010;

// Every call of a test procedure, with the thread it ran on.
struct Call {
    WindowHandle window;
    uint32_t message;
    int command;  // low word of wParam for WM_COMMAND
    std::thread::id thread;
};

std::mutex callsMutex;
std::vector<Call> calls;

void record(WindowHandle w, uint32_t message, uintptr_t wParam) {
    std::lock_guard<std::mutex> lock(callsMutex);
    calls.push_back({w, message, static_cast<int>(wParam & 0xFFFF), std::this_thread::get_id()});
}

std::vector<Call> callsOf(WindowHandle w) {
    std::lock_guard<std::mutex> lock(callsMutex);
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.window == w) out.push_back(c);
    return out;
}

int commandsSeen(WindowHandle w, int id) {
    int n = 0;
    for (const Call& c : callsOf(w))
        if (c.message == kWmCommand && c.command == id) ++n;
    return n;
}

// IDOK ends with 1, IDCANCEL with 0; the dialog manager's default focus.
bool okCancelProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
    record(w, message, wParam);
    if (message == kWmInitDialog) return true;
    if (message == kWmCommand) {
        int id = static_cast<int>(wParam & 0xFFFF);
        if (id == kIdOk) {
            endDialog(w, 1);
            return true;
        }
        if (id == kIdCancel) {
            endDialog(w, 0);
            return true;
        }
    }
    return false;
}

// As okCancelProc, but sets no focus at WM_INITDIALOG and returns false.
bool noFocusProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kWmInitDialog) {
        record(w, message, wParam);
        return false;
    }
    return okCancelProc(w, message, wParam, lParam);
}

// As the real warning dialog: the focus on Cancel, return false.
bool focusCancelProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kWmInitDialog) {
        record(w, message, wParam);
        focusControl(w, kIdCancel);
        return false;
    }
    return okCancelProc(w, message, wParam, lParam);
}

// Handles nothing: IDCANCEL is not handled, so nothing ends the dialog.
bool ignoreAllProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
    record(w, message, wParam);
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdOk) {
        endDialog(w, 7);
        return true;
    }
    return message == kWmInitDialog;
}

// Progress window: records; IDCANCEL destroys the window.
std::atomic<int> progressCancels{0};
bool progressProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
    record(w, message, wParam);
    if (message == kWmInitDialog) return true;
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdCancel) {
        ++progressCancels;
        destroyWindow(w);
        return true;
    }
    return false;
}

class DialogManager : public testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(callsMutex);
        calls.clear();
        progressCancels = 0;
    }
    void TearDown() override {
        EXPECT_TRUE(robot::openWindows().empty()) << "a test left windows open";
        EXPECT_TRUE(robot::openMessageBoxes().empty());
    }
};

// Runs a modal dialog on its own thread.
std::future<intptr_t> runModal(int templateId, DialogProc proc) {
    return std::async(std::launch::async, [=] { return runModalDialog(nullptr, templateId, proc); });
}

intptr_t resultOf(std::future<intptr_t>& f) {
    if (f.wait_for(10s) != std::future_status::ready) {
        ADD_FAILURE() << "the modal dialog did not end";
        return -99;
    }
    return f.get();
}

// --- Modal results and the keyboard ------------------------------------------

TEST_F(DialogManager, ModalResultIsOneAfterOkAndZeroAfterCancel) {
    auto ok = runModal(kConfirm, okCancelProc);
    WindowHandle w = robot::waitForDialog(kConfirm);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressButton(w, kIdOk));
    EXPECT_EQ(resultOf(ok), 1);
    EXPECT_FALSE(robot::isAlive(w));

    auto cancel = runModal(kConfirm, okCancelProc);
    w = robot::waitForDialog(kConfirm);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressButton(w, kIdCancel));
    EXPECT_EQ(resultOf(cancel), 0);
}

TEST_F(DialogManager, EscapeAndTheCloseBoxGiveIdCancel) {
    auto escape = runModal(kAddress, okCancelProc);
    WindowHandle w = robot::waitForDialog(kAddress);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressEscape(w));
    EXPECT_EQ(resultOf(escape), 0);
    EXPECT_EQ(commandsSeen(w, kIdCancel), 1);

    auto close = runModal(kAddress, okCancelProc);
    w = robot::waitForDialog(kAddress);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressCloseBox(w));
    EXPECT_EQ(resultOf(close), 0);
    // As DefDlgProc does it: WM_CLOSE, unhandled, becomes WM_COMMAND IDCANCEL.
    auto seen = callsOf(w);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[1].message, kWmClose);
    EXPECT_EQ(seen[2].message, kWmCommand);
    EXPECT_EQ(seen[2].command, kIdCancel);

    // The success dialog has no Cancel button; Escape and the close box still give IDCANCEL.
    auto success = runModal(kSuccess, okCancelProc);
    w = robot::waitForDialog(kSuccess);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressEscape(w));
    EXPECT_EQ(resultOf(success), 0);
}

TEST_F(DialogManager, CancelIsEscapeInAModalDialogAndTheCancelButtonInAModelessOne) {
    auto modal = runModal(kAddress, okCancelProc);
    WindowHandle w = robot::waitForDialog(kAddress);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(dialogs::input::cancel(w));
    EXPECT_EQ(resultOf(modal), 0);
    EXPECT_EQ(commandsSeen(w, kIdCancel), 1);

    w = createModelessDialog(nullptr, kUpload, progressProc);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(dialogs::input::cancel(w));
    pumpAllMessages(w);
    EXPECT_EQ(progressCancels, 1);
    EXPECT_FALSE(robot::isAlive(w));
    EXPECT_FALSE(dialogs::input::cancel(w));  // a window that is gone
}

TEST(MessageBoxButtons, EveryButtonOfEveryBoxTypeHasItsCaption) {
    const std::vector<std::pair<unsigned, std::vector<std::string>>> boxes = {
        {0, {"OK"}},        {1, {"OK", "Cancel"}},    {2, {"Abort", "Retry", "Ignore"}}, {3, {"Yes", "No", "Cancel"}},
        {4, {"Yes", "No"}}, {5, {"Retry", "Cancel"}},
    };
    for (const auto& [flags, captions] : boxes) {
        std::vector<std::string> shown;
        for (int button : dialogs::messageBoxButtons(flags)) shown.push_back(dialogs::messageBoxButtonCaption(button));
        EXPECT_EQ(shown, captions) << "flags " << flags;
    }
    EXPECT_EQ(dialogs::messageBoxButtonCaption(11), "Button 11");
}

TEST_F(DialogManager, EnterPressesTheDefaultButtonWhichIsCancelInTheWarningDialog) {
    // No focused push button: Enter presses the default button, Cancel.
    auto noFocus = runModal(kWarning, noFocusProc);
    WindowHandle w = robot::waitForDialog(kWarning);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::focusedControl(w), robot::kNoFocus);
    ASSERT_TRUE(robot::pressEnter(w));
    EXPECT_EQ(resultOf(noFocus), 0);

    // As the real warning procedure: the focus on Cancel.
    auto cancelFocused = runModal(kWarning, focusCancelProc);
    w = robot::waitForDialog(kWarning);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::focusedControl(w), kIdCancel);
    ASSERT_TRUE(robot::pressEnter(w));
    EXPECT_EQ(resultOf(cancelFocused), 0);

    // As on Windows, a focused push button takes Enter: with the default focus
    // (the first WS_TABSTOP control, Continue) Enter presses Continue.
    auto defaultFocus = runModal(kWarning, okCancelProc);
    w = robot::waitForDialog(kWarning);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::focusedControl(w), kIdOk);
    ASSERT_TRUE(robot::pressEnter(w));
    EXPECT_EQ(resultOf(defaultFocus), 1);

    // The confirmation dialog: Upgrade is both first and default.
    auto confirm = runModal(kConfirm, okCancelProc);
    w = robot::waitForDialog(kConfirm);
    ASSERT_NE(w, nullptr);
    auto s = robot::state(w);
    ASSERT_TRUE(s.has_value());
    EXPECT_TRUE(s->controls[0].isDefault);
    EXPECT_FALSE(s->controls[1].isDefault);
    ASSERT_TRUE(robot::pressEnter(w));
    EXPECT_EQ(resultOf(confirm), 1);
}

TEST_F(DialogManager, UnhandledCancelDoesNotEndTheDialog) {
    auto f = runModal(kConfirm, ignoreAllProc);
    WindowHandle w = robot::waitForDialog(kConfirm);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressEscape(w));
    ASSERT_TRUE(robot::pressButton(w, kIdCancel));
    ASSERT_TRUE(robot::waitUntil([&] { return commandsSeen(w, kIdCancel) == 2; }));
    EXPECT_EQ(f.wait_for(50ms), std::future_status::timeout);
    EXPECT_TRUE(robot::isVisible(w));
    ASSERT_TRUE(robot::pressButton(w, kIdOk));
    EXPECT_EQ(resultOf(f), 7);
}

TEST_F(DialogManager, InitDialogComesFirstAndTheFirstTabStopControlTakesTheFocus) {
    auto f = runModal(kCredentials, okCancelProc);
    WindowHandle w = robot::waitForDialog(kCredentials);
    ASSERT_NE(w, nullptr);
    auto seen = callsOf(w);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].message, kWmInitDialog);
    EXPECT_EQ(robot::focusedControl(w), kIdOk);
    EXPECT_EQ(robot::title(w), "Enter Password Information");
    ASSERT_TRUE(robot::pressButton(w, kIdCancel));
    EXPECT_EQ(resultOf(f), 0);
}

TEST_F(DialogManager, UnknownTemplateFails) {
    EXPECT_EQ(runModalDialog(nullptr, 4242, okCancelProc), -1);
    EXPECT_EQ(createModelessDialog(nullptr, 4242, okCancelProc), nullptr);
}

// --- Modeless windows and the explicit pumps --------------------------------

TEST_F(DialogManager, ModelessWindowTakesNoKeyboardButCancelAndCloseBoxWork) {
    WindowHandle w = createModelessDialog(nullptr, kUpload, progressProc);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::waitForDialog(kUpload, 1000), w);
    EXPECT_EQ(robot::focusedControl(w), kIdCancel);
    EXPECT_FALSE(robot::pressEscape(w));
    EXPECT_FALSE(robot::pressEnter(w));
    pumpAllMessages(w);
    EXPECT_EQ(progressCancels, 0);

    ASSERT_TRUE(robot::pressCloseBox(w));
    EXPECT_EQ(progressCancels, 0);   // nothing runs until this thread pumps
    EXPECT_TRUE(pumpOneMessage(w));  // WM_CLOSE; DefDlgProc posts IDCANCEL
    EXPECT_EQ(progressCancels, 0);
    EXPECT_TRUE(pumpOneMessage(w));  // IDCANCEL
    EXPECT_EQ(progressCancels, 1);
    EXPECT_FALSE(robot::isAlive(w));
    EXPECT_FALSE(pumpOneMessage(w));

    w = createModelessDialog(nullptr, kWaiting, progressProc);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressButton(w, kIdCancel));
    pumpAllMessages(w);
    EXPECT_EQ(progressCancels, 2);
    EXPECT_FALSE(robot::isAlive(w));
}

TEST_F(DialogManager, PumpTakesOnlyTheMessagesOfThatWindow) {
    WindowHandle a = createModelessDialog(nullptr, kUpload, progressProc);
    WindowHandle b = createModelessDialog(nullptr, kWaiting, progressProc);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(robot::pressButton(a, kIdCancel));
    EXPECT_FALSE(pumpOneMessage(b));
    EXPECT_TRUE(robot::isAlive(a));
    EXPECT_TRUE(pumpOneMessage(a));
    EXPECT_FALSE(robot::isAlive(a));
    EXPECT_TRUE(robot::isAlive(b));

    // Another thread cannot take this thread's messages.
    ASSERT_TRUE(robot::pressButton(b, kIdCancel));
    bool taken = true;
    std::thread other([&] { taken = pumpOneMessage(b); });
    other.join();
    EXPECT_FALSE(taken);
    EXPECT_TRUE(robot::isAlive(b));
    // ...nor destroy its window.
    std::thread destroyer([&] { destroyWindow(b); });
    destroyer.join();
    EXPECT_TRUE(robot::isAlive(b));
    pumpAllMessages(b);
    EXPECT_FALSE(robot::isAlive(b));
}

// --- Two threads at once -----------------------------------------------------

TEST_F(DialogManager, ModalAndModelessDialogsOnTwoThreads) {
    // Thread A: a modal dialog. Thread B: a modeless progress window that pumps
    // only when the test lets it.
    std::thread::id threadA, threadB;
    std::promise<WindowHandle> progressWindow;
    std::atomic<bool> mayPump{false};
    std::atomic<bool> stop{false};
    std::atomic<int> progressPasses{0};

    std::thread b([&] {
        threadB = std::this_thread::get_id();
        WindowHandle w = createModelessDialog(nullptr, kWaiting, progressProc);
        setProgressRange(w, kProgressBar, 0, 100);
        progressWindow.set_value(w);
        int position = 0;
        while (!stop && robot::isAlive(w)) {
            setProgressPosition(w, kProgressBar, position++ % 100);
            if (mayPump) pumpAllMessages(w);
            ++progressPasses;
            std::this_thread::sleep_for(1ms);
        }
        if (robot::isAlive(w)) destroyWindow(w);
    });
    auto a = std::async(std::launch::async, [&] {
        threadA = std::this_thread::get_id();
        return runModalDialog(nullptr, kWarning, okCancelProc);
    });

    WindowHandle modal = robot::waitForDialog(kWarning);
    WindowHandle progress = progressWindow.get_future().get();
    ASSERT_NE(modal, nullptr);
    ASSERT_NE(progress, nullptr);
    ASSERT_EQ(robot::waitForDialog(kWaiting), progress);

    // Cancel on the progress window: not handled while B does not pump, and
    // never by A's modal loop, which is running all the time.
    ASSERT_TRUE(robot::pressButton(progress, kIdCancel));
    int passes = progressPasses;
    ASSERT_TRUE(robot::waitUntil([&] { return progressPasses > passes + 20; }));
    EXPECT_EQ(progressCancels, 0);
    EXPECT_EQ(commandsSeen(progress, kIdCancel), 0);
    EXPECT_TRUE(robot::isAlive(progress));
    EXPECT_TRUE(robot::isVisible(modal));

    mayPump = true;
    ASSERT_TRUE(robot::waitForClosed(progress));
    EXPECT_EQ(progressCancels, 1);

    ASSERT_TRUE(robot::pressButton(modal, kIdOk));
    EXPECT_EQ(resultOf(a), 1);
    stop = true;
    b.join();

    // Each procedure ran only on the thread that created its window.
    auto modalCalls = callsOf(modal);
    auto progressCalls = callsOf(progress);
    ASSERT_FALSE(modalCalls.empty());
    ASSERT_FALSE(progressCalls.empty());
    for (const Call& c : modalCalls) EXPECT_EQ(c.thread, threadA);
    for (const Call& c : progressCalls) EXPECT_EQ(c.thread, threadB);
    EXPECT_EQ(commandsSeen(modal, kIdCancel), 0);
    EXPECT_EQ(commandsSeen(progress, kIdOk), 0);
}

TEST_F(DialogManager, EveryWindowKnowsItsThread) {
    std::promise<std::thread::id> made;
    std::promise<void> done;
    std::thread t([&] {
        WindowHandle w = createModelessDialog(nullptr, kConnecting, progressProc);
        made.set_value(std::this_thread::get_id());
        done.get_future().wait();
        destroyWindow(w);
    });
    std::thread::id owner = made.get_future().get();
    WindowHandle w = robot::waitForDialog(kConnecting);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::state(w)->thread, owner);
    EXPECT_FALSE(robot::state(w)->modal);
    done.set_value();
    t.join();
    EXPECT_FALSE(robot::isAlive(w));
}

// --- Message boxes -----------------------------------------------------------

bool taskModalBoxProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdOk) {
        record(w, message, wParam);
        int answer = showMessageBox(nullptr, "Upgrade Failed: Test", kErrorBoxCaption, kMbOk | kMbTaskModal);
        endDialog(w, answer == kIdOk ? 1 : 5);
        return true;
    }
    return okCancelProc(w, message, wParam, lParam);
}

// The run's error box: no window of the run, on any thread, takes input while
// it is up, nor one opened meanwhile, so that no second box can follow it.
TEST_F(DialogManager, TaskModalBoxDisablesEveryWindowOfTheRunUntilAnswered) {
    // Thread A: a modeless window and a modal dialog. Thread B: a progress
    // window, and one more opened while the box is up.
    std::promise<WindowHandle> otherWindow;
    std::promise<void> boxUp;
    std::promise<WindowHandle> lateWindow;
    std::atomic<bool> stop{false};
    std::thread b([&] {
        WindowHandle w = createModelessDialog(nullptr, kUpload, progressProc);
        otherWindow.set_value(w);
        boxUp.get_future().wait();
        WindowHandle late = createModelessDialog(nullptr, kConnecting, progressProc);
        lateWindow.set_value(late);
        while (!stop) {
            pumpAllMessages(w);
            pumpAllMessages(late);
            std::this_thread::sleep_for(1ms);
        }
        if (robot::isAlive(w)) destroyWindow(w);
        if (robot::isAlive(late)) destroyWindow(late);
    });
    WindowHandle other = otherWindow.get_future().get();

    std::promise<WindowHandle> sameThreadWindow;
    auto a = std::async(std::launch::async, [&] {
        WindowHandle side = createModelessDialog(nullptr, kConnecting, progressProc);
        sameThreadWindow.set_value(side);
        intptr_t result = runModalDialog(nullptr, kConfirm, taskModalBoxProc);
        destroyWindow(side);
        return result;
    });
    WindowHandle side = sameThreadWindow.get_future().get();
    WindowHandle modal = robot::waitForDialog(kConfirm);
    ASSERT_NE(modal, nullptr);
    ASSERT_TRUE(robot::pressButton(modal, kIdOk));

    auto box = robot::waitForMessageBox();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, kErrorBoxCaption);
    EXPECT_EQ(box->text, "Upgrade Failed: Test");
    EXPECT_EQ(box->flags, kMbOk | kMbTaskModal);
    EXPECT_EQ(box->owner, nullptr);
    boxUp.set_value();
    WindowHandle late = lateWindow.get_future().get();
    ASSERT_TRUE(robot::waitUntil([&] { return robot::isVisible(late); }));

    for (WindowHandle w : {modal, side, other, late}) EXPECT_FALSE(robot::isEnabled(w));
    // Input to every window of the run is refused.
    EXPECT_FALSE(robot::pressButton(modal, kIdCancel));
    EXPECT_FALSE(robot::pressEscape(modal));
    EXPECT_FALSE(robot::pressButton(side, kIdCancel));
    EXPECT_FALSE(robot::pressButton(other, kIdCancel));
    EXPECT_FALSE(robot::pressButton(late, kIdCancel));
    EXPECT_EQ(a.wait_for(50ms), std::future_status::timeout);  // showMessageBox blocks

    EXPECT_FALSE(robot::answerMessageBox(box->id, kIdCancel));  // MB_OK has only OK
    ASSERT_TRUE(robot::answerMessageBox(box->id, kIdOk));
    EXPECT_EQ(resultOf(a), 1);
    EXPECT_TRUE(robot::isEnabled(other));
    EXPECT_TRUE(robot::isEnabled(late));

    ASSERT_TRUE(robot::pressButton(other, kIdCancel));
    ASSERT_TRUE(robot::waitForClosed(other));
    stop = true;
    b.join();
    EXPECT_EQ(commandsSeen(side, kIdCancel), 0);
    EXPECT_EQ(commandsSeen(late, kIdCancel), 0);
}

bool ownedBoxProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdOk) {
        record(w, message, wParam);
        showMessageBox(w, "Invalid IP Address", "Error", kMbOk);
        focusControl(w, 1000);
        return true;  // the dialog stays open
    }
    return okCancelProc(w, message, wParam, lParam);
}

TEST_F(DialogManager, BoxWithOwnerDisablesOnlyItsOwner) {
    std::promise<WindowHandle> sameThreadWindow;
    auto a = std::async(std::launch::async, [&] {
        WindowHandle side = createModelessDialog(nullptr, kConnecting, progressProc);
        sameThreadWindow.set_value(side);
        intptr_t result = runModalDialog(nullptr, kAddress, ownedBoxProc);
        destroyWindow(side);
        return result;
    });
    WindowHandle side = sameThreadWindow.get_future().get();
    WindowHandle w = robot::waitForDialog(kAddress);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(robot::pressButton(w, kIdOk));
    auto box = robot::waitForMessageBox();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, "Error");
    EXPECT_EQ(box->text, "Invalid IP Address");
    EXPECT_EQ(box->flags, kMbOk);
    EXPECT_EQ(box->owner, w);
    EXPECT_FALSE(robot::isEnabled(w));
    EXPECT_TRUE(robot::isEnabled(side));
    EXPECT_FALSE(robot::pressButton(w, kIdCancel));
    ASSERT_TRUE(robot::answerMessageBox(box->id));
    ASSERT_TRUE(robot::waitUntil([&] { return robot::focusedControl(w) == 1000; }));
    EXPECT_TRUE(robot::isEnabled(w));
    EXPECT_TRUE(robot::isVisible(w));
    ASSERT_TRUE(robot::pressButton(w, kIdCancel));
    EXPECT_EQ(resultOf(a), 0);
}

TEST_F(DialogManager, RobotWaitsTimeOutInsteadOfHanging) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(robot::waitForDialog(kSuccess, 100), nullptr);
    EXPECT_FALSE(robot::waitForMessageBox(100).has_value());
    EXPECT_FALSE(robot::waitUntil([] { return false; }, 100));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
}

// --- Control operations --------------------------------------------------------

TEST_F(DialogManager, TextReadsCutAtLimitMinusOne) {
    WindowHandle w = createModelessDialog(nullptr, kWarning, okCancelProc);
    ASSERT_NE(w, nullptr);
    setControlText(w, 1021, "abcdef\r\nline");
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(readControlText(w, 1021, buffer, 4), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'x');
    EXPECT_EQ(readControlText(w, 1021, buffer, 1), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(readControlText(w, 1021, buffer, sizeof buffer), 12u);
    EXPECT_STREQ(buffer, "abcdef\r\nline");
    EXPECT_EQ(readControlText(w, 1021, buffer, 13), 12u);
    EXPECT_EQ(readControlText(w, 1021, buffer, 12), 11u);
    EXPECT_STREQ(buffer, "abcdef\r\nlin");
    // The template's texts; a missing control reads empty.
    EXPECT_EQ(readControlText(w, kIdOk, buffer, sizeof buffer), 8u);
    EXPECT_STREQ(buffer, "Continue");
    EXPECT_EQ(readControlText(w, 4242, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    destroyWindow(w);
}

TEST_F(DialogManager, CredentialsFieldsKeep126Characters) {
    WindowHandle w = createModelessDialog(nullptr, kCredentials, okCancelProc);
    ASSERT_NE(w, nullptr);
    std::string user(200, 'u');
    ASSERT_TRUE(robot::typeText(w, 1003, user));
    ASSERT_TRUE(robot::typeText(w, 1005, "secret"));
    EXPECT_EQ(robot::focusedControl(w), 1005);
    char buffer[127];
    EXPECT_EQ(readControlText(w, 1003, buffer, 127), 126u);
    EXPECT_EQ(std::string(buffer), user.substr(0, 126));
    EXPECT_EQ(readControlText(w, 1005, buffer, 127), 6u);
    EXPECT_STREQ(buffer, "secret");
    // A UTF-8 character that does not fit whole is left out whole.
    ASSERT_TRUE(robot::typeText(w, 1005, std::string(125, 'p') + "\xc3\xa9"));
    EXPECT_EQ(readControlText(w, 1005, buffer, 127), 125u);
    EXPECT_EQ(std::string(buffer), std::string(125, 'p'));
    EXPECT_FALSE(robot::typeText(w, 1007, "read-only"));  // ES_READONLY
    EXPECT_FALSE(robot::typeText(w, -1, "static"));
    destroyWindow(w);
}

TEST_F(DialogManager, AddressControlAndComboBox) {
    WindowHandle w = createModelessDialog(nullptr, kAddress, okCancelProc);
    ASSERT_NE(w, nullptr);
    char buffer[64];
    // Four blank fields read as zeros; what the user typed reads back as typed.
    readControlText(w, 1000, buffer, 63);
    EXPECT_STREQ(buffer, "0.0.0.0");
    ASSERT_TRUE(robot::typeText(w, 1000, "10*1*0*123"));
    readControlText(w, 1000, buffer, 63);
    EXPECT_STREQ(buffer, "10*1*0*123");

    EXPECT_EQ(readComboSelection(w, 1017), -1);
    addComboEntry(w, 1017, "10.1.0.5");
    addComboEntry(w, 1017, "192.168.0.3");
    addComboEntry(w, 1017, "1.2.3.4");
    EXPECT_EQ(readComboSelection(w, 1017), -1);
    selectComboEntry(w, 1017, 0);
    EXPECT_EQ(readComboSelection(w, 1017), 0);
    EXPECT_EQ((robot::comboItems(w, 1017)), (std::vector<std::string>{"10.1.0.5", "192.168.0.3", "1.2.3.4"}));
    ASSERT_TRUE(robot::selectComboEntry(w, 1017, 1));
    EXPECT_EQ(readComboSelection(w, 1017), 1);
    EXPECT_EQ(robot::controlText(w, 1017), "192.168.0.3");
    EXPECT_FALSE(robot::selectComboEntry(w, 1017, 3));
    EXPECT_EQ(readComboSelection(w, 1017), 1);
    selectComboEntry(w, 1017, 5);  // CB_SETCURSEL out of range clears the selection
    EXPECT_EQ(readComboSelection(w, 1017), -1);
    EXPECT_EQ(readComboSelection(w, 1000), -1);  // not a combo box
    destroyWindow(w);
}

TEST_F(DialogManager, FocusFollowsSetFocusRules) {
    WindowHandle w = createModelessDialog(nullptr, kWarning, okCancelProc);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::focusedControl(w), kIdOk);  // first WS_TABSTOP control
    focusControl(w, 1021);                       // SetFocus works on any enabled control, WS_TABSTOP or not
    EXPECT_EQ(robot::focusedControl(w), 1021);
    focusControl(w, 4242);
    EXPECT_EQ(robot::focusedControl(w), 1021);
    destroyWindow(w);

    // The address dialog: the first WS_TABSTOP control is OK.
    w = createModelessDialog(nullptr, kAddress, okCancelProc);
    EXPECT_EQ(robot::focusedControl(w), kIdOk);
    destroyWindow(w);
}

TEST_F(DialogManager, TabVisitsTheEnabledTabStopsInTemplateOrder) {
    // The warning dialog: OK and Cancel have WS_TABSTOP, the read-only text 1021 has not.
    WindowHandle w = createModelessDialog(nullptr, kWarning, okCancelProc);
    ASSERT_NE(w, nullptr);
    dialogs::WindowState state;
    ASSERT_TRUE(dialogs::readWindowState(w, &state));
    EXPECT_EQ(dialogs::nextFocus(state, kIdOk, false), kIdCancel);
    EXPECT_EQ(dialogs::nextFocus(state, kIdCancel, false), kIdOk);  // past 1021, round to the start
    EXPECT_EQ(dialogs::nextFocus(state, 1021, false), kIdOk);
    EXPECT_EQ(dialogs::nextFocus(state, 1021, true), kIdCancel);
    EXPECT_EQ(dialogs::nextFocus(state, kIdOk, true), kIdCancel);
    EXPECT_EQ(dialogs::nextFocus(state, 4242, false), kIdOk);     // from nowhere: the first stop
    EXPECT_EQ(dialogs::nextFocus(state, 4242, true), kIdCancel);  // or the last
    // A view's own order; the stops stay the model's.
    EXPECT_EQ(dialogs::nextFocus(state, kIdCancel, false, {1021, kIdCancel, kIdOk}), kIdOk);
    EXPECT_EQ(dialogs::nextFocus(state, kIdOk, false, {1021, kIdCancel, kIdOk}), kIdCancel);
    state.controls[1].enabled = false;  // Cancel disabled: Tab stays on OK
    EXPECT_EQ(dialogs::nextFocus(state, kIdOk, false), kIdOk);
    state.controls[0].style &= ~0x10000000u;  // OK hidden (WS_VISIBLE) too: nowhere to go
    EXPECT_EQ(dialogs::nextFocus(state, kIdOk, false), 0);
    destroyWindow(w);
}

TEST_F(DialogManager, ProgressRangeCarriesSixteenBitLimits) {
    WindowHandle w = createModelessDialog(nullptr, kConnecting, progressProc);
    ASSERT_NE(w, nullptr);
    auto p = robot::progress(w, kProgressBar);
    EXPECT_EQ(p.low, 0);
    EXPECT_EQ(p.high, 100);
    EXPECT_EQ(p.position, 0);
    setProgressRange(w, kProgressBar, 0, 1562);
    setProgressPosition(w, kProgressBar, 781);
    p = robot::progress(w, kProgressBar);
    EXPECT_EQ(p.high, 1562);
    EXPECT_EQ(p.position, 781);
    setProgressRange(w, kProgressBar, 0, 70000);  // 70000 & 0xffff
    EXPECT_EQ(robot::progress(w, kProgressBar).high, 4464);
    setProgressPosition(w, kProgressBar, 9999);  // kept within the range
    EXPECT_EQ(robot::progress(w, kProgressBar).position, 4464);
    setProgressRange(w, kProgressBar, -1, 10);  // 0xffff as the low limit
    EXPECT_EQ(robot::progress(w, kProgressBar).low, 65535);
    destroyWindow(w);
}

TEST_F(DialogManager, TitlesAndDestroyedWindows) {
    WindowHandle w = createModelessDialog(nullptr, kUpload, progressProc);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(robot::title(w), "Uploading Firmware To ORB");
    setWindowTitle(w, "Uploading Firmware To ORB@10.1.0.123");
    EXPECT_EQ(robot::title(w), "Uploading Firmware To ORB@10.1.0.123");
    destroyWindow(w);
    WindowRect rect;
    EXPECT_FALSE(readWindowRect(w, &rect));
    EXPECT_FALSE(robot::pressButton(w, kIdCancel));
    EXPECT_EQ(robot::waitForDialog(kUpload, 50), nullptr);
    destroyWindow(w);  // twice is harmless
}

// --- Dialog units ---------------------------------------------------------------

TEST(DialogUnits, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(dialogs::mulDiv(1, 6, 4), 2);       // 1.5
    EXPECT_EQ(dialogs::mulDiv(-1, 6, 4), -2);     // -1.5
    EXPECT_EQ(dialogs::mulDiv(143, 13, 8), 232);  // 232.375
    EXPECT_EQ(dialogs::mulDiv(3, 13, 8), 5);      // 4.875
    EXPECT_EQ(dialogs::mulDiv(4, 13, 8), 7);      // 6.5
    EXPECT_EQ(dialogs::mulDiv(-4, 13, 8), -7);
    EXPECT_EQ(dialogs::mulDiv(4, 13, -8), -7);
    EXPECT_EQ(dialogs::mulDiv(5, 5, 0), -1);
}

class DialogUnitsWithBase : public testing::Test {
protected:
    void TearDown() override { dialogs::setDialogBaseUnits(6, 13); }
};

TEST_F(DialogUnitsWithBase, WarningDialogIs306By232AtSixByThirteen) {
    dialogs::setDialogBaseUnits(6, 13);
    WindowHandle w = createModelessDialog(nullptr, kWarning, okCancelProc);
    ASSERT_NE(w, nullptr);
    WindowRect rect;
    ASSERT_TRUE(readWindowRect(w, &rect));
    EXPECT_EQ(rect.right - rect.left, 306);
    EXPECT_EQ(rect.bottom - rect.top, 232);
    EXPECT_EQ(rect.left, 0);  // template position (0, 0)
    EXPECT_EQ(rect.top, 0);
    auto s = robot::state(w);
    ASSERT_TRUE(s.has_value());
    // Cancel: 109, 116, 50, 14 dialog units.
    EXPECT_EQ(s->controls[1].x, 164);  // 163.5
    EXPECT_EQ(s->controls[1].y, 189);  // 188.5
    EXPECT_EQ(s->controls[1].width, 75);
    EXPECT_EQ(s->controls[1].height, 23);  // 22.75
    destroyWindow(w);

    // The address dialog sits at (200, 200) dialog units.
    w = createModelessDialog(nullptr, kAddress, okCancelProc);
    ASSERT_TRUE(readWindowRect(w, &rect));
    EXPECT_EQ(rect.left, 300);
    EXPECT_EQ(rect.top, 325);
    EXPECT_EQ(rect.right - rect.left, 237);  // 158 * 6 / 4
    EXPECT_EQ(rect.bottom - rect.top, 294);  // 181 * 13 / 8 = 294.125
    destroyWindow(w);
}

TEST_F(DialogUnitsWithBase, OtherBaseUnits) {
    dialogs::setDialogBaseUnits(7, 13);  // DejaVu Sans
    WindowHandle w = createModelessDialog(nullptr, kWarning, okCancelProc);
    WindowRect rect;
    ASSERT_TRUE(readWindowRect(w, &rect));
    EXPECT_EQ(rect.right - rect.left, 357);
    EXPECT_EQ(rect.bottom - rect.top, 232);
    dialogs::setDialogBaseUnits(8, 16);
    ASSERT_TRUE(readWindowRect(w, &rect));
    EXPECT_EQ(rect.right - rect.left, 408);
    EXPECT_EQ(rect.bottom - rect.top, 286);
    destroyWindow(w);
}

// --- Views ----------------------------------------------------------------------

class CountingView : public dialogs::DialogView {
public:
    void windowCreated(WindowHandle) override { ++created; }
    void windowChanged(WindowHandle) override { ++changed; }
    void windowDestroyed(WindowHandle) override { ++destroyed; }
    void messageBoxShown(dialogs::MessageBoxId) override { ++shown; }
    void messageBoxClosed(dialogs::MessageBoxId) override { ++closed; }
    std::atomic<int> created{0}, changed{0}, destroyed{0}, shown{0}, closed{0};
};

TEST(DialogView, NotificationsAreCoalescedUntilTheViewReads) {
    CountingView view;
    dialogs::installDialogView(&view);
    EXPECT_EQ(dialogs::installedDialogView(), &view);
    WindowHandle w = createModelessDialog(nullptr, kUpload, progressProc);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(view.created, 1);
    EXPECT_EQ(view.changed, 1);  // shown
    setProgressRange(w, kProgressBar, 0, 1000);
    for (int i = 0; i < 1000; ++i) setProgressPosition(w, kProgressBar, i);
    EXPECT_EQ(view.changed, 1);
    dialogs::WindowState state;
    ASSERT_TRUE(dialogs::readWindowState(w, &state));
    EXPECT_EQ(state.controls[1].position, 999);
    setProgressPosition(w, kProgressBar, 1000);
    setWindowTitle(w, "x");
    EXPECT_EQ(view.changed, 2);
    destroyWindow(w);
    EXPECT_EQ(view.destroyed, 1);

    dialogs::installDialogView(nullptr);
    EXPECT_EQ(dialogs::installedDialogView(), dialogs::headlessDialogView());
}

// Sets its title while WM_INITDIALOG runs, before the window is shown.
bool retitlingProc(WindowHandle w, uint32_t message, uintptr_t, intptr_t) {
    if (message != kWmInitDialog) return false;
    setWindowTitle(w, "Preparing");
    return true;
}

class TitleView : public dialogs::DialogView {
public:
    void windowTitleChanged(WindowHandle, const dialogs::TitleChange& change) override { changes.push_back(change); }
    std::vector<dialogs::TitleChange> changes;  // the test's thread only
};

TEST(DialogView, EveryTitleChangeIsToldWithoutCoalescing) {
    TitleView view;
    dialogs::installDialogView(&view);
    WindowHandle w = createModelessDialog(nullptr, kUpload, retitlingProc);
    ASSERT_NE(w, nullptr);
    setWindowTitle(w, "Sending 1");
    setWindowTitle(w, "Sending 2");
    dialogs::installDialogView(nullptr);
    ASSERT_EQ(view.changes.size(), 3u);
    EXPECT_EQ(view.changes[0].previous, "Uploading Firmware To ORB");
    EXPECT_EQ(view.changes[0].title, "Preparing");
    EXPECT_FALSE(view.changes[0].shown);
    EXPECT_EQ(view.changes[1].previous, "Preparing");
    EXPECT_EQ(view.changes[2].previous, "Sending 1");
    EXPECT_EQ(view.changes[2].title, "Sending 2");
    EXPECT_TRUE(view.changes[2].shown);
    for (size_t i = 0; i < view.changes.size(); ++i) EXPECT_EQ(view.changes[i].number, i + 1);
    dialogs::WindowState state;
    ASSERT_TRUE(dialogs::readWindowState(w, &state));
    EXPECT_EQ(state.titleChanges, 3u) << "the state says how many changes it shows";
    destroyWindow(w);
}

}  // namespace
}  // namespace orb
