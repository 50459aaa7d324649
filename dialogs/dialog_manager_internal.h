// Parts of the dialog manager that only its own files use.
#pragma once

namespace orb::dialogs {

// When on, showMessageBox answers every box at once with IDOK and writes one
// line to standard error (see orb::robot::setAutoAnswer).
void setMessageBoxAutoAnswer(bool on);
bool messageBoxAutoAnswer();

}  // namespace orb::dialogs
