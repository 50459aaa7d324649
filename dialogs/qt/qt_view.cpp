#include "dialogs/qt/qt_view.h"

#include <QApplication>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "dialogs/qt/dialog_keys.h"
#include "dialogs/qt/dialog_window.h"
#include "dialogs/qt/frame_scheduler.h"
#include "dialogs/qt/message_box_view.h"
#include "dialogs/qt/qt_placement.h"

namespace orb::dialogs::qt {

namespace {

std::atomic<bool> shuttingDown{false};

QObject* guiObject = nullptr;  // the view: lives on the GUI thread

}  // namespace

void requireGuiThread(const char* what) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() != application->thread()) {
        std::fprintf(stderr, "orb-upgrade: %s was to be made off the GUI thread\n", what);
        std::fflush(stderr);
        std::abort();
    }
}

bool qtViewShuttingDown() { return shuttingDown.load(); }

QObject* qtViewObject() { return guiObject; }

namespace {

class QtView final : public QObject, public DialogView {
public:
    QtView() {
        requireGuiThread("the view");
        guiObject = this;
        scheduler_ = new FrameScheduler(this, [this](const std::set<WindowHandle>& windows, bool boxes) {
            for (WindowHandle window : windows) syncWindow(window);
            if (boxes) boxes_.sync([this](WindowHandle owner) { return ownerWindow(owner); });
        });
        auto* keys = new DialogKeys(this);
        qApp->installEventFilter(keys);
        // The user moved the focus (click, Tab, a field of the address control):
        // the model's focus follows, so Enter presses what Windows would press.
        QObject::connect(qApp, &QApplication::focusChanged, this, [](QWidget*, QWidget* now) {
            DialogWindow* window = dialogWindowOf(now);
            if (window == nullptr || window->applying() || shuttingDown.load()) return;
            int index = window->controlIndexOf(now);
            if (index >= 0) input::focusControl(window->handle(), window->controlIdAt(index));
        });
    }

    void windowCreated(WindowHandle window) override { scheduler_->markWindow(window); }
    void windowChanged(WindowHandle window) override { scheduler_->markWindow(window); }
    void windowDestroyed(WindowHandle window) override { scheduler_->markWindow(window); }
    void messageBoxShown(MessageBoxId) override { scheduler_->markBoxes(); }
    void messageBoxClosed(MessageBoxId) override { scheduler_->markBoxes(); }
    // About one frame a second: a repaint costs X a round trip and far more
    // than the waiting itself. 1,100 ms is no multiple of the waiting bar's
    // one-second cycle (1,000 positions of 1 ms), so each frame steps it a
    // tenth further and it fills in 11 s, where a divisor would show it
    // standing still or flickering between a few places.
    int progressFrameMs() const override { return 1100; }

private:
    void syncWindow(WindowHandle handle) {
        WindowState state;
        bool known = readWindowState(handle, &state);
        FrameScheduler::countWindowRead();
        auto found = windows_.find(handle);
        DialogWindow* window = found != windows_.end() ? found->second : nullptr;
        if (!known || !state.alive) {
            if (window != nullptr) {
                window->hide();
                window->deleteLater();
                windows_.erase(found);
            }
            return;
        }
        if (!state.visible) {  // being made, or ended and about to be destroyed
            if (window != nullptr && window->isVisible()) window->hide();
            return;
        }
        bool fresh = window == nullptr;
        if (fresh) {
            window = new DialogWindow(state);
            windows_[handle] = window;
        }
        window->apply(state);
        if (!window->isVisible()) {
            window->show();
            raiseWindow(window);
            window->activateWindow();
        }
    }

    QWidget* ownerWindow(WindowHandle owner) const {
        auto found = windows_.find(owner);
        return owner != nullptr && found != windows_.end() ? found->second : nullptr;
    }

    FrameScheduler* scheduler_ = nullptr;
    std::map<WindowHandle, DialogWindow*> windows_;
    MessageBoxViews boxes_;
};

}  // namespace

DialogView* createQtView() { return new QtView; }

void beginQtViewShutdown() { shuttingDown.store(true); }

}  // namespace orb::dialogs::qt
