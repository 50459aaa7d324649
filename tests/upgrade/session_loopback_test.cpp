// The transfer against a scripted TFTP peer on loopback, run in a child
// process as the program runs it: it ends the process itself.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "tftp/packets.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/upload_and_verify.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/observer_lines.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"
#include "tests/tftp/tftp_peer.h"
#include "tests/tftp/tftp_test_run.h"

namespace orb {
namespace {

using namespace std::chrono_literals;
using test::ChildResult;
using test::loopbackAddress;
using test::PeerDatagram;
using test::TftpPeer;

// What the child has written so far, for a test thread that must wait until
// the child's robot has seen something before it answers the transfer.
class ChildOutput {
public:
    void update(const std::string& output) {
        {
            std::lock_guard lock(mutex_);
            output_ = output;
        }
        changed_.notify_all();
    }
    bool waitFor(const std::string& text, int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return output_.find(text) != std::string::npos; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
};

// The child serves `image` from a socket on `local` to the peer, as the
// listener would after the peer's read request. The adapter is the peer unless
// `adapterAddress` names another. `seen`, when given, follows the child's output.
std::future<ChildResult> startSessionChild(const std::vector<uint8_t>& image, uint32_t local, const TftpPeer& peer,
                                           ClockSource clock, void (*extra)() = nullptr, uint32_t adapterAddress = 0,
                                           ChildOutput* seen = nullptr) {
    uint32_t peerAddress = peer.address();
    uint16_t peerPort = peer.port();
    uint32_t adapter = adapterAddress != 0 ? adapterAddress : peerAddress;
    return std::async(std::launch::async, [&image, local, peerAddress, peerPort, clock, extra, adapter, seen] {
        std::function<void(const std::string&, pid_t)> watch;
        if (seen != nullptr) watch = [seen](const std::string& output, pid_t) { seen->update(output); };
        return test::runInChild(
            [&] {
                test::prepareChildRun(image, "127.0.3.9", adapter);
                test::echoRunObserver();
                setClockSource(clock);
                if (extra != nullptr) extra();
                SocketHandle udpSocket = test::openSessionSocket(local);
                if (udpSocket == kInvalidSocket) {
                    std::fputs("no session socket\n", stderr);
                    std::_Exit(7);
                }
                startTftpSession(udpSocket, {peerAddress, peerPort}, local);
            },
            60000, nullptr, watch);
    });
}

std::vector<uint8_t> optionAckFor(size_t imageSize) {
    uint8_t packet[kTftpPacketSize];
    int length = buildOptionAck(packet, static_cast<uint32_t>(imageSize));
    return std::vector<uint8_t>(packet, packet + length);
}

long long millisecondsBetween(const PeerDatagram& first, const PeerDatagram& second) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(second.arrived - first.arrived).count();
}

// Plays the adapter from the DATA block `first` on: acknowledges each block
// and appends its data to `received` until a block shorter than 512 bytes. A
// block that comes again (this thread acknowledged it after its interval had
// passed, as a loaded machine may make it) is acknowledged again, not taken.
bool ackUntilTheEnd(const TftpPeer& peer, PeerDatagram first, std::vector<uint8_t>* received) {
    PeerDatagram data = std::move(first);
    unsigned expected = data.block();
    for (;;) {
        if (data.opcode() != 3) return false;
        bool repeat = data.block() + 1 == expected;
        if (!repeat && data.block() != expected) return false;
        if (!repeat) {
            received->insert(received->end(), data.bytes.begin() + 4, data.bytes.end());
            ++expected;
        }
        peer.sendAck(data.block(), data.sourceAddress, data.sourcePort);
        if (!repeat && data.bytes.size() < 4 + 512) return true;
        auto next = peer.receive(5000);
        if (!next) return false;
        data = std::move(*next);
    }
}

// Plays the adapter through a whole upload that goes as it should: the option
// acknowledgement, then every block.
bool takeWholeUpload(const TftpPeer& peer, std::vector<uint8_t>* received) {
    auto oack = peer.receive(10000);
    if (!oack) return false;
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    auto first = peer.receive(5000);
    return first && ackUntilTheEnd(peer, std::move(*first), received);
}

// The next datagram that is not one more copy of `sent`. Copies come first
// when this thread answered after the interval had passed; each must come at
// least 95 ms after the one before, so none was brought by what the test sent.
std::optional<PeerDatagram> receiveAfterCopiesOf(const TftpPeer& peer, const PeerDatagram& sent, int* copies) {
    PeerDatagram last = sent;
    for (;;) {
        auto next = peer.receive(5000);
        if (!next || next->bytes != sent.bytes) return next;
        EXPECT_GE(millisecondsBetween(last, *next), 95) << "a copy came before its interval had passed";
        last = std::move(*next);
        ++*copies;
    }
}

// Waits for the child's end, taking in whatever else the peer receives.
ChildResult finish(std::future<ChildResult>& child, const TftpPeer& peer,
                   std::vector<PeerDatagram>* extraDatagrams = nullptr) {
    while (child.wait_for(0ms) != std::future_status::ready) {
        auto extra = peer.receive(20);
        if (extra && extraDatagrams != nullptr) extraDatagrams->push_back(std::move(*extra));
    }
    return child.get();
}

unsigned long clockValue(const std::string& line) { return std::stoul(line.substr(8)); }

TEST(SessionLoopback, AnOptionAckNeverAcknowledgedIsSent30TimesThenTheUploadIsIncomplete) {
    TftpPeer peer(loopbackAddress(3, 11));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(728196);
    auto child = startSessionChild(image, loopbackAddress(3, 10), peer, test::loggingFastClock);

    std::vector<PeerDatagram> received;
    while (child.wait_for(0ms) != std::future_status::ready) {
        if (auto datagram = peer.receive(20)) received.push_back(std::move(*datagram));
    }
    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);

    ASSERT_EQ(received.size(), 30u) << result.output;
    for (const PeerDatagram& datagram : received) {
        EXPECT_EQ(datagram.bytes, optionAckFor(728196));
        EXPECT_EQ(datagram.sourceAddress, loopbackAddress(3, 10));
        EXPECT_GT(datagram.arrived.count(), 0);
    }
    for (size_t i = 1; i < received.size(); ++i) {
        EXPECT_GE(millisecondsBetween(received[i - 1], received[i]), 95) << "resend " << i;
    }
    const std::string& output = result.output;
    EXPECT_EQ(test::countLines(output, "ReSend option ack"), 29);

    // The transfer reads no clock; the restart wait runs in full after the
    // time-out, and only then comes the error box.
    size_t timeout = output.find("Timeout for ack; upgrade failed\n");
    size_t box = output.find(test::messageBoxLine("Upgrade Failed: Firmware Upload Incomplete"));
    ASSERT_NE(timeout, std::string::npos) << output;
    ASSERT_NE(box, std::string::npos) << output;
    EXPECT_EQ(output.find("[clock]"), output.find("[clock]", timeout));
    std::vector<unsigned long> units;
    for (size_t at = output.find("[clock] ", timeout); at < box; at = output.find("[clock] ", at + 1)) {
        units.push_back(clockValue(output.substr(at, output.find('\n', at) - at)));
    }
    ASSERT_GE(units.size(), 3u) << output;
    EXPECT_GE(units.back() - units.front(), 1562u);
    EXPECT_LT(units[units.size() - 2] - units.front(), 1562u);
    EXPECT_EQ(output.find("Upgrade Failed", box + 1), output.find("Upgrade Failed", box));  // one box only
}

TEST(SessionLoopback, ADuplicateAckCausesNeitherAResendNorATick) {
    TftpPeer peer(loopbackAddress(3, 13));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(2000);
    auto child = startSessionChild(image, loopbackAddress(3, 12), peer, test::acceleratedClock<200>);

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    ASSERT_EQ(oack->opcode(), 6u);
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    int copies = 0;
    auto first = receiveAfterCopiesOf(peer, *oack, &copies);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->opcode(), 3u);
    ASSERT_EQ(first->block(), 1u);
    // Counted as ticks, 150 of them would expire the interval at once.
    for (int i = 0; i < 150; ++i) peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    auto resent = peer.receive(5000);
    ASSERT_TRUE(resent);
    EXPECT_EQ(resent->bytes, first->bytes) << "a duplicate ACK brought a packet";
    // The duplicates fall into the ticks that are running: the interval lasts
    // its 100 ms of waiting.
    EXPECT_GE(millisecondsBetween(*first, *resent), 95);

    std::vector<uint8_t> data;
    ASSERT_TRUE(ackUntilTheEnd(peer, std::move(*resent), &data));
    EXPECT_EQ(data, image);
    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_GE(test::countLines(result.output, "ReSend block 1"), 1) << result.output;
    EXPECT_EQ(test::countLines(result.output, "ReSend option ack"), copies) << result.output;
    EXPECT_NE(result.output.find(test::uploadCompleteLine(2000)), std::string::npos) << result.output;
}

// Datagrams that arrive while an ACK is awaited fall into the tick in progress:
// however many come, the interval lasts its 100 ms of waiting.
enum class Burst { Foreign, DuplicateAcks };

class SessionBurst : public testing::TestWithParam<Burst> {};

TEST_P(SessionBurst, ThreeThousandDatagramsBringNoResendBefore95Ms) {
    const unsigned host = GetParam() == Burst::Foreign ? 41 : 43;
    TftpPeer peer(loopbackAddress(3, host));
    TftpPeer stranger(loopbackAddress(3, host));
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(stranger.ok());
    const auto image = test::makeTestImage(5000);
    auto child = startSessionChild(image, loopbackAddress(3, host - 1), peer, test::acceleratedClock<200>);

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    std::vector<uint8_t> data;
    std::optional<PeerDatagram> withheld = oack;
    int copies = 0;
    for (unsigned block = 1; block <= 5; ++block) {
        withheld = receiveAfterCopiesOf(peer, *withheld, &copies);
        ASSERT_TRUE(withheld);
        ASSERT_EQ(withheld->block(), block);
        if (block < 5) {
            data.insert(data.end(), withheld->bytes.begin() + 4, withheld->bytes.end());
            peer.sendAck(block, withheld->sourceAddress, withheld->sourcePort);
        }
    }
    for (int i = 0; i < 3000; ++i) {
        if (GetParam() == Burst::Foreign) {
            stranger.sendAck(5, withheld->sourceAddress, withheld->sourcePort);
        } else {
            peer.sendAck(4, withheld->sourceAddress, withheld->sourcePort);
        }
    }
    auto resent = peer.receive(5000);
    ASSERT_TRUE(resent);
    EXPECT_EQ(resent->bytes, withheld->bytes);
    EXPECT_GE(millisecondsBetween(*withheld, *resent), 95);
    ASSERT_TRUE(ackUntilTheEnd(peer, std::move(*resent), &data));
    EXPECT_EQ(data, image);

    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_GE(test::countLines(result.output, "ReSend block 5"), 1) << result.output;
    EXPECT_NE(result.output.find(test::uploadCompleteLine(5000)), std::string::npos) << result.output;
}

INSTANTIATE_TEST_SUITE_P(WithAnAckWithheld, SessionBurst, testing::Values(Burst::Foreign, Burst::DuplicateAcks),
                         [](const testing::TestParamInfo<Burst>& info) {
                             return info.param == Burst::Foreign ? "Foreign" : "DuplicateAcks";
                         });

TEST(SessionLoopback, JunkThroughoutAFourSecondUploadDoesNotEndIt) {
    TftpPeer peer(loopbackAddress(3, 45));
    TftpPeer stranger(loopbackAddress(3, 46));
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(stranger.ok());
    // 51 blocks, each acknowledged 80 ms late: the upload lasts at least 4 s,
    // and junk arrives all the while.
    const auto image = test::makeTestImage(25700);
    auto child = startSessionChild(image, loopbackAddress(3, 44), peer, test::acceleratedClock<200>);

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    std::atomic<bool> uploaded{false};
    std::thread junk([&] {
        while (!uploaded) {
            for (int i = 0; i < 200; ++i) stranger.sendAck(1, oack->sourceAddress, oack->sourcePort);
            std::this_thread::sleep_for(1ms);
        }
    });
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    std::vector<uint8_t> data;
    unsigned expected = 1;
    for (;;) {
        auto datagram = peer.receive(5000);
        if (datagram && datagram->bytes == oack->bytes && expected == 1) {
            peer.sendAck(0, oack->sourceAddress, oack->sourcePort);  // ACK 0 was lost in the junk
            continue;
        }
        if (!datagram || datagram->opcode() != 3) break;
        if (datagram->block() != expected) {
            // A resend: our ACK was lost (the junk can fill the session's
            // receive buffer). Acknowledge it again, as an adapter does.
            if (datagram->block() + 1 == expected)
                peer.sendAck(datagram->block(), datagram->sourceAddress, datagram->sourcePort);
            continue;
        }
        data.insert(data.end(), datagram->bytes.begin() + 4, datagram->bytes.end());
        std::this_thread::sleep_for(80ms);
        peer.sendAck(expected, datagram->sourceAddress, datagram->sourcePort);
        if (datagram->bytes.size() < 4 + 512) break;
        ++expected;
    }
    uploaded = true;
    junk.join();
    EXPECT_EQ(data, image);
    // The last ACK may have been lost in the junk too: the session then sends
    // the last block again, and an adapter acknowledges it again.
    while (child.wait_for(0ms) != std::future_status::ready) {
        auto again = peer.receive(20);
        if (again && again->opcode() == 3 && again->block() == expected)
            peer.sendAck(expected, again->sourceAddress, again->sourcePort);
    }
    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.output.find(test::runEndedLine(RunOutcome::UploadIncomplete)), std::string::npos)
        << result.output.substr(0, 2000);
    EXPECT_NE(result.output.find(test::uploadCompleteLine(25700)), std::string::npos) << result.output.substr(0, 2000);
}

TEST(SessionLoopback, AnAckFromTheRightAddressButAnotherPortIsForeign) {
    TftpPeer peer(loopbackAddress(3, 15));
    TftpPeer stranger(loopbackAddress(3, 15));
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(stranger.ok());
    const auto image = test::makeTestImage(700);
    auto child = startSessionChild(image, loopbackAddress(3, 14), peer, test::acceleratedClock<200>);

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    stranger.sendAck(0, oack->sourceAddress, oack->sourcePort);
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    int copies = 0;
    auto first = receiveAfterCopiesOf(peer, *oack, &copies);
    ASSERT_TRUE(first);
    EXPECT_FALSE(stranger.receive(0)) << "the session answered a foreign source";
    std::vector<uint8_t> data;
    ASSERT_TRUE(ackUntilTheEnd(peer, std::move(*first), &data));
    EXPECT_EQ(data, image);

    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    char expected[80];
    std::snprintf(expected, sizeof expected, "Unknown source request in session: 7f00030f:%u",
                  static_cast<unsigned>(stranger.port()));
    EXPECT_NE(result.output.find(expected), std::string::npos) << result.output;
    // Only an interval that passed resends the OACK, never the foreign ACK.
    EXPECT_EQ(test::countLines(result.output, "ReSend option ack"), copies) << result.output;
}

TEST(SessionLoopback, ARepeatedReadRequestDoesNotBringTheOptionAckAtOnce) {
    TftpPeer peer(loopbackAddress(3, 17));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(100);
    auto child = startSessionChild(image, loopbackAddress(3, 16), peer, test::acceleratedClock<200>);

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    peer.send(test::readRequest(test::kTestFileName, std::string("octet\0tsize\0"
                                                                 "0\0",
                                                                 14)),
              oack->sourceAddress, oack->sourcePort);
    auto again = peer.receive(5000);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bytes, oack->bytes);
    EXPECT_GE(millisecondsBetween(*oack, *again), 95) << "the repeated request was answered at once";

    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    int copies = 0;
    auto first = receiveAfterCopiesOf(peer, *again, &copies);
    ASSERT_TRUE(first);
    std::vector<uint8_t> data;
    ASSERT_TRUE(ackUntilTheEnd(peer, std::move(*first), &data));
    EXPECT_EQ(data, image);
    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(test::countLines(result.output, "ReSend option ack"), 1 + copies) << result.output;
}

// The success dialog of the child, read and closed by a robot thread there.
void closeTheSuccessDialog() {
    std::thread([] {
        WindowHandle success = robot::waitForDialog(kSuccessDialogId, 30000);
        if (success == nullptr) {
            std::fputs("[robot] no success dialog\n", stderr);
            return;
        }
        std::fprintf(stderr, "[robot] %s / %s\n", robot::title(success).c_str(),
                     robot::controlText(success, kSoftwareFieldId).c_str());
        robot::pressButton(success, kIdOk);
    }).detach();
}

// Reports each title that the upload window shows, with its bar, until the
// restart wait begins.
void watchTheUploadWindow() {
    std::thread([] {
        WindowHandle upload = robot::waitForDialog(kUploadWindowId, 20000);
        if (upload == nullptr) return;
        std::string last;
        robot::waitUntil(
            [&] {
                std::string title = robot::title(upload);
                if (title != last) {
                    robot::Progress bar = robot::progress(upload, kProgressBarId);
                    std::fprintf(stderr, "[robot] title \"%s\" bar %d of %d..%d\n", title.c_str(), bar.position,
                                 bar.low, bar.high);
                    last = title;
                }
                return title.rfind("Updating", 0) == 0;
            },
            30000);
    }).detach();
}

void watchTheUploadAndCloseTheSuccessDialog() {
    watchTheUploadWindow();
    closeTheSuccessDialog();
}

TEST(SessionLoopback, ALostDataBlockIsResentAfterOneIntervalAndTheUpgradeSucceeds) {
    test::ScriptedHttpServer device(loopbackAddress(3, 19));
    ASSERT_TRUE(device.start()) << device.error();
    device.setDefaultAnswer(test::ScriptedAnswer::text(
        test::httpResponse(200, "OK",
                           "<html>" + test::statusRows({{"Software Version", "<b>2.0.10(a)</b>"}}) + "</html>")));
    TftpPeer peer(loopbackAddress(3, 19));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(5000, "2.0.10(a)");
    ChildOutput seen;
    auto child = startSessionChild(image, loopbackAddress(3, 18), peer, test::acceleratedClock<200>,
                                   watchTheUploadAndCloseTheSuccessDialog, 0, &seen);
    const std::string firstTitle =
        "[robot] title \"Uploading Firmware to ORB@127.0.3.9 0/5000 Bytes\" bar 1 of 0..10\n";
    const std::string lossTitle =
        "[robot] title \"Uploading Firmware to ORB@127.0.3.9 1024/5000 Bytes\" bar 3 of 0..10\n";

    auto oack = peer.receive(10000);
    ASSERT_TRUE(oack);
    peer.sendAck(0, oack->sourceAddress, oack->sourcePort);
    std::vector<uint8_t> data;
    std::optional<PeerDatagram> previous = oack;
    int copies = 0;
    for (unsigned block = 1; block <= 2; ++block) {
        auto datagram = receiveAfterCopiesOf(peer, *previous, &copies);
        ASSERT_TRUE(datagram);
        ASSERT_EQ(datagram->block(), block);
        data.insert(data.end(), datagram->bytes.begin() + 4, datagram->bytes.end());
        // The first title stays until its block is acknowledged: only once the
        // robot has read it (copies of the block may come meanwhile).
        if (block == 1) {
            ASSERT_TRUE(seen.waitFor(firstTitle, 10000));
        }
        peer.sendAck(block, datagram->sourceAddress, datagram->sourcePort);
        previous = std::move(datagram);
    }
    auto lost = receiveAfterCopiesOf(peer, *previous, &copies);  // DATA 3, never acknowledged
    ASSERT_TRUE(lost);
    ASSERT_EQ(lost->block(), 3u);
    auto resent = peer.receive(5000);
    ASSERT_TRUE(resent);
    EXPECT_EQ(resent->bytes, lost->bytes);
    EXPECT_GE(millisecondsBetween(*lost, *resent), 95);
    ASSERT_TRUE(seen.waitFor(lossTitle, 10000));  // the title of the lost block, read before it is acknowledged
    ASSERT_TRUE(ackUntilTheEnd(peer, std::move(*resent), &data));
    EXPECT_EQ(data, image);

    // After the last ACK nothing more; only the final block may have come
    // again, when this thread acknowledged it after its interval had passed.
    std::vector<PeerDatagram> extra;
    ChildResult result = finish(child, peer, &extra);
    for (const PeerDatagram& datagram : extra) {
        EXPECT_EQ(datagram.opcode(), 3u) << "a packet after the last ACK";
        EXPECT_EQ(datagram.block(), 10u) << "a packet after the last ACK";
    }
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    const std::string& output = result.output;
    EXPECT_TRUE(test::inOrder(output, {"Send block 1 (512)\n", "Send block 3 (512)\n", "ReSend block 3\n",
                                       "Send block 10 (392)\n", test::uploadCompleteLine(5000),
                                       "[robot] ORB@127.0.3.9 Upgrade Successful! / 2.0.10(a)\n",
                                       test::runEndedLine(RunOutcome::Success)}))
        << output;
    EXPECT_EQ(output.find("[message box]"), std::string::npos) << output;
    // The bar counts blocks; the title counts acknowledged bytes (none on ACK 0).
    EXPECT_TRUE(test::inOrder(output, {firstTitle, lossTitle, "[robot] title \"Updating Firmware to ORB@127.0.3.9\""}))
        << output;

    // The verification asked the peer's address from the session's own.
    auto requests = device.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].bytes.rfind("GET /admin/advanced HTTP/1.1\r\n", 0), 0u) << requests[0].bytes;
    EXPECT_EQ(requests[0].peerAddress, loopbackAddress(3, 18));
}

// Whatever host the transfer served, the version read back is the adapter's:
// the check asks the address the run was given, never the transfer's peer.
TEST(SessionLoopback, TheVerificationAsksTheAdapterNotTheTransfersPeer) {
    test::ScriptedHttpServer adapter(loopbackAddress(3, 56));
    test::ScriptedHttpServer peerPage(loopbackAddress(3, 55));
    ASSERT_TRUE(adapter.start()) << adapter.error();
    ASSERT_TRUE(peerPage.start()) << peerPage.error();
    auto page = [](const char* version) {
        return test::ScriptedAnswer::text(
            test::httpResponse(200, "OK",
                               "<html>" +
                                   test::statusRows({{"Software Version", std::string("<b>") + version + "</b>"}}) +
                                   "</html>"));
    };
    adapter.setDefaultAnswer(page("1.0.2"));
    peerPage.setDefaultAnswer(page("2.0.10(a)"));
    TftpPeer peer(loopbackAddress(3, 55));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(600, "2.0.10(a)");
    auto child = startSessionChild(image, loopbackAddress(3, 54), peer, test::acceleratedClock<200>,
                                   closeTheSuccessDialog, loopbackAddress(3, 56));
    std::vector<uint8_t> data;
    ASSERT_TRUE(takeWholeUpload(peer, &data));
    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    // The peer's page would have said success.
    EXPECT_NE(result.output.find(test::messageBoxLine("Upgrade Failed: ORB reports version 1.0.2 after the upload")),
              std::string::npos)
        << result.output;
    EXPECT_EQ(adapter.requests().size(), 1u);
    EXPECT_TRUE(peerPage.requests().empty()) << "the transfer's peer was asked for the version";
}

TEST(SessionLoopback, AVerificationThatGetsNoAnswerEndsInNotResponding) {
    test::ScriptedHttpServer device(loopbackAddress(3, 36));
    ASSERT_TRUE(device.start()) << device.error();
    device.setDefaultAnswer(test::ScriptedAnswer::closeOnly());
    TftpPeer peer(loopbackAddress(3, 36));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(512);
    auto child = startSessionChild(image, loopbackAddress(3, 35), peer, test::acceleratedClock<200>);

    std::vector<uint8_t> data;
    ASSERT_TRUE(takeWholeUpload(peer, &data));
    EXPECT_EQ(data, image);
    ChildResult result = finish(child, peer);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find(test::messageBoxLine("Upgrade Failed: ORB not responding after firmware upload")),
              std::string::npos)
        << result.output;
    EXPECT_EQ(device.requests().size(), 1u);
}

// Presses Cancel in the upload window once the restart wait shows in it.
void cancelDuringTheRestartWait() {
    std::thread([] {
        WindowHandle upload = robot::waitForDialog(kUploadWindowId, 20000);
        bool waiting =
            upload != nullptr &&
            robot::waitUntil([&] { return robot::title(upload).rfind("Updating Firmware to ORB@", 0) == 0; }, 20000);
        if (!waiting) {
            std::fputs("[robot] no restart wait\n", stderr);
            return;
        }
        robot::Progress bar = robot::progress(upload, kProgressBarId);
        std::fprintf(stderr, "[robot] %s, bar %d..%d\n", robot::title(upload).c_str(), bar.low, bar.high);
        robot::pressButton(upload, kIdCancel);
    }).detach();
}

TEST(SessionLoopback, CancelDuringTheRestartWaitIsAUserAbortWithoutStatusQuery) {
    test::ScriptedHttpServer device(loopbackAddress(3, 29));
    ASSERT_TRUE(device.start()) << device.error();
    TftpPeer peer(loopbackAddress(3, 29));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(100);
    // The real clock: the wait would take 50 s.
    auto child = startSessionChild(image, loopbackAddress(3, 28), peer, nullptr, cancelDuringTheRestartWait);

    std::vector<uint8_t> data;
    ASSERT_TRUE(takeWholeUpload(peer, &data));
    auto started = std::chrono::steady_clock::now();
    ChildResult result = finish(child, peer);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(test::inOrder(result.output, {test::uploadCompleteLine(100),
                                              "[robot] Updating Firmware to ORB@127.0.3.9, bar 0..1562\n",
                                              test::messageBoxLine("Upgrade Failed: User Abort")}))
        << result.output;
    EXPECT_EQ(test::countLines(result.output, "[message box]"), 1) << result.output;
    EXPECT_EQ(device.connectionCount(), 0u);
}

}  // namespace
}  // namespace orb
