// What the terminal view prints for good, in either mode, above what it
// shows of the open windows: the values of the modal dialogs that have closed,
// how each stage of a progress window ended, and the windows and message boxes
// as they appear. Full screen prints it styled, line mode plain.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dialogs/dialog_view.h"
#include "dialogs/terminal/snapshot.h"
#include "dialogs/terminal/stage_tracker.h"
#include "dialogs/terminal/terminal_text.h"

namespace orb::dialogs::terminal {

class Transcript {
public:
    explicit Transcript(StageTracker& stages) : stages_(stages) {}
    struct Lines {
        std::vector<StyledLine> lines;     // to print, in order
        std::vector<WindowHandle> closed;  // the windows shown so far that have gone
    };
    // What the model as it is `now` adds: the values of the dialogs that have
    // closed, then the windows and boxes that have appeared.
    Lines update(const Snapshot& now, int width);
    // The screen was cleared: the open windows and boxes are printed again.
    void forget();

private:
    void logStageEnds(const dialogs::WindowState& w, bool closing, int width, std::vector<StyledLine>* lines);

    StageTracker& stages_;
    std::set<WindowHandle> introduced_;
    // What the log holds of each progress window: the stages whose end it has
    // logged, and the last title it logged.
    struct LoggedStages {
        size_t stages = 0;
        std::string title;
    };
    std::map<WindowHandle, LoggedStages> logged_;
    std::set<dialogs::MessageBoxId> introducedBoxes_;
};

}  // namespace orb::dialogs::terminal
