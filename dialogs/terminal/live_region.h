// The bottom part of the terminal that the view redraws in place (the live
// region), below the lines it has printed for good (the transcript).
//
// update() gives the bytes that take the screen from what it shows to the new
// frame: only the lines that changed are written (moving the cursor with plain
// VT100 sequences: CUU/CUD, CR, EL, ED), nothing at all when nothing visible
// changed. Lines are never longer than the width they were fitted to, so the
// terminal never wraps them and the cursor's row is always known.
#pragma once

#include <string>
#include <vector>

#include "dialogs/terminal/terminal_text.h"

namespace orb::dialogs::terminal {

struct Cursor {
    int line = -1;  // line of the live region; -1: the cursor is hidden
    int column = 0;
};

class LiveRegion {
public:
    // `transcript` lines are printed above the region (they scroll away
    // later); `lines` become the region. Returns the bytes to write; empty
    // when the screen already shows exactly this.
    std::string update(const std::vector<std::string>& transcript, const std::vector<StyledLine>& lines, Cursor cursor);
    // Erases the region and leaves the cursor at its first column with
    // attributes reset and the cursor shown: for the end of the program.
    std::string erase();
    // The screen was cleared: the region is empty and the cursor at its start.
    void forget();
    int rows() const { return static_cast<int>(shown_.size()); }

private:
    std::vector<std::string> shown_;  // rendered lines as on screen
    int row_ = 0;                     // the cursor's row in the region
    Cursor cursor_;
    bool cursorShown_ = true;  // the terminal's cursor is visible at the start
};

// CSI helpers.
std::string cursorUp(int n);
std::string cursorDown(int n);
std::string cursorRight(int n);

}  // namespace orb::dialogs::terminal
