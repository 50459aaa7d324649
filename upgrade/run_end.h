// The end of a run belongs to one thread: the first that meets it.
#pragma once

#include "upgrade/run_outcome.h"

namespace orb {

// Claims the end of the run for the calling thread and returns. A thread that
// comes later (a second failure at the same moment: Cancel in two windows, a
// query's worker failing while the error box is up) traces what it met and
// waits until the first ends the process, so that a run shows one box,
// reports one outcome and runs the end hooks once.
void claimRunEnd(RunOutcome outcome);

}  // namespace orb
