#include "upgrade/port_turns.h"

#include <atomic>

#include "upgrade/error_box.h"

namespace orb {

namespace {

std::atomic<PortTurnKeeper*> installed{nullptr};

}  // namespace

void setPortTurnKeeper(PortTurnKeeper* keeper) { installed = keeper; }

bool hasPortTurnKeeper() { return installed.load() != nullptr; }

void takePortTurn(PortKind kind) {
    PortTurnKeeper* keeper = installed.load();
    if (keeper != nullptr && !keeper->take(kind)) failRun(RunOutcome::UserAbort);
}

void givePortTurnBack(PortKind kind) {
    if (PortTurnKeeper* keeper = installed.load()) keeper->giveBack(kind);
}

bool retryPortSearch(PortKind kind) {
    PortTurnKeeper* keeper = installed.load();
    if (keeper == nullptr) return false;
    if (!keeper->retakeAfterNoFreePort(kind)) failRun(RunOutcome::UserAbort);
    return true;
}

}  // namespace orb
