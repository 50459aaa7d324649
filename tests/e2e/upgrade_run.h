// The robot of the whole upgrades against orb-sim on 127.0.5.x: it answers
// every dialog that needs a person (credentials, confirmation, success) until
// the run ends, with a clock that runs 64 times fast so that the adapter's
// restart wait passes in under a second. The run itself is the common harness's
// (tests/support/whole_run).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/whole_run.h"

namespace orb::test {

struct UpgradeScript {
    std::string typedAddress;            // what the robot types; the sim's address when empty
    std::vector<std::string> passwords;  // typed into each credentials dialog in turn
    bool cancelConfirmation = false;
    int cancelWindow = 0;                // a progress window to press Cancel in (114 or 110)
    int successTimeoutMs = 40000;
};

using UpgradeRun = SimRunResult;

// The address both sides use for test `host`.
uint32_t upgradeAddress(unsigned host);

// Starts orb-sim with `simOptions` (address, port and restart time are added)
// and runs the program against it. `sim` stays running for the test to read.
std::optional<UpgradeRun> runUpgrade(unsigned host, SimProcess& sim, std::vector<std::string> simOptions,
                                     const UpgradeScript& script);

}  // namespace orb::test
