// The Qt view of the portable dialog manager (dialogs/dialog_view.h).
//
// Qt runs on the process's main thread, the GUI thread; the program's threads
// change the model. A notification from any thread only records which window
// changed and, when no pass is pending yet, queues one call to the GUI thread
// (QMetaObject::invokeMethod, queued, never blocking the notifying thread).
// There a timer reads the changed windows with readWindowState at most about
// 30 times a second and brings the widgets up to date, so a progress loop that
// changes the model a thousand times a second costs a few dozen passes.
//
// The widgets never call a dialog procedure: clicks, typing, Enter, Escape,
// Tab, the close box and message-box buttons go through
// orb::dialogs::input, which posts to the thread that owns the window.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "dialogs/dialog_view.h"

class QApplication;
class QMessageBox;

namespace orb::dialogs::qt {

// Properties of the view's widgets, for tests and tools that look for them.
inline constexpr char kTemplateIdProperty[] = "orbTemplateId";      // a dialog window: its template id (int)
inline constexpr char kControlIdProperty[] = "orbControlId";        // a control's widget: the control id (int)
inline constexpr char kMessageBoxIdProperty[] = "orbMessageBoxId";  // a message box: its MessageBoxId (qulonglong)
inline constexpr char kHintObjectName[] = "orbHint";                // the QLabel of a window's hint (setWindowHint)

// Sets the application up for the dialogs (name, icon, look, dialog font),
// gives the model the font's base units and the screen size, and installs the
// view. GUI thread, after QApplication, before the first window opens.
// runWithQtView does this; tests that make their own QApplication too.
void installQtView(QApplication& application);

// Makes the view (installQtView does); one per process, never freed.
DialogView* createQtView();
// From now on notifications are dropped and nothing more is queued to the GUI
// thread (the process is ending, the event loop may be gone).
void beginQtViewShutdown();
bool qtViewShuttingDown();

// Aborts with a message when not called on the GUI thread: Qt does not warn
// when a widget is made on another thread.
void requireGuiThread(const char* what);

// --- For tests and tools: GUI thread unless said otherwise --------------------

// The newest visible window of the template, or nullptr.
QWidget* findDialogWindow(int templateId);
// The widget of a control of that window (the first with that id), or nullptr.
QWidget* findControl(QWidget* dialogWindow, int controlId);
// The visible message boxes, oldest first.
std::vector<QMessageBox*> visibleMessageBoxes();

// From any thread but the GUI thread: runs `task` there and waits at most
// timeoutMs for it. False on time-out or once shutting down (the task may then
// still run later, so it must own what it uses).
bool runOnGuiThread(const std::function<void()>& task, int timeoutMs);

struct ViewStatistics {
    uint64_t notifications = 0;   // DialogView calls received, any thread
    uint64_t queuedCalls = 0;     // calls queued to the GUI thread because of them
    uint64_t passes = 0;          // timer passes that read the model
    uint64_t windowReads = 0;     // readWindowState calls made by those passes
    int shortestPassGapMs = -1;   // shortest time between two passes; -1 before the second
};
// Any thread.
ViewStatistics readViewStatistics();

// A dialog or message box as a person sees it: the client area
// (QWidget::grab()) in a frame with a title bar that the style draws (caption,
// icon, close box). Works offscreen.
QImage pictureWithTitleBar(QWidget* window);

}  // namespace orb::dialogs::qt
