// The time limits of an unattended run. Every call is given the time it
// happens at, and the windows' threads come through `threadOf`, so that the
// rules can be played through without a clock or a window:
// - --request-timeout from the waiting window to the adapter's read request;
// - --http-timeout for each connecting window (one attempt of a device query).
//   An adapter may answer the trigger only once it has fetched the image: from
//   the read request on, the trigger's exchange has no limit (the transfer has
//   its own); only the listener's thread, which goes on to the verification
//   query, keeps one;
// - --run-timeout for the whole run, its clock standing still while the run
//   waits for a turn at the ports.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <thread>

#include "platform/windowing.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

// Seconds; 0: no limit.
struct RunLimits {
    int requestSeconds = 0;
    int httpSeconds = 0;
    int runSeconds = 0;
};

// A limit that passed: why the run stops, --NAME-timeout, its seconds, and
// what did not happen in time.
struct PassedLimit {
    StopReason reason;
    const char* name;
    int seconds;
    const char* what;
};

class RunDeadlines {
public:
    using Clock = std::chrono::steady_clock;
    // The thread that runs a window; none when the handle is no window.
    using ThreadOf = std::function<std::optional<std::thread::id>(WindowHandle)>;

    RunDeadlines(const RunLimits& limits, ThreadOf threadOf, Clock::time_point start);

    void connectingShown(WindowHandle window, Clock::time_point now);
    void connectingClosed(WindowHandle window) { httpDeadlines_.erase(window); }
    void waitingShown(Clock::time_point now);
    void waitingClosed() { requestDeadline_.reset(); }
    // The read request came; `listenerThread`: the waiting window's thread.
    void uploadStarted(std::optional<std::thread::id> listenerThread);
    void turnWaitBegan(Clock::time_point at);
    void turnWaitEnded(Clock::time_point at);

    std::optional<Clock::time_point> next() const;
    // The first limit passed at `now`, the run's before the request's before
    // an exchange's; it is timed no more.
    std::optional<PassedLimit> takePassed(Clock::time_point now);
    // Cancel is on its way: nothing is left to time.
    void clear();

private:
    bool hasNoHttpLimit(WindowHandle window) const;

    RunLimits limits_;
    ThreadOf threadOf_;
    std::optional<Clock::time_point> requestDeadline_;
    std::map<WindowHandle, Clock::time_point> httpDeadlines_;
    std::optional<Clock::time_point> runDeadline_;  // moved on by the turn waits
    int turnWaits_ = 0;                             // under way now, on any thread
    Clock::time_point turnWaitSince_;
    std::optional<std::thread::id> uploadThread_;  // the listener's, once the read request has come
};

}  // namespace orb::unattended
