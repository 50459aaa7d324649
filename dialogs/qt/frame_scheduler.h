// When the Qt view reads the model: a notification from any thread only
// records which window changed and, when no pass is pending yet, queues one
// call to the GUI thread (never blocking the notifying thread). There a timer
// runs the pass at most about 30 times a second with what changed since the
// last one, so a progress loop that changes the model a thousand times a
// second costs a few dozen passes.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>

#include "platform/windowing.h"

namespace orb::dialogs::qt {

class FrameScheduler : public QObject {
public:
    // What a pass does, on the GUI thread: the windows that changed, and
    // whether the message boxes did.
    using Pass = std::function<void(const std::set<WindowHandle>& windows, bool boxes)>;

    FrameScheduler(QObject* parent, Pass pass);

    // Any thread: note the change; queue at most one call while none is pending.
    void markWindow(WindowHandle window);
    void markBoxes();

    // Counted for readViewStatistics (dialogs/qt/qt_view_testing.h): a
    // readWindowState call that a pass made.
    static void countWindowRead();

private:
    void schedule();
    // GUI thread.
    void armTimer();
    void pass();

    Pass pass_;
    std::mutex pendingMutex_;
    std::set<WindowHandle> pendingWindows_;
    bool pendingBoxes_ = false;
    std::atomic<bool> passPending_{false};

    QTimer timer_;
    QElapsedTimer sinceLastPass_;
};

}  // namespace orb::dialogs::qt
