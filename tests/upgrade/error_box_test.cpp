// The error box really ends the process with exit code 0, after showing the
// exact caption and text (auto-answer mode logs the box to standard error).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/windowing.h"
#include "base/trace.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/error_box.h"
#include "upgrade/run_observer.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

// The child showed the error box with `text`, auto-answered, wrote nothing
// else and ended with exit code 0.
void expectEndedByTheErrorBox(const test::ChildResult& result, const std::string& text) {
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, test::messageBoxLine(text) + "\n");
}

// The one place the caption's exact text (its typo included) is pinned; the
// other tests take it from kErrorBoxCaption.
TEST(ErrorBox, CaptionIsTheProductsOwnText) { EXPECT_STREQ(kErrorBoxCaption, "ORB Firwmare Upgrade Error"); }

TEST(ErrorBox, FailRunShowsTheBoxAndEndsTheProcessWithZero) {
    auto result = test::runInChild([] {
        robot::setAutoAnswer(true);
        failRun(RunOutcome::NoResponse);
        std::fputs("not reached\n", stderr);
        std::_Exit(3);
    });
    expectEndedByTheErrorBox(result, "Upgrade Failed: No Response From ORB");
}

TEST(ErrorBox, TheLogLineEscapesQuotesAndLineBreaks) {
    auto result = test::runInChild([] {
        robot::setAutoAnswer(true);
        int answer = showMessageBox(nullptr, "a \"b\"\r\nc\\d", nullptr, kMbOk);
        std::fprintf(stderr, "answer %d\n", answer);
    });
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.output, "[message box] caption=\"Error\" text=\"a \\\"b\\\"\\r\\nc\\\\d\"\nanswer 1\n");
}

// A Cancel in a progress window on another thread: the window is destroyed,
// the box is shown, the process ends from that thread with exit code 0.
bool abortingProgressProc(WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) return true;
    if (message == kWmCommand && (wParam & 0xFFFF) == kIdCancel) {
        destroyWindow(w);
        failRun(RunOutcome::UserAbort);
    }
    return false;
}

TEST(ErrorBox, CancelInAProgressWindowOnAnotherThreadEndsTheProcess) {
    auto result = test::runInChild([] {
        robot::setAutoAnswer(true);
        std::thread listener([] {
            WindowHandle w = createModelessDialog(nullptr, 114, abortingProgressProc);
            for (;;) {
                pumpAllMessages(w);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        WindowHandle w = robot::waitForDialog(kWaitingWindowId, 5000);
        if (w == nullptr || !robot::pressButton(w, kIdCancel)) std::_Exit(4);
        listener.join();  // never returns: the listener thread ends the process
        std::_Exit(5);
    });
    expectEndedByTheErrorBox(result, "Upgrade Failed: User Abort");
}

// Without auto-answer, the robot sees the box and the process ends only once
// it is answered.
TEST(ErrorBox, TheRobotAnswersTheErrorBox) {
    auto result = test::runInChild([] {
        std::thread failing([] { failRun(RunOutcome::UserAbort); });
        auto box = robot::waitForMessageBox(5000);
        if (!box) std::_Exit(4);
        std::fprintf(stderr, "box %s|%s|%x|%p\n", box->caption.c_str(), box->text.c_str(), box->flags,
                     static_cast<void*>(box->owner));
        robot::answerMessageBox(box->id);
        failing.join();
        std::_Exit(5);
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, std::string("box ") + kErrorBoxCaption + "|Upgrade Failed: User Abort|2000|(nil)\n");
}

// Two threads meet a failure while the first one's box is up (Cancel in two
// windows, a worker's failure under the box): one box, one outcome, the end
// hooks once; the second failure is traced and goes no further.
std::atomic<bool> secondEndTraced{false};
void noteSecondEnd(const char* text) {
    if (std::strstr(text, "The run is ending already") == nullptr) return;
    std::fprintf(stderr, "trace %s", text);
    secondEndTraced = true;
}

struct CountingObserver final : RunObserver {
    void runEnded(RunOutcome outcome, const char*) override {
        std::fprintf(stderr, "ended %d\n", static_cast<int>(outcome));
    }
};

TEST(ErrorBox, ASecondFailureWhileTheBoxIsUpShowsNothingAndTheRunEndsOnce) {
    auto result = test::runInChild([] {
        setTraceSink(noteSecondEnd);
        static CountingObserver observer;
        setRunObserver(&observer);
        addProcessEndHook([] { std::fputs("end hook\n", stderr); });
        std::thread first([] { failRun(RunOutcome::UserAbort); });
        auto box = robot::waitForMessageBox(5000);
        if (!box) std::_Exit(4);
        std::thread second([] { failRun(RunOutcome::CannotConnect); });
        // Either the second thread gives way (traced) or it raises a box of its own.
        robot::waitUntil([] { return secondEndTraced.load() || robot::openMessageBoxes().size() > 1; }, 5000);
        std::fprintf(stderr, "boxes %zu\n", robot::openMessageBoxes().size());
        robot::answerMessageBox(box->id);
        first.join();
        std::_Exit(5);
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output,
              "ended " + std::to_string(static_cast<int>(RunOutcome::UserAbort)) +
                  "\ntrace The run is ending already; this end is left unreported: Upgrade Failed: Can't connect to "
                  "ORB\nboxes 1\nend hook\n");
}

}  // namespace
}  // namespace orb
