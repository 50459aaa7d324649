#include "upgrade/run_observer.h"

#include <atomic>

namespace orb {

namespace {

std::atomic<RunObserver*> installed{nullptr};
std::atomic<bool> ended{false};

}  // namespace

void setRunObserver(RunObserver* observer) {
    installed = observer;
    ended = false;
}

RunObserver* runObserver() { return installed.load(); }

void reportWindowShown(RunStep step, WindowHandle window) {
    RunObserver* observer = runObserver();
    if (observer == nullptr || window == nullptr) return;
    char title[256];
    readWindowTitle(window, title, sizeof title);
    observer->windowShown(step, window, title);
}

void reportWindowClosed(RunStep step, WindowHandle window) {
    RunObserver* observer = runObserver();
    if (observer != nullptr && window != nullptr) observer->windowClosed(step, window);
}

void reportRunEnded(RunOutcome outcome, const char* message) {
    RunObserver* observer = runObserver();
    if (observer == nullptr || ended.exchange(true)) return;
    observer->runEnded(outcome, message != nullptr ? message : describeOutcome(outcome).message);
}

}  // namespace orb
