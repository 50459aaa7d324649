// Batches that can simply be run again: an adapter at the embedded version is
// left alone unless forced, --check triggers nothing, a second run upgrades
// only what is behind (orb-sim on 127.0.195.x, accelerated clock, the runs
// forked); and a hundred adapters in one round with the program itself and
// the real clock (one orb-sim playing 127.0.197.1 to .100).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/unattended/unattended_events.h"
#include "tests/support/fleet_batch.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/unattended_run.h"

namespace orb::test {
namespace {

using unattended::Event;

constexpr const char* kImageVersion = "2.0.10(a)";
constexpr uint32_t kPcAddress = loopbackAddress(195, 100);

std::string adapter(unsigned host) { return formatAddress(loopbackAddress(195, host)); }

// The result and the status event of each adapter.
struct Seen {
    std::map<std::string, Event> results;
    std::map<std::string, Event> status;
};

Seen seenIn(const std::string& output) {
    Seen seen;
    for (const Event& event : eventsIn(output)) {
        if (event.value("event") == "result") seen.results[event.value("adapter")] = event;
        if (event.value("event") == "status") seen.status[event.value("adapter")] = event;
    }
    return seen;
}

UnattendedResult runBatch(std::vector<std::string> extra) {
    std::vector<std::string> args =
        {"--unattended", "--accept-warning", "--json", "--pc-address", formatAddress(kPcAddress), "--parallel", "4"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runUnattendedInChild(args, kPcAddress);
}

bool startSim(SimProcess& sim, unsigned host, std::vector<std::string> options) {
    options.insert(options.end(),
                   {"--address=" + adapter(host), "--http-port=80", "--quiet-blocks", "--restart-ms=100"});
    return sim.start(options);
}

size_t triggersReceived(SimProcess& sim) {
    sim.poll(100);
    return sim.eventsNamed("trigger").size();
}

class UnattendedFleets : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }
};

TEST_F(UnattendedFleets, AnAdapterAtTheEmbeddedVersionIsLeftAloneUnlessForced) {
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 1, {std::string("--software-version=") + kImageVersion})) << sim.diagnostics();
    UnattendedResult current = runBatch({"--address", adapter(1)});
    EXPECT_EQ(current.exitCode, 0) << current.output;
    Seen seen = seenIn(current.output);
    EXPECT_EQ(seen.results[adapter(1)].value("result"), "current") << current.output;
    EXPECT_EQ(seen.results[adapter(1)].value("error"), "") << "nothing failed";
    EXPECT_EQ(seen.status[adapter(1)].value("current"), "true");
    EXPECT_EQ(triggersReceived(sim), 0u) << sim.diagnostics();

    // The check with --force says what the forced run would do, and triggers nothing.
    UnattendedResult checked = runBatch({"--check", "--force", "--address", adapter(1)});
    EXPECT_EQ(checked.exitCode, 10) << checked.output;
    EXPECT_EQ(seenIn(checked.output).results[adapter(1)].value("result"), "needs-upgrade") << checked.output;
    EXPECT_EQ(triggersReceived(sim), 0u) << sim.diagnostics();

    UnattendedResult forced = runBatch({"--force", "--address", adapter(1)});
    EXPECT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_EQ(seenIn(forced.output).results[adapter(1)].value("result"), "success") << forced.output;
    EXPECT_EQ(triggersReceived(sim), 1u) << sim.diagnostics();
}

TEST_F(UnattendedFleets, CheckListsTheFieldsTriggersNothingAndSaysWhatIsBehind) {
    SimProcess behind, current;
    ASSERT_TRUE(startSim(behind, 2, {"--count=2"})) << behind.diagnostics();  // 127.0.195.2 and .3
    ASSERT_TRUE(startSim(current, 4, {std::string("--software-version=") + kImageVersion})) << current.diagnostics();
    UnattendedResult run =
        runBatch({"--check", "--address", adapter(2), "--address", adapter(3), "--address", adapter(4)});
    EXPECT_EQ(run.exitCode, 10) << run.output;
    Seen seen = seenIn(run.output);
    for (unsigned host : {2u, 3u}) {
        EXPECT_EQ(seen.results[adapter(host)].value("result"), "needs-upgrade") << run.output;
        EXPECT_EQ(seen.results[adapter(host)].value("code"), "10");
        EXPECT_EQ(seen.status[adapter(host)].value("current"), "false");
        EXPECT_EQ(seen.status[adapter(host)].value("software"), "1.0.2");
    }
    EXPECT_NE(seen.status[adapter(2)].value("serial"), seen.status[adapter(3)].value("serial")) << "two adapters";
    EXPECT_EQ(seen.results[adapter(4)].value("result"), "current") << run.output;
    EXPECT_EQ(seen.status[adapter(4)].value("software"), kImageVersion);
    for (const auto& [address, status] : seen.status)
        for (const char* field : {"serial", "mac", "software", "hardware", "product", "image-version"})
            EXPECT_TRUE(status.has(field)) << address << " " << field;
    EXPECT_EQ(triggersReceived(behind) + triggersReceived(current), 0u);
}

TEST_F(UnattendedFleets, ABatchRunAgainUpgradesOnlyWhatIsStillBehind) {
    SimProcess failing, healthy;
    ASSERT_TRUE(startSim(failing, 5, {"--stop-after-blocks=20"})) << failing.diagnostics();
    ASSERT_TRUE(startSim(healthy, 6, {})) << healthy.diagnostics();
    UnattendedResult first = runBatch({"--address", adapter(5), "--address", adapter(6)});
    EXPECT_EQ(first.exitCode, 1) << first.output;
    EXPECT_EQ(seenIn(first.output).results[adapter(5)].value("result"), "upload-incomplete") << first.output;
    EXPECT_EQ(seenIn(first.output).results[adapter(6)].value("result"), "success") << first.output;

    // The adapter that failed still runs its old firmware, now without the fault.
    failing.stop();
    ASSERT_TRUE(startSim(failing, 5, {})) << failing.diagnostics();
    UnattendedResult again = runBatch({"--address", adapter(5), "--address", adapter(6)});
    EXPECT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(seenIn(again.output).results[adapter(5)].value("result"), "success") << again.output;
    EXPECT_EQ(seenIn(again.output).results[adapter(6)].value("result"), "current") << again.output;
    EXPECT_EQ(triggersReceived(healthy), 1u) << "triggered by the first run only: " << healthy.diagnostics();
}

// The program itself with the real clock: every run starts before the first
// ends (one round of restart waits), and every adapter comes back upgraded.
TEST_F(UnattendedFleets, AHundredAdaptersInOneRound) {
    if (kUnderSanitizer) GTEST_SKIP() << "a hundred runs";
    constexpr int kAdapters = 100;
    std::string list = "/tmp/orb-unattended-hundred-" + std::to_string(::getpid());
    SimProcess fleet;
    ASSERT_TRUE(startFleet(fleet, 197, kAdapters, list)) << fleet.diagnostics();
    auto start = std::chrono::steady_clock::now();
    CommandResult batch = runBesideFleet(fleet, batchCommand(list, 100));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::remove(list.c_str());

    EXPECT_EQ(batch.status, 0) << batch.output.substr(batch.output.size() > 20000 ? batch.output.size() - 20000 : 0);
    std::map<std::string, std::string> linesOf;  // every adapter's events, to tell why one failed
    std::vector<std::string> failed;
    for (const Event& event : eventsIn(batch.output)) {
        linesOf[event.value("adapter")] += formatJson(event) + "\n";
        if (event.value("event") == "result" && event.value("result") != "success")
            failed.push_back(event.value("adapter"));
        if (event.value("event") == "totals") {
            EXPECT_EQ(event.value("success"), "100");
        }
    }
    std::string whyFailed;
    for (const std::string& adapter : failed) whyFailed += linesOf[adapter];
    RoundTally round = tallyRound(eventsIn(batch.output));
    EXPECT_EQ(round.started, kAdapters);
    EXPECT_EQ(round.successes, kAdapters) << whyFailed;
    EXPECT_FALSE(round.anEndBeforeAStart) << "a run began after another had ended: more than one round";
    std::printf("100 adapters at --parallel 100: %.1f s\n", seconds);
}

}  // namespace
}  // namespace orb::test
