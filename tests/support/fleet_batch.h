// The program run as a shell command over a fleet that one orb-sim plays, and
// what the batch's events say about its round of restart waits.
#pragma once

#include <string>
#include <vector>

#include "app/unattended/unattended_events.h"
#include "tests/support/sim_process.h"

namespace orb::test {

// The command's standard output and its exit status (-1: it did not exit).
struct CommandResult {
    std::string output;
    int status = -1;
};

CommandResult runCommand(const std::string& command);

// Hundreds of runs under a sanitizer take more memory and time than a test of
// them is worth there.
constexpr bool kUnderSanitizer =
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

// Starts one orb-sim for `count` adapters from 127.0.`third`.1 on (port 80, a
// restart of 2 s, no line per block) and writes their addresses, one a line,
// to `list`. orb-sim leaves out the addresses that end in 0 or 255.
bool startFleet(SimProcess& fleet, unsigned third, int count, const std::string& list);
// The program's batch over the addresses in `list`, `parallel` at once, its
// events in JSON; `environment` goes before it ("NAME=VALUE ").
std::string batchCommand(const std::string& list, int parallel, const std::string& environment = "");
// Reads the fleet's event lines while the command runs: the fleet writes them
// to one pipe, and a full pipe would hold up every adapter.
CommandResult runBesideFleet(SimProcess& fleet, const std::string& command);

struct RoundTally {
    int started = 0;  // runs that reached the warning
    int successes = 0;
    bool anEndBeforeAStart = false;  // a run began after another had succeeded
};
RoundTally tallyRound(const std::vector<unattended::Event>& events);

}  // namespace orb::test
