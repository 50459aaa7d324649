#include "tests/support/fleet_batch.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

namespace orb::test {

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool startFleet(SimProcess& fleet, unsigned third, int count, const std::string& list) {
    {
        std::ofstream out(list);
        for (int i = 0; i < count; ++i) out << "127.0." << third + i / 254 << "." << 1 + i % 254 << "\n";
    }
    return fleet.start({"--address=127.0." + std::to_string(third) + ".1", "--count=" + std::to_string(count),
                        "--http-port=80", "--quiet-blocks", "--restart-ms=2000"});
}

std::string batchCommand(const std::string& list, int parallel, const std::string& environment) {
    return environment + ORB_UPGRADE_EXECUTABLE + " --unattended --accept-warning --json --parallel " +
           std::to_string(parallel) + " --pc-address 127.0.0.1 --addresses-file " + list + " 2>&1";
}

CommandResult runBesideFleet(SimProcess& fleet, const std::string& command) {
    std::atomic<bool> batchDone{false};
    std::thread drain([&] {
        while (!batchDone) fleet.poll(200);
    });
    CommandResult result = runCommand(command);
    batchDone = true;
    drain.join();
    return result;
}

RoundTally tallyRound(const std::vector<unattended::Event>& events) {
    RoundTally tally;
    for (const unattended::Event& event : events) {
        std::string name = event.value("event");
        if (name == "warning") {
            ++tally.started;
            tally.anEndBeforeAStart |= tally.successes > 0;
        }
        if (name == "result") tally.successes += event.value("result") == "success";
    }
    return tally;
}

}  // namespace orb::test
