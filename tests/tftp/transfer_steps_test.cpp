// The transfer's handling of datagrams and ticks, without socket or window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tftp/packets.h"
#include "tftp/transfer.h"
#include "upgrade/upload_and_verify.h"
#include "tests/tftp/trace_capture.h"

namespace orb {
namespace {

constexpr uint32_t kPeer = 0x7f000305;  // 127.0.3.5
constexpr uint16_t kPeerPort = 1234;

std::vector<uint8_t> testImage(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 131 + i / 512);
    return image;
}

// A received datagram in a heap block of exactly its length.
struct Received {
    std::unique_ptr<uint8_t[]> bytes;
    int length;
};

Received datagram(const std::vector<uint8_t>& content) {
    Received received{std::make_unique<uint8_t[]>(content.size() + 1), static_cast<int>(content.size())};
    std::copy(content.begin(), content.end(), received.bytes.get());
    return received;
}

Received ack(unsigned block) { return datagram({0, 4, static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block)}); }

class TransferSteps : public testing::Test {
protected:
    void start(const std::vector<uint8_t>& served) {
        image = served;
        session = TftpSession{};
        initTftpSession(&session, kInvalidSocket, {kPeer, kPeerPort}, image.data(),
                        static_cast<uint32_t>(image.size()));
    }
    SessionVerdict handle(const Received& received, uint32_t source = kPeer, uint16_t port = kPeerPort) {
        return handleSessionDatagram(&session, received.bytes.get(), received.length, {source, port});
    }
    std::string title() { return formatUploadTitle("192.168.1.20", session.bytesAcked, session.imageSize); }

    std::vector<uint8_t> image;
    TftpSession session{};
};

struct BlockSent {
    uint32_t block;
    int size;
    long offset;  // of its data in the image
};

struct Transfer {
    std::vector<BlockSent> blocks;
    std::vector<std::string> titles;
    bool completed = false;
};

class WholeTransfer : public TransferSteps {
protected:
    // Acknowledges every packet at once, as the adapter does.
    Transfer run() {
        Transfer transfer;
        for (uint32_t next = 0; next <= session.blockCount + 1; ++next) {
            SessionVerdict verdict = handle(ack(next & 0xffff));
            transfer.titles.push_back(title());
            if (verdict == SessionVerdict::Complete) {
                transfer.completed = true;
                break;
            }
            EXPECT_EQ(verdict, SessionVerdict::SendBlock);
            if (verdict != SessionVerdict::SendBlock) break;
            transfer.blocks.push_back(
                {session.block, session.blockSize, static_cast<long>(session.blockData - image.data())});
        }
        return transfer;
    }
    Transfer runImageOf(size_t size) {
        start(testImage(size));
        return run();
    }
    // The sizes of the blocks sent, in order.
    static std::vector<int> blockSizes(const Transfer& transfer) {
        std::vector<int> sizes;
        for (const BlockSent& sent : transfer.blocks) sizes.push_back(sent.size);
        return sizes;
    }
};

TEST_F(WholeTransfer, TheSampleImageSizeGives1423BlocksEndingWith132Bytes) {
    start(testImage(728196));
    EXPECT_EQ(session.imageSize, 728196u);
    EXPECT_EQ(session.lastBlockSize, 132);
    EXPECT_EQ(session.blockCount, 1423u);
    Transfer transfer = run();
    ASSERT_TRUE(transfer.completed);
    ASSERT_EQ(transfer.blocks.size(), 1423u);
    for (uint32_t k = 1; k <= 1422; ++k) {
        ASSERT_EQ(transfer.blocks[k - 1].block, k);
        ASSERT_EQ(transfer.blocks[k - 1].size, 512);
        ASSERT_EQ(transfer.blocks[k - 1].offset, static_cast<long>(k - 1) * 512);
    }
    EXPECT_EQ(transfer.blocks.back().size, 132);
    EXPECT_EQ(transfer.blocks.back().offset, 1422L * 512);
    EXPECT_EQ(transfer.titles.front(), "Uploading Firmware to ORB@192.168.1.20 0/728196 Bytes");
    EXPECT_EQ(transfer.titles.back(), "Uploading Firmware to ORB@192.168.1.20 728196/728196 Bytes");
    EXPECT_EQ(session.block, 1424u);
}

TEST_F(WholeTransfer, AnImageOf1024BytesEndsWithAnEmptyThirdBlock) {
    Transfer transfer = runImageOf(1024);
    ASSERT_TRUE(transfer.completed);
    EXPECT_EQ(blockSizes(transfer), (std::vector<int>{512, 512, 0}));
    EXPECT_EQ(transfer.titles.front(), "Uploading Firmware to ORB@192.168.1.20 0/1024 Bytes");
    EXPECT_EQ(transfer.titles.back(), "Uploading Firmware to ORB@192.168.1.20 1024/1024 Bytes");
}

TEST_F(WholeTransfer, AnImageOf512BytesEndsWithAnEmptySecondBlock) {
    Transfer transfer = runImageOf(512);
    ASSERT_TRUE(transfer.completed);
    EXPECT_EQ(blockSizes(transfer), (std::vector<int>{512, 0}));
    EXPECT_EQ(transfer.titles.back(), "Uploading Firmware to ORB@192.168.1.20 512/512 Bytes");
}

TEST_F(WholeTransfer, AnImageOf100BytesIsOneBlock) {
    Transfer transfer = runImageOf(100);
    ASSERT_TRUE(transfer.completed);
    EXPECT_EQ(blockSizes(transfer), (std::vector<int>{100}));
    EXPECT_EQ(transfer.blocks[0].offset, 0);
    EXPECT_EQ(transfer.titles.front(), "Uploading Firmware to ORB@192.168.1.20 0/100 Bytes");
    EXPECT_EQ(transfer.titles.back(), "Uploading Firmware to ORB@192.168.1.20 100/100 Bytes");
}

TEST_F(WholeTransfer, AnEmptyImageIsOneEmptyBlock) {
    start(testImage(0));
    EXPECT_EQ(session.imageSize, 0u);
    EXPECT_EQ(session.lastBlockSize, 0);
    EXPECT_EQ(session.blockCount, 1u);
    Transfer transfer = run();
    ASSERT_TRUE(transfer.completed);
    EXPECT_EQ(blockSizes(transfer), (std::vector<int>{0}));
    EXPECT_EQ(transfer.titles.back(), "Uploading Firmware to ORB@192.168.1.20 0/0 Bytes");
}

TEST_F(WholeTransfer, TheLargestImageThatCanCompleteHas65535Blocks) {
    start(testImage(33553919));
    EXPECT_EQ(session.blockCount, 65535u);
    Transfer transfer = run();
    EXPECT_TRUE(transfer.completed);
    EXPECT_EQ(transfer.blocks.back().size, 511);
}

TEST_F(TransferSteps, ALargerImageNeverMatchesTheAckOfBlock65536) {
    start(testImage(33553920));
    ASSERT_EQ(session.blockCount, 65536u);
    for (uint32_t next = 0; next < 65536; ++next) ASSERT_EQ(handle(ack(next)), SessionVerdict::SendBlock);
    ASSERT_EQ(session.block, 65536u);
    EXPECT_EQ(handle(ack(0)), SessionVerdict::Discard);  // the wire number of block 65536
    EXPECT_EQ(session.block, 65536u);
}

TEST_F(TransferSteps, ADuplicateAckIsDiscardedWithoutATickOrResend) {
    start(testImage(2000));
    ASSERT_EQ(handle(ack(0)), SessionVerdict::SendBlock);
    ASSERT_EQ(handle(ack(1)), SessionVerdict::SendBlock);
    session.ticks = 37;
    session.intervals = 4;
    EXPECT_EQ(handle(ack(1)), SessionVerdict::Discard);
    EXPECT_EQ(handle(ack(0)), SessionVerdict::Discard);
    EXPECT_EQ(handle(ack(9)), SessionVerdict::Discard);
    EXPECT_EQ(session.ticks, 37);
    EXPECT_EQ(session.intervals, 4);
    EXPECT_EQ(session.block, 2u);
    EXPECT_EQ(session.bytesAcked, 512);
}

TEST_F(TransferSteps, TheExpectedAckStartsBothCountsAfresh) {
    start(testImage(2000));
    session.ticks = 99;
    session.intervals = 29;
    ASSERT_EQ(handle(ack(0)), SessionVerdict::SendBlock);
    EXPECT_EQ(session.ticks, 0);
    EXPECT_EQ(session.intervals, 0);
    EXPECT_EQ(session.bytesAcked, 0);  // the OACK carries no data
}

TEST_F(TransferSteps, AnAckFromTheRightAddressButAnotherPortIsForeign) {
    test::TraceCapture trace;
    start(testImage(2000));
    trace.clear();
    EXPECT_EQ(handle(ack(0), kPeer, kPeerPort + 1), SessionVerdict::Foreign);
    EXPECT_EQ(handle(ack(0), 0x7f000306, kPeerPort), SessionVerdict::Foreign);
    EXPECT_EQ(session.block, 0u);
    EXPECT_EQ(trace.traced(),
              "Unknown source request in session: 7f000305:1235"
              "Unknown source request in session: 7f000306:1234");
}

// Only a read request from the peer's address on another port is a second
// requester, and only the first one is told; the transfer goes on untouched.
TEST_F(TransferSteps, AReadRequestAsThePeerFromAnotherPortIsASecondRequestOnce) {
    start(testImage(2000));
    Received rrq = datagram({0, 1, '/', 'o', 0, 'o', 'c', 't', 'e', 't', 0});
    EXPECT_EQ(handle(rrq, 0x7f000306, kPeerPort + 1), SessionVerdict::Foreign) << "another host";
    EXPECT_EQ(handle(rrq), SessionVerdict::Foreign) << "the peer itself, asking again";
    EXPECT_FALSE(session.secondRequest);
    EXPECT_EQ(handle(rrq, kPeer, kPeerPort + 7), SessionVerdict::SecondRequest);
    EXPECT_TRUE(session.secondRequest);
    EXPECT_EQ(session.secondRequestPort, kPeerPort + 7);
    EXPECT_EQ(handle(rrq, kPeer, kPeerPort + 8), SessionVerdict::Foreign) << "told once";
    EXPECT_EQ(session.secondRequestPort, kPeerPort + 7);
    EXPECT_EQ(handle(ack(0)), SessionVerdict::SendBlock);
}

TEST_F(TransferSteps, NonAckDatagramsFromThePeerAreTicks) {
    test::TraceCapture trace;
    start(testImage(2000));
    trace.clear();
    Received rrq = datagram({0, 1, '/', 'o', 0, 'o', 'c', 't', 'e', 't', 0});
    Received error = datagram({0, 5, 0, 1, 'x', 0});
    Received data = datagram({0, 3, 0, 0});
    Received noOpcode = datagram({0, 0, 0, 0});
    for (const Received* received : {&rrq, &error, &data, &noOpcode}) {
        EXPECT_EQ(handle(*received), SessionVerdict::Foreign);
    }
    EXPECT_EQ(session.block, 0u);
    EXPECT_EQ(trace.traced(), "");
}

TEST_F(TransferSteps, AnAckShorterThanFourBytesIsNoAck) {
    start(testImage(2000));
    // ACK 0 cut after three bytes: the buffer holds the fourth, the length not.
    Received cut = ack(0);
    cut.length = 3;
    EXPECT_EQ(handle(cut), SessionVerdict::Foreign);
    EXPECT_EQ(handle(datagram({0, 4, 0})), SessionVerdict::Foreign);
    EXPECT_EQ(handle(datagram({0, 4})), SessionVerdict::Foreign);
    EXPECT_EQ(session.block, 0u);
    EXPECT_EQ(handle(datagram({0, 4, 0, 0, 'x', 'y'})), SessionVerdict::SendBlock);  // bytes after 3 ignored
}

TEST_F(TransferSteps, NothingOrLessThanAnOpcodeIsAnIdlePass) {
    start(testImage(2000));
    Received one = datagram({4});
    EXPECT_EQ(handle(one), SessionVerdict::Idle);
    EXPECT_EQ(handle(one, 0x01020304, 9), SessionVerdict::Idle);  // even from a stranger
    one.length = 0;
    EXPECT_EQ(handle(one), SessionVerdict::Idle);
    one.length = -1;
    EXPECT_EQ(handle(one), SessionVerdict::Idle);
}

TEST_F(TransferSteps, AnIntervalIsAHundredTicks) {
    start(testImage(2000));
    for (int tick = 1; tick < 100; ++tick) ASSERT_EQ(countTicks(&session, 1), TickVerdict::Wait) << tick;
    EXPECT_EQ(countTicks(&session, 1), TickVerdict::ResendOptionAck);
    EXPECT_EQ(session.ticks, 0);
    EXPECT_EQ(session.intervals, 1);
    ASSERT_EQ(handle(ack(0)), SessionVerdict::SendBlock);
    for (int tick = 1; tick < 100; ++tick) ASSERT_EQ(countTicks(&session, 1), TickVerdict::Wait) << tick;
    EXPECT_EQ(countTicks(&session, 1), TickVerdict::ResendBlock);
}

TEST_F(TransferSteps, TheThirtiethIntervalTimesOut) {
    start(testImage(2000));
    int resends = 0;
    TickVerdict verdict = TickVerdict::Wait;
    for (int tick = 0; tick < 30 * 100; ++tick) {
        verdict = countTicks(&session, 1);
        if (verdict == TickVerdict::ResendOptionAck) ++resends;
        if (verdict == TickVerdict::TimedOut) break;
    }
    EXPECT_EQ(verdict, TickVerdict::TimedOut);
    EXPECT_EQ(resends, 29);  // sent once, then 29 times more
    EXPECT_EQ(session.state, TransferState::TimedOut);
}

TEST_F(TransferSteps, TicksThatPassTogetherExpireOneIntervalAtMost) {
    start(testImage(2000));
    EXPECT_EQ(countTicks(&session, 60), TickVerdict::Wait);
    EXPECT_EQ(countTicks(&session, 0), TickVerdict::Wait);
    EXPECT_EQ(session.ticks, 60);
    EXPECT_EQ(countTicks(&session, 40), TickVerdict::ResendOptionAck);
    EXPECT_EQ(session.ticks, 0);
    // A stall of the whole thread: one interval, and the next starts afresh.
    EXPECT_EQ(countTicks(&session, 5000), TickVerdict::ResendOptionAck);
    EXPECT_EQ(session.intervals, 2);
    EXPECT_EQ(session.ticks, 0);
}

#ifndef NDEBUG
// The transfer's asserts are live where NDEBUG is not set (the asan and tsan
// builds): a record that did not come zeroed is refused.
TEST(TransferStepsDeathTest, ARecordWithTimeAlreadyCountedIsRefused) {
    const std::vector<uint8_t> image = testImage(600);
    TftpSession session{};
    session.ticks = 5;
    EXPECT_DEATH(initTftpSession(&session, kInvalidSocket, {kPeer, kPeerPort}, image.data(), 600), "Assertion");
}
#endif

}  // namespace
}  // namespace orb
