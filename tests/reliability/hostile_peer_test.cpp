// A hostile TFTP peer against the transfer, on loopback (127.0.7.x): the peer
// itself (its address and port) floods stale ACKs, which the transfer discards
// without counting a tick. Cancel in the upload window must still end the run
// while the flood goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/upload_and_verify.h"
#include "tests/reliability/fault_run.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/tftp/tftp_peer.h"
#include "tests/tftp/tftp_test_run.h"

namespace orb::test {
namespace {

using namespace std::chrono_literals;

struct FloodResult {
    ChildResult child;
    long long floodMs = 0;       // how long the peer flooded
    long long childMs = 0;       // how long the child ran
    long long floodAtEndMs = 0;  // the flood's age when the child ended (-1: it had stopped)
    int sent = 0;
};

// The child serves an image to `peer` and presses Cancel `cancelAfterMs` into
// the transfer; the peer acknowledges the OACK, takes DATA 1, then sends
// `flood` back to back until the child ends (at most `floodLimit`).
FloodResult floodWhileCancelling(unsigned host, const std::vector<uint8_t>& flood, int cancelAfterMs,
                                 std::chrono::milliseconds floodLimit) {
    static std::vector<uint8_t> image = makeTestImage(200 * 1024);
    const uint32_t local = loopbackAddress(7, host);
    TftpPeer peer(loopbackAddress(7, host + 1));
    EXPECT_TRUE(peer.ok());
    const uint32_t peerAddress = peer.address();
    const uint16_t peerPort = peer.port();
    auto started = std::chrono::steady_clock::now();
    std::future<ChildResult> child = std::async(std::launch::async, [=] {
        return runInChild(
            [&] {
                prepareChildRun(image, "127.0.7.9", peerAddress);
                setClockSource(acceleratedClock<200>);
                std::thread([cancelAfterMs] {
                    WindowHandle upload = robot::waitForDialog(kUploadWindowId, 10000);
                    if (upload == nullptr) return;
                    std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
                    std::fprintf(stderr, "[robot] cancel\n");
                    robot::pressButton(upload, kIdCancel);
                }).detach();
                SocketHandle udpSocket = openSessionSocket(local);
                if (udpSocket == kInvalidSocket) std::_Exit(7);
                startTftpSession(udpSocket, local, {peerAddress, peerPort});
            },
            30000);
    });

    FloodResult result;
    auto oack = peer.receive(5000);
    EXPECT_TRUE(oack.has_value());
    if (oack) {
        peer.sendAck(0, local, oack->sourcePort);
        auto first = peer.receive(5000);
        EXPECT_TRUE(first.has_value() && first->opcode() == 3 && first->block() == 1);
        auto floodStart = std::chrono::steady_clock::now();
        while (child.wait_for(0s) != std::future_status::ready &&
               std::chrono::steady_clock::now() - floodStart < floodLimit) {
            for (int i = 0; i < 64; ++i) peer.send(flood, local, oack->sourcePort);
            result.sent += 64;
        }
        auto floodEnd = std::chrono::steady_clock::now();
        result.floodMs = std::chrono::duration_cast<std::chrono::milliseconds>(floodEnd - floodStart).count();
    }
    result.child = child.get();
    result.childMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    return result;
}

TEST(HostilePeer, AFloodOfStaleAcksFromThePeerDoesNotStarveCancel) {
    // Each stale ACK ends the wait of the tick in progress, so under this flood
    // the 30 intervals pass in a few hundred milliseconds: Cancel comes first.
    FloodResult result = floodWhileCancelling(30, {0, 4, 0, 0}, 50, 8000ms);
    expectNoSanitizerReport(result.child.output, "the program");
    EXPECT_TRUE(result.child.exited) << result.child.output;
    EXPECT_EQ(countLines(result.child.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << result.child.output;
    EXPECT_LT(result.floodMs, 4000) << "Cancel waited for the flood to stop (" << result.sent << " ACKs sent)";
    std::printf("stale ACKs sent: %d in %lld ms; the child ran %lld ms\n", result.sent, result.floodMs, result.childMs);
}

TEST(HostilePeer, AFloodOfOtherPacketsFromThePeerEndsInTimeOutOrCancel) {
    // ERROR packets from the peer count as ticks: the transfer times out after
    // 3,000 of them at the latest, and Cancel ends it as well.
    FloodResult result = floodWhileCancelling(32, {0, 5, 0, 0, 'n', 'o', 0}, 300, 8000ms);
    expectNoSanitizerReport(result.child.output, "the program");
    EXPECT_TRUE(result.child.exited) << result.child.output;
    EXPECT_EQ(countLines(result.child.output, "[message box] "), 1) << result.child.output;
    EXPECT_TRUE(countLines(result.child.output, messageBoxLine("Upgrade Failed: User Abort")) == 1 ||
                countLines(result.child.output, messageBoxLine("Upgrade Failed: Firmware Upload Incomplete")) == 1)
        << result.child.output;
    EXPECT_LT(result.floodMs, 4000);
}

}  // namespace
}  // namespace orb::test
