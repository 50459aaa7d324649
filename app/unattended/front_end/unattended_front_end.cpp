#include "app/unattended/front_end/unattended_front_end.h"

#include <cstdio>
#include <thread>

#include "platform/process.h"
#include "platform/self_spawn.h"
#include "platform/signals.h"
#include "base/diagnostics_log.h"
#include "dialogs/program_thread.h"
#include "upgrade/port_turns.h"
#include "upgrade/startup.h"
#include "app/unattended/front_end/run_driver.h"
#include "app/unattended/port_turn_client.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

RunDriver* activeDriver = nullptr;

// The batch's keeper of port turns, with the run's clock stopped while it
// waits for one.
class TimedTurns final : public PortTurnKeeper {
public:
    explicit TimedTurns(PortTurnKeeper* keeper) : keeper_(keeper) {}
    PortTurn take(PortKind kind) override {
        activeDriver->turnWaitBegan();
        PortTurn turn = keeper_->take(kind);
        activeDriver->turnWaitEnded();
        return turn;
    }
    void giveBack(PortKind kind) override { keeper_->giveBack(kind); }
    PortTurn retakeAfterNoFreePort(PortKind kind) override {
        activeDriver->turnWaitBegan();
        PortTurn turn = keeper_->retakeAfterNoFreePort(kind);
        activeDriver->turnWaitEnded();
        return turn;
    }

private:
    PortTurnKeeper* keeper_;
};

void reportOnEnd() {
    if (activeDriver != nullptr) activeDriver->reportResult();
}

}  // namespace

void runAdapterRun(const UnattendedOptions& options, const std::function<int()>& program) {
    // The runner checked the log's file (ORB_TRACE) before it started any run.
    std::string logError;
    if (!openDiagnosticsLog(nullptr, &logError)) {
        Event event = resultEvent(options.addresses.at(0), "usage-error", Outcome::UsageError);
        std::string line = formatJson(event.add("text", "result: usage-error (" + logError + ")")) + "\n";
        std::fputs(line.c_str(), stdout);
        endProcess(static_cast<int>(Outcome::UsageError));
    }
    // Never destroyed: the program's threads run until _exit.
    activeDriver = new RunDriver(options, takeRunSecret());
    setDiagnosticsLogFailureHandler(
        [](const auto& path, const auto& reason) { activeDriver->observer().logFailed(path, reason); });
    dialogs::installDialogView(&activeDriver->answerer());
    setRunObserver(&activeDriver->observer());
    // Runs started in the same millisecond draw different file names and nonces.
    setRandomSeedMix(currentProcessId());
    addProcessEndHook(reportOnEnd);
    ignoreBrokenPipes();
    catchStopSignals();
    std::thread([] {
        for (;;) {
            waitForStopSignal();
            if (takeStopSignal() == StopSignal::None) return;
            activeDriver->stopSignalNoted();
        }
    }).detach();
    setStandardInputEndHandler([] { activeDriver->batchGone(); });
    installPortTurnClient(options.addresses.at(0), options.portWaitSeconds,
                          [](PortKind kind) { activeDriver->observer().portWaitExpired(kind); });
    // Never destroyed, as the keeper it wraps.
    if (PortTurnKeeper* keeper = portTurnKeeper()) setPortTurnKeeper(new TimedTurns(keeper));
    dialogs::startProgramThread(program);
    activeDriver->run();
}

}  // namespace orb::unattended
