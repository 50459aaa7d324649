// The test robot: drives the dialogs of the portable dialog manager like a user,
// from a test thread, while the program's threads run their dialogs.
//
// It works with whatever view is installed (the headless view by default): it
// reads the model and acts through orb::dialogs::input, so every action that it
// takes is posted to the thread that owns the window, exactly as a view's would
// be. Every wait is bounded by a time-out and reports failure (a null handle,
// false or an empty optional) instead of hanging.
//
// Typical use:
//
//   std::thread program([] { result = orb::runModalDialog(nullptr, 139, warningDialogProc); });
//   orb::WindowHandle w = orb::robot::waitForDialog(139);
//   ASSERT_NE(w, nullptr);
//   EXPECT_EQ(orb::robot::title(w), "ORB-4100 Firmware Upgrade");
//   ASSERT_TRUE(orb::robot::pressButton(w, orb::kIdOk));
//   program.join();
//
// Auto-answer mode, for tests that run the program in a child process: every
// message box is answered at once with IDOK, without blocking, and written to
// standard error as exactly one line:
//
//   [message box] caption="CAPTION" text="TEXT"
//
// where, in CAPTION and TEXT, a backslash is written \\, a double quote \",
// a carriage return \r, a line feed \n and a tab \t; everything else as is.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/windowing.h"
#include "dialogs/dialog_view.h"

namespace orb::robot {

inline constexpr int kDefaultTimeoutMs = 10000;

// --- Waiting -----------------------------------------------------------------

// The newest live, shown window made from the template (WM_INITDIALOG has run
// and the window is visible, so its texts are filled); nullptr after the
// time-out.
WindowHandle waitForDialog(int templateId, int timeoutMs = kDefaultTimeoutMs);
// As waitForDialog, but only a window that is not in `seen` (e.g. the next
// connecting window after an earlier one).
WindowHandle waitForNewDialog(int templateId, const std::vector<WindowHandle>& seen, int timeoutMs = kDefaultTimeoutMs);
// True once the window has been destroyed or has ended (endDialog).
bool waitForClosed(WindowHandle window, int timeoutMs = kDefaultTimeoutMs);
// Re-evaluates `condition` whenever the model changes; true as soon as it
// holds, false after the time-out. The condition may call the readers below.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kDefaultTimeoutMs);

// --- Reading -----------------------------------------------------------------

// Live windows in creation order (shown or not).
std::vector<WindowHandle> openWindows();
// Template id of a window; 0 for an unknown handle.
int templateOf(WindowHandle window);
bool isVisible(WindowHandle window);  // initialised, shown and not ended
bool isAlive(WindowHandle window);    // not destroyed
bool isEnabled(WindowHandle window);  // false while a message box disables it
std::string title(WindowHandle window);
// The line shown below the dialog (setWindowHint); "" when none.
std::string hint(WindowHandle window);
// A control's text as the user sees it: the selected entry for a drop-down list,
// the real text for a password field. Empty for a missing control.
std::string controlText(WindowHandle window, int controlId);
bool isControlEnabled(WindowHandle window, int controlId);
std::vector<std::string> comboItems(WindowHandle window, int controlId);
int comboSelection(WindowHandle window, int controlId);  // -1 when none
struct Progress {
    int low = 0;
    int high = 0;
    int position = 0;
};
Progress progress(WindowHandle window, int controlId);
// Id of the focused control; kNoFocus when no control has the focus.
inline constexpr int kNoFocus = -0x7fffffff;
int focusedControl(WindowHandle window);
// The whole state (rectangles, styles, thread...), as a view sees it.
std::optional<dialogs::WindowState> state(WindowHandle window);

// --- Acting (false when the action is refused, see dialogs::input) ------------

bool typeText(WindowHandle window, int controlId, const std::string& text);
bool selectComboEntry(WindowHandle window, int controlId, int index);
bool focusControl(WindowHandle window, int controlId);
bool pressButton(WindowHandle window, int controlId);
bool pressEnter(WindowHandle window);
bool pressEscape(WindowHandle window);
bool pressCloseBox(WindowHandle window);

// --- Message boxes -----------------------------------------------------------

struct MessageBoxInfo {
    dialogs::MessageBoxId id = 0;
    std::string caption;
    std::string text;
    unsigned flags = 0;
    WindowHandle owner = nullptr;
};
// The oldest open box not yet answered; nullopt after the time-out.
std::optional<MessageBoxInfo> waitForMessageBox(int timeoutMs = kDefaultTimeoutMs);
std::vector<MessageBoxInfo> openMessageBoxes();
// Answers the box (the user presses the button); the thread blocked in
// showMessageBox returns `button`.
bool answerMessageBox(dialogs::MessageBoxId box, int button = kIdOk);

// Auto-answer mode (see above). Off by default; a process-wide switch.
void setAutoAnswer(bool on);

}  // namespace orb::robot
