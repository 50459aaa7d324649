// The upgrade through orb-sim as a real subprocess: the trigger, the TFTP fetch
// from a scripted server that behaves like the utility's, the image check,
// the restart, and the TFTP faults.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <utility>

#include "sim/sha256.h"
#include "tests/sim/sim_integration.h"
#include "tests/sim/sim_test_helpers.h"
#include "tests/support/monotonic_clock.h"

namespace orb::test {
namespace {

const uint16_t kPort = SimProcess::httpPortForTests();

// The PC's side for simulator host h: the TFTP server sits on 127.0.4.(h + 100).
uint32_t pcAddress(unsigned host) { return simAddress(host + 100); }

std::string triggerPath(unsigned host, uint16_t tftpPort, const std::string& file = "/orb1a2b.bin") {
    return "/admin/upgrade?tftp://" + formatAddress(pcAddress(host)) + ":" + std::to_string(tftpPort) + file;
}

// The utility's trigger to the simulator at `host`, and the upload of `image`
// that it brings from a scripted server (interval and count as there), run to
// its end.
TftpServerLog triggerUpload(unsigned host, std::vector<uint8_t> image, int intervalMs = 1000, int intervals = 30) {
    ScriptedTftpServer server(pcAddress(host), std::move(image), {.intervalMs = intervalMs, .intervals = intervals});
    rawHttp(simAddress(host), kPort, utilityRequest(triggerPath(host, server.port())));
    return server.finish();
}

// The ACKs with repeats of the same number folded into one: a block resent
// because the machine was slow is acknowledged twice.
std::vector<unsigned> folded(std::vector<unsigned> acks) {
    acks.erase(std::unique(acks.begin(), acks.end()), acks.end());
    return acks;
}

size_t countOf(const std::vector<unsigned>& numbers, unsigned value) {
    return static_cast<size_t>(std::count(numbers.begin(), numbers.end(), value));
}

std::vector<unsigned> sequence(unsigned first, unsigned last) {
    std::vector<unsigned> numbers;
    for (unsigned n = first; n <= last; ++n) numbers.push_back(n);
    return numbers;
}

std::string softwareVersionOn(unsigned host, const std::string& authorizationLine = "") {
    HttpResult result = rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced", authorizationLine));
    size_t body = result.response.find("\r\n\r\n");
    return body == std::string::npos ? std::string()
                                     : scrapeLikeUtility(result.response.substr(body), "Software Version:");
}

TEST(SimUpgrade, FetchesChecksAndRestartsWithTheNewVersion) {
    const unsigned host = 60;
    auto image = makeTestImage(5000, "2.0.10(a)");  // 9 blocks of 512 bytes and one of 392
    std::string saved = testing::TempDir() + "orb-sim-image-60.bin";
    SimProcess sim;
    ORB_START_SIM(sim,
                  simOptions(host, {"--user=admin", "--password=pw", "--restart-ms=1500", "--save-image=" + saved}));
    ScriptedTftpServer server(pcAddress(host), image);

    UtilityChallenge challenge =
        readChallengeLikeUtility(rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced")).response);
    ASSERT_TRUE(challenge.taken);
    std::string trigger = triggerPath(host, server.port());
    HttpResult answer = rawHttp(simAddress(host), kPort,
                                utilityRequest(trigger, utilityAuthorizationLine("admin", "pw", challenge, 1, "2a")));
    EXPECT_EQ(statusOf(answer.response), 200) << answer.response;

    TftpServerLog log = server.finish();
    ASSERT_TRUE(log.gotRrq) << sim.diagnostics();
    EXPECT_EQ(log.rrqFile, "/orb1a2b.bin");
    EXPECT_EQ(log.rrqMode, "octet");
    EXPECT_EQ(log.rrqOptions, (std::map<std::string, std::string>{{"tsize", "0"}}));
    EXPECT_EQ(log.peer.rfind("127.0.4.60:", 0), 0u);
    EXPECT_TRUE(log.completed);
    EXPECT_EQ(log.acks, sequence(0, 10));
    EXPECT_TRUE(log.resends.empty());

    auto trig = sim.waitFor("trigger");
    ASSERT_TRUE(trig) << sim.diagnostics();
    EXPECT_EQ(trig->value("file"), "/orb1a2b.bin");
    EXPECT_EQ(trig->value("fetch"), "yes");
    auto received = sim.waitFor("image-received", 5000);
    ASSERT_TRUE(received) << sim.diagnostics();
    EXPECT_EQ(received->value("size"), "5000");
    EXPECT_EQ(received->value("tsize"), "5000");
    EXPECT_EQ(received->value("sha256"), sim::sha256Hex(image.data(), image.size()));
    EXPECT_EQ(received->value("version"), "2.0.10(a)");
    EXPECT_EQ(received->value("check"), "ok");
    ASSERT_TRUE(sim.waitFor("image-saved", 3000)) << sim.diagnostics();
    std::ifstream file(saved, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, image);
    EXPECT_EQ(sim.eventsNamed("tftp-data").size(), 10u);

    // Down: connections are refused.
    ASSERT_TRUE(sim.waitFor("restart-down", 3000)) << sim.diagnostics();
    HttpResult during = rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced"));
    EXPECT_FALSE(during.connected);
    EXPECT_TRUE(during.refused);

    // Up again with the image's version and a new nonce: the old one is stale.
    auto up = sim.waitFor("restart-up", 5000);
    ASSERT_TRUE(up) << sim.diagnostics();
    EXPECT_EQ(up->value("software-version"), "2.0.10(a)");
    size_t mark = sim.eventCount();
    HttpResult stale =
        rawHttp(simAddress(host), kPort,
                utilityRequest("/admin/advanced", utilityAuthorizationLine("admin", "pw", challenge, 2, "2a")));
    EXPECT_EQ(statusOf(stale.response), 401);
    auto refused = sim.waitFor("http-request", 3000, nullptr, mark);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->value("reason"), "nonce");
    UtilityChallenge fresh = readChallengeLikeUtility(stale.response);
    EXPECT_NE(fresh.nonce, challenge.nonce);
    EXPECT_EQ(softwareVersionOn(host, utilityAuthorizationLine("admin", "pw", fresh, 1, "77")), "2.0.10(a)");
    EXPECT_EQ(sim.stop(), 0);
    unlink(saved.c_str());
}

TEST(SimUpgrade, AFullSizeImageAndOneOfWholeBlocks) {
    struct Case {
        unsigned host;
        size_t size;
        unsigned lastBlock;
    };
    for (const Case& c : {Case{61, 728196, 1423}, Case{62, 1024, 3}}) {
        auto image = makeTestImage(c.size, "2.0.10(a)");
        SimProcess sim;
        ORB_START_SIM(sim, simOptions(c.host, {"--restart-ms=100", "--quiet-blocks"}));
        ScriptedTftpServer server(pcAddress(c.host), image);
        rawHttp(simAddress(c.host), kPort, utilityRequest(triggerPath(c.host, server.port())));
        TftpServerLog log = server.finish();
        EXPECT_TRUE(log.completed) << sim.diagnostics();
        EXPECT_EQ(log.acks, sequence(0, c.lastBlock));
        auto received = sim.waitFor("image-received", 5000);
        ASSERT_TRUE(received) << sim.diagnostics();
        EXPECT_EQ(received->value("size"), std::to_string(c.size));
        EXPECT_EQ(received->value("sha256"), sim::sha256Hex(image.data(), image.size()));
        for (const auto& event : sim.eventsNamed("tftp-data"))
            EXPECT_EQ(event.value("note"), "repeat");  // --quiet-blocks
        ASSERT_TRUE(sim.waitFor("restart-up", 3000));
        EXPECT_EQ(softwareVersionOn(c.host), "2.0.10(a)");
    }
}

TEST(SimUpgrade, ALostAckMakesTheServerResendThatBlock) {
    const unsigned host = 63;
    auto image = makeTestImage(3000, "2.0.10(a)");
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--drop-ack=3", "--restart-ms=100"}));
    TftpServerLog log = triggerUpload(host, image, 300);
    EXPECT_TRUE(log.completed) << sim.diagnostics();
    EXPECT_EQ(countOf(log.resends, 2), 1u);  // ACK 2 was the third ACK
    EXPECT_EQ(folded(log.acks), sequence(0, 6));
    auto dropped = sim.waitFor("tftp-ack-dropped");
    ASSERT_TRUE(dropped);
    EXPECT_EQ(dropped->value("block"), "2");
    auto again = sim.waitFor("tftp-ack", 3000, [](const auto& e) { return e.value("note") == "repeat"; });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->value("block"), "2");
    auto received = sim.waitFor("image-received", 3000);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->value("sha256"), sim::sha256Hex(image.data(), image.size()));
}

TEST(SimUpgrade, ALostDataBlockIsTakenFromTheResend) {
    const unsigned host = 64;
    auto image = makeTestImage(3000, "2.0.10(a)");
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--drop-data=4", "--restart-ms=100"}));
    TftpServerLog log = triggerUpload(host, image, 300);
    EXPECT_TRUE(log.completed) << sim.diagnostics();
    EXPECT_EQ(countOf(log.resends, 4), 1u);
    EXPECT_EQ(folded(log.acks), sequence(0, 6));
    auto received = sim.waitFor("image-received", 3000);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->value("check"), "ok");
}

TEST(SimUpgrade, DuplicateAcksAreDiscardedByTheServer) {
    const unsigned host = 65;
    auto image = makeTestImage(1500, "2.0.10(a)");
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--duplicate-acks", "--restart-ms=100"}));
    TftpServerLog log = triggerUpload(host, image, 500);
    EXPECT_TRUE(log.completed) << sim.diagnostics();
    // The server stops listening after the last ACK, so its copy may come too late.
    std::vector<unsigned> expected = {0, 0, 1, 1, 2, 2, 3};
    ASSERT_GE(log.acks.size(), expected.size());
    EXPECT_EQ(std::vector<unsigned>(log.acks.begin(), log.acks.begin() + 7), expected);
    EXPECT_TRUE(log.resends.empty());
    EXPECT_TRUE(sim.waitFor("image-received", 3000));
}

TEST(SimUpgrade, StopAcknowledgingMakesTheServerGiveUpAndTheSimulatorToo) {
    const unsigned host = 66;
    auto image = makeTestImage(5000, "2.0.10(a)");
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--stop-after-blocks=3", "--tftp-timeout-ms=300", "--tftp-retries=2",
                                         "--restart-ms=100"}));
    TftpServerLog log = triggerUpload(host, image, 60, 30);
    EXPECT_FALSE(log.completed);
    EXPECT_TRUE(log.timedOut);
    EXPECT_EQ(folded(log.acks), sequence(0, 3));
    EXPECT_EQ(countOf(log.resends, 4), 29u);  // DATA 4, 29 times after the first
    auto failed = sim.waitFor("tftp-failed", 5000);
    ASSERT_TRUE(failed) << sim.diagnostics();
    EXPECT_EQ(failed->value("reason"), "timeout");
    EXPECT_EQ(failed->value("blocks"), "3");
    EXPECT_EQ(sim.eventsNamed("tftp-timeout").size(), 2u);
    EXPECT_TRUE(sim.eventsNamed("image-received").empty());
    EXPECT_TRUE(sim.eventsNamed("restart-down").empty());
    EXPECT_EQ(softwareVersionOn(host), "1.0.2");  // no restart, no new version
}

TEST(SimUpgrade, AnOackNeverAcknowledgedIsSentThirtyTimes) {
    const unsigned host = 67;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--ignore-oack", "--tftp-timeout-ms=2000", "--tftp-retries=1"}));
    TftpServerLog log = triggerUpload(host, makeTestImage(1000, "2.0.10(a)"), 20, 30);
    EXPECT_TRUE(log.timedOut);
    EXPECT_EQ(log.oacksSent, 30u);
    EXPECT_TRUE(log.acks.empty());
}

TEST(SimUpgrade, AckLossByPercentIsRecoveredAndRepeatable) {
    const unsigned host = 68;
    auto image = makeTestImage(20000, "2.0.10(a)");  // 40 blocks
    struct Run {
        std::vector<std::string> dropped;  // ordinals of the lost ACKs
        size_t resends = 0;
    } runs[2];
    for (Run& run : runs) {
        SimProcess sim;
        ORB_START_SIM(sim, simOptions(host, {"--drop-ack-percent=20", "--seed=5", "--restart-ms=100"}));
        TftpServerLog log = triggerUpload(host, image, 150, 30);
        EXPECT_TRUE(log.completed) << sim.diagnostics();
        EXPECT_FALSE(log.resends.empty());
        auto received = sim.waitFor("image-received", 5000);
        ASSERT_TRUE(received);
        EXPECT_EQ(received->value("sha256"), sim::sha256Hex(image.data(), image.size()));
        for (const auto& event : sim.eventsNamed("tftp-ack-dropped")) run.dropped.push_back(event.value("n"));
        run.resends = log.resends.size();
    }
    // The same seed loses the same ACKs, as long as every resend was for a
    // lost ACK (a slow machine can make the server resend early, and the
    // extra ACK then shifts the count).
    if (runs[0].resends == runs[0].dropped.size() && runs[1].resends == runs[1].dropped.size()) {
        EXPECT_EQ(runs[0].dropped, runs[1].dropped);
    }
}

TEST(SimUpgrade, AnUnansweredTriggerStillFetchesUnlessToldNot) {
    for (bool fetch : {true, false}) {
        const unsigned host = fetch ? 69 : 70;
        SimProcess sim;
        ORB_START_SIM(sim, simOptions(host, {"--no-answer=trigger", "--restart-ms=100",
                                             std::string("--fetch-without-answer=") + (fetch ? "yes" : "no")}));
        ScriptedTftpServer server(pcAddress(host), makeTestImage(1000, "2.0.10(a)"),
                                  {.intervalMs = 1000, .intervals = 30, .rrqTimeoutMs = 1500});
        HttpResult answer = rawHttp(simAddress(host), kPort, utilityRequest(triggerPath(host, server.port())), 1000);
        EXPECT_TRUE(answer.connected);
        EXPECT_TRUE(answer.response.empty());
        // Without a fetch the connection stays open; after one, the restart
        // drops it, as a real adapter's reboot would.
        if (!fetch) {
            EXPECT_TRUE(answer.timedOut);
        }
        TftpServerLog log = server.finish();
        EXPECT_EQ(log.gotRrq, fetch);
        EXPECT_EQ(log.completed, fetch);
        auto trig = sim.waitFor("trigger");
        ASSERT_TRUE(trig);
        EXPECT_EQ(trig->value("fetch"), fetch ? "yes" : "no");
    }
}

TEST(SimUpgrade, StayDownNeverComesBack) {
    const unsigned host = 71;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--stay-down"}));
    EXPECT_TRUE(triggerUpload(host, makeTestImage(1000, "2.0.10(a)")).completed);
    auto down = sim.waitFor("restart-down", 3000);
    ASSERT_TRUE(down) << sim.diagnostics();
    EXPECT_EQ(down->value("down-ms"), "forever");
    // Half a second on, it has still not come back, and its web server is still down.
    EXPECT_FALSE(sim.waitFor("restart-up", 500));
    EXPECT_TRUE(rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced")).refused);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimUpgrade, ARefusedImageCausesNoRestart) {
    const unsigned host = 72;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--restart-ms=100"}));
    EXPECT_TRUE(triggerUpload(host, makeTestImage(1000, "9.9", "NOT AN ORB IMAGE")).completed);
    auto received = sim.waitFor("image-received", 3000);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->value("check"), "bad-magic");
    EXPECT_FALSE(sim.waitFor("restart-down", 300));
    EXPECT_EQ(softwareVersionOn(host), "1.0.2");
}

TEST(SimUpgrade, DelayedAcks) {
    const unsigned host = 73;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--tftp-delay-ms=150", "--restart-ms=100"}));
    ScriptedTftpServer server(pcAddress(host), makeTestImage(1000, "2.0.10(a)"), {.intervalMs = 1000});
    long long started = nowMs();
    rawHttp(simAddress(host), kPort, utilityRequest(triggerPath(host, server.port())));
    TftpServerLog log = server.finish();
    EXPECT_TRUE(log.completed);
    EXPECT_EQ(log.acks, sequence(0, 2));
    EXPECT_GE(nowMs() - started, 3 * 150 - 10);
}

TEST(SimUpgrade, ASecondTriggerDuringAFetchIsRefused) {
    const unsigned host = 74;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--tftp-timeout-ms=5000"}));
    // Nothing answers the first fetch's RRQ, so it is still running.
    HttpResult first = rawHttp(simAddress(host), kPort, utilityRequest(triggerPath(host, 6999)));
    EXPECT_EQ(statusOf(first.response), 200);
    HttpResult second = rawHttp(simAddress(host), kPort, utilityRequest(triggerPath(host, 6999)));
    EXPECT_EQ(statusOf(second.response), 503);
}

}  // namespace
}  // namespace orb::test
