// The diagnostics log's lines about dialogs: shown, a button pressed, a
// message box and its answer. Both dialog managers write them (the portable
// one in dialogs/, the Windows program's through platform/window_events.h),
// so a log reads the same whichever system made it. Nothing is written when no
// log is open.
#pragma once

#include <string>
#include <string_view>

namespace orb {

// A text in quotes in the log: backslash escapes for \, ", CR, LF and tab.
std::string escapeForLog(std::string_view text);

// dialog shown: 104 "Enter Password Information"
void logDialogShown(int templateId, std::string_view title);
// button pressed: dialog 104 "Enter Password Information", button 1 "OK" (Enter)
// `how` names the key that pressed it; empty for a click.
void logButtonPressed(int templateId, std::string_view title, int buttonId, std::string_view caption,
                      std::string_view how);
// close box pressed: dialog 111 "..."
void logCloseBoxPressed(int templateId, std::string_view title);
// dialog hint: 114 "..."
void logDialogHint(int templateId, std::string_view hint);
// message box shown: "ORB Firwmare Upgrade Error" "Upgrade Failed: User Abort"
void logMessageBoxShown(std::string_view caption, std::string_view text);
// message box answered: "ORB Firwmare Upgrade Error", button 1 [(automatically)]
void logMessageBoxAnswered(std::string_view caption, int button, bool automatically);

}  // namespace orb
