#include "sim/simulator.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/signals.h"
#include "sim/device_pages.h"
#include "sim/fleet.h"

namespace orb::sim {

namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

const char* signalName(int signalNumber) {
    switch (signalNumber) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        default: return "other";
    }
}

Simulator* gSignalTarget = nullptr;

void onStopSignal(int signalNumber) {
    if (gSignalTarget != nullptr) gSignalTarget->requestStop(signalNumber);
}

}  // namespace

Simulator::Simulator(SimConfig config, EventLog* log) : config_(std::move(config)), log_(log) {
    if (!config_.seedGiven) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        config_.seed = static_cast<uint64_t>(now.tv_sec) * 1000000007ull + static_cast<uint64_t>(now.tv_nsec) +
                       static_cast<uint64_t>(getpid());
    }
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
    }
}

Simulator::~Simulator() {
    if (gSignalTarget == this) gSignalTarget = nullptr;
    adapters_.clear();  // they take their sockets out of the poll set first
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
}

void Simulator::installSignalHandlers(Simulator* simulator) {
    gSignalTarget = simulator;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    ignoreBrokenPipes();
}

void Simulator::requestStop(int signalNumber) {
    stopSignal_ = signalNumber;
    if (wakeWrite_ >= 0) {
        char byte = 1;
        ssize_t ignored = ::write(wakeWrite_, &byte, 1);
        (void)ignored;
    }
}

bool Simulator::start(std::string* error) {
    if (wakeRead_ < 0 || !polls_.valid() || !polls_.add(wakeRead_, EPOLLIN, &wakeTag_)) {
        *error = std::string("cannot set up the wait for sockets: ") + std::strerror(errno);
        return false;
    }
    bool fleet = config_.count > 1;
    adapters_.reserve(config_.count);
    for (unsigned index = 0; index < config_.count; ++index) {
        adapters_.push_back(std::make_unique<Adapter>(index, makeAdapterConfig(config_, index), log_, &polls_, fleet));
        if (!adapters_.back()->start(error)) return false;
    }
    scheduledMs_.assign(adapters_.size(), kNever);
    EventLine line("listening");
    line.add("address", formatIPv4(config_.address))
        .add("port", unsigned{config_.httpPort})
        .add("auth", config_.authEnabled ? "digest" : "off")
        .add("software-version", config_.identity.softwareVersion);
    if (fleet) {
        line.add("count", config_.count).add("last", formatIPv4(adapters_.back()->config().address));
    }
    log_->write(line);
    return true;
}

void Simulator::schedule(size_t index) {
    int64_t due = adapters_[index]->nextDeadline();
    if (due >= scheduledMs_[index]) return;
    scheduledMs_[index] = due;
    timers_.push({due, index});
}

void Simulator::drainWakePipe() {
    char buffer[64];
    while (::read(wakeRead_, buffer, sizeof buffer) > 0) {}
}

int Simulator::run() {
    int exitStatus = 0;
    std::vector<Readiness> ready;
    std::vector<size_t> touched;
    for (;;) {
        int64_t nowMs = monotonicMs();

        // Timers: only the adapters whose deadline has come.
        bool failed = false;
        while (!timers_.empty() && timers_.top().dueMs <= nowMs) {
            Timer timer = timers_.top();
            timers_.pop();
            if (scheduledMs_[timer.adapter] != timer.dueMs) continue;  // stale: an earlier entry has run
            scheduledMs_[timer.adapter] = kNever;
            if (!adapters_[timer.adapter]->runTimers(nowMs)) {
                failed = true;
                break;
            }
            schedule(timer.adapter);
        }
        if (failed) {
            exitStatus = 1;
            break;
        }

        // Wait: without end when no adapter has a deadline.
        int timeout = timers_.empty() ? -1
                                      : static_cast<int>(std::clamp<int64_t>(timers_.top().dueMs - nowMs, 0,
                                                                             std::numeric_limits<int>::max()));
        if (polls_.wait(timeout, &ready) < 0) {
            log_->write(EventLine("error").add("message", std::string("epoll_wait: ") + std::strerror(errno)));
            exitStatus = 1;
            break;
        }
        bool stop = std::any_of(ready.begin(), ready.end(), [this](const Readiness& r) { return r.tag == &wakeTag_; });
        if (stop) {
            drainWakePipe();
            break;
        }
        nowMs = monotonicMs();
        touched.clear();
        for (const Readiness& item : ready) {
            SocketTag* tag = static_cast<SocketTag*>(item.tag);
            tag->adapter->handleReady(tag, item.events, nowMs);
            touched.push_back(tag->adapter->index());
        }
        // Only now: a connection closed above may still have had a tag in `ready`.
        for (size_t index : touched) {
            adapters_[index]->dropClosedConnections();
            if (adapters_[index]->takeAcceptPause()) acceptPaused_.push_back(index);
            schedule(index);
        }
        // A descriptor freed: the listeners that ran out of them try again.
        if (polls_.removals() != removalsSeen_) {
            removalsSeen_ = polls_.removals();
            for (size_t index : acceptPaused_) {
                adapters_[index]->resumeAccepting();
                schedule(index);
            }
            acceptPaused_.clear();
        }
    }
    if (exitStatus == 0) {
        int signalNumber = stopSignal_;
        log_->write(EventLine("stopped").add("signal", signalName(signalNumber)));
    }
    return exitStatus;
}

}  // namespace orb::sim
