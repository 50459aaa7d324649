// The terminal view of the portable dialog manager: its loop over the
// terminal's descriptors, the wake-ups and the clock. How it presents the
// dialogs is a presenter's (presenter.h): full screen (screen_presenter.h,
// screen_builder.h for what it shows, key_decoder.h for the keys it reads) or
// line by line, the fallback without raw mode (line_presenter.h, line_mode.h).
//
// Threads: the notifications arrive on the program's threads and only wake the
// view's own thread (one byte into a pipe, at most one waiting at a time); that
// thread reads the model, draws, reads the keys and acts through
// orb::dialogs::input. Drawing is coalesced: at most one frame per redraw
// interval, and a frame writes only the lines whose text changed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dialogs/dialog_view.h"
#include "dialogs/terminal/key_actions.h"
#include "dialogs/terminal/key_decoder.h"
#include "dialogs/terminal/presenter.h"
#include "dialogs/terminal/redraw_throttle.h"
#include "dialogs/terminal/stage_tracker.h"
#include "dialogs/terminal/transcript.h"

namespace orb::dialogs::terminal {

enum class TerminalMode {
    Screen,  // raw mode: the live region redrawn in place, keys one by one
    Lines,   // the line-by-line fallback
};

struct TerminalOptions {
    int inputFd = 0;
    int outputFd = 1;
    TerminalMode mode = TerminalMode::Screen;
    // Used when the terminal's size cannot be read (TIOCGWINSZ on outputFd).
    int width = 80;
    int height = 24;
    int redrawIntervalMs = RedrawThrottle::kDefaultIntervalMs;
    int escapeTimeoutMs = KeyDecoder::kDefaultEscapeTimeoutMs;
    // Line mode: the shortest time between two printed lines of one progress
    // window.
    int lineProgressIntervalMs = 5000;
    // Called on the view's thread after SIGCONT (put the terminal back into
    // raw mode).
    std::function<void()> onContinue;
    // Milliseconds of a steady clock: when frames are due, when a lone Escape
    // is a key, when line mode prints progress again. Empty: steadyMs.
    std::function<int64_t()> clock;
};

struct TerminalStats;  // terminal_view_testing.h

// Milliseconds of a steady clock.
int64_t steadyMs();

class TerminalView : public dialogs::DialogView {
public:
    explicit TerminalView(const TerminalOptions& options);
    ~TerminalView() override;
    TerminalView(const TerminalView&) = delete;
    TerminalView& operator=(const TerminalView&) = delete;

    void windowCreated(WindowHandle window) override;
    void windowChanged(WindowHandle window) override;
    void windowDestroyed(WindowHandle window) override;
    // Tells the stage tracker; wakes nothing (windowChanged follows).
    void windowTitleChanged(WindowHandle window, const dialogs::TitleChange& change) override;
    void messageBoxShown(dialogs::MessageBoxId box) override;
    void messageBoxClosed(dialogs::MessageBoxId box) override;
    // An activity bar shows activity at 5 frames a second as well as at 30;
    // each frame costs a wake-up of the listener and one of this view.
    int progressFrameMs() const override { return 200; }

    // Draws and reads keys on the calling thread until stop(), or until the
    // input ends (returns false then).
    bool run();
    // From any thread.
    void stop();

    // Async-signal-safe: for the signal handlers of the front-end.
    void signalInterrupt();  // SIGINT: Ctrl-C
    void signalResize();     // SIGWINCH
    void signalContinue();   // SIGCONT

    // Erases the live region and shows the cursor; nothing is written after it.
    // From any thread, once (later calls do nothing); waits at most a moment
    // for a frame that is being written.
    void finish();

    friend TerminalStats readTerminalStats(const TerminalView& view);

private:
    void wake(char reason);
    void handleWakeBytes(const char* data, long size);
    void takeInputDone(const InputDone& done);
    void readSize();
    void draw(int64_t nowMs);
    void redrawAll();
    // Writes what `bytes` gives with the output locked, unless the view has
    // finished; the presenter is asked either way.
    void writeOutput(const std::function<std::string()>& bytes);
    // Writes all of `bytes`; the caller holds outputMutex_.
    bool writeLocked(const std::string& bytes);
    int64_t clockMs() const { return options_.clock ? options_.clock() : steadyMs(); }

    TerminalOptions options_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> notePending_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> notifications_{0};
    StageTracker stages_;  // any thread

    // The view's thread only.
    RedrawThrottle throttle_;
    int width_;
    int height_;
    KeyActions keys_;
    Transcript transcript_{stages_};
    std::unique_ptr<Presenter> presenter_;  // its output under outputMutex_

    // Output, guarded: the view's thread draws, finish() may come from anywhere.
    std::timed_mutex outputMutex_;
    std::atomic<uint64_t> frames_{0};
    std::atomic<uint64_t> writes_{0};
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> inputs_{0};
    std::atomic<uint64_t> shownRevision_{0};
};

}  // namespace orb::dialogs::terminal
