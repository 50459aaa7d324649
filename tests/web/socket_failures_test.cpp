// The HTTP exchange when a socket call fails, provoked in-process through the
// socket call table: no peer, no root, no child process.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "web/device_info.h"
#include "web/digest_auth_state.h"
#include "web/http_exchange.h"
#include "upgrade/device_query.h"
#include "tests/support/fake_sockets.h"

namespace orb {
namespace {

using test::FakeSockets;
using test::FakeSocketsInstalled;

constexpr int32_t kSize = 4096;

struct Exchange {
    std::vector<char> buffer = std::vector<char>(kSize + 1, '#');
    DigestAuthState credentials{};
    DeviceInfo info{};

    // The exchange, and its answer read as the device query reads it.
    HttpResult get() {
        HttpResult result =
            httpGet({.pc = {0x7f000001, 23456}, .device = {0x7f000002, 80}}, "/admin/advanced", buffer, &credentials);
        scrapeAnswer(result, buffer.data(), &info);
        return result;
    }
};

struct FailureCase {
    const char* name;
    void (*arrange)(FakeSockets*);
    HttpOutcome outcome;
    int binds;   // bind calls made
    int closes;  // sockets closed
};

// Named by the case, so that the test's name is the same in every build.
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class HttpSocketFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(HttpSocketFailure, GivesItsCodeAndLeavesNoSocketOpen) {
    FakeSockets fake;
    GetParam().arrange(&fake);
    FakeSocketsInstalled installed(&fake);
    Exchange exchange;
    HttpResult result = exchange.get();
    EXPECT_EQ(result.outcome, GetParam().outcome);
    EXPECT_EQ(result.bytes, 0);
    EXPECT_EQ(fake.binds, GetParam().binds);
    EXPECT_EQ(fake.closes, GetParam().closes);
    EXPECT_EQ(fake.sent, "") << "nothing is sent without a connection";
}

INSTANTIATE_TEST_SUITE_P(Connection, HttpSocketFailure,
                         testing::Values(FailureCase{"NoSocket", [](FakeSockets* f) { f->openFails = true; },
                                                     HttpOutcome::SocketFailed, 0, 0},
                                         // 23456 .. 23556: 101 ports, then no more.
                                         FailureCase{"EveryPortTaken", [](FakeSockets* f) { f->bindFailures = -1; },
                                                     HttpOutcome::BindFailed, 101, 1},
                                         FailureCase{"ConnectRefused", [](FakeSockets* f) { f->connectFails = true; },
                                                     HttpOutcome::ConnectFailed, 1, 1}),
                         [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(HttpSocketCalls, ThePortSearchTakesTheFirstPortThatBinds) {
    FakeSockets fake;
    fake.bindFailures = 40;
    fake.chunks = {"HTTP/1.1 200 OK\r\n\r\n"};
    FakeSocketsInstalled installed(&fake);
    Exchange exchange;
    HttpResult result = exchange.get();
    EXPECT_EQ(result.outcome, HttpOutcome::Received);
    EXPECT_EQ(result.bytes, 19);
    EXPECT_EQ(fake.binds, 41);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_TRUE(fake.reuseBeforeBind) << "a port in TIME-WAIT is taken as a free one";
}

TEST(HttpSocketCalls, AFailedSendStillReadsWhatTheAdapterAnswers) {
    FakeSockets fake;
    fake.sendFails = true;
    fake.chunks = {"HTTP/1.1 200 OK\r\n\r\n<td>Software Version:</td><td>1.0.2</td>"};
    FakeSocketsInstalled installed(&fake);
    Exchange exchange;
    HttpResult result = exchange.get();
    EXPECT_EQ(result.outcome, HttpOutcome::Received);
    EXPECT_EQ(result.bytes, static_cast<int32_t>(fake.chunks[0].size()));
    EXPECT_STREQ(exchange.info.softwareVersion, "1.0.2");
}

TEST(HttpSocketCalls, AnAnswerCutMidWayKeepsWhatCameAndScrapesIt) {
    FakeSockets fake;
    fake.chunks = {"HTTP/1.1 200 OK\r\n\r\n<td>Product Name:</td><td>ORB4100</td>", "<td>Serial Num"};
    fake.endWithError = true;  // the connection breaks instead of closing
    FakeSocketsInstalled installed(&fake);
    Exchange exchange;
    const std::string expected = fake.chunks[0] + fake.chunks[1];
    HttpResult result = exchange.get();
    EXPECT_EQ(result.outcome, HttpOutcome::Received);
    EXPECT_EQ(result.bytes, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(std::string(exchange.buffer.data()), expected);
    EXPECT_STREQ(exchange.info.productName, "ORB4100");
    EXPECT_STREQ(exchange.info.serialNumber, "");
    EXPECT_EQ(exchange.buffer[kSize], '#') << "nothing written past the buffer";
    EXPECT_EQ(fake.closes, 1);
}

}  // namespace
}  // namespace orb
