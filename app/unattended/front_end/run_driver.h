// The driver of an unattended run: the observer, the answerer and the
// deadlines wired to one queue. Every notification only queues work; the
// driver's own thread does it in order, then times the limits and retries the
// refused presses. The process-end hook writes the result.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "app/unattended/front_end/dialog_answerer.h"
#include "app/unattended/front_end/event_output.h"
#include "app/unattended/front_end/note_queue.h"
#include "app/unattended/front_end/run_deadlines.h"
#include "app/unattended/front_end/unattended_observer.h"
#include "app/unattended/unattended_options.h"

namespace orb::unattended {

class RunDriver {
public:
    RunDriver(const UnattendedOptions& options, std::string password);

    UnattendedObserver& observer() { return observer_; }
    DialogAnswerer& answerer() { return answerer_; }

    [[noreturn]] void run();
    // The last event, from the process-end hook: what is still queued, then
    // the result.
    void reportResult();

    // A stop signal, from the thread that waits for them.
    void stopSignalNoted();
    // The end of the input that only the batch writes: the batch is gone
    // (killed, crashed), and nothing would read the result any more but the
    // log. Cancel as for a stop signal.
    void batchGone();
    // A wait for a turn at the ports begins or ends (any thread): the run's
    // own clock (--run-timeout) stands still meanwhile.
    void turnWaitBegan();
    void turnWaitEnded();

private:
    void takeLateNotes();
    void checkDeadlines(std::chrono::steady_clock::time_point now);

    const std::string adapter_;
    EventOutput output_;
    NoteQueue queue_;
    RunDeadlines deadlines_;
    DialogAnswerer answerer_;
    UnattendedObserver observer_;
    std::mutex workMutex_;  // the driver's thread's work, or the end hook's
    std::atomic<bool> batchGone_{false};
};

}  // namespace orb::unattended
