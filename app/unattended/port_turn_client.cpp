#include "app/unattended/port_turn_client.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/self_spawn.h"
#include "app/unattended/unattended_events.h"

namespace orb::unattended {

namespace {

const char* kindName(PortKind kind) { return kind == PortKind::Listener ? "listener" : "http"; }

class PortTurnClient final : public PortTurnKeeper {
public:
    PortTurnClient(std::string adapter, int waitSeconds, std::function<void(PortKind)> expired)
        : adapter_(std::move(adapter)), waitSeconds_(waitSeconds), expired_(std::move(expired)) {}

    // Reads the runner's answers for as long as the run lives.
    void readAnswers() {
        char bytes[64];
        for (;;) {
            long got = readStandardInput(bytes, sizeof bytes);
            std::lock_guard<std::mutex> lock(mutex_);
            if (got <= 0) refused_ = true;
            for (long i = 0; i < got; ++i) {
                if (bytes[i] == kListenerTurn) ++listenerTurns_;
                if (bytes[i] == kHttpTurn) ++httpTurns_;
                if (bytes[i] == kNoTurn) refused_ = true;
            }
            answered_.notify_all();
            if (got <= 0) return;
        }
    }

    PortTurn take(PortKind kind) override {
        // The limit runs from the first ask, through every search that finds no port free.
        deadlineOf(kind) = Clock::now() + std::chrono::seconds(waitSeconds_);
        say(kind, "take");
        return awaitTurn(kind, deadlineOf(kind));
    }
    void giveBack(PortKind kind) override { say(kind, "give"); }
    PortTurn retakeAfterNoFreePort(PortKind kind) override {
        say(kind, "busy");
        return awaitTurn(kind, deadlineOf(kind));
    }

private:
    void say(PortKind kind, const char* step) {
        std::string line =
            formatJson(Event(adapter_, kPortTurnEvent).add("kind", kindName(kind)).add("step", step)) + "\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }

    using Clock = std::chrono::steady_clock;

    // The calling thread's: two threads of a run may wait for an HTTP port at
    // once (the trigger's exchange, and the check after the upload).
    static Clock::time_point& deadlineOf(PortKind kind) {
        thread_local Clock::time_point deadlines[2];
        return deadlines[kind == PortKind::Listener ? 0 : 1];
    }

    PortTurn awaitTurn(PortKind kind, Clock::time_point deadline) {
        int& turns = kind == PortKind::Listener ? listenerTurns_ : httpTurns_;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto answered = [&] { return turns > 0 || refused_; };
            if (waitSeconds_ == 0)
                answered_.wait(lock, answered);
            else
                answered_.wait_until(lock, deadline, answered);
            if (turns > 0) {
                --turns;
                return PortTurn::Granted;
            }
            if (refused_) return PortTurn::Refused;
        }
        // The run ends for it; a turn the runner grants meanwhile goes back
        // when the run has gone.
        expired_(kind);
        return PortTurn::Expired;
    }

    const std::string adapter_;
    const int waitSeconds_;  // 0: no limit
    const std::function<void(PortKind)> expired_;
    std::mutex mutex_;
    std::condition_variable answered_;
    int listenerTurns_ = 0;
    int httpTurns_ = 0;
    bool refused_ = false;
};

}  // namespace

void installPortTurnClient(const std::string& adapter, int waitSeconds, const std::function<void(PortKind)>& expired) {
    const char* turns = std::getenv(kPortTurnsVariable);
    if (turns == nullptr || std::string(turns) != "pipe") return;
    // Never destroyed: the run's threads use it until the process ends.
    auto* client = new PortTurnClient(adapter, waitSeconds, expired);
    std::thread([client] { client->readAnswers(); }).detach();
    setPortTurnKeeper(client);
}

}  // namespace orb::unattended
