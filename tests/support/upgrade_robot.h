// The robot of whole upgrades against orb-sim, on the whole-run harness
// (tests/support/whole_run): through the warning and address dialogs, then it
// answers every dialog that needs a person (credentials, confirmation,
// success) until the run ends, or presses Cancel in a progress window. The
// faults of a run are options: orb-sim's, a shortened image, and a piece that
// runs beside the robot (a hostile peer).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/whole_run.h"

namespace orb::test {

struct UpgradeScript {
    std::string typedAddress;            // what the robot types; the sim's address when empty
    std::vector<std::string> passwords;  // typed into each credentials dialog in turn
    bool cancelConfirmation = false;
    int cancelWindow = 0;  // a progress window to press Cancel in (114 or 110)
    // In the upload window, Cancel waits until the title holds this text: the
    // address's '@' shows once the transfer runs, "10240/" once 20 blocks are in.
    std::string cancelWhenTitleHas = "@";
    int successTimeoutMs = 40000;
};

struct UpgradeOptions {
    uint32_t simAddress = 0;
    uint32_t pcAddress = 0;               // the sim's address when 0
    std::vector<std::string> simOptions;  // after wholeRunSimOptions' own; the faults among them
    bool saveImage = false;               // orb-sim saves what it received, for savedImage
    // 0 serves the embedded image; otherwise its first `imageBytes` bytes (the
    // header and version included), so that heavy-loss runs stay short.
    uint32_t imageBytes = 0;
    // Runs in the child on its own thread once the waiting window (114) has
    // opened, alongside the robot; may use robot calls. For hostile peers: the
    // robot closes the success dialog (the run's end) only once it has returned.
    std::function<void()> duringRun;
    uint32_t (*clock)() = acceleratedClock<64>;
    bool traceToOutput = false;  // a whole transfer traces every block
    bool echoObserver = false;   // the run's observer facts as lines (observer_lines.h)
    bool reportDraws = true;
    int timeoutMs = 90000;
    UpgradeScript script;
};

using UpgradeRun = SimRunResult;

// Starts orb-sim (left running in `sim` for the test to read) and runs the
// program against it, driven by the robot; nothing when orb-sim did not start.
std::optional<UpgradeRun> runUpgrade(SimProcess& sim, const UpgradeOptions& run);

}  // namespace orb::test
