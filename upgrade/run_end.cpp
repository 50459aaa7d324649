#include "upgrade/run_end.h"

#include <atomic>

#include "platform/process.h"
#include "base/trace.h"

namespace orb {

namespace {

std::atomic<bool> claimed{false};

}  // namespace

void claimRunEnd(RunOutcome outcome) {
    if (!claimed.exchange(true)) return;
    const char* message = describeOutcome(outcome).message;
    trace("The run is ending already; this end is left unreported: %s\n", message != nullptr ? message : "no box");
    waitUntilProcessEnds();
}

}  // namespace orb
