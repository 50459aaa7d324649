// The program entry and the fixed order of one run.
#pragma once

#include "platform/instance.h"

namespace orb {

// Start-up, then the sequence. Returns 0 on every path that returns.
int runProgram(InstanceHandle instance);

// The sequence after start-up: warning, address, status query, confirmation,
// listener, trigger. Returns 0 when the run ends on this thread.
int runUpgradeSequence();

}  // namespace orb
