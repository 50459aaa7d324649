// Helpers of the terminal view's tests: the view on pipes instead of a
// terminal, the run state that the real dialog procedures read, and a modal
// dialog run on its own thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/windowing.h"
#include "dialogs/terminal/terminal_view.h"

namespace orb::test {

// The view's clock: the steady clock, or one that stands still until the test
// moves it (advanceClock), so that what is due when depends on the test alone.
enum class ViewClock { Steady, Manual };

// A TerminalView whose keys come from a pipe and whose output goes into a
// string, running on its own thread; installed as the dialog manager's view
// while it lives (create it before the first window of the test).
class ViewHarness {
public:
    explicit ViewHarness(dialogs::terminal::TerminalMode mode = dialogs::terminal::TerminalMode::Screen, int width = 80,
                         int height = 24, ViewClock clock = ViewClock::Steady);
    ~ViewHarness();  // stops the view and puts the headless view back

    // Bytes as a terminal would send them ("\t", "\r", "\x1b[C", ...).
    void type(const std::string& bytes);
    // Everything the view has written so far.
    std::string output();
    // The output without escape sequences: roughly what a person reads.
    std::string text();
    // Waits until the text contains `needle`.
    bool waitForText(const std::string& needle, int timeoutMs = 5000);
    // Waits until `condition` holds, checking it again whenever the view has
    // written or has been through a pass of its loop (it reads its clock on
    // each, and the harness gives it a clock that says so).
    bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);
    // Waits until the view has handled `count` inputs (keys, lines, Ctrl-C)
    // since its start, or drawn a frame that read the model at `revision` or later.
    bool waitForInputs(uint64_t count, int timeoutMs = 5000);
    bool waitForFrameOf(uint64_t revision, int timeoutMs = 5000);
    dialogs::terminal::TerminalView& view() { return *view_; }
    // A manual clock moves on by `ms`; the view reads it on its next pass (it
    // passes at least once per frame interval while a frame waits).
    void advanceClock(int64_t ms) { manualMs_ += ms; }

private:
    dialogs::terminal::TerminalView* view_ = nullptr;  // never freed: notifications may still arrive
    int inputWrite_ = -1;
    int inputRead_ = -1;
    int outputRead_ = -1;
    int outputWrite_ = -1;
    std::thread viewThread_;
    std::thread readerThread_;
    std::mutex mutex_;
    std::string output_;
    std::mutex eventMutex_;
    std::condition_variable event_;
    uint64_t events_ = 0;  // outputs read and clock readings of the view
    std::atomic<int64_t> manualMs_{1000000};
    void noteEvent();
};

// runState as the procedures expect it: product "ORB-4100", image version
// "2.0.10(a)", PC addresses 10.1.0.5 and 192.168.0.3, an adapter's status.
void prepareRunState();

// A modal dialog on its own thread with the real procedure.
class ModalRun {
public:
    ModalRun(int templateId, DialogProc procedure);
    ~ModalRun();  // cancels a dialog that is still open, then joins
    WindowHandle window() const { return window_; }
    // Waits for the dialog to end; its result, or -2 after the time-out.
    intptr_t result(int timeoutMs = 5000);

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ended_;
    std::atomic<bool> done_{false};
    std::atomic<intptr_t> result_{0};
    WindowHandle window_ = nullptr;
};

// Strips VT100 sequences (ESC [ ... final) from terminal output.
std::string withoutEscapes(const std::string& output);

}  // namespace orb::test
