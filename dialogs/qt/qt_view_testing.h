// What the tests and tools (the screenshots) read of the Qt view
// (dialogs/qt/qt_view.h): its widgets, its counters, pictures. Built with the
// view, which the tests link; the program itself uses none of it. GUI thread
// unless said otherwise.
#pragma once

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <vector>

#include "dialogs/qt/qt_view.h"

class QMessageBox;

namespace orb::dialogs::qt {

// Properties of the view's widgets, for tests and tools that look for them.
inline constexpr char kTemplateIdProperty[] = "orbTemplateId";      // a dialog window: its template id (int)
inline constexpr char kControlIdProperty[] = "orbControlId";        // a control's widget: the control id (int)
inline constexpr char kMessageBoxIdProperty[] = "orbMessageBoxId";  // a message box: its MessageBoxId (qulonglong)
inline constexpr char kHintObjectName[] = "orbHint";                // the QLabel of a window's hint (setWindowHint)

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
    uint64_t notifications = 0;  // DialogView calls received, any thread
    uint64_t queuedCalls = 0;    // calls queued to the GUI thread because of them
    uint64_t passes = 0;         // timer passes that read the model
    uint64_t windowReads = 0;    // readWindowState calls made by those passes
    int shortestPassGapMs = -1;  // shortest time between two passes; -1 before the second
};
// Any thread.
ViewStatistics readViewStatistics();

// A dialog or message box as a person sees it: the client area
// (QWidget::grab()) in a frame with a title bar that the style draws (caption,
// icon, close box). Works offscreen.
QImage pictureWithTitleBar(QWidget* window);

}  // namespace orb::dialogs::qt
