#include "app/unattended/front_end/run_deadlines.h"

#include <utility>

namespace orb::unattended {

RunDeadlines::RunDeadlines(const RunLimits& limits, ThreadOf threadOf, Clock::time_point start)
    : limits_(limits), threadOf_(std::move(threadOf)) {
    if (limits.runSeconds > 0) runDeadline_ = start + std::chrono::seconds(limits.runSeconds);
}

void RunDeadlines::connectingShown(WindowHandle window, Clock::time_point now) {
    if (limits_.httpSeconds > 0 && !hasNoHttpLimit(window))
        httpDeadlines_[window] = now + std::chrono::seconds(limits_.httpSeconds);
}

void RunDeadlines::waitingShown(Clock::time_point now) {
    if (limits_.requestSeconds > 0) requestDeadline_ = now + std::chrono::seconds(limits_.requestSeconds);
}

void RunDeadlines::uploadStarted(std::optional<std::thread::id> listenerThread) {
    requestDeadline_.reset();
    if (listenerThread) uploadThread_ = listenerThread;
    std::erase_if(httpDeadlines_, [this](const auto& entry) { return hasNoHttpLimit(entry.first); });
}

// Each wait is the batch's, as long as its share of the ports makes it.
void RunDeadlines::turnWaitBegan(Clock::time_point at) {
    if (turnWaits_++ == 0) turnWaitSince_ = at;
}

void RunDeadlines::turnWaitEnded(Clock::time_point at) {
    if (--turnWaits_ == 0 && runDeadline_) *runDeadline_ += at - turnWaitSince_;
}

std::optional<RunDeadlines::Clock::time_point> RunDeadlines::next() const {
    std::optional<Clock::time_point> next = requestDeadline_;
    if (runDeadline_ && turnWaits_ == 0 && (!next || *runDeadline_ < *next)) next = runDeadline_;
    for (const auto& [window, deadline] : httpDeadlines_)
        if (!next || deadline < *next) next = deadline;
    return next;
}

std::optional<PassedLimit> RunDeadlines::takePassed(Clock::time_point now) {
    if (runDeadline_ && turnWaits_ == 0 && now >= *runDeadline_) {
        runDeadline_.reset();
        return PassedLimit{StopReason::RunTimeout, "run", limits_.runSeconds, "the run has not ended"};
    }
    if (requestDeadline_ && now >= *requestDeadline_) {
        requestDeadline_.reset();
        return PassedLimit{StopReason::NoRequest, "request", limits_.requestSeconds,
                           "no read request from the adapter"};
    }
    for (const auto& [window, deadline] : httpDeadlines_) {
        if (now < deadline) continue;
        httpDeadlines_.clear();
        return PassedLimit{StopReason::HttpTimeout, "http", limits_.httpSeconds,
                           "the adapter has not finished its answer"};
    }
    return std::nullopt;
}

void RunDeadlines::clear() {
    requestDeadline_.reset();
    httpDeadlines_.clear();
    runDeadline_.reset();
}

bool RunDeadlines::hasNoHttpLimit(WindowHandle window) const {
    if (!uploadThread_) return false;
    std::optional<std::thread::id> thread = threadOf_(window);
    return thread && *thread != *uploadThread_;
}

}  // namespace orb::unattended
