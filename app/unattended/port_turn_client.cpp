#include "app/unattended/port_turn_client.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/self_spawn.h"
#include "upgrade/port_turns.h"
#include "app/unattended/unattended_events.h"

namespace orb::unattended {

namespace {

const char* kindName(PortKind kind) { return kind == PortKind::Listener ? "listener" : "http"; }

class PortTurnClient final : public PortTurnKeeper {
public:
    explicit PortTurnClient(std::string adapter) : adapter_(std::move(adapter)) {}

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

    bool take(PortKind kind) override {
        say(kind, "take");
        return awaitTurn(kind);
    }
    void giveBack(PortKind kind) override { say(kind, "give"); }
    bool retakeAfterNoFreePort(PortKind kind) override {
        say(kind, "busy");
        return awaitTurn(kind);
    }

private:
    void say(PortKind kind, const char* step) {
        std::string line =
            formatJson(Event(adapter_, kPortTurnEvent).add("kind", kindName(kind)).add("step", step)) + "\n";
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }

    bool awaitTurn(PortKind kind) {
        int& turns = kind == PortKind::Listener ? listenerTurns_ : httpTurns_;
        std::unique_lock<std::mutex> lock(mutex_);
        answered_.wait(lock, [&] { return turns > 0 || refused_; });
        if (turns == 0) return false;
        --turns;
        return true;
    }

    const std::string adapter_;
    std::mutex mutex_;
    std::condition_variable answered_;
    int listenerTurns_ = 0;
    int httpTurns_ = 0;
    bool refused_ = false;
};

}  // namespace

void installPortTurnClient(const std::string& adapter) {
    const char* turns = std::getenv(kPortTurnsVariable);
    if (turns == nullptr || std::string(turns) != "pipe") return;
    // Never destroyed: the run's threads use it until the process ends.
    auto* client = new PortTurnClient(adapter);
    std::thread([client] { client->readAnswers(); }).detach();
    setPortTurnKeeper(client);
}

}  // namespace orb::unattended
