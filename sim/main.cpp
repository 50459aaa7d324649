// orb-sim: an ORB adapter's web server and TFTP client on one IPv4 address (or
// a fleet of them on consecutive addresses), so that a whole firmware upgrade
// runs without hardware. See sim/README.md.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/event_log.h"
#include "sim/fleet.h"
#include "sim/options.h"
#include "sim/simulator.h"

int main(int argc, char** argv) {
    using namespace orb::sim;
    std::vector<std::string> args(argv + 1, argv + argc);
    SimConfig config;
    std::string error;
    switch (parseOptions(args, &config, &error)) {
        case ParseOutcome::Help: std::fputs(helpText().c_str(), stdout); return 0;
        case ParseOutcome::Error: std::fprintf(stderr, "orb-sim: %s\n", error.c_str()); return 2;
        case ParseOutcome::Run: break;
    }
    std::string warning;
    if (!raiseDescriptorLimit(config.count, &warning)) std::fprintf(stderr, "orb-sim: %s\n", warning.c_str());
    EventLog log(stdout);
    Simulator simulator(config, &log);
    Simulator::installSignalHandlers(&simulator);
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "orb-sim: %s\n", error.c_str());
        return 1;
    }
    int status = simulator.run();
    if (status != 0) std::fprintf(stderr, "orb-sim: stopped after an error (see the last event=error line)\n");
    return status;
}
