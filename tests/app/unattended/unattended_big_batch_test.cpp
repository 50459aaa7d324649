// A batch larger than the machine's ports, with the program itself: three
// hundred adapters of one orb-sim (127.0.198.1 on) at --parallel 300, in one
// round of restart waits, while this test holds 20 of the listener's ports as
// another program would; the live status line in a terminal (tmux), which a
// pipe never sees (orb-sim on 127.0.200.x); and runs that share the ports with
// hung adapters or with another program holding them (orb-sim on 127.0.211.x
// to 127.0.213.x; the runs forked, the accelerated clock).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/unattended/unattended_events.h"
#include "tests/support/fleet_batch.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/unattended_run.h"

namespace orb::test {
namespace {

using unattended::Event;

// Another program's hold on ports of `address`: sockets of `type` bound to
// the ports of `order` that are free, up to `count`; the ports held in `ports`.
std::vector<int> holdPorts(uint32_t address, int type, const std::vector<uint16_t>& order, size_t count,
                           std::vector<uint16_t>* ports) {
    std::vector<int> sockets;
    for (uint16_t port : order) {
        if (sockets.size() == count) break;
        int fd = ::socket(AF_INET, type, 0);
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(address);
        where.sin_port = htons(port);
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0) {
            sockets.push_back(fd);
            ports->push_back(port);
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    return sockets;
}

std::vector<uint16_t> portRange(uint16_t first, uint16_t last) {
    std::vector<uint16_t> ports;
    for (uint32_t port = first; port <= last; ++port) ports.push_back(static_cast<uint16_t>(port));
    return ports;
}

class UnattendedBigBatches : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }
};

// The program itself with the real clock: every run starts before the first
// ends (one round of restart waits), none fails for want of a port, and the
// runs never hold more listener ports than there are.
TEST_F(UnattendedBigBatches, ThreeHundredAdaptersInOneRoundBesideAProgramHoldingTwentyListenerPorts) {
    if (kUnderSanitizer) GTEST_SKIP() << "three hundred runs";
    constexpr int kAdapters = 300;
    std::string base = "/tmp/orb-unattended-three-hundred-" + std::to_string(::getpid());
    SimProcess fleet;
    ASSERT_TRUE(startFleet(fleet, 198, kAdapters, base + ".list")) << fleet.diagnostics();
    // Every fifth listener port from 69 first (the holes spread over the
    // whole search), then any other that is free.
    std::vector<uint16_t> order, heldPorts;
    for (uint16_t port = 69; port <= 168; port += 5) order.push_back(port);
    for (uint16_t port = 69; port <= 168; ++port)
        if ((port - 69) % 5 != 0) order.push_back(port);
    std::vector<int> held = holdPorts(loopbackAddress(0, 1), SOCK_DGRAM, order, 20, &heldPorts);
    ASSERT_EQ(held.size(), 20u) << "20 of the listener's ports are free to hold";

    CommandResult batch =
        runBesideFleet(fleet, batchCommand(base + ".list", 300, "ORB_BATCH_STATS=" + base + ".stats "));
    for (int fd : held) ::close(fd);
    std::ifstream statsFile(base + ".stats");
    std::string name;
    int mostServing = -1, mostExchanges = -1;
    while (statsFile >> name) statsFile >> (name == "most-serving" ? mostServing : mostExchanges);
    std::remove((base + ".list").c_str());
    std::remove((base + ".stats").c_str());

    EXPECT_EQ(batch.status, 0) << batch.output.substr(batch.output.size() > 20000 ? batch.output.size() - 20000 : 0);
    std::set<std::string> portsUsed;
    for (const Event& event : eventsIn(batch.output)) {
        std::string name = event.value("event");
        EXPECT_NE(name, "port-turn") << "the runner keeps the turns to itself";
        if (name == "upload-started") portsUsed.insert(event.value("port"));
        if (name == "result") {
            EXPECT_EQ(event.value("result"), "success") << event.value("adapter") << ": " << event.value("text");
        }
    }
    RoundTally round = tallyRound(eventsIn(batch.output));
    EXPECT_EQ(round.started, kAdapters);
    EXPECT_EQ(round.successes, kAdapters);
    EXPECT_FALSE(round.anEndBeforeAStart) << "a run began after another had ended: more than one round";
    for (uint16_t port : heldPorts) EXPECT_EQ(portsUsed.count(std::to_string(port)), 0u) << port;
    EXPECT_GE(mostServing, 2) << "runs served side by side";
    EXPECT_LE(mostServing, 100) << "never more runs at the listener's ports than there are ports";
    EXPECT_GE(mostExchanges, 1);
    EXPECT_LE(mostExchanges, 101);
}

// Runs that share the ports with hung adapters or another program: a port
// our side used is free again at once however its exchange ended, a wait for
// a port is never the adapter's silence, and no such wait is without a bound.
enum class Hold { Nothing, EveryHttpPortPastTheHttpLimit, EveryListenerPort };

struct SharedPortsCase {
    const char* name;
    unsigned area;  // the adapters 127.0.area.1 on, the hung ones first; this computer .250
    int hung;       // adapters that take the status request and never answer it
    int healthy;
    Hold hold;
    int portWait;             // --port-wait; 0: not given
    const char* healthyText;  // each healthy adapter's result text, or its start
    int exitCode;
};

void PrintTo(const SharedPortsCase& c, std::ostream* out) { *out << c.name; }

constexpr int kHttpLimitSeconds = 2;
constexpr const char* kUpgraded = "result: success, version 2.0.10(a)";

class UnattendedSharedPorts : public UnattendedBigBatches, public testing::WithParamInterface<SharedPortsCase> {};

TEST_P(UnattendedSharedPorts, HealthyAdaptersEndAsTheyShouldAndHungOnesNotReachable) {
    const SharedPortsCase& c = GetParam();
    if (kUnderSanitizer && c.hung > 0) GTEST_SKIP() << "a hundred runs";
    auto adapter = [&](int i) { return formatAddress(loopbackAddress(c.area, static_cast<unsigned>(i))); };
    const size_t adapters = static_cast<size_t>(c.hung) + static_cast<size_t>(c.healthy);
    SimProcess hung, healthy;
    if (c.hung > 0) {
        ASSERT_TRUE(hung.start(
            {"--address=" + adapter(1), "--count=" + std::to_string(c.hung), "--http-port=80", "--no-answer=status"}))
            << hung.diagnostics();
    }
    ASSERT_TRUE(healthy.start({"--address=" + adapter(c.hung + 1), "--count=" + std::to_string(c.healthy),
                               "--http-port=80", "--quiet-blocks", "--restart-ms=100"}))
        << healthy.diagnostics();
    const uint32_t pc = loopbackAddress(c.area, 250);
    std::vector<std::string> args = {"--unattended",           "--accept-warning", "--json",
                                     "--pc-address",           formatAddress(pc),  "--parallel",
                                     std::to_string(adapters), "--http-timeout",   std::to_string(kHttpLimitSeconds)};
    if (c.portWait > 0) args.insert(args.end(), {"--port-wait", std::to_string(c.portWait)});
    for (size_t i = 1; i <= adapters; ++i) args.insert(args.end(), {"--address", adapter(static_cast<int>(i))});

    // Bound after the fork, so that no run holds them too; the HTTP ports go
    // kHttpLimitSeconds + 1 after every run has opened its connecting window.
    std::vector<uint16_t> heldPorts;
    std::vector<int> held;
    std::promise<void> everyRunConnecting;
    bool told = false;
    std::thread letGo;
    auto hold = [&] {
        if (c.hold == Hold::EveryListenerPort) held = holdPorts(pc, SOCK_DGRAM, portRange(69, 168), 100, &heldPorts);
        if (c.hold != Hold::EveryHttpPortPastTheHttpLimit) return;
        held = holdPorts(pc, SOCK_STREAM, portRange(23456, 23556), 101, &heldPorts);
        letGo = std::thread([&, seen = everyRunConnecting.get_future()] {
            seen.wait();
            std::this_thread::sleep_for(std::chrono::seconds(kHttpLimitSeconds + 1));
            for (int fd : std::exchange(held, {})) ::close(fd);
        });
    };
    std::set<std::string> connecting;
    auto watch = [&](const std::string& output, pid_t) {
        hung.poll(0);  // a full pipe would hold up every adapter
        healthy.poll(0);
        for (const Event& event : eventsNamed(output, "connecting")) connecting.insert(event.value("adapter"));
        if (told || connecting.size() < adapters) return;
        told = true;
        everyRunConnecting.set_value();
    };
    UnattendedResult run = runUnattendedInChild(args, pc, watch, 60000, nullptr, hold);
    if (!told) everyRunConnecting.set_value();
    if (letGo.joinable()) letGo.join();
    for (int fd : held) ::close(fd);

    EXPECT_EQ(heldPorts.size(), c.hold == Hold::Nothing ? 0u : c.hold == Hold::EveryListenerPort ? 100u : 101u);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output.substr(run.output.size() > 20000 ? run.output.size() - 20000 : 0);
    std::map<std::string, Event> results;
    for (const Event& event : eventsNamed(run.output, "result")) results[event.value("adapter")] = event;
    EXPECT_EQ(results.size(), adapters);
    for (int i = 1; i <= static_cast<int>(adapters); ++i) {
        const std::string text = results[adapter(i)].value("text");
        EXPECT_EQ(text.find(i <= c.hung ? "result: not-reachable" : c.healthyText), 0u) << adapter(i) << ": " << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Batches, UnattendedSharedPorts,
    testing::Values(
        // More hung adapters than HTTP ports: each timed-out exchange is closed by our side first.
        SharedPortsCase{"HungAdaptersOutnumberingTheHttpPorts", 211, 110, 4, Hold::Nothing, 0, kUpgraded, 1},
        SharedPortsCase{"EveryHttpPortHeldLongerThanTheHttpLimit", 212, 0, 4, Hold::EveryHttpPortPastTheHttpLimit, 0,
                        kUpgraded, 0},
        SharedPortsCase{"EveryListenerPortHeld", 213, 0, 3, Hold::EveryListenerPort, 2,
                        "result: no-free-port (Upgrade Failed: Can't bind TFTP listener socket); none of the UDP "
                        "ports 69-168 was free within 2 s (--port-wait)",
                        1}),
    [](const testing::TestParamInfo<SharedPortsCase>& info) { return std::string(info.param.name); });

std::string checkCommand(const std::vector<std::string>& addresses, const std::string& extra) {
    std::string command = std::string(ORB_UPGRADE_EXECUTABLE) +
                          " --unattended --accept-warning --check --parallel 1 --pc-address 127.0.0.1 " + extra;
    for (const std::string& address : addresses) command += " --address " + address;
    return command;
}

std::string tmux(const std::string& arguments) {
    return runCommand("tmux -L orb-live-view-" + std::to_string(::getpid()) + " " + arguments + " 2>&1").output;
}

// The batch in a terminal keeps its status line at the bottom while it runs
// and erases it before the summary; piped, nothing of it shows.
TEST_F(UnattendedBigBatches, TheLiveViewChangesWhileTheBatchRunsAndIsGoneBeforeTheSummary) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
    SimProcess sim;
    // Each answer comes 400 ms late: four adapters one after another take
    // long enough for the line to be seen changing.
    ASSERT_TRUE(sim.start({"--address=127.0.200.1", "--count=4", "--http-port=80", "--http-delay-ms=400"}))
        << sim.diagnostics();
    std::vector<std::string> four = {"127.0.200.1", "127.0.200.2", "127.0.200.3", "127.0.200.4"};

    tmux("new-session -d -x 160 -y 40 -s batch");
    tmux("set-option -t batch remain-on-exit on");
    tmux("respawn-pane -k -t batch '" + checkCommand(four, "") + "'");
    std::set<std::string> statusLines;
    std::string screen;
    for (int i = 0; i < 3000; ++i) {  // until the batch has ended, at most a minute
        screen = tmux("capture-pane -p -t batch");
        size_t at = screen.rfind("/4 done");
        if (at != std::string::npos) {
            size_t start = screen.rfind('\n', at);
            statusLines.insert(screen.substr(start + 1, screen.find('\n', at) - start - 1));
        }
        if (tmux("display-message -p -t batch '#{pane_dead}'").rfind("1", 0) == 0) break;
        sim.poll(20);
    }
    screen = tmux("capture-pane -p -t batch");
    tmux("kill-server");
    EXPECT_GE(statusLines.size(), 2u) << "the status line changed while the batch ran";
    for (const std::string& line : statusLines) EXPECT_NE(line.find(" queued | "), std::string::npos) << line;
    EXPECT_NE(screen.find("4 adapters: 4 needs-upgrade"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("/4 done"), std::string::npos) << "erased before the summary:\n" << screen;
    EXPECT_NE(screen.find("127.0.200.4: result: needs-upgrade"), std::string::npos) << screen;

    // Piped, --progress=auto writes what --progress=never writes, byte for
    // byte; --progress=always draws the line there too.
    CommandResult automatic = runCommand(checkCommand({four[0]}, ""));
    CommandResult never = runCommand(checkCommand({four[0]}, "--progress=never"));
    CommandResult always = runCommand(checkCommand({four[0]}, "--progress=always"));
    EXPECT_EQ(automatic.status, 10) << automatic.output;
    EXPECT_EQ(automatic.output, never.output);
    EXPECT_EQ(automatic.output.find('\033'), std::string::npos);
    EXPECT_NE(always.output.find("0/1 done"), std::string::npos) << always.output;
    EXPECT_NE(always.output.find("\r\033[K"), std::string::npos) << always.output;
}

}  // namespace
}  // namespace orb::test
