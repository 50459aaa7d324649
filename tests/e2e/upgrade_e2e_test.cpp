// Whole upgrades against orb-sim: from the warning dialog to the success dialog
// or to a clear error box, with the image checked byte for byte on the adapter's
// side.
#include <gtest/gtest.h>

#include <cctype>

#include "upgrade/dialog_ids.h"
#include "tests/support/loopback.h"
#include "tests/support/upgrade_robot.h"

namespace orb::test {
namespace {

class UpgradeE2e : public ProgramRunTest {
protected:
    // Runs against orb-sim on 127.0.5.host (the PC on the same address) with
    // `simOptions` and a short restart, and returns the run, failing the test
    // when orb-sim does not start. `sim_` stays running for the test to read.
    UpgradeRun run(unsigned host, std::vector<std::string> simOptions, const UpgradeScript& script = {}) {
        UpgradeOptions options;
        options.simAddress = loopbackAddress(5, host);
        options.simOptions = std::move(simOptions);
        options.simOptions.push_back("--restart-ms=300");
        options.saveImage = true;
        options.script = script;
        std::optional<UpgradeRun> result = runUpgrade(sim_, options);
        if (!result) {
            ADD_FAILURE() << "orb-sim did not start: " << sim_.diagnostics();
            return {};
        }
        EXPECT_TRUE(result->program.exited) << result->program.output;
        EXPECT_EQ(result->program.exitCode, 0) << result->program.output;
        EXPECT_EQ(countLines(result->program.output, "FAIL"), 0) << result->program.output;
        sim_.poll(300);  // the simulator's last events
        return *result;
    }

    void expectSuccess(const UpgradeRun& result, const std::string& typed) {
        EXPECT_EQ(countLines(result.program.output, "[robot] success title=ORB@" + typed + " Upgrade Successful!"), 1)
            << result.program.output << sim_.diagnostics();
        EXPECT_EQ(countLines(result.program.output, "[robot] success version=2.0.10(a)"), 1);
        EXPECT_EQ(countLines(result.program.output, "[message box]"), 0) << result.program.output;
        // What the adapter wrote is the embedded image, byte for byte.
        const std::string image = embeddedImageBytes();
        EXPECT_TRUE(result.savedImage == image) << "saved " << result.savedImage.size() << " bytes";
        auto received = sim_.waitFor("image-received", 1000);
        ASSERT_TRUE(received) << sim_.diagnostics();
        EXPECT_EQ(received->value("check"), "ok");
        EXPECT_EQ(received->value("sha256"), sha256Hex(image));
        EXPECT_EQ(received->value("version"), "2.0.10(a)");
    }

    void expectErrorBox(const UpgradeRun& result, const std::string& message) {
        EXPECT_EQ(countLines(result.program.output, messageBoxLine(message)), 1)
            << result.program.output << sim_.diagnostics();
        EXPECT_EQ(countLines(result.program.output, "[robot] success"), 0);
    }

    // The http-request events of the simulator with this route.
    std::vector<sim::EventLine> requests(const std::string& route) {
        std::vector<sim::EventLine> found;
        for (const sim::EventLine& event : sim_.eventsNamed("http-request"))
            if (event.value("route") == route) found.push_back(event);
        return found;
    }

    SimProcess sim_;
};

TEST_F(UpgradeE2e, WithoutAPasswordTheAdapterEndsWithTheNewVersion) {
    UpgradeRun result = run(1, {});
    expectSuccess(result, "127.0.5.1");
    EXPECT_EQ(countLines(result.program.output, "[robot] confirmation software=1.0.2"), 1);
    auto rrq = sim_.waitFor("tftp-rrq", 100);
    ASSERT_TRUE(rrq);
    EXPECT_EQ(rrq->value("file"), "/orb1a2b.bin");
    EXPECT_EQ(requests("status").size(), 2u) << "the status query and the verification";
    EXPECT_EQ(requests("trigger").size(), 1u);
}

TEST_F(UpgradeE2e, TheTitlesCarryTheAddressAsTypedWithStars) {
    UpgradeScript script;
    script.typedAddress = "127*0*5*002";
    UpgradeRun result = run(2, {}, script);
    expectSuccess(result, "127*0*5*002");
}

struct DigestCase {
    unsigned host;
    const char* qop;
    const char* algorithm;
};

void PrintTo(const DigestCase& c, std::ostream* out) { *out << "qop " << c.qop << ", algorithm " << c.algorithm; }

class UpgradeDigestE2e : public UpgradeE2e, public testing::WithParamInterface<DigestCase> {};

TEST_P(UpgradeDigestE2e, APasswordIsAskedOnceAndHeldThroughTheVerification) {
    const DigestCase& c = GetParam();
    UpgradeScript script;
    script.passwords = {"secret"};
    UpgradeRun result = run(c.host,
                            {"--user=admin", "--password=secret", std::string("--qop=") + c.qop,
                             std::string("--algorithm=") + c.algorithm, "--opaque=op4que"},
                            script);
    EXPECT_EQ(countLines(result.program.output, "[robot] credentials"), 1) << result.program.output;
    EXPECT_EQ(countLines(result.program.output, "[robot] success version=2.0.10(a)"), 1) << sim_.diagnostics();
    EXPECT_TRUE(result.savedImage == embeddedImageBytes());
    for (const sim::EventLine& request : requests("trigger")) EXPECT_EQ(request.value("auth"), "ok");
}

INSTANTIATE_TEST_SUITE_P(
    QopByAlgorithm, UpgradeDigestE2e,
    testing::Values(DigestCase{10, "auth", "MD5"}, DigestCase{11, "auth", "MD5-sess"}, DigestCase{12, "auth", "none"},
                    DigestCase{13, "auth-int", "MD5"}, DigestCase{14, "auth-int", "MD5-sess"},
                    DigestCase{15, "auth-int", "none"}, DigestCase{16, "auth,auth-int", "MD5"},
                    DigestCase{17, "auth,auth-int", "MD5-sess"}, DigestCase{18, "auth,auth-int", "none"},
                    DigestCase{19, "none", "MD5"}, DigestCase{20, "none", "MD5-sess"}, DigestCase{21, "none", "none"}),
    [](const testing::TestParamInfo<DigestCase>& info) {
        std::string name = std::string("qop_") + info.param.qop + "_algorithm_" + info.param.algorithm;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST_F(UpgradeE2e, ANewNonceAfterTheRestartGivesOneSilentRetryAndNoDialog) {
    UpgradeScript script;
    script.passwords = {"secret"};
    UpgradeRun result = run(30, {"--user=admin", "--password=secret"}, script);
    expectSuccess(result, "127.0.5.30");
    EXPECT_EQ(countLines(result.program.output, "[robot] credentials after confirmation"), 0);
    // After the restart: the held credentials with the stale nonce are refused,
    // then the silent retry with the new nonce is taken.
    std::vector<sim::EventLine> status = requests("status");
    ASSERT_GE(status.size(), 4u) << sim_.diagnostics();
    EXPECT_EQ(status[status.size() - 2].value("auth"), "refused");
    EXPECT_EQ(status.back().value("auth"), "ok");
    EXPECT_EQ(status.back().value("nc"), "000000001");
}

TEST_F(UpgradeE2e, AWrongPasswordThenTheRightOne) {
    UpgradeScript script;
    script.passwords = {"wrong", "secret"};
    UpgradeRun result = run(31, {"--user=admin", "--password=secret"}, script);
    expectSuccess(result, "127.0.5.31");
    EXPECT_EQ(countLines(result.program.output, "[robot] credentials"), 2);
}

// An adapter that fails in the transfer or the restart: a clear error box, and
// on the adapter's side no image or the whole one.
struct AdapterFailure {
    const char* name;
    unsigned host;
    std::vector<std::string> simOptions;
    const char* errorBox;
    enum class Saved { Unchecked, Nothing, WholeImage } saved;
    int statusRequests;  // the status queries the adapter saw (-1: no check)
};

void PrintTo(const AdapterFailure& c, std::ostream* out) { *out << c.name; }

class UpgradeE2eAdapterFailure : public UpgradeE2e, public testing::WithParamInterface<AdapterFailure> {};

TEST_P(UpgradeE2eAdapterFailure, EndsWithTheErrorBox) {
    const AdapterFailure& c = GetParam();
    UpgradeRun result = run(c.host, c.simOptions);
    expectErrorBox(result, c.errorBox);
    if (c.saved == AdapterFailure::Saved::Nothing) {
        EXPECT_TRUE(result.savedImage.empty()) << "no image was accepted";
    }
    if (c.saved == AdapterFailure::Saved::WholeImage) {
        EXPECT_TRUE(result.savedImage == embeddedImageBytes());
    }
    if (c.statusRequests >= 0) {
        EXPECT_EQ(requests("status").size(), static_cast<size_t>(c.statusRequests))
            << "no verification after a failed transfer";
    }
}

INSTANTIATE_TEST_SUITE_P(UpgradeE2e, UpgradeE2eAdapterFailure,
                         testing::Values(AdapterFailure{"AnAdapterThatStopsAcknowledgingEndsIncomplete",
                                                        32,
                                                        {"--stop-after-blocks=20"},
                                                        "Upgrade Failed: Firmware Upload Incomplete",
                                                        AdapterFailure::Saved::Nothing,
                                                        1},
                                         AdapterFailure{"AnAdapterThatNeverComesBackIsNotResponding",
                                                        33,
                                                        {"--stay-down"},
                                                        "Upgrade Failed: ORB not responding after firmware upload",
                                                        AdapterFailure::Saved::Unchecked,
                                                        -1},
                                         AdapterFailure{"AnAdapterBackWithItsOldVersionIsNoSuccess",
                                                        39,
                                                        {"--version-after-restart=1.0.2"},
                                                        "Upgrade Failed: ORB reports version 1.0.2 after the upload",
                                                        AdapterFailure::Saved::WholeImage,
                                                        2},
                                         AdapterFailure{"AnAdapterBackWithoutAVersionIsNoSuccess",
                                                        40,
                                                        {"--restart-without-version"},
                                                        "Upgrade Failed: ORB reports no version after the upload",
                                                        AdapterFailure::Saved::WholeImage,
                                                        -1},
                                         AdapterFailure{"AnAdapterThatComesBackSilentIsNotResponding",
                                                        34,
                                                        {"--close-without-answer=after-restart"},
                                                        "Upgrade Failed: ORB not responding after firmware upload",
                                                        AdapterFailure::Saved::WholeImage,
                                                        -1}),
                         [](const testing::TestParamInfo<AdapterFailure>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(UpgradeE2e, CancelInTheWaitingWindowAbortsBeforeAnyTransfer) {
    UpgradeScript script;
    script.cancelWindow = kWaitingWindowId;
    UpgradeRun result = run(35, {"--no-answer=trigger", "--fetch-without-answer=no"}, script);
    expectErrorBox(result, "Upgrade Failed: User Abort");
    EXPECT_EQ(sim_.eventsNamed("tftp-rrq").size(), 0u);
}

TEST_F(UpgradeE2e, CancelInTheUploadWindowAbortsTheTransfer) {
    UpgradeScript script;
    script.cancelWindow = kUploadWindowId;
    UpgradeRun result = run(36, {"--tftp-delay-ms=5"}, script);
    expectErrorBox(result, "Upgrade Failed: User Abort");
    EXPECT_TRUE(result.savedImage.empty());
    EXPECT_EQ(countLines(result.program.output, "[robot] cancel in 110 title=Uploading Firmware to ORB@127.0.5.36 "), 1)
        << result.program.output;
}

TEST_F(UpgradeE2e, LostAcknowledgementsStillDeliverTheExactImage) {
    UpgradeRun result = run(37, {"--drop-ack-percent=5", "--seed=7"});
    expectSuccess(result, "127.0.5.37");
    EXPECT_GT(sim_.eventsNamed("tftp-ack-dropped").size(), 10u);
}

TEST_F(UpgradeE2e, LostDataBlocksStillDeliverTheExactImage) {
    // Every 20th block lost once: 5% of the 1423.
    std::string blocks;
    for (int block = 20; block <= 1423; block += 20) blocks += (blocks.empty() ? "" : ",") + std::to_string(block);
    UpgradeRun result = run(38, {"--drop-data=" + blocks});
    expectSuccess(result, "127.0.5.38");
    EXPECT_EQ(sim_.eventsNamed("tftp-data-dropped").size(), 71u);
}

}  // namespace
}  // namespace orb::test
