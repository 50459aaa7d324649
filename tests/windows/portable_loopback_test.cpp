// Loopback tests written only against the platform seam, so that they run
// unchanged on Linux and on Windows (under Wine in CI): the socket calls of the
// HTTP exchange and of the TFTP packets, the readiness wait, and the thread
// state that ends a device query's polling.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/socket_address.h"
#include "platform/sockets.h"
#include "platform/threads.h"
#include "tftp/packets.h"
#include "web/http_exchange.h"
#include "upgrade/device_query.h"
#include "upgrade/run_state.h"

namespace orb {
namespace {

constexpr uint32_t kLoopback = 0x7f000001;

class PortableLoopback : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(startNetworking()); }
};

// Accepts one connection on a free port, reads the request up to its empty
// line, sends `answer` and closes.
class OneShotServer {
public:
    explicit OneShotServer(std::string answer) : answer_(std::move(answer)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        for (port_ = 41000; port_ < 41100; ++port_) {
            fillSockaddr(kLoopback, port_, &address);
            if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
        }
        ::listen(listener_, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~OneShotServer() {
        thread_.join();
        closeSocket(listener_);
    }
    uint16_t port() const { return port_; }
    std::string request() {
        thread_.join();
        thread_ = std::thread([] {});
        return request_;
    }

private:
    void serve() {
        if (!waitReadable(listener_, 5000)) return;
        SocketHandle connection = ::accept(listener_, nullptr, nullptr);
        char chunk[2048];
        while (request_.find("\r\n\r\n") == std::string::npos && waitReadable(connection, 5000)) {
            int got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            request_.append(chunk, static_cast<size_t>(got));
        }
        ::send(connection, answer_.data(), static_cast<int>(answer_.size()), 0);
        closeSocket(connection);
    }

    std::string answer_;
    std::string request_;
    SocketHandle listener_;
    uint16_t port_ = 0;
    std::thread thread_;
};

TEST_F(PortableLoopback, HttpGetSendsTheRequestReadsToTheCloseAndScrapes) {
    const std::string page = "HTTP/1.1 200 OK\r\n\r\n<tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>";
    OneShotServer server(page);
    std::memset(&runState.credentials, 0, sizeof runState.credentials);
    std::memset(&runState.deviceInfo, 0, sizeof runState.deviceInfo);
    HttpResult result = httpGet({.pc = {kLoopback, 43000}, .device = {kLoopback, server.port()}}, "/admin/advanced",
                                runState.responseBuffer, &runState.credentials);
    scrapeAnswer(result, runState.responseBuffer, &runState.deviceInfo);
    EXPECT_EQ(result.outcome, HttpOutcome::Received);
    EXPECT_EQ(result.bytes, static_cast<int32_t>(page.size()));
    EXPECT_STREQ(runState.responseBuffer, page.c_str());
    EXPECT_STREQ(runState.deviceInfo.softwareVersion, "1.0.2");
    EXPECT_EQ(server.request(), "GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n\r\n");
}

TEST_F(PortableLoopback, TftpPacketsArriveAsOneDatagramEachAndTheWaitSeesThem) {
    SocketHandle receiver = ::socket(AF_INET, SOCK_DGRAM, 0);
    SocketHandle sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    uint16_t port = 42000;
    for (; port < 42100; ++port) {
        fillSockaddr(kLoopback, port, &address);
        if (::bind(receiver, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    }
    ASSERT_TRUE(setNonBlocking(receiver, true));
    EXPECT_FALSE(waitReadable(receiver, 1));  // nothing sent yet

    uint8_t packet[1024];
    sendOptionAck(sender, packet, &address, 728196);
    uint8_t data[512];
    for (int i = 0; i < 512; ++i) data[i] = static_cast<uint8_t>(i * 7);
    sendDataBlock(sender, packet, {data, 512}, 65536 + 3, &address);

    ASSERT_TRUE(waitReadable(receiver, 2000));
    char received[1100];
    sockaddr_in source{};
    SockLen sourceLength = sizeof source;
    int got = ::recvfrom(receiver, received, sizeof received, 0, reinterpret_cast<sockaddr*>(&source), &sourceLength);
    ASSERT_EQ(got, 25);
    EXPECT_EQ(std::memcmp(received,
                          "\0\6tsize\0"
                          "728196\0timeout\0"
                          "5\0",
                          25),
              0);
    uint32_t sourceAddress = 0;
    uint16_t sourcePort = 0;
    readSockaddr(&source, &sourceAddress, &sourcePort);
    EXPECT_EQ(sourceAddress, kLoopback);
    EXPECT_NE(sourcePort, 0);

    ASSERT_TRUE(waitReadable(receiver, 2000));
    got = ::recv(receiver, received, sizeof received, 0);
    ASSERT_EQ(got, 516);
    EXPECT_EQ(static_cast<uint8_t>(received[0]), 0);
    EXPECT_EQ(static_cast<uint8_t>(received[1]), 3);
    EXPECT_EQ(static_cast<uint8_t>(received[2]), 0);  // block numbers are the low 16 bits
    EXPECT_EQ(static_cast<uint8_t>(received[3]), 3);
    EXPECT_EQ(std::memcmp(received + 4, data, 512), 0);

    // Non-blocking: an empty socket answers at once instead of blocking.
    EXPECT_LT(::recv(receiver, received, sizeof received, 0), 0);
    closeSocket(sender);
    closeSocket(receiver);
}

TEST(PortableThreads, AResultOf259IsAnEndedThreadNotARunningOne) {
    static std::atomic<bool> release{false};
    ThreadHandle* thread = startThread(
        [](void*) -> int32_t {
            while (!release) sleepMilliseconds(1);
            return 259;
        },
        nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_FALSE(hasThreadFinished(thread));
    release = true;
    for (int i = 0; i < 5000 && !hasThreadFinished(thread); ++i) sleepMilliseconds(1);
    ASSERT_TRUE(hasThreadFinished(thread));
    EXPECT_EQ(readThreadResult(thread), 259);
    releaseThread(thread);

    ThreadHandle* negative = startThread([](void*) -> int32_t { return -1; }, nullptr);
    ASSERT_NE(negative, nullptr);
    for (int i = 0; i < 5000 && !hasThreadFinished(negative); ++i) sleepMilliseconds(1);
    EXPECT_EQ(readThreadResult(negative), -1);
    releaseThread(negative);
}

}  // namespace
}  // namespace orb
