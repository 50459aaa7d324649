// How the terminal view presents the dialogs: full screen (screen_presenter.h)
// or line by line (line_presenter.h). The view's loop (terminal_view.h) reads
// the descriptors, the model and the clock and decides when a frame is due; a
// presenter turns the input into actions and each frame into the bytes that
// take the terminal from what it shows to what the model holds.
//
// The view's thread only. The functions that give bytes are called with the
// output locked (the end may come from any thread), also after the end, when
// the view no longer writes what they give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/terminal/snapshot.h"
#include "dialogs/terminal/terminal_text.h"

namespace orb::dialogs::terminal {

struct Frame {
    const Snapshot& now;
    const std::vector<StyledLine>& transcript;  // printed for good above the rest (transcript.h)
    const std::vector<WindowHandle>& closed;    // the windows shown so far that have gone
    int width;
    int height;
    int64_t nowMs;
};

// What input did, for the loop.
struct InputDone {
    int handled = 0;             // keys and lines acted on
    bool redrawAll = false;      // Ctrl-L: everything again
    bool postponeFrame = false;  // the next frame after one interval, when the dialog has taken the command
};

class Presenter {
public:
    virtual ~Presenter() = default;
    // Bytes read from the terminal: acts on every key or line complete in them.
    virtual InputDone takeInput(const char* data, size_t size, int64_t nowMs) = 0;
    // Acts on input that is complete by waiting (a lone Escape), on every pass.
    virtual InputDone takeLateInput(int64_t nowMs) = 0;
    // Milliseconds until takeLateInput has something (0: now); -1 for nothing.
    virtual int inputWaitMs(int64_t nowMs) const = 0;
    // Frames are wanted this often even when nothing changes; -1 for never.
    virtual int idleFrameMs() const = 0;

    // Output locked: the bytes of a frame ("" when nothing changed), of a
    // start from a cleared screen, and of the end.
    virtual std::string frame(const Frame& frame) = 0;
    virtual std::string restart() = 0;
    virtual std::string end() = 0;
};

}  // namespace orb::dialogs::terminal
