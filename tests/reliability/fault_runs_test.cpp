// Whole runs against orb-sim with faults on the wire: loss in each direction,
// duplicated and reordered ACKs, corrupted ACK block numbers, a foreign host
// and a flood of foreign datagrams, an adapter that pauses, one that stops.
// Each run ends with the image byte for byte and the success dialog, or with
// one clear error box; never a false success, a crash or a hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "upgrade/dialog_ids.h"
#include "upgrade/run_state.h"
#include "tests/reliability/fault_run.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"

namespace orb::test {
namespace {

class FaultRuns : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }

    // A run that must succeed.
    void expectSuccess(const FaultRun& run) {
        FaultRunResult result = runWithFaults(run);
        EXPECT_TRUE(checkOutcome(result)) << "expected the success dialog\n" << result.describe();
        EXPECT_EQ(result.errorBoxCount(), 0) << result.describe();
        last = result;
    }

    FaultRunResult last;
};

// Heavy-loss runs serve the image's first 64 KiB (128 blocks): every lost
// datagram costs an interval of 100 ticks, and the whole image would take
// minutes at 20 %.
constexpr uint32_t kShortImage = 64 * 1024;

int simEvents(const FaultRunResult& result, const std::string& name) {
    int count = 0;
    for (const auto& event : result.simEvents) count += event.name == name ? 1 : 0;
    return count;
}

TEST_F(FaultRuns, ACleanRunDeliversTheWholeImage) {
    FaultRun run;
    run.host = 1;
    expectSuccess(run);
    EXPECT_EQ(countLines(last.child.output, "[robot] success version=2.0.10(a)"), 1) << last.describe();
}

// Faults the transfer must ride out: lost, duplicated, late and corrupted
// datagrams, and a trigger that is never answered (its worker still waits in
// its receive while the transfer runs, until the adapter's restart closes the
// connection; the verification query comes after that). Each run succeeds with
// the whole image.
struct SurvivedFault {
    const char* name;
    unsigned host;
    uint32_t imageBytes;  // 0: the whole embedded image
    std::vector<std::string> simOptions;
    const char* simEvent;  // orb-sim must have logged it at least once (nullptr: no check)
    // A duplicate or stale ACK makes no resend (no Sorcerer's Apprentice: that
    // would send every block twice); a slow machine may still resend a few.
    // The resends must stay below this (0: no check).
    int resendsBelow;
};

void PrintTo(const SurvivedFault& c, std::ostream* out) { *out << c.name; }

class FaultRunsSurvived : public FaultRuns, public testing::WithParamInterface<SurvivedFault> {};

TEST_P(FaultRunsSurvived, TheWholeImageArrives) {
    const SurvivedFault& c = GetParam();
    FaultRun run;
    run.host = c.host;
    run.imageBytes = c.imageBytes;
    run.simOptions = c.simOptions;
    expectSuccess(run);
    if (c.simEvent != nullptr) {
        EXPECT_GT(simEvents(last, c.simEvent), 0) << last.describe();
    }
    if (c.resendsBelow > 0) {
        EXPECT_LT(countLines(last.child.output, "[trace] ReSend"), c.resendsBelow) << last.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(
    FaultRuns, FaultRunsSurvived,
    testing::Values(
        SurvivedFault{"OnePercentOfTheAcksLost", 2, 0, {"--drop-ack-percent=1"}, "tftp-ack-dropped", 0},
        SurvivedFault{"OnePercentOfOurDatagramsLost", 3, 0, {"--drop-data-percent=1"}, "tftp-data-dropped", 0},
        SurvivedFault{"FivePercentOfTheAcksLost", 4, kShortImage, {"--drop-ack-percent=5"}, nullptr, 0},
        SurvivedFault{"FivePercentOfOurDatagramsLost", 5, kShortImage, {"--drop-data-percent=5"}, nullptr, 0},
        SurvivedFault{"TwentyPercentOfTheAcksLost", 6, kShortImage, {"--drop-ack-percent=20"}, nullptr, 0},
        SurvivedFault{"TwentyPercentOfOurDatagramsLost", 7, kShortImage, {"--drop-data-percent=20"}, nullptr, 0},
        SurvivedFault{"TwentyPercentLostInBothDirections",
                      8,
                      kShortImage,
                      {"--drop-ack-percent=20", "--drop-data-percent=20", "--seed=11"},
                      nullptr,
                      0},
        SurvivedFault{"EveryAckDuplicated", 9, 0, {"--duplicate-acks"}, nullptr, 15},
        SurvivedFault{"StaleAcksArriveAfterNewerOnes", 10, 0, {"--ack-echo-ms=3"}, nullptr, 15},
        SurvivedFault{"StaleAcksAndLossTogether",
                      11,
                      kShortImage,
                      {"--ack-echo-ms=150", "--drop-ack-percent=5", "--drop-data-percent=5", "--duplicate-acks"},
                      nullptr,
                      0},
        SurvivedFault{"ATriggerThatIsNeverAnswered", 19, 0, {"--no-answer=trigger"}, nullptr, 0},
        SurvivedFault{
            "CorruptedAckBlockNumbers", 12, kShortImage, {"--corrupt-ack-percent=10"}, "tftp-ack-corrupted", 0}),
    [](const testing::TestParamInfo<SurvivedFault>& info) { return std::string(info.param.name); });

TEST_F(FaultRuns, AnAdapterThatPausesTwoSecondsInMidTransfer) {
    FaultRun run;
    run.host = 13;
    run.simOptions = {"--pause-after-block=700", "--pause-ms=2000"};
    expectSuccess(run);
    EXPECT_EQ(simEvents(last, "tftp-pause"), 1);
    // ACK 700 is held: DATA 700 goes out again every interval meanwhile.
    EXPECT_GT(countLines(last.child.output, "[trace] ReSend block 700"), 5) << last.describe();
}

TEST_F(FaultRuns, AnAdapterThatPausesTooLongEndsInAClearError) {
    FaultRun run;
    run.host = 14;
    run.imageBytes = kShortImage;
    run.simOptions = {"--pause-after-block=50", "--pause-ms=8000"};
    FaultRunResult result = runWithFaults(run);
    EXPECT_FALSE(checkOutcome(result)) << result.describe();
    EXPECT_EQ(result.errorBox(), "Upgrade Failed: Firmware Upload Incomplete") << result.describe();
    EXPECT_EQ(result.wholeImagesReceived(), 0);
}

TEST_F(FaultRuns, AnAdapterThatStopsAcknowledgingEndsInAClearError) {
    FaultRun run;
    run.host = 15;
    run.imageBytes = kShortImage;
    run.simOptions = {"--stop-after-blocks=60"};
    FaultRunResult result = runWithFaults(run);
    EXPECT_FALSE(checkOutcome(result)) << result.describe();
    EXPECT_EQ(result.errorBox(), "Upgrade Failed: Firmware Upload Incomplete") << result.describe();
    EXPECT_EQ(countLines(result.child.output, "[trace] ReSend block 61"), 29) << result.describe();
}

TEST_F(FaultRuns, CancelEndsARunWhileTheAdapterPauses) {
    FaultRun run;
    run.host = 16;
    run.simOptions = {"--pause-after-block=20", "--pause-ms=20000"};
    run.cancelUploadWhenTitleHas = " 9728/";  // 19 blocks acknowledged: the adapter holds back the 20th's ACK
    auto started = std::chrono::steady_clock::now();
    FaultRunResult result = runWithFaults(run);
    EXPECT_FALSE(checkOutcome(result)) << result.describe();
    EXPECT_EQ(result.errorBox(), "Upgrade Failed: User Abort") << result.describe();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(result.wholeImagesReceived(), 0);
}

// A second host on the LAN: read requests for a wrong name while the listener
// waits, then a flood of foreign datagrams (read requests for the right name,
// ACKs with plausible block numbers, junk) while the transfer runs.
TEST_F(FaultRuns, AForeignHostAndAFloodOfForeignDatagrams) {
    FaultRun run;
    run.host = 17;
    run.simOptions = {"--fetch-delay-ms=300"};  // the listener waits a while first
    constexpr uint32_t pc = loopbackAddress(7, 117);
    constexpr uint32_t stranger = loopbackAddress(7, 217);
    run.duringRun = [] {
        int fd = openUdpFrom(stranger);
        if (fd < 0) return;
        // While the listener waits: wrong names, until the transfer starts.
        const std::string wrong = std::string("\0\1/ORB1A2B.BIN\0octet\0", 21);
        do {
            sendDatagram(fd, pc, 69, wrong);
        } while (robot::waitForDialog(kUploadWindowId, 1) == nullptr);
        // From the transfer's start: 20,000 foreign datagrams as fast as they
        // go (on a loaded machine they may outlast the transfer; the run ends
        // only after the last, as the robot closes the success dialog then).
        const std::string right = std::string("\0\1/orb1a2b.bin\0octet\0", 21);
        for (int i = 0; i < 20000; ++i) {
            std::string ack("\0\4", 2);
            ack += static_cast<char>((i / 7) >> 8);
            ack += static_cast<char>(i / 7);
            switch (i % 3) {
                case 0: sendDatagram(fd, pc, 69, right); break;
                case 1: sendDatagram(fd, pc, 69, ack); break;
                case 2: sendDatagram(fd, pc, 69, std::string(i % 600, static_cast<char>(i))); break;
            }
        }
        std::printf("[robot] flood sent\n");
        ::close(fd);
    };
    FaultRunResult result = runWithFaults(run);
    checkOutcome(result);
    std::printf("flood run: %s; foreign datagrams seen in the transfer: %d\n",
                result.succeeded() ? "success" : result.errorBox().c_str(),
                countLines(result.child.output, "Unknown source request in session"));
    // Another host's read requests are ignored whatever they name.
    EXPECT_GT(countLines(result.child.output, "[trace] +++ TFTP RRQ from 127.0.7.217:"), 0) << result.describe();
    EXPECT_EQ(countLines(result.child.output, "[robot] flood sent"), 1) << result.describe();
    // The flood may make the transfer time out (each foreign datagram counts
    // as a tick); it never makes it succeed without the whole image.
    if (!result.succeeded()) {
        EXPECT_EQ(result.errorBox(), "Upgrade Failed: Firmware Upload Incomplete") << result.describe();
    }
}

// Cancel in the waiting window still ends the run while a foreign host floods
// the listener's port without pause.
TEST_F(FaultRuns, CancelInTheWaitingWindowDuringAFlood) {
    FaultRun run;
    run.host = 18;
    run.simOptions = {"--no-answer=trigger", "--fetch-without-answer=no"};
    constexpr uint32_t pc = loopbackAddress(7, 118);
    constexpr uint32_t stranger = loopbackAddress(7, 218);
    run.timeoutMs = 30000;
    run.duringRun = [] {
        std::atomic<bool> flooding{true};
        std::atomic<int> sent{0};
        std::thread flood([&] {
            int fd = openUdpFrom(stranger);
            if (fd < 0) return;
            const std::string junk = std::string("\0\4\0\1", 4);
            auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (flooding && std::chrono::steady_clock::now() < end) {
                sendDatagram(fd, pc, 69, junk);
                ++sent;
            }
            ::close(fd);
        });
        robot::waitUntil([&] { return sent.load() >= 1000; });  // the flood is on
        WindowHandle waiting = robot::waitForDialog(kWaitingWindowId, 1000);
        std::printf("[robot] cancel waiting\n");
        if (waiting != nullptr) robot::pressButton(waiting, kIdCancel);
        flood.join();  // the process ends before this returns, unless Cancel is starved
        std::printf("[robot] flood over\n");
    };
    auto started = std::chrono::steady_clock::now();
    FaultRunResult result = runWithFaults(run);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_TRUE(result.child.exited) << result.describe();
    EXPECT_EQ(result.errorBox(), "Upgrade Failed: User Abort") << result.describe();
    EXPECT_EQ(countLines(result.child.output, "[robot] flood over"), 0) << "Cancel had to wait for the flood's end\n"
                                                                        << result.describe();
    EXPECT_LT(took, std::chrono::seconds(10));
}

}  // namespace
}  // namespace orb::test
