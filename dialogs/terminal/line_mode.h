// The line-by-line fallback of the terminal view, for a terminal that cannot
// be put into raw mode (or TERM=dumb): nothing is redrawn in place, the
// terminal's own line editing reads whole lines, and each line is a command:
//
//   (empty line)   Enter: the button marked < >
//   esc, cancel    Escape: Cancel (in a progress window: its Cancel button)
//   N              press button N of the dialog (1, 2, ... as listed)
//   a=TEXT         put TEXT into field a (b, c, ... as listed); for a list,
//                  b=N chooses entry N (or b=TEXT the entry with that text)
//   tab            move the focus to the next field or button
//
// Ctrl-C (SIGINT) counts as Escape. A password typed in this mode is echoed
// by the terminal as it is typed; the dialog shows it masked.
#pragma once

#include <string>
#include <vector>

#include "dialogs/dialog_view.h"

namespace orb::dialogs::terminal {

struct LineCommand {
    enum class Kind { Enter, Escape, Button, Field, Tab, Unknown };
    Kind kind = Kind::Unknown;
    int number = 0;     // Button: 1-based
    int field = -1;     // Field: 0 for a, 1 for b, ...
    std::string value;  // Field
};

LineCommand parseLineCommand(const std::string& line);

// The block that tells what the key target offers and how to answer, printed
// again whenever it changes. Empty when nothing takes input.
std::vector<std::string> linePrompt(const std::vector<dialogs::WindowState>& windows,
                                    const std::vector<dialogs::MessageBoxState>& boxes, WindowHandle selectedProgress,
                                    int width);

}  // namespace orb::dialogs::terminal
