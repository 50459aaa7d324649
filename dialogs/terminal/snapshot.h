// The model as one pass of the terminal view reads it: what a frame draws and
// what a key acts on.
#pragma once

#include <utility>
#include <vector>

#include "dialogs/dialog_view.h"

namespace orb::dialogs::terminal {

struct Snapshot {
    std::vector<dialogs::WindowState> visible;    // creation order
    std::vector<dialogs::MessageBoxState> boxes;  // oldest first
};

inline Snapshot readSnapshot() {
    Snapshot s;
    for (WindowHandle handle : dialogs::listWindows()) {
        dialogs::WindowState state;
        if (dialogs::readWindowState(handle, &state) && state.visible && state.alive)
            s.visible.push_back(std::move(state));
    }
    s.boxes = dialogs::listMessageBoxes();
    return s;
}

}  // namespace orb::dialogs::terminal
