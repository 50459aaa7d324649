// Message boxes of the portable dialog manager: the box blocks its caller
// until a view (or the tests' robot) answers it through input::answerMessageBox.
#pragma once

#include <string>
#include <vector>

namespace orb::dialogs {

// The buttons (IDOK, IDCANCEL, IDYES ...) that a box with `flags` (MB_OK,
// MB_YESNO ...) shows, left to right. Every view draws these.
std::vector<int> messageBoxButtons(unsigned flags);
// A button's caption as a view without its own writes it ("OK", "Yes" ...).
std::string messageBoxButtonCaption(int button);
// The button that Enter presses (MB_DEFBUTTON2, MB_DEFBUTTON3 choose another),
// and the one that Escape does (0: none).
int messageBoxEnterButton(unsigned flags);
int messageBoxEscapeButton(unsigned flags);
// Whether a box with `flags` takes `button` as its answer.
bool isValidAnswer(unsigned flags, int button);

// When on, showMessageBox answers every box at once with IDOK and writes one
// line to standard error (see orb::robot::setAutoAnswer).
void setMessageBoxAutoAnswer(bool on);
bool messageBoxAutoAnswer();

}  // namespace orb::dialogs
