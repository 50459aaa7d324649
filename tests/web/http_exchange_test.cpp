// The HTTP exchange over real loopback sockets against the scripted
// server: the request bytes, the port search, the reading of answers of every
// size, the classification as httpGet acts on it, the scraping, and the three
// failure paths, which end the process with an error box.
#include <gtest/gtest.h>

#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket_address.h"
#include "base/random.h"
#include "base/trace.h"
#include "web/http_exchange.h"
#include "web/md5.h"
#include "web/response_parsing.h"
#include "upgrade/device_query.h"
#include "upgrade/run_state.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/digest_fields.h"
#include "tests/support/loopback.h"
#include "tests/support/md5_hex.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"

namespace {

using orb::runState;
using orb::test::loopbackAddress;
using orb::test::ScriptedAnswer;
using orb::test::ScriptedHttpServer;

constexpr int kLimit = 131071;  // what every caller passes
constexpr size_t kGuard = 64;

using orb::test::md5Hex;

std::vector<std::string> traced;
void collectTrace(const char* text) { traced.emplace_back(text); }

int scriptedRandom() { return 0xbee; }

const std::string kStatusPage =
    orb::test::statusPage(orb::test::statusFields("ORB-4100", "00:0E:08:AA:BB:CC", "<b>1.0.2</b>", "2.1", "SN-42"));

// A socket bound to address:port, to take a port away from the exchange.
int takePort(uint32_t address, uint16_t port) {
    int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local;
    orb::fillSockaddr(address, port, &local);
    if (::bind(taken, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(taken);
        return -1;
    }
    return taken;
}

class HttpExchangeTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(&runState.credentials, 0, sizeof runState.credentials);
        std::memset(&runState.deviceInfo, 0, sizeof runState.deviceInfo);
        buffer.assign(kLimit + 1 + kGuard, '#');
        traced.clear();
        orb::setTraceSink(collectTrace);
        orb::setRandomSource(scriptedRandom);
        // An exchange that fails here would block in its error box for ever:
        // report the box and end the test program with a failure instead.
        watchdogDone = false;
        watchdog = std::thread([this] {
            while (!watchdogDone.load()) {
                if (auto box = orb::robot::waitForMessageBox(50)) {
                    std::fprintf(stderr, "unexpected error box: %s\n", box->text.c_str());
                    std::fflush(stderr);
                    ::_exit(1);
                }
            }
        });
    }
    void TearDown() override {
        watchdogDone = true;
        watchdog.join();
        orb::setTraceSink(nullptr);
        orb::setRandomSource(nullptr);
        for (size_t i = kLimit + 1; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
    }

    // The device at 127.0.1.<host>, the PC at 127.0.1.<host + 1>.
    void startDevice(unsigned host) {
        device = loopbackAddress(1, host);
        pc = loopbackAddress(1, host + 1);
        server = std::make_unique<ScriptedHttpServer>(device);
        ASSERT_TRUE(server->start()) << server->error();
    }

    // The exchange, and its answer read as the device query reads it.
    orb::HttpResult get(const char* path = "/admin/advanced", uint16_t firstPort = 23456) {
        orb::HttpResult result = orb::httpGet({.pc = {pc, firstPort}, .device = {device, 80}}, path,
                                              std::span(buffer.data(), kLimit + 1), &orb::runState.credentials);
        orb::scrapeAnswer(result, buffer.data(), &orb::runState.deviceInfo);
        return result;
    }
    // The byte count of an exchange that must end with the adapter's answer.
    int32_t received(const char* path = "/admin/advanced", uint16_t firstPort = 23456) {
        orb::HttpResult result = get(path, firstPort);
        EXPECT_EQ(result.outcome, orb::HttpOutcome::Received);
        return result.bytes;
    }

    std::string response(size_t length) const { return std::string(buffer.data(), length); }

    uint32_t device = 0;
    uint32_t pc = 0;
    std::unique_ptr<ScriptedHttpServer> server;
    std::vector<char> buffer;
    std::atomic<bool> watchdogDone{false};
    std::thread watchdog;
};

TEST_F(HttpExchangeTest, RequestWithoutCredentialsIsExactlyThreeLines) {
    startDevice(10);
    const std::string answer = orb::test::httpResponse(200, "OK", kStatusPage);
    server->enqueue(ScriptedAnswer::text(answer));
    ASSERT_EQ(received(), static_cast<int32_t>(answer.size()));
    ASSERT_TRUE(server->waitForRequests(1));
    const auto requests = server->requests();
    EXPECT_EQ(requests[0].bytes, "GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n\r\n");
    EXPECT_EQ(requests[0].peerAddress, pc);
    EXPECT_EQ(requests[0].peerPort, 23456);
    EXPECT_EQ(runState.credentials.nc, 0u);
    // The response with its NUL, scraped into DeviceInfo.
    EXPECT_EQ(response(answer.size()), answer);
    EXPECT_EQ(buffer[answer.size()], '\0');
    EXPECT_STREQ(runState.deviceInfo.productName, "ORB-4100");
    EXPECT_STREQ(runState.deviceInfo.macAddress, "00:0E:08:AA:BB:CC");
    EXPECT_STREQ(runState.deviceInfo.softwareVersion, "1.0.2");
    EXPECT_STREQ(runState.deviceInfo.hardwareVersion, "2.1");
    EXPECT_STREQ(runState.deviceInfo.serialNumber, "SN-42");
    // The trace: the request, "recv done\n", the response, "\n".
    ASSERT_EQ(traced.size(), 4u);
    EXPECT_EQ(traced[0], requests[0].bytes);
    EXPECT_EQ(traced[1], "recv done\n");
    EXPECT_EQ(traced[2], answer.substr(0, 4095));
    EXPECT_EQ(traced[3], "\n");
}

TEST_F(HttpExchangeTest, RequestWithCredentialsCarriesTheHeaderAndCountsNc) {
    startDevice(12);
    auto& credentials = runState.credentials;
    orb::test::setDigestFields(&credentials, {.user = "admin",
                                              .password = "secret",
                                              .realm = "ORB",
                                              .nonce = "n0nce",
                                              .previousNonce = "n0nce",
                                              .cnonce = "bee",
                                              .algorithm = "MD5",
                                              .qop = "auth",
                                              .opaque = "0paque"});
    server->enqueue(ScriptedAnswer::text(orb::test::httpResponse(200, "OK", kStatusPage)));
    server->enqueue(ScriptedAnswer::text(orb::test::httpResponse(200, "OK", kStatusPage)));
    const std::string ha1 = md5Hex("admin:ORB:secret");
    const std::string ha2 = md5Hex("GET:");
    for (unsigned nc = 1; nc <= 2; ++nc) {
        ASSERT_GT(received("/admin/upgrade?tftp://127.0.1.13:69/orbbee.bin"), 0);
        EXPECT_EQ(credentials.nc, nc);
    }
    ASSERT_TRUE(server->waitForRequests(2));
    const auto requests = server->requests();
    for (unsigned nc = 1; nc <= 2; ++nc) {
        const std::string ncText = "00000000" + std::to_string(nc);
        const std::string digest = md5Hex(ha1 + ":n0nce:" + ncText + ":bee:auth:" + ha2);
        EXPECT_EQ(requests[nc - 1].bytes,
                  "GET /admin/upgrade?tftp://127.0.1.13:69/orbbee.bin HTTP/1.1\r\n"
                  "Host: 192.168.2.110\r\n"
                  "Authorization: Digest username=\"admin\",realm=\"ORB\",nonce=\"n0nce\",uri=\"\","
                  "algorithm=\"MD5\",response=\"" +
                      digest + "\",opaque=\"0paque\",qop=auth,nc=" + ncText +
                      ",cnonce=\"bee\"\r\n"
                      "\r\n");
    }
}

TEST_F(HttpExchangeTest, EmptyPasswordSendsNoAuthorization) {
    startDevice(14);
    std::strcpy(runState.credentials.user, "admin");
    std::strcpy(runState.credentials.nonce, "n");
    std::strcpy(runState.credentials.realm, "r");
    ASSERT_GT(received(), 0);
    ASSERT_TRUE(server->waitForRequests(1));
    EXPECT_EQ(server->requests()[0].bytes, "GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n\r\n");
    EXPECT_EQ(runState.credentials.nc, 0u);
}

TEST_F(HttpExchangeTest, AcceptedChallengeIsReportedAndNotScraped) {
    startDevice(16);
    runState.credentials.nc = 7;
    std::strcpy(runState.deviceInfo.productName, "before");
    server->enqueue(ScriptedAnswer::text(
        orb::test::digestChallengeResponse("realm=\"ORB\", nonce=\"fresh\", qop=\"auth\", opaque=\"o\"", kStatusPage)));
    EXPECT_EQ(get().outcome, orb::HttpOutcome::ChallengeTaken);
    EXPECT_STREQ(runState.deviceInfo.productName, "before");
    EXPECT_STREQ(runState.deviceInfo.softwareVersion, "");
    EXPECT_STREQ(runState.credentials.realm, "ORB");
    EXPECT_STREQ(runState.credentials.nonce, "fresh");
    EXPECT_STREQ(runState.credentials.cnonce, "bee");
    EXPECT_EQ(runState.credentials.nc, 0u);
    EXPECT_TRUE(server->waitForIdle());
}

TEST_F(HttpExchangeTest, PortSearchSkipsTakenPorts) {
    startDevice(18);
    const uint16_t first = 30200;
    int a = takePort(pc, first);
    int b = takePort(pc, first + 1);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_GT(received("/admin/advanced", first), 0);
    ASSERT_TRUE(server->waitForRequests(1));
    EXPECT_EQ(server->requests()[0].peerPort, first + 2);
    ::close(a);
    ::close(b);
}

TEST_F(HttpExchangeTest, PortSearchTriesFirstPlus100Last) {
    startDevice(20);
    const uint16_t first = 30400;
    std::vector<int> taken;
    for (int k = 0; k < 100; ++k) {
        taken.push_back(takePort(pc, static_cast<uint16_t>(first + k)));
        ASSERT_GE(taken.back(), 0) << "port " << first + k;
    }
    ASSERT_GT(received("/admin/advanced", first), 0);
    ASSERT_TRUE(server->waitForRequests(1));
    EXPECT_EQ(server->requests()[0].peerPort, first + 100);
    for (int socket : taken) ::close(socket);
}

TEST_F(HttpExchangeTest, AnswerOfNothing) {
    startDevice(22);
    std::strcpy(runState.deviceInfo.serialNumber, "kept");
    server->enqueue(ScriptedAnswer::closeOnly());
    EXPECT_EQ(received(), 0);
    EXPECT_EQ(buffer[0], '\0');  // the request text is gone
    EXPECT_STREQ(runState.deviceInfo.serialNumber, "kept");
    ASSERT_EQ(traced.size(), 4u);
    EXPECT_EQ(traced[2], "");
}

TEST_F(HttpExchangeTest, AnswerOf259Bytes) {
    startDevice(24);
    std::string answer = "HTTP/1.1 404 Not Found\r\n\r\n";
    answer += std::string(259 - answer.size(), 'x');
    ASSERT_EQ(answer.size(), 259u);
    server->enqueue(ScriptedAnswer::text(answer));
    EXPECT_EQ(received(), 259);
    EXPECT_EQ(response(259), answer);
    EXPECT_EQ(buffer[259], '\0');
}

TEST_F(HttpExchangeTest, AnswerInPartsIsReadToTheClose) {
    startDevice(26);
    server->enqueue(
        ScriptedAnswer::inParts({"HTTP/1.1 200 OK\r\n\r\n", kStatusPage.substr(0, 90), kStatusPage.substr(90)}, 30));
    const size_t total = 19 + kStatusPage.size();
    EXPECT_EQ(received(), static_cast<int32_t>(total));
    EXPECT_EQ(buffer[total], '\0');
    EXPECT_STREQ(runState.deviceInfo.serialNumber, "SN-42");
}

TEST_F(HttpExchangeTest, AnswerOfExactlyTheLimitEndsWithoutTheClose) {
    startDevice(28);
    std::string answer = "HTTP/1.1 200 OK\r\n\r\n";
    answer += std::string(kLimit - answer.size(), 'y');
    // Held open: the exchange must stop because the limit is reached, not
    // because the server closed.
    server->enqueue(ScriptedAnswer::held(answer));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(received(), kLimit);
    // Well before the server's hold of 10 s ends: the limit ended the read.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(response(kLimit), answer);
    EXPECT_EQ(buffer[kLimit], '\0');
    EXPECT_TRUE(server->waitForIdle());  // the exchange closed the connection
}

TEST_F(HttpExchangeTest, LongerAnswerKeepsTheFirst131071Bytes) {
    startDevice(30);
    std::string answer = "HTTP/1.1 200 OK\r\n\r\n";
    while (answer.size() < 300000) answer += static_cast<char>('a' + answer.size() % 26);
    server->enqueue(ScriptedAnswer::held(answer));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(received(), kLimit);
    // Well before the server's hold of 10 s ends: the limit ended the read.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(response(kLimit), answer.substr(0, kLimit));
    EXPECT_EQ(buffer[kLimit], '\0');
    EXPECT_TRUE(server->waitForIdle());
}

TEST_F(HttpExchangeTest, NulInsideTheAnswerEndsTheText) {
    startDevice(32);
    std::string answer = "HTTP/1.1 200 OK\r\n\r\n<td>Product Name:</td><td>A</td>";
    answer += '\0';
    answer += "<td>Serial Number:</td><td>hidden</td>";
    server->enqueue(ScriptedAnswer::text(answer));
    EXPECT_EQ(received(), static_cast<int32_t>(answer.size()));
    EXPECT_STREQ(runState.deviceInfo.productName, "A");
    EXPECT_STREQ(runState.deviceInfo.serialNumber, "");
}

TEST_F(HttpExchangeTest, SecondPageLackingALabelKeepsTheOldValue) {
    startDevice(34);
    server->enqueue(ScriptedAnswer::text(orb::test::httpResponse(200, "OK", kStatusPage)));
    server->enqueue(
        ScriptedAnswer::text(orb::test::httpResponse(200, "OK", "<p>Software Version:</p><p>2.0.10(a)</p>")));
    ASSERT_GT(received(), 0);
    ASSERT_GT(received(), 0);
    EXPECT_STREQ(runState.deviceInfo.productName, "ORB-4100");
    EXPECT_STREQ(runState.deviceInfo.softwareVersion, "2.0.10(a)");
    EXPECT_STREQ(runState.deviceInfo.serialNumber, "SN-42");
}

// What httpGet and the query make of each classification: everything but an
// accepted challenge is an answer, and is scraped.
TEST_F(HttpExchangeTest, ClassificationTable) {
    startDevice(36);
    const std::string page = "<td>Product Name:</td><td>P</td>";
    struct Case {
        std::string answer;
        bool challenge;
        bool scraped;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n" + page, false, true},
        {"HTTP/1.1    200 OK\r\n\r\n" + page, false, true},
        {"HTTP/1.1\t200 OK\r\n\r\n" + page, false, true},
        {"HTTP/1.1 2005 Odd\r\n\r\n" + page, false, true},
        {"HTTP/1.1 404 Not Found\r\n\r\n" + page, false, true},
        {"HTTP/1.1 401 Unauthorized\r\n\r\n<p>WWW-Authenticate: Digest realm=\"b\", nonce=\"bn\"</p>" + page, true,
         false},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest nonce=\"n\"\r\n\r\n" + page, false, true},
        {"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\n" + page, false, true},
        {"HTTP/1.1", false, false},
        {"HTTP/1.1   ", false, false},
    };
    for (const Case& c : cases) {
        std::memset(&runState.deviceInfo, 0, sizeof runState.deviceInfo);
        std::memset(&runState.credentials, 0, sizeof runState.credentials);
        server->enqueue(ScriptedAnswer::text(c.answer));
        orb::HttpResult result = get();
        EXPECT_EQ(result.outcome, c.challenge ? orb::HttpOutcome::ChallengeTaken : orb::HttpOutcome::Received)
            << c.answer;
        EXPECT_EQ(result.bytes, static_cast<int32_t>(c.answer.size())) << c.answer;
        EXPECT_STREQ(runState.deviceInfo.productName, c.scraped ? "P" : "") << c.answer;
    }
    // The challenge in the body was taken; the one without a realm was not.
    EXPECT_TRUE(server->waitForIdle());
}

TEST_F(HttpExchangeTest, ChallengeWithoutRealmReplacesNothing) {
    startDevice(38);
    std::strcpy(runState.credentials.nonce, "old");
    server->enqueue(ScriptedAnswer::text(orb::test::digestChallengeResponse("nonce=\"new\"", "")));
    EXPECT_GT(received(), 0);
    EXPECT_STREQ(runState.credentials.nonce, "old");
}

TEST_F(HttpExchangeTest, VersionAloneReadsNothingPastTheText) {
    startDevice(40);
    server->enqueue(ScriptedAnswer::text("HTTP/1.1"));
    EXPECT_EQ(received(), 8);
    EXPECT_EQ(buffer[8], '\0');
}

// --- the failure paths: an error box, then the process ends with code 0 -----

void expectErrorBoxAndExit(const orb::test::ChildResult& child, const char* message) {
    EXPECT_FALSE(child.timedOut);
    EXPECT_TRUE(child.exited) << "signal " << child.signal << "\n" << child.output;
    EXPECT_EQ(child.exitCode, 0);
    // The auto-answered box, as the dialog manager logs it.
    const std::string line = orb::test::messageBoxLine(message) + "\n";
    EXPECT_NE(child.output.find(line), std::string::npos) << child.output;
    EXPECT_EQ(child.output.find("returned"), std::string::npos) << child.output;
}

TEST(HttpExchangeFailure, CantConnectToOrb) {
    // Nothing listens at 127.0.1.42:80.
    const uint32_t pc = loopbackAddress(1, 43);
    const uint32_t device = loopbackAddress(1, 42);
    auto child = orb::test::runInChild([&] {
        orb::robot::setAutoAnswer(true);
        std::vector<char> buffer(kLimit + 1);
        orb::DeviceQuery query{nullptr, {.pc = {pc, 23456}, .device = {device, 80}}, "/admin/advanced", buffer};
        orb::deviceQueryWorker(&query);
        std::printf("returned\n");
    });
    expectErrorBoxAndExit(child, "Upgrade Failed: Can't connect to ORB");
}

TEST(HttpExchangeFailure, CantBindHttpSocket) {
    const uint32_t pc = loopbackAddress(1, 45);
    const uint32_t device = loopbackAddress(1, 44);
    const uint16_t first = 30600;
    std::vector<int> taken;
    for (int k = 0; k <= 100; ++k) {
        taken.push_back(takePort(pc, static_cast<uint16_t>(first + k)));
        ASSERT_GE(taken.back(), 0) << "port " << first + k;
    }
    // Port first + 101 stays free and is never tried.
    auto child = orb::test::runInChild([&] {
        orb::robot::setAutoAnswer(true);
        std::vector<char> buffer(kLimit + 1);
        orb::DeviceQuery query{nullptr, {.pc = {pc, first}, .device = {device, 80}}, "/admin/advanced", buffer};
        orb::deviceQueryWorker(&query);
        std::printf("returned\n");
    });
    expectErrorBoxAndExit(child, "Upgrade Failed: Can't bind HTTP socket");
    for (int socket : taken) ::close(socket);
}

TEST(HttpExchangeFailure, CantOpenHttpSocket) {
    const uint32_t pc = loopbackAddress(1, 47);
    const uint32_t device = loopbackAddress(1, 46);
    auto child = orb::test::runInChild([&] {
        orb::robot::setAutoAnswer(true);
        // No descriptor left for the socket.
        while (::dup(STDERR_FILENO) >= 0) {}
        std::vector<char> buffer(kLimit + 1);
        orb::DeviceQuery query{nullptr, {.pc = {pc, 23456}, .device = {device, 80}}, "/admin/advanced", buffer};
        orb::deviceQueryWorker(&query);
        std::printf("returned\n");
    });
    expectErrorBoxAndExit(child, "Upgrade Failed: Can't open HTTP socket");
}

}  // namespace
