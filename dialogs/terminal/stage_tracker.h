// The stages of the progress windows, for the log of the terminal view: titles
// of one kind differ only in their digits ("... 512/728196 Bytes"), and a title
// that one of another kind replaces while the window is shown ends a stage.
// The view draws a few times a second and may never read a title that lasted
// less, so the tracker is told of every change as the model makes it, under
// the model's lock (DialogView::windowTitleChanged): by the time a window's
// state is read, every change that state counts has been told, in order.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/dialog_view.h"

namespace orb::dialogs::terminal {

class StageTracker {
public:
    // Any thread; takes only the tracker's own lock.
    void titleChanged(WindowHandle window, const dialogs::TitleChange& change);
    // The last title of each stage that `window` left in its first `changes`
    // title changes (WindowState::titleChanges), oldest first. Changes made
    // before the view was installed were never told and end no stage.
    std::vector<std::string> endedStages(WindowHandle window, uint64_t changes);

private:
    struct Stages {
        std::vector<std::pair<uint64_t, std::string>> ended;  // change number, last title of the stage
    };
    std::mutex mutex_;
    std::map<WindowHandle, Stages> windows_;
};

}  // namespace orb::dialogs::terminal
