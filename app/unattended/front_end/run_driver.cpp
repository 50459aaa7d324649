#include "app/unattended/front_end/run_driver.h"

#include <utility>

#include "base/diagnostics_log.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

using SteadyClock = std::chrono::steady_clock;

RunLimits limitsOf(const UnattendedOptions& options) {
    return {options.requestTimeoutSeconds, options.httpTimeoutSeconds, options.runTimeoutSeconds};
}

}  // namespace

RunDriver::RunDriver(const UnattendedOptions& options, std::string password)
    : adapter_(options.addresses.at(0)),
      deadlines_(limitsOf(options), windowThread, SteadyClock::now()),
      answerer_(options, std::move(password), queue_, output_),
      observer_(options, {queue_, output_, answerer_, deadlines_}) {}

void RunDriver::run() {
    for (;;) {
        std::optional<SteadyClock::time_point> deadline;
        {
            std::lock_guard<std::mutex> working(workMutex_);
            deadline = deadlines_.next();
        }
        queue_.waitForWork(deadline);
        // The notes leave the queue only under workMutex_, so that the end
        // hook, which takes it too, never misses one in flight.
        std::lock_guard<std::mutex> working(workMutex_);
        for (auto& note : queue_.takeWork()) note();
        checkDeadlines(SteadyClock::now());
        answerer_.retryPending();
        queue_.wantChanges(answerer_.wantsChanges());
    }
}

void RunDriver::reportResult() {
    std::lock_guard<std::mutex> working(workMutex_);
    if (output_.closed()) return;
    answerer_.end();
    takeLateNotes();
    RunResult result = observer_.result(answerer_.stopReason(), batchGone_);
    // The log ends with the result too: where no one reads the events any
    // more, it is what is left of the run.
    writeDiagnosticsEntry(result.text);
    takeLateNotes();                                           // that very write may have failed
    output_.writeLast(result.event.add("text", result.text));  // the last word: nothing after it
}

void RunDriver::stopSignalNoted() {
    queue_.post([this] {
        answerer_.stop(StopReason::Signal, Event(adapter_, "cancel"), "cancel: a signal asks to stop; pressing Cancel");
    });
}

void RunDriver::batchGone() {
    batchGone_ = true;
    queue_.post([this] {
        answerer_.stop(StopReason::BatchGone, Event(adapter_, "cancel"),
                       "cancel: the batch that started this run is gone; pressing Cancel");
    });
}

void RunDriver::turnWaitBegan() {
    queue_.post([this, at = SteadyClock::now()] { deadlines_.turnWaitBegan(at); });
}

void RunDriver::turnWaitEnded() {
    queue_.post([this, at = SteadyClock::now()] { deadlines_.turnWaitEnded(at); });
}

// What is still queued, at the end: the caller holds workMutex_.
void RunDriver::takeLateNotes() {
    for (auto& note : queue_.takeNotes()) note();
}

// A limit of --LIMIT-timeout passed: its timeout event, then Cancel. Once
// Cancel is on its way nothing is left to time.
void RunDriver::checkDeadlines(SteadyClock::time_point now) {
    if (answerer_.stopping()) {
        deadlines_.clear();
        return;
    }
    std::optional<PassedLimit> passed = deadlines_.takePassed(now);
    if (!passed) return;
    const std::string limit = passed->name;
    const auto seconds = static_cast<long long>(passed->seconds);
    answerer_.stop(passed->reason, Event(adapter_, "timeout").add("limit", limit).add("seconds", seconds),
                   passed->what + std::string(" within ") + std::to_string(seconds) + " s (--" + limit +
                       "-timeout); pressing Cancel");
}

}  // namespace orb::unattended
