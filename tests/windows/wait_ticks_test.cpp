// The Windows program's ticks (under Wine on Xvfb in CI): a tick is one wait
// of a progress loop that ran to its end, however long the system made it,
// and waits that an arrival cut short count the time they took in such units.
// A 1 ms wait lasts one period of the system timer on a stock Windows, about
// 15.6 ms, while under Wine it lasts about 1 ms; so the wait is replaced
// through the socket table by one that lasts 15 ms of a test clock, or less
// when a datagram arrives before that, and the tests count in those waits.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/socket_address.h"
#include "platform/sockets.h"
#include "platform/win32/wait_ticks_win32.h"
#include "platform/win32/window_updates_win32.h"
#include "base/u16_be.h"
#include "tftp/packets.h"
#include "tftp/transfer.h"
#include "upgrade/device_query.h"
#include "upgrade/run_state.h"
#include "upgrade/upload_and_verify.h"

namespace orb {
namespace {

constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint64_t kWaitUs = 15000;
constexpr uint64_t kStartUs = 100000000;

// The test clock (microseconds) and the replaced wait. Everything the fake
// records is read after the loop under test has returned, on the same thread.
std::atomic<uint64_t> testNowUs{0};
uint32_t completedWaits = 0;
uint32_t cutShortWaits = 0;
SocketCalls systemCalls;
// Runs before each wait with the test time at which the wait would run out.
// When a datagram is due before that, it moves the clock to its arrival,
// sends it and returns true: the wait then sees it arrive.
std::function<bool(uint64_t endUs)> beforeWait;

DWORD readTestClock() { return static_cast<DWORD>(testNowUs.load() / 1000); }
uint64_t readTestWaitClock() { return testNowUs.load(); }
uint32_t testMs() { return static_cast<uint32_t>((testNowUs.load() - kStartUs) / 1000); }

bool waitOneTimerPeriod(SocketHandle socket, int) {
    uint64_t endUs = testNowUs.load() + kWaitUs;
    bool sent = beforeWait && beforeWait(endUs);
    if (socket != kInvalidSocket && systemCalls.waitReadable(socket, sent ? 5000 : 0)) {
        ++cutShortWaits;
        return true;
    }
    testNowUs = endUs;
    ++completedWaits;
    return false;
}

struct Send {
    uint16_t opcode;
    uint16_t block;
    uint32_t waits;     // completed waits before it went out
    uint32_t clock;     // the test clock then
    uint32_t received;  // datagrams the transfer had received by then
};
std::vector<Send> sends;
uint32_t datagramsReceived = 0;

int recordSendTo(SocketHandle socket, const char* bytes, int length, const sockaddr_in* peer) {
    const auto* packet = reinterpret_cast<const uint8_t*>(bytes);
    const auto opcode = static_cast<uint16_t>(getU16BE(packet));
    const auto block = static_cast<uint16_t>(length >= 4 ? getU16BE(packet + 2) : 0);
    sends.push_back({opcode, block, completedWaits, testMs(), datagramsReceived});
    return systemCalls.sendTo(socket, bytes, length, peer);
}

int countReceiveFrom(SocketHandle socket, char* bytes, int capacity, sockaddr_in* source) {
    int length = systemCalls.receiveFrom(socket, bytes, capacity, source);
    if (length >= 0) ++datagramsReceived;
    return length;
}

SocketHandle openBoundUdp(uint16_t* port) {
    SocketHandle udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address;
    fillSockaddr(kLoopback, 0, &address);
    if (::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(udp);
        *port = 0;
        return INVALID_SOCKET;
    }
    int length = sizeof address;
    ::getsockname(udp, reinterpret_cast<sockaddr*>(&address), &length);
    uint32_t ignored = 0;
    readSockaddr(&address, &ignored, port);
    return udp;
}

void sendFrom(SocketHandle from, uint16_t toPort, const uint8_t* bytes, int length) {
    sockaddr_in to;
    fillSockaddr(kLoopback, toPort, &to);
    ::sendto(from, reinterpret_cast<const char*>(bytes), length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

class WindowsTicks : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(startNetworking()); }

    void SetUp() override {
        systemCalls = systemSocketCalls();
        socketCalls().waitReadable = waitOneTimerPeriod;
        socketCalls().sendTo = recordSendTo;
        socketCalls().receiveFrom = countReceiveFrom;
        setWaitClock(readTestWaitClock);
        testNowUs = kStartUs;
        completedWaits = 0;
        cutShortWaits = 0;
        datagramsReceived = 0;
        sends.clear();
        beforeWait = nullptr;
        image.resize(3000);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
        server = openBoundUdp(&serverPort);
        peer = openBoundUdp(&peerPort);
        session = TftpSession{};
        initTftpSession(&session, server, {kLoopback, peerPort}, image.data(), static_cast<uint32_t>(image.size()));
    }
    void TearDown() override {
        socketCalls() = systemSocketCalls();
        setWaitClock(nullptr);
        beforeWait = nullptr;
        closeSocket(peer);
    }

    void sendAck(SocketHandle from, uint16_t block) {
        uint8_t ack[4];
        putU16BE(ack, kTftpAck);
        putU16BE(ack + 2, block);
        sendFrom(from, serverPort, ack, sizeof ack);
    }

    std::vector<uint8_t> image;
    SocketHandle server = kInvalidSocket;
    SocketHandle peer = kInvalidSocket;
    uint16_t serverPort = 0;
    uint16_t peerPort = 0;
    TftpSession session;
};

TEST_F(WindowsTicks, AnUnacknowledgedOptionAckIsResentEvery100WaitsAndTheUploadFailsAfter3000) {
    transferBlocks(&session, nullptr);

    EXPECT_EQ(session.state, TransferState::TimedOut);
    EXPECT_EQ(completedWaits, 3000u) << "30 intervals of 100 waits";
    EXPECT_EQ(testMs(), 45000u) << "45 s of 15 ms waits: as long as the adapter may pause";
    ASSERT_EQ(sends.size(), 30u) << "the OACK and 29 resends; the 30th interval ends the transfer";
    for (size_t i = 0; i < sends.size(); ++i) {
        EXPECT_EQ(sends[i].opcode, kTftpOack);
        EXPECT_EQ(sends[i].waits, 100 * i) << "send " << i;
    }
    EXPECT_EQ(sends[1].clock - sends[0].clock, 1500u) << "the first resend after 1.5 s of the test clock";
}

TEST_F(WindowsTicks, ABurstOfDatagramsWhileAnAckIsWithheldNeitherShortensNorStretchesTheInterval) {
    sendAck(peer, 0);  // waiting before the transfer starts: block 1 goes out at once
    uint16_t strangerPort = 0;
    SocketHandle stranger = openBoundUdp(&strangerPort);
    // Halfway through block 1's first interval, 3,000 datagrams within 13 ms
    // (as a burst reaches a receiver): duplicate ACKs of the OACK from the
    // peer and ACKs from a stranger, in batches that the socket's buffer holds.
    int burstLeft = 3000;
    uint64_t burstAtUs = 0;
    beforeWait = [&](uint64_t endUs) {
        if (burstLeft == 0 || completedWaits < 50) return false;
        if (burstAtUs == 0) burstAtUs = testNowUs.load() + 5000;
        uint64_t dueUs = burstAtUs + static_cast<uint64_t>(3000 - burstLeft) / 100 * 433;
        if (dueUs >= endUs) return false;
        testNowUs = std::max(testNowUs.load(), dueUs);
        for (int i = 0; i < 100; ++i, --burstLeft) sendAck(burstLeft % 2 == 0 ? peer : stranger, 0);
        return true;
    };
    transferBlocks(&session, nullptr);
    closeSocket(stranger);

    ASSERT_GE(sends.size(), 3u);
    EXPECT_EQ(sends[1].opcode, kTftpData);
    EXPECT_EQ(sends[1].block, 1);
    EXPECT_EQ(sends[1].waits, 0u);
    EXPECT_EQ(sends[2].opcode, kTftpData);
    EXPECT_EQ(sends[2].block, 1) << "resent: its ACK never came";
    EXPECT_EQ(sends[2].received, 3001u) << "the ACK of the OACK and the whole burst came before the resend";
    EXPECT_GE(cutShortWaits, 30u) << "every batch cut a wait short";
    // 100 waits' worth of time, give or take the part of one wait that the
    // burst took.
    uint32_t interval = sends[2].clock - sends[1].clock;
    EXPECT_GE(interval, 1500u - 15u);
    EXPECT_LE(interval, 1500u + 15u);
    EXPECT_EQ(session.state, TransferState::TimedOut);
}

// A stray datagram every 10 ms cuts every 15 ms wait short: the upload that
// nobody acknowledges still gives up after 3,000 waits' worth of time, as it
// does without them.
TEST_F(WindowsTicks, AStrayDatagramEvery10MsKeepsNoStalledUploadFromTimingOut) {
    uint16_t strangerPort = 0;
    SocketHandle stranger = openBoundUdp(&strangerPort);
    // From the 10th wait on (the wait's length is known by then), until 120 s
    // of test time at the latest.
    uint64_t nextUs = 0;
    beforeWait = [&](uint64_t endUs) {
        if (completedWaits < 10 && nextUs == 0) return false;
        if (nextUs == 0) nextUs = testNowUs.load() + 10000;
        if (nextUs >= endUs || nextUs > kStartUs + 120000000) return false;
        testNowUs = nextUs;
        nextUs += 10000;
        sendAck(stranger, 0);
        return true;
    };
    transferBlocks(&session, nullptr);
    closeSocket(stranger);

    EXPECT_EQ(session.state, TransferState::TimedOut);
    EXPECT_GT(cutShortWaits, 4000u) << "the stream went on the whole time";
    std::vector<uint32_t> oacks;
    for (const Send& send : sends)
        if (send.opcode == kTftpOack) oacks.push_back(send.clock);
    ASSERT_EQ(oacks.size(), 30u) << "the OACK and 29 resends";
    for (size_t i = 1; i < oacks.size(); ++i) {
        EXPECT_GE(oacks[i] - oacks[i - 1], 1500u - 15u) << "resend " << i;
        EXPECT_LE(oacks[i] - oacks[i - 1], 1500u + 15u) << "resend " << i;
    }
    EXPECT_GE(testMs(), 45000u - 15u);
    EXPECT_LE(testMs(), 45000u + 15u) << "3,000 waits of 15 ms";
}

// The connecting window's bar moves one step every 10 completed waits, however
// many of them pass before the adapter answers.
TEST_F(WindowsTicks, TheConnectingBarStepsOnceEvery10Waits) {
    setUpdateClock(readTestClock);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    SocketHandle listener = ::socket(AF_INET, SOCK_STREAM, 0);
    uint16_t httpPort = 0;
    sockaddr_in address;
    for (httpPort = 42500; httpPort < 42600; ++httpPort) {
        fillSockaddr(kLoopback, httpPort, &address);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    }
    ASSERT_EQ(::listen(listener, 1), 0);
    std::strcpy(runState.deviceAddressText, "127.0.0.1");
    std::memset(&runState.credentials, 0, sizeof runState.credentials);

    // Before each wait: the bar as the waits so far left it. The adapter
    // answers after 1,050 of them, once the bar has gone round.
    std::vector<int> shown;
    beforeWait = [&](uint64_t) {
        HWND window = FindWindowA(nullptr, "Connecting with ORB@127.0.0.1");
        shown.push_back(window != nullptr ? static_cast<int>(SendDlgItemMessageA(window, 1010, PBM_GETPOS, 0, 0)) : -1);
        if (completedWaits == 1050) {
            SocketHandle connection = ::accept(listener, nullptr, nullptr);
            const char answer[] = "HTTP/1.1 200 OK\r\n\r\n<b>Product Name:</b><b>ORB4100</b>";
            ::send(connection, answer, sizeof answer - 1, 0);
            closeSocket(connection);
        }
        return false;
    };
    DeviceQuery query{GetModuleHandleA(nullptr),
                      {.pc = {kLoopback, 42600}, .device = {kLoopback, httpPort}},
                      "/admin/advanced",
                      runState.responseBuffer};
    int32_t result = runDeviceQuery(query);
    beforeWait = nullptr;
    setUpdateClock(nullptr);
    closeSocket(listener);

    EXPECT_GT(result, 0);
    ASSERT_GE(shown.size(), 1051u);
    for (size_t waits = 0; waits <= 1050; ++waits) {
        int expected = waits < 10 ? 0 : static_cast<int>((waits / 10 - 1) % 101);
        ASSERT_EQ(shown[waits], expected) << "after " << waits << " completed waits";
    }
}

}  // namespace
}  // namespace orb
