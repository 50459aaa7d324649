// Drives the Qt view like a person, from a thread of its own: it finds the
// view's widgets (QPushButton, QLineEdit, the address control's fields, message
// boxes) and clicks them or sends them key events on the GUI thread, so every
// action takes the view's input path (never the dialog manager's input calls).
//
// For tests that run the whole program in a child process: a failed step
// prints "DRIVER-FAIL: why" and ends the process with exit code 3; steps print
// "driver: ..." lines. Every wait is bounded.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

namespace orb::test::qt {

inline constexpr int kWaitMs = 15000;

// Prints "driver: <line>".
void note(const std::string& line);
// Prints "DRIVER-FAIL: <why>" and ends the process with exit code 3.
[[noreturn]] void fail(const std::string& why);
// fail() unless `condition`.
void check(bool condition, const std::string& what);

// Runs `task` on the GUI thread and waits for it; fail() on time-out.
void onGui(const std::function<void()>& task);

// Re-evaluates `condition` on the GUI thread every 10 ms until it holds; false
// after the time-out.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs);

// The newest visible window of the template that is not `notThis`; fail()
// after the time-out.
QPointer<QWidget> waitForWindow(int templateId, int timeoutMs = kWaitMs, QWidget* notThis = nullptr);
// The oldest visible message box; fail() after the time-out.
QPointer<QMessageBox> waitForMessageBox(int timeoutMs = kWaitMs);
// Waits until the window is hidden or deleted.
bool waitForGone(const QPointer<QWidget>& window, int timeoutMs = kWaitMs);

// The widget of a control (GUI thread only); fail() when missing.
QWidget* controlWidget(const QPointer<QWidget>& window, int controlId);

// What a control shows: a button's or label's text, an edit's text (the real
// text of a password field), a text area's plain text, a drop-down list's
// current entry, the address control's dotted text.
QString shownText(const QPointer<QWidget>& window, int controlId);
QString windowTitle(const QPointer<QWidget>& window);
bool windowEnabled(const QPointer<QWidget>& window);

// A click on a push button (QAbstractButton::click), as the mouse gives it.
void click(const QPointer<QWidget>& window, int controlId);
// Presses the message box's OK button.
void clickOk(const QPointer<QMessageBox>& box);
// Gives a control the keyboard focus as a click into it would.
void focus(const QPointer<QWidget>& window, int controlId);
// Types characters into whatever has the window's keyboard focus, one key
// press and release each (QCoreApplication::sendEvent), following the focus as
// it moves (the address control moves on by itself).
void type(const QPointer<QWidget>& window, const QString& text);
// One key (Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab...) to the focused widget.
void pressKey(const QPointer<QWidget>& window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The id of the control that has the window's keyboard focus; 0 when none.
int focusedControlId(const QPointer<QWidget>& window);

}  // namespace orb::test::qt
