// What the tests read of the terminal view (dialogs/terminal/terminal_view.h):
// its counters. Built with the view; the program itself uses none of it.
#pragma once

#include <cstdint>

#include "dialogs/terminal/terminal_view.h"

namespace orb::dialogs::terminal {

struct TerminalStats {
    uint64_t notifications = 0;  // calls of the DialogView functions that wake the view
    uint64_t frames = 0;         // frames built
    uint64_t writes = 0;         // frames that wrote anything
    uint64_t bytes = 0;          // bytes written
    uint64_t inputs = 0;         // keys, lines and Ctrl-C signals handled
    uint64_t shownRevision = 0;  // the model's revision that the last frame read (modelRevision)
};

// Any thread.
TerminalStats readTerminalStats(const TerminalView& view);

}  // namespace orb::dialogs::terminal
