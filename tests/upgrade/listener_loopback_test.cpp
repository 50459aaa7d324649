// The listener on loopback, run in a child process as the program runs it.
// These tests bind UDP port 69 and up, which takes root (as on CI).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "platform/clock.h"
#include "platform/process.h"
#include "tftp/packets.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/serve_image.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"
#include "tests/tftp/tftp_peer.h"
#include "tests/tftp/tftp_test_run.h"

namespace orb {
namespace {

using namespace std::chrono_literals;
using test::ChildResult;
using test::loopbackAddress;
using test::PeerDatagram;
using test::TftpPeer;

bool mayBindPort69() {
    int held = test::holdUdpPort(loopbackAddress(3, 99), 69);
    if (held < 0) return false;
    ::close(held);
    return true;
}

#define REQUIRE_PORT_69() \
    if (!mayBindPort69()) GTEST_SKIP() << "binding UDP port 69 needs root"

// The child starts the listener on `local` as the upgrade sequence does, for
// the adapter at `control`'s address, tells `control` the bound port once the
// waiting window shows, runs `afterStart` and then sleeps like the program's
// main thread.
std::future<ChildResult> startListenerChild(const std::vector<uint8_t>& image, uint32_t local, const TftpPeer& control,
                                            void (*afterStart)() = nullptr) {
    uint32_t controlAddress = control.address();
    uint16_t controlPort = control.port();
    return std::async(std::launch::async, [&image, local, controlAddress, controlPort, afterStart] {
        return test::runInChild(
            [&] {
                test::prepareChildRun(image, "127.0.3.9", controlAddress);
                setClockSource(test::acceleratedClock<200>);
                uint16_t port = startTftpListener(local);
                if (robot::waitForDialog(kWaitingWindowId, 10000) == nullptr)
                    std::fputs("[robot] no waiting window\n", stderr);
                test::signalReady(controlAddress, controlPort, port);
                if (afterStart != nullptr) afterStart();
                waitUntilProcessEnds();  // until the test ends the child
            },
            60000);
    });
}

std::string awaitReady(const TftpPeer& control) {
    auto ready = control.receive(10000);
    return ready ? std::string(ready->bytes.begin(), ready->bytes.end()) : "nothing";
}

// Plays the adapter from the OACK on; true when the whole image came.
bool fetchAfterOptionAck(const TftpPeer& peer, const PeerDatagram& oack, std::vector<uint8_t>* received) {
    peer.sendAck(0, oack.sourceAddress, oack.sourcePort);
    for (unsigned block = 1;; ++block) {
        auto data = peer.receive(5000);
        if (!data || data->opcode() != 3 || data->block() != block) return false;
        received->insert(received->end(), data->bytes.begin() + 4, data->bytes.end());
        peer.sendAck(block, data->sourceAddress, data->sourcePort);
        if (data->bytes.size() < 516) return true;
    }
}

// Plays the adapter through a whole fetch from the listener at `listener`:
// the read request, the OACK, then as above.
bool fetchFromListener(const TftpPeer& peer, uint32_t listener, std::vector<uint8_t>* received) {
    peer.send(test::readRequest(test::kTestFileName, std::string("octet\0", 6)), listener, 69);
    auto oack = peer.receive(5000);
    if (!oack) {
        ADD_FAILURE() << "no OACK from the listener";
        return false;
    }
    return fetchAfterOptionAck(peer, *oack, received);
}

void reportTheWindowsAtHandOver() {
    WindowHandle waiting = robot::waitForDialog(kWaitingWindowId, 1000);
    WindowHandle upload = robot::waitForDialog(kUploadWindowId, 20000);
    std::fprintf(stderr, "[robot] upload window %d, waiting window alive %d\n", upload != nullptr,
                 robot::isAlive(waiting));
}

TEST(ListenerLoopback, RefusesOtherNamesAndPacketsSilentlyThenAcceptsTheNameInNetascii) {
    REQUIRE_PORT_69();
    TftpPeer peer(loopbackAddress(3, 21));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(100);
    const uint32_t listener = loopbackAddress(3, 20);
    auto child = startListenerChild(image, listener, peer, reportTheWindowsAtHandOver);
    ASSERT_EQ(awaitReady(peer), "ready 69");

    const std::string octet("octet\0", 6);
    peer.send(test::readRequest("/ORB1A2B.BIN", octet), listener, 69);
    peer.send(test::readRequest("orb1a2b.bin", octet), listener, 69);
    peer.send(test::tftpPacket(2, std::string(test::kTestFileName) + std::string(1, '\0') + octet), listener, 69);
    peer.send(test::tftpPacket(3, std::string("\0\1abc", 5)), listener, 69);
    peer.send(test::tftpPacket(4, std::string("\0\0", 2)), listener, 69);
    peer.send(test::tftpPacket(5, std::string("\0\1File not found\0", 17)), listener, 69);
    peer.send(test::tftpPacket(0, test::kTestFileName + std::string(1, '\0') + octet), listener, 69);
    peer.send(test::tftpPacket(7, test::kTestFileName + std::string(1, '\0') + octet), listener, 69);
    peer.send({1}, listener, 69);                                       // no opcode
    peer.send(test::tftpPacket(1, test::kTestFileName), listener, 69);  // no NUL
    EXPECT_FALSE(peer.receive(200)) << "the listener replied";

    peer.send(test::readRequest(test::kTestFileName, std::string("netascii\0", 9)), listener, 69);
    auto oack = peer.receive(5000);
    ASSERT_TRUE(oack);
    EXPECT_EQ(oack->opcode(), 6u);
    EXPECT_EQ(oack->sourceAddress, listener);
    EXPECT_EQ(oack->sourcePort, 69u);  // the transfer keeps the listener's socket
    std::vector<uint8_t> data;
    ASSERT_TRUE(fetchAfterOptionAck(peer, *oack, &data));
    EXPECT_EQ(data, image);

    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("+++ Bad TFTP RRQ filename /ORB1A2B.BIN\n"
                                 "+++ Bad TFTP RRQ filename orb1a2b.bin\n"
                                 "TFTP Rx WRQ?\n"
                                 "TFTP Rx Data?\n"
                                 "TFTP Rx ACK?\n"
                                 "TFTP Rx Error?\n"
                                 "+++ Bad TFTP RRQ filename /orb1a2b.bin\n"
                                 "++++size 100, 100, 1\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("[robot] upload window 1, waiting window alive 0\n"), std::string::npos)
        << result.output;
    // Nobody answers the verification at 127.0.3.21:80: the adapter did not come back.
    EXPECT_NE(result.output.find(test::messageBoxLine("Upgrade Failed: ORB not responding after firmware upload")),
              std::string::npos)
        << result.output;
}

// The file name is guessable: another host's read request for it is ignored,
// the adapter's (without options) served, and the check after the restart asks
// the adapter, not whoever fetched.
TEST(ListenerLoopback, ServesOnlyTheAdapterAndVerifiesAtTheAdapter) {
    REQUIRE_PORT_69();
    TftpPeer adapter(loopbackAddress(3, 23));
    TftpPeer other(loopbackAddress(3, 24));
    ASSERT_TRUE(adapter.ok());
    ASSERT_TRUE(other.ok());
    test::ScriptedHttpServer adapterPage(loopbackAddress(3, 23));
    test::ScriptedHttpServer otherPage(loopbackAddress(3, 24));
    ASSERT_TRUE(adapterPage.start()) << adapterPage.error();
    ASSERT_TRUE(otherPage.start()) << otherPage.error();
    adapterPage.setDefaultAnswer(test::ScriptedAnswer::closeOnly());
    otherPage.setDefaultAnswer(test::ScriptedAnswer::closeOnly());
    const auto image = test::makeTestImage(1024);
    const uint32_t listener = loopbackAddress(3, 22);
    auto child = startListenerChild(image, listener, adapter);
    ASSERT_EQ(awaitReady(adapter), "ready 69");

    // Queued at the listener before the adapter's own request, so handled first.
    other.send(test::readRequest(test::kTestFileName, std::string("octet\0", 6)), listener, 69);
    std::vector<uint8_t> data;
    ASSERT_TRUE(fetchFromListener(adapter, listener, &data));
    EXPECT_EQ(data, image);
    EXPECT_FALSE(other.receive(0)) << "the other host got an answer";

    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_NE(result.output.find("+++ TFTP RRQ from 127.0.3.24:" + std::to_string(other.port()) +
                                 ", not the adapter, ignored: /orb1a2b.bin\n"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find(test::messageBoxLine("Upgrade Failed: ORB not responding after firmware upload")),
              std::string::npos)
        << result.output;
    EXPECT_EQ(adapterPage.requests().size(), 1u) << "the verification asks the adapter";
    EXPECT_TRUE(otherPage.requests().empty());
}

TEST(ListenerLoopback, UsesPort70WhenPort69IsTaken) {
    REQUIRE_PORT_69();
    const uint32_t listener = loopbackAddress(3, 25);
    int held = test::holdUdpPort(listener, 69);
    ASSERT_GE(held, 0);
    ChildResult result = test::runInChild([&] {
        robot::setAutoAnswer(true);
        uint16_t port = startTftpListener(listener);
        std::fprintf(stderr, "port %u\n", static_cast<unsigned>(port));
        endProcess(0);
    });
    ::close(held);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.output, "port 70\n");
}

TEST(ListenerLoopback, WithPorts69To168AllTakenTheRunEnds) {
    REQUIRE_PORT_69();
    const uint32_t listener = loopbackAddress(3, 26);
    std::vector<int> held;
    for (unsigned port = 69; port <= 168; ++port) {
        held.push_back(test::holdUdpPort(listener, static_cast<uint16_t>(port)));
        ASSERT_GE(held.back(), 0) << port;
    }
    ChildResult result = test::runInChild([&] {
        robot::setAutoAnswer(true);
        startTftpListener(listener);
        std::fputs("not reached\n", stderr);
        std::_Exit(3);
    });
    for (int socket : held) ::close(socket);
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, test::messageBoxLine("Upgrade Failed: Can't bind TFTP listener socket") + "\n");
}

TEST(ListenerLoopback, WithoutASocketTheRunEnds) {
    ChildResult result = test::runInChild([] {
        robot::setAutoAnswer(true);
        // No descriptor left: the socket cannot be created.
        int lowestFree = ::dup(0);
        ::close(lowestFree);
        rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        startTftpListener(loopbackAddress(3, 37));
        std::fputs("not reached\n", stderr);
        std::_Exit(3);
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, test::messageBoxLine("Upgrade Failed: Can't create TFTP listener socket") + "\n");
}

// Watches the waiting window's bar for a while and reports what it saw.
void watchTheIdlePosition() {
    WindowHandle waiting = robot::waitForDialog(kWaitingWindowId, 1000);
    int highest = -1;
    int previous = -1;
    bool wrapped = false;
    auto deadline = std::chrono::steady_clock::now() + 8s;
    while (!wrapped && std::chrono::steady_clock::now() < deadline) {
        int position = robot::progress(waiting, kProgressBarId).position;
        if (position > highest) highest = position;
        if (previous >= 900 && position < 100) wrapped = true;
        previous = position;
        std::this_thread::sleep_for(200us);
    }
    // Read once the bar has moved: the range is set right after the window opens.
    robot::Progress bar = robot::progress(waiting, kProgressBarId);
    std::fprintf(stderr, "[robot] bar %d..%d, highest %d, wrapped %d, title \"%s\"\n", bar.low, bar.high, highest,
                 wrapped, robot::title(waiting).c_str());
    endProcess(0);
}

TEST(ListenerLoopback, TheWaitingBarCyclesWithoutEverShowingFull) {
    REQUIRE_PORT_69();
    TftpPeer control(loopbackAddress(3, 28));
    ASSERT_TRUE(control.ok());
    const auto image = test::makeTestImage(10);
    auto child = startListenerChild(image, loopbackAddress(3, 27), control, watchTheIdlePosition);
    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    int low = -1, high = -1, highest = -1, wrapped = -1;
    size_t at = result.output.find("[robot] bar ");
    ASSERT_NE(at, std::string::npos) << result.output;
    ASSERT_EQ(std::sscanf(result.output.c_str() + at, "[robot] bar %d..%d, highest %d, wrapped %d", &low, &high,
                          &highest, &wrapped),
              4);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 1000);
    EXPECT_EQ(wrapped, 1);
    EXPECT_GE(highest, 900);
    EXPECT_LE(highest, 999);
}

// In the child: reads the waiting bar, sends 700 foreign datagrams at the
// listener, and reads the bar again 100 ms after the last. The bar counts the
// milliseconds that passed, not the datagrams.
uint16_t listenerPort = 0;

void floodTheWaitingListener() {
    WindowHandle waiting = robot::waitForDialog(kWaitingWindowId, 10000);
    TftpPeer stranger(loopbackAddress(3, 40));
    if (waiting == nullptr || !stranger.ok()) {
        std::fputs("[robot] no waiting window\n", stderr);
        endProcess(0);
    }
    // Start from a fresh position: the update that set it counted the ticks up
    // to a moment after `started`, the last read that still saw the old one.
    auto started = std::chrono::steady_clock::now();
    int seen = robot::progress(waiting, kProgressBarId).position;
    int before = seen;
    while (before == seen) {
        std::this_thread::sleep_for(200us);
        auto readAt = std::chrono::steady_clock::now();
        before = robot::progress(waiting, kProgressBarId).position;
        if (before == seen) started = readAt;
    }
    // Spread out, so that each datagram may end a wait of its own.
    for (int i = 0; i < 700; ++i) {
        stranger.send(test::tftpPacket(4, std::string("\0\1", 2)), loopbackAddress(3, 37), listenerPort);
        std::this_thread::sleep_for(20us);
    }
    std::this_thread::sleep_for(100ms);
    int after = robot::progress(waiting, kProgressBarId).position;
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    std::fprintf(stderr, "[robot] moved %d in %lld ms\n", (after - before + 1000) % 1000,
                 static_cast<long long>(elapsed.count()));
    endProcess(0);
}

TEST(ListenerLoopback, AFloodOfForeignDatagramsMovesTheWaitingBarOnlyByTheTimeThatPassed) {
    REQUIRE_PORT_69();
    const auto image = test::makeTestImage(10);
    auto child = std::async(std::launch::async, [&image] {
        return test::runInChild(
            [&] {
                test::prepareChildRun(image, "127.0.3.9", loopbackAddress(3, 9));
                listenerPort = startTftpListener(loopbackAddress(3, 37));
                floodTheWaitingListener();
            },
            60000);
    });
    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    int moved = -1;
    long long elapsed = -1;
    size_t at = result.output.find("[robot] moved ");
    ASSERT_NE(at, std::string::npos) << result.output;
    ASSERT_EQ(std::sscanf(result.output.c_str() + at, "[robot] moved %d in %lld ms", &moved, &elapsed), 2);
    // The bar moves by the milliseconds that passed between the two updates
    // read (both inside the measured time), whatever arrived: never more (the
    // two clocks' whole milliseconds may differ by one each way).
    EXPECT_LE(moved, elapsed + 2) << result.output.substr(0, 2000);
}

// Where the child says that a hint holding hintWanted has come; set before the fork.
uint32_t hintControlAddress = 0;
uint16_t hintControlPort = 0;
const char* hintWanted = "";

void reportTheHint() {
    WindowHandle waiting = robot::waitForDialog(kWaitingWindowId, 1000);
    bool shown = robot::waitUntil(
        [&] {
            std::string hint = robot::hint(waiting);
            return !hint.empty() && hint.find(hintWanted) != std::string::npos;
        },
        20000);
    std::fprintf(stderr, "[robot] hint \"%s\"\n", robot::hint(waiting).c_str());
    if (shown) test::signalReady(hintControlAddress, hintControlPort, 0);
}

std::future<ChildResult> startHintChild(const std::vector<uint8_t>& image, uint32_t listener, const TftpPeer& control,
                                        const char* wanted) {
    hintControlAddress = control.address();
    hintControlPort = control.port();
    hintWanted = wanted;
    return startListenerChild(image, listener, control, reportTheHint);
}

TEST(ListenerLoopback, TheHintComesAfterTwentySecondsAndTheRequestIsStillServed) {
    REQUIRE_PORT_69();
    TftpPeer peer(loopbackAddress(3, 39));
    ASSERT_TRUE(peer.ok());
    const auto image = test::makeTestImage(700);
    const uint32_t listener = loopbackAddress(3, 38);
    auto child = startHintChild(image, listener, peer, "");
    ASSERT_EQ(awaitReady(peer), "ready 69");
    ASSERT_EQ(awaitReady(peer), "ready 0") << "the hint did not come";

    std::vector<uint8_t> data;
    ASSERT_TRUE(fetchFromListener(peer, listener, &data));
    EXPECT_EQ(data, image);
    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_NE(result.output.find("[robot] hint \"No request from the adapter yet: a firewall on this computer may "
                                 "block UDP port 69, and the adapter must reach the chosen PC address 127.0.3.38.\""),
              std::string::npos)
        << result.output;
}

TEST(ListenerLoopback, TheHintNamesOtherHostsWhoseRequestsWereIgnored) {
    REQUIRE_PORT_69();
    TftpPeer adapter(loopbackAddress(3, 51));
    TftpPeer other(loopbackAddress(3, 52));
    TftpPeer third(loopbackAddress(3, 53));
    ASSERT_TRUE(adapter.ok() && other.ok() && third.ok());
    const auto image = test::makeTestImage(700);
    const uint32_t listener = loopbackAddress(3, 50);
    // The hint names both other hosts, whether they came before it was due or after it was shown.
    auto child = startHintChild(image, listener, adapter, "127.0.3.52 and 1 more");
    ASSERT_EQ(awaitReady(adapter), "ready 69");
    for (const char* name : {"/orb0.bin", test::kTestFileName})
        other.send(test::readRequest(name, std::string("octet\0", 6)), listener, 69);
    third.send(test::readRequest(test::kTestFileName, std::string("octet\0", 6)), listener, 69);
    ASSERT_EQ(awaitReady(adapter), "ready 0") << "the hint did not name the other hosts";

    std::vector<uint8_t> data;
    ASSERT_TRUE(fetchFromListener(adapter, listener, &data));
    EXPECT_EQ(data, image);
    EXPECT_FALSE(other.receive(0));
    EXPECT_FALSE(third.receive(0));
    ChildResult result = child.get();
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_NE(result.output.find("[robot] hint \"No request from the adapter yet: a firewall on this computer may "
                                 "block UDP port 69, and the adapter must reach the chosen PC address 127.0.3.50. "
                                 "(read requests from other hosts were ignored: 127.0.3.52 and 1 more)\""),
              std::string::npos)
        << result.output;
}

TEST(ListenerReceive, ADatagramLongerThan1024BytesIsLostAndTheNextComes) {
    TftpPeer sender(loopbackAddress(3, 32));
    ASSERT_TRUE(sender.ok());
    SocketHandle receiver = test::openSessionSocket(loopbackAddress(3, 33));
    ASSERT_NE(receiver, kInvalidSocket);
    setNonBlocking(receiver, true);
    sockaddr_in bound{};
    SockLen length = sizeof bound;
    ::getsockname(receiver, reinterpret_cast<sockaddr*>(&bound), &length);
    uint16_t port = ntohs(bound.sin_port);

    uint8_t packet[kTftpPacketSize + 8];
    std::fill(std::begin(packet), std::end(packet), 0xee);
    const std::span<uint8_t> area(packet, kTftpPacketSize);
    sockaddr_in source;
    EXPECT_EQ(receiveDatagram(receiver, area, &source), -1);  // nothing waiting
    sender.send(std::vector<uint8_t>(1025, 7), loopbackAddress(3, 33), port);
    sender.send(std::vector<uint8_t>(1024, 8), loopbackAddress(3, 33), port);
    sender.send({0, 4, 0, 1}, loopbackAddress(3, 33), port);
    ASSERT_TRUE(waitReadable(receiver, 2000));
    EXPECT_EQ(receiveDatagram(receiver, area, &source), -1);
    EXPECT_EQ(packet[kTftpPacketSize], 0xee);  // nothing written past the area
    ASSERT_TRUE(waitReadable(receiver, 2000));
    EXPECT_EQ(receiveDatagram(receiver, area, &source), 1024);
    EXPECT_EQ(packet[1023], 8);
    ASSERT_TRUE(waitReadable(receiver, 2000));
    EXPECT_EQ(receiveDatagram(receiver, area, &source), 4);
    EXPECT_EQ(ntohl(source.sin_addr.s_addr), loopbackAddress(3, 32));
    EXPECT_EQ(ntohs(source.sin_port), sender.port());
    closeSocket(receiver);
}

}  // namespace
}  // namespace orb
