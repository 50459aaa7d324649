// orb-sim --count as a real subprocess: every adapter of a fleet answers with
// its own identity and state, its lines name it, and one orb-sim serves a
// thousand of them. Fleets live on 127.4.x.y (see tests/support/loopback.h).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include "sim/fleet.h"
#include "tests/sim/sim_integration.h"
#include "tests/sim/sim_test_helpers.h"

namespace orb::test {
namespace {

const uint16_t kPort = SimProcess::httpPortForTests();

uint32_t fleetAddress(unsigned block, unsigned host) { return (127u << 24) | (4u << 16) | (block << 8) | host; }

std::vector<std::string> fleetOptions(uint32_t first, unsigned count, std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--address=" + formatAddress(first), "--count=" + std::to_string(count),
                                        "--http-port=" + std::to_string(kPort), "--seed=1"};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

std::string statusValue(uint32_t address, const std::string& label) {
    HttpResult result = rawHttp(address, kPort, utilityRequest("/admin/advanced"));
    size_t body = result.response.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : scrapeLikeUtility(result.response.substr(body), label);
}

TEST(SimFleet, EveryAdapterShowsItsOwnSerialAndMacAndNamesItselfInItsLines) {
    struct Expected {
        uint32_t address;
        const char* serial;
        const char* mac;
    };
    // From .252 on, across the next /24: .255 and .0 are left out.
    const Expected adapters[] = {
        {fleetAddress(101, 252), "ORB41000098", "00:1A:2B:3C:4D:FE"},
        {fleetAddress(101, 253), "ORB41000099", "00:1A:2B:3C:4D:FF"},
        {fleetAddress(101, 254), "ORB41000100", "00:1A:2B:3C:4E:00"},
        {fleetAddress(102, 1), "ORB41000101", "00:1A:2B:3C:4E:01"},
        {fleetAddress(102, 2), "ORB41000102", "00:1A:2B:3C:4E:02"},
    };
    SimProcess sim;
    ORB_START_SIM(sim, fleetOptions(fleetAddress(101, 252), 5,
                                    {"--serial=ORB41000098", "--mac=00:1A:2B:3C:4D:FE", "--software-version=3.1"}));
    ASSERT_EQ(sim.eventsNamed("listening").size(), 1u);
    const sim::EventLine& listening = sim.events().front();
    EXPECT_EQ(listening.value("address"), "127.4.101.252");
    EXPECT_EQ(listening.value("count"), "5");
    EXPECT_EQ(listening.value("last"), "127.4.102.2");
    EXPECT_EQ(listening.value("port"), std::to_string(kPort));
    EXPECT_FALSE(listening.has("adapter"));

    for (const Expected& adapter : adapters) {
        EXPECT_EQ(statusValue(adapter.address, "Serial Number:"), adapter.serial);
        EXPECT_EQ(statusValue(adapter.address, "MAC Address:"), adapter.mac);
        EXPECT_EQ(statusValue(adapter.address, "Software Version:"), "3.1");
    }
    EXPECT_TRUE(rawHttp(fleetAddress(101, 255), kPort, utilityRequest("/admin/advanced")).refused);
    EXPECT_TRUE(rawHttp(fleetAddress(102, 0), kPort, utilityRequest("/admin/advanced")).refused);

    EXPECT_EQ(sim.stop(), 0);  // and reads every line up to the last
    auto stopped = sim.waitFor("stopped", 100);
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(stopped->has("adapter"));
    std::map<std::string, int> requests;
    for (const sim::EventLine& request : sim.eventsNamed("http-request")) ++requests[request.value("adapter")];
    EXPECT_EQ(requests.size(), 5u) << sim.diagnostics();
    for (const Expected& adapter : adapters) EXPECT_EQ(requests[formatAddress(adapter.address)], 3);
}

TEST(SimFleet, ASingleAdapterWritesItsLinesAsWithoutAFleet) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(21, {"--count=1"}));
    EXPECT_EQ(sim::formatEventLine(sim.events().front()),
              "event=listening address=127.0.4.21 port=" + std::to_string(kPort) + " auth=off software-version=1.0.2");
    rawHttp(simAddress(21), kPort, utilityRequest("/admin/advanced"));
    auto request = sim.waitFor("http-request");
    ASSERT_TRUE(request) << sim.diagnostics();
    EXPECT_EQ(request->fields.front().first, "peer");
    EXPECT_FALSE(request->has("adapter"));
}

TEST(SimFleet, UpgradesOfTwoAdaptersLeaveEachOtherAndTheThirdAlone) {
    const uint32_t first = fleetAddress(103, 1), second = fleetAddress(103, 2), third = fleetAddress(103, 3);
    SimProcess sim;
    ORB_START_SIM(sim, fleetOptions(first, 3, {"--restart-ms=2000", "--quiet-blocks"}));
    ScriptedTftpServer serverA(fleetAddress(103, 201), makeTestImage(5000, "2.0.10(a)"));
    ScriptedTftpServer serverC(fleetAddress(103, 203), makeTestImage(3000, "2.0.11(c)"));
    auto trigger = [](uint32_t pc, uint16_t port) {
        return utilityRequest("/admin/upgrade?tftp://" + formatAddress(pc) + ":" + std::to_string(port) + "/orb.bin");
    };
    EXPECT_EQ(statusOf(rawHttp(first, kPort, trigger(fleetAddress(103, 201), serverA.port())).response), 200);
    EXPECT_EQ(statusOf(rawHttp(third, kPort, trigger(fleetAddress(103, 203), serverC.port())).response), 200);
    EXPECT_TRUE(serverA.finish().completed) << sim.diagnostics();
    EXPECT_TRUE(serverC.finish().completed) << sim.diagnostics();

    auto of = [](const char* name) { return [name](const sim::EventLine& e) { return e.value("adapter") == name; }; };
    ASSERT_TRUE(sim.waitFor("restart-down", 5000, of("127.4.103.1"))) << sim.diagnostics();
    ASSERT_TRUE(sim.waitFor("restart-down", 5000, of("127.4.103.3"))) << sim.diagnostics();
    // The middle one neither went down nor changed, while the others are down.
    EXPECT_EQ(statusValue(second, "Software Version:"), "1.0.2");
    EXPECT_TRUE(rawHttp(first, kPort, utilityRequest("/admin/advanced")).refused);

    ASSERT_TRUE(sim.waitFor("restart-up", 5000, of("127.4.103.1"))) << sim.diagnostics();
    ASSERT_TRUE(sim.waitFor("restart-up", 5000, of("127.4.103.3"))) << sim.diagnostics();
    EXPECT_EQ(statusValue(first, "Software Version:"), "2.0.10(a)");
    EXPECT_EQ(statusValue(second, "Software Version:"), "1.0.2");
    EXPECT_EQ(statusValue(third, "Software Version:"), "2.0.11(c)");

    // Every line of an upgrade names the adapter that did it.
    for (const char* name : {"trigger", "tftp-rrq", "tftp-done", "image-received", "restart-down", "restart-up"}) {
        std::vector<sim::EventLine> lines = sim.eventsNamed(name);
        ASSERT_EQ(lines.size(), 2u) << name << "\n" << sim.diagnostics();
        std::multiset<std::string> adapters = {lines[0].value("adapter"), lines[1].value("adapter")};
        EXPECT_EQ(adapters, (std::multiset<std::string>{"127.4.103.1", "127.4.103.3"})) << name;
    }
    for (const sim::EventLine& image : sim.eventsNamed("image-received")) {
        EXPECT_EQ(image.value("version"), image.value("adapter") == "127.4.103.1" ? "2.0.10(a)" : "2.0.11(c)");
    }
}

TEST(SimFleet, AnAddressOfTheFleetInUseStopsTheStartAndNamesIt) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(fleetAddress(104, 3));
    local.sin_port = htons(18081);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    SimProcess sim;
    EXPECT_FALSE(sim.start({"--address=127.4.104.1", "--count=5", "--http-port=18081"}));
    EXPECT_EQ(sim.waitForExit(3000), 1);
    EXPECT_NE(sim.errorText().find("cannot listen on 127.4.104.3:18081"), std::string::npos) << sim.diagnostics();
    auto error = sim.waitFor("error", 100);
    ASSERT_TRUE(error) << sim.diagnostics();
    EXPECT_EQ(error->value("adapter"), "127.4.104.3");
    EXPECT_TRUE(sim.eventsNamed("listening").empty());
    close(fd);
}

// Starts with a soft descriptor limit far below what a thousand adapters
// need: orb-sim raises it up to the hard limit by itself.
TEST(SimFleet, AThousandAdaptersAllAnswerTheirStatusPages) {
    const unsigned kCount = 1000;
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < sim::estimateDescriptors(kCount)) {
        GTEST_SKIP() << "the hard limit of open files (" << limit.rlim_max << ") is too low for " << kCount;
    }
    rlimit lowered = limit;
    lowered.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    SimProcess sim;
    bool started = sim.start(fleetOptions(fleetAddress(0, 1), kCount), 10000);
    setrlimit(RLIMIT_NOFILE, &limit);
    if (!started && sim.failedForPrivilege()) GTEST_SKIP() << "port 80 needs root";
    ASSERT_TRUE(started) << sim.diagnostics();
    EXPECT_EQ(sim.errorText(), "");  // no warning about the limit
    EXPECT_EQ(sim.events().front().value("last"), "127.4.3.238");

    // Adapter i sits on 127.4.(i / 254).(i % 254 + 1) with serial ORB41000001 + i.
    std::atomic<unsigned> next{0};
    std::atomic<int> finished{0};
    std::vector<std::string> serials(kCount);
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&] {
            for (unsigned i = next++; i < kCount; i = next++) {
                serials[i] = statusValue(fleetAddress(i / 254, i % 254 + 1), "Serial Number:");
            }
            ++finished;
        });
    }
    // A thousand lines fill the pipe: orb-sim would stop until they are read.
    while (finished < 8) sim.poll(20);
    for (std::thread& client : clients) client.join();
    unsigned wrong = 0;
    for (unsigned i = 0; i < kCount; ++i) {
        std::string expected = std::to_string(41000001 + i);
        if (serials[i] != "ORB" + expected && wrong++ < 5) ADD_FAILURE() << "adapter " << i << ": " << serials[i];
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_EQ(sim.eventsNamed("http-request").size(), kCount);
}

}  // namespace
}  // namespace orb::test
