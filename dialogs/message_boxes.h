// Message boxes of the portable dialog manager: the box blocks its caller
// until a view (or the tests' robot) answers it through input::answerMessageBox.
#pragma once

namespace orb::dialogs {

// Whether `button` (IDOK, IDCANCEL, IDYES ...) is one that a box with `flags`
// (MB_OK, MB_YESNO ...) shows.
bool isValidAnswer(unsigned flags, int button);

// When on, showMessageBox answers every box at once with IDOK and writes one
// line to standard error (see orb::robot::setAutoAnswer).
void setMessageBoxAutoAnswer(bool on);
bool messageBoxAutoAnswer();

}  // namespace orb::dialogs
