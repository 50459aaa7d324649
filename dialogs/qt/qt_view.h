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

#include "dialogs/dialog_view.h"

class QApplication;
class QObject;

namespace orb::dialogs::qt {

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

// Whether beginQtViewShutdown was called: the view's widgets then report
// nothing more to the model.
bool qtViewShuttingDown();
// The view's object on the GUI thread (nullptr before createQtView): what
// calls queued to the GUI thread are queued to.
QObject* qtViewObject();

// Aborts with a message when not called on the GUI thread: Qt does not warn
// when a widget is made on another thread.
void requireGuiThread(const char* what);

}  // namespace orb::dialogs::qt
