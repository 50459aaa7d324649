// User actions, as views report them to the portable dialog manager. Each
// returns false when the action is refused: the window is not alive, not
// visible or disabled by a message box, the control is missing, disabled or of
// the wrong kind. Accepted button-like actions post WM_COMMAND to the thread
// that owns the window; the procedure runs when that thread pumps.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windowing.h"

namespace orb::dialogs {

using MessageBoxId = uint64_t;

namespace input {

bool pressButton(WindowHandle window, int controlId);  // a click; the button takes the focus
bool pressEnter(WindowHandle window);   // modal dialogs only: the focused push button, else the default one, else IDOK
bool pressEscape(WindowHandle window);  // modal dialogs only: IDCANCEL
bool pressCloseBox(WindowHandle window);                                     // WM_CLOSE; unhandled, it becomes IDCANCEL
bool typeText(WindowHandle window, int controlId, const std::string& text);  // replaces the text, takes the focus
bool selectComboEntry(WindowHandle window, int controlId, int index);
bool focusControl(WindowHandle window, int controlId);  // click or Tab into a control
// Cancels a window as Escape would: Escape in a modal dialog, a press of its
// Cancel button (IDCANCEL) in a modeless one, which has no dialog keys.
bool cancel(WindowHandle window);
bool answerMessageBox(MessageBoxId box, int button);  // kIdOk for the program's boxes

}  // namespace input

}  // namespace orb::dialogs
