// The driver's queue: notes posted from the run's threads (the observer's
// calls, the dialog view's notifications, signals), done in order on the
// driver's own thread. A change of the model wakes the driver only while it
// wants one (a press still pending, or Cancel on its way): the upload's many
// changes wake nobody otherwise.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace orb::unattended {

using Notes = std::deque<std::function<void()>>;

class NoteQueue {
public:
    // Any thread.
    void post(std::function<void()> note);
    void nudge();  // the model changed
    void wantChanges(bool wanted) { wantsChanges_ = wanted; }

    // The driver's thread: until a note, a wanted change or `deadline`.
    void waitForWork(std::optional<std::chrono::steady_clock::time_point> deadline);
    // The notes so far, and the change noted.
    Notes takeWork();
    // What is still queued, at the end.
    Notes takeNotes();

private:
    std::mutex mutex_;  // taken only briefly, never while acting
    std::condition_variable cv_;
    Notes queue_;
    bool modelChanged_ = false;
    std::atomic<bool> wantsChanges_{false};
};

}  // namespace orb::unattended
