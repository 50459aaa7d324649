#include "upgrade/port_turns.h"

#include <atomic>

#include "upgrade/error_box.h"

namespace orb {

namespace {

std::atomic<PortTurnKeeper*> installed{nullptr};

// Ends the run unless the turn was granted.
void endUnlessGranted(PortKind kind, PortTurn turn) {
    if (turn == PortTurn::Refused) failRun(RunOutcome::UserAbort);
    if (turn == PortTurn::Expired)
        failRun(kind == PortKind::Listener ? RunOutcome::ListenerBindFailed : RunOutcome::HttpBindFailed);
}

}  // namespace

void setPortTurnKeeper(PortTurnKeeper* keeper) { installed = keeper; }

PortTurnKeeper* portTurnKeeper() { return installed.load(); }
bool hasPortTurnKeeper() { return installed.load() != nullptr; }

void takePortTurn(PortKind kind) {
    if (PortTurnKeeper* keeper = installed.load()) endUnlessGranted(kind, keeper->take(kind));
}

void givePortTurnBack(PortKind kind) {
    if (PortTurnKeeper* keeper = installed.load()) keeper->giveBack(kind);
}

bool retryPortSearch(PortKind kind) {
    PortTurnKeeper* keeper = installed.load();
    if (keeper == nullptr) return false;
    endUnlessGranted(kind, keeper->retakeAfterNoFreePort(kind));
    return true;
}

}  // namespace orb
