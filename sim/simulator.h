// orb-sim's run: --count adapters served by one thread in one epoll loop.
// Idle adapters cost a listening socket each and nothing else: the thread
// sleeps until a socket is ready or the earliest timer of any adapter is due.
#pragma once

#include <queue>
#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/adapter.h"
#include "sim/event_log.h"
#include "sim/options.h"
#include "sim/poll_set.h"

namespace orb::sim {

class Simulator {
public:
    Simulator(SimConfig config, EventLog* log);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Makes every adapter listen, then logs one event=listening. On failure
    // `error` says why, in words a person can act on.
    bool start(std::string* error);
    // Serves until requestStop(); returns the exit status: 0, or 1 when an
    // adapter's web server could not come back after a restart.
    int run();
    // Makes run() return soon. Safe to call from a signal handler.
    void requestStop(int signalNumber);

    // SIGINT and SIGTERM call requestStop() of this simulator; SIGPIPE is
    // ignored.
    static void installSignalHandlers(Simulator* simulator);

private:
    struct Timer {
        int64_t dueMs;
        size_t adapter;
        bool operator>(const Timer& other) const { return dueMs > other.dueMs; }
    };

    // Queues the adapter's next deadline when it is earlier than the one
    // queued. A later one waits: the earlier entry comes up, the adapter finds
    // nothing due and is scheduled again. So a fetch, whose deadline moves on
    // with every block, adds no entry per block.
    void schedule(size_t index);
    void drainWakePipe();

    SimConfig config_;
    EventLog* log_;
    PollSet polls_;
    SocketTag wakeTag_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    volatile sig_atomic_t stopSignal_ = 0;
    std::vector<std::unique_ptr<Adapter>> adapters_;
    std::vector<int64_t> scheduledMs_;  // per adapter: its earliest entry on timers_; others are stale
    std::vector<size_t> acceptPaused_;  // adapters whose listener ran out of descriptors
    uint64_t removalsSeen_ = 0;         // polls_.removals() when last looked at
    std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> timers_;
};

}  // namespace orb::sim
