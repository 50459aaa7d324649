// What the terminal view shows, built from the dialog manager's model without
// touching a terminal: the lines printed for good when a window or a message
// box appears (its title and texts), and the live region below them (the
// fields, the buttons, one line per progress window, the keys that work now).
//
// Controls are placed by their template rectangles: top to bottom, then left
// to right. A static text left of a control at the same height is that
// control's label ("Serial Number: ORB41000001"). Read-only edits and statics
// are texts; editable edits, the IPv4 address control and combo boxes are
// fields; push buttons form the button row. Icons are not shown.
#pragma once

#include <string>
#include <vector>

#include "dialogs/dialog_view.h"
#include "dialogs/terminal/live_region.h"
#include "dialogs/terminal/terminal_text.h"

namespace orb::dialogs::terminal {

using dialogs::ControlState;
using dialogs::MessageBoxState;
using dialogs::WindowState;

// A modeless window with a progress bar (templates 105, 114, 110).
bool isProgressWindow(const WindowState& window);
bool isField(const ControlState& control);         // takes typing or a choice
bool isAddressField(const ControlState& control);  // SysIPAddress32
bool isComboBox(const ControlState& control);

// The controls that Tab visits, in the order shown: the fields, then the
// buttons. Disabled controls are left out.
std::vector<int> focusOrder(const WindowState& window);
// The label shown for a control ("" for buttons and texts without one).
std::string labelOf(const WindowState& window, int controlId);
// What a field shows: the text, masked for a password field; for a combo box
// the selected entry.
std::string fieldText(const ControlState& control);

// Who gets the keys now.
struct KeyTarget {
    enum class Kind { None, MessageBox, Dialog, Progress };
    Kind kind = Kind::None;
    dialogs::MessageBoxId box = 0;
    WindowHandle window = nullptr;
};
// The oldest open message box; else the topmost visible, enabled modal
// dialog; else the chosen progress window (`selectedProgress` when it is one
// of the visible, enabled ones, otherwise the oldest of them).
KeyTarget findKeyTarget(const std::vector<WindowState>& windows, const std::vector<MessageBoxState>& boxes,
                        WindowHandle selectedProgress);

// Printed when the window is first shown: a blank line and the title, then
// the texts (wrapped, their own line breaks kept). Progress windows: the title
// after "-- " and their texts.
std::vector<StyledLine> windowIntroduction(const WindowState& window, int width);
// Printed when a progress window leaves a stage or closes: its last title
// after "-- ", as the introduction shows it.
std::vector<StyledLine> stageRecord(const std::string& title, int width);
// Printed when a modal dialog with fields closes: the values it was left
// with, as "Label: value" lines (password masked).
std::vector<StyledLine> fieldRecord(const WindowState& window, int width);
// Printed when a message box is shown: a blank line, the caption, the text.
std::vector<StyledLine> messageBoxIntroduction(const MessageBoxState& box, int width);

// The live region.
struct LiveScreen {
    std::vector<StyledLine> lines;
    Cursor cursor;  // at the end of the focused text field of the target dialog
};
// `windows`: the visible windows in creation order; `boxes`: the open boxes,
// oldest first; `width`, `height`: the terminal's size (lines are fitted to
// width - 1 so the terminal never wraps them; at most height - 1 lines).
LiveScreen buildLiveScreen(const std::vector<WindowState>& windows, const std::vector<MessageBoxState>& boxes,
                           WindowHandle selectedProgress, int width, int height);

// One progress window as one line: [marker] title, bar, and the hint that
// Escape or Ctrl-C cancels when `keysCancelIt`.
StyledLine progressLine(const WindowState& window, bool marked, bool markerColumn, bool keysCancelIt, int width);

// The window's hint (setWindowHint), wrapped to the width and indented under
// its progress line; none when it has no hint.
std::vector<StyledLine> hintLines(const WindowState& window, bool markerColumn, int width);

}  // namespace orb::dialogs::terminal
