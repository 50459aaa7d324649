// The stages of the progress windows, for the log of the terminal view: titles
// of one kind differ only in their digits ("... 512/728196 Bytes"), and a title
// that one of another kind replaces while the window is shown ends a stage.
// The view draws a few times a second and may never read a title that lasted
// less, so the tracker is told of every change on the thread that made it
// (DialogView::windowTitleChanged). A window's title is changed by one thread
// at a time (its progress loop), so its changes are told in order.
#pragma once

#include <condition_variable>
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
    // Any thread.
    void titleChanged(WindowHandle window, const dialogs::TitleChange& change);
    // The last title of each stage that `window` left in its first `changes`
    // title changes (WindowState::titleChanges), oldest first. A change is told
    // just after the model has it: this waits a moment for those still being
    // told; changes made before the view was installed are never told.
    std::vector<std::string> endedStages(WindowHandle window, uint64_t changes);

private:
    struct Stages {
        uint64_t told = 0;  // the number of the last change told (or given up on)
        std::vector<std::pair<uint64_t, std::string>> ended;  // change number, last title of the stage
    };
    std::mutex mutex_;
    std::condition_variable toldMore_;
    std::map<WindowHandle, Stages> windows_;
};

}  // namespace orb::dialogs::terminal
