#include "dialogs/qt/frame_scheduler.h"

#include <QMetaObject>

#include <algorithm>
#include <cstdint>

#include "dialogs/qt/qt_view.h"
#include "dialogs/qt/qt_view_testing.h"

namespace orb::dialogs::qt {

namespace {

constexpr int kPassIntervalMs = 33;  // at most about 30 passes a second

std::atomic<uint64_t> statNotifications{0};
std::atomic<uint64_t> statQueuedCalls{0};
std::atomic<uint64_t> statPasses{0};
std::atomic<uint64_t> statWindowReads{0};
std::atomic<int> statShortestGap{-1};

}  // namespace

FrameScheduler::FrameScheduler(QObject* parent, Pass pass) : QObject(parent), pass_(std::move(pass)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { this->pass(); });
    sinceLastPass_.start();
}

void FrameScheduler::markWindow(WindowHandle window) {
    ++statNotifications;
    if (qtViewShuttingDown()) return;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pendingWindows_.insert(window);
    }
    schedule();
}
void FrameScheduler::markBoxes() {
    ++statNotifications;
    if (qtViewShuttingDown()) return;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pendingBoxes_ = true;
    }
    schedule();
}

void FrameScheduler::schedule() {
    if (passPending_.exchange(true)) return;
    ++statQueuedCalls;
    QMetaObject::invokeMethod(
        this, [this] { armTimer(); }, Qt::QueuedConnection);
}

void FrameScheduler::armTimer() {
    if (timer_.isActive()) return;
    qint64 since = sinceLastPass_.isValid() ? sinceLastPass_.elapsed() : kPassIntervalMs;
    timer_.start(static_cast<int>(std::max<qint64>(0, kPassIntervalMs - since)));
}

void FrameScheduler::pass() {
    if (qtViewShuttingDown()) return;
    // Cleared before the changes are taken: a change after this point
    // queues the next pass.
    passPending_.store(false);
    std::set<WindowHandle> windows;
    bool boxes = false;
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        windows.swap(pendingWindows_);
        boxes = pendingBoxes_;
        pendingBoxes_ = false;
    }
    if (statPasses.load() > 0) {
        int gap = static_cast<int>(sinceLastPass_.elapsed());
        int shortest = statShortestGap.load();
        if (shortest < 0 || gap < shortest) statShortestGap.store(gap);
    }
    ++statPasses;
    sinceLastPass_.restart();
    pass_(windows, boxes);
}

void FrameScheduler::countWindowRead() { ++statWindowReads; }

ViewStatistics readViewStatistics() {
    ViewStatistics statistics;
    statistics.notifications = statNotifications.load();
    statistics.queuedCalls = statQueuedCalls.load();
    statistics.passes = statPasses.load();
    statistics.windowReads = statWindowReads.load();
    statistics.shortestPassGapMs = statShortestGap.load();
    return statistics;
}

}  // namespace orb::dialogs::qt
