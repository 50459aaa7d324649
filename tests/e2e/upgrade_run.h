// A whole upgrade: the program in a child process driven by the robot, against
// orb-sim as a real subprocess on its own 127.0.5.x, with a clock that runs 64
// times fast so that the adapter's restart wait passes in under a second.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/whole_run.h"
#include "tests/support/sim_process.h"

namespace orb::test {

struct UpgradeScript {
    std::string typedAddress;            // what the robot types; the sim's address when empty
    std::vector<std::string> passwords;  // typed into each credentials dialog in turn
    bool cancelConfirmation = false;
    int cancelWindow = 0;                // a progress window to press Cancel in (114 or 110)
    int successTimeoutMs = 40000;
};

struct UpgradeRun {
    ChildResult program;
    std::string savedImage;  // what orb-sim received and saved
};

// The address both sides use for test `host`.
uint32_t upgradeAddress(unsigned host);

// Starts orb-sim with `simOptions` (address, port and restart time are added)
// and runs the program against it. `sim` stays running for the test to read.
std::optional<UpgradeRun> runUpgrade(unsigned host, SimProcess& sim, std::vector<std::string> simOptions,
                                     const UpgradeScript& script);

// The embedded image's bytes.
std::string embeddedImageBytes();
std::string sha256Hex(const std::string& bytes);

}  // namespace orb::test
