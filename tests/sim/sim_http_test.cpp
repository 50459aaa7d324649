// orb-sim's web server as a real subprocess: the status page, the Digest
// challenge and the utility's answer to it, faults, start and stop.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "tests/sim/sim_integration.h"
#include "tests/sim/sim_test_helpers.h"
#include "tests/support/monotonic_clock.h"

namespace orb::test {
namespace {

const uint16_t kPort = SimProcess::httpPortForTests();

std::string bodyOf(const std::string& response) {
    size_t at = response.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : response.substr(at + 4);
}

TEST(SimHttp, StatusPageWithoutAuthentication) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(10, {"--product-name=ORB-4100", "--mac=00:0A:0B:0C:0D:0E", "--software-version=1.0.2",
                                       "--hardware-version=Rev B", "--serial=SN0042"}));
    HttpResult result = rawHttp(simAddress(10), kPort, utilityRequest("/admin/advanced"));
    ASSERT_TRUE(result.connected);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(statusOf(result.response), 200);
    std::string page = bodyOf(result.response);
    EXPECT_EQ(scrapeLikeUtility(page, "Product Name:"), "ORB-4100");
    EXPECT_EQ(scrapeLikeUtility(page, "MAC Address:"), "00:0A:0B:0C:0D:0E");
    EXPECT_EQ(scrapeLikeUtility(page, "Software Version:"), "1.0.2");
    EXPECT_EQ(scrapeLikeUtility(page, "Hardware Version:"), "Rev B");
    EXPECT_EQ(scrapeLikeUtility(page, "Serial Number:"), "SN0042");
    EXPECT_NE(page.find("<tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>"), std::string::npos);

    auto event = sim.waitFor("http-request");
    ASSERT_TRUE(event) << sim.diagnostics();
    EXPECT_EQ(event->value("target"), "/admin/advanced");
    EXPECT_EQ(event->value("route"), "status");
    EXPECT_EQ(event->value("auth"), "off");
    EXPECT_EQ(event->value("status"), "200");
    EXPECT_EQ(event->value("answer"), "now");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimHttp, OneRequestPerConnectionThenClose) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(11));
    // Two requests on one connection: only the first is answered, then the close.
    HttpResult result =
        rawHttp(simAddress(11), kPort, utilityRequest("/admin/advanced") + utilityRequest("/admin/advanced"));
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.response.find("HTTP/1.1", 1), std::string::npos);
    EXPECT_NE(result.response.find("Connection: close"), std::string::npos);
}

TEST(SimHttp, UnknownPathsAre404AndOtherMethods405) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(12));
    EXPECT_EQ(statusOf(rawHttp(simAddress(12), kPort, utilityRequest("/admin/nothing")).response), 404);
    EXPECT_EQ(statusOf(rawHttp(simAddress(12), kPort, "POST /admin/advanced HTTP/1.1\r\n\r\n").response), 405);
    EXPECT_EQ(statusOf(rawHttp(simAddress(12), kPort, "garbage\r\n\r\n").response), 400);
    EXPECT_EQ(statusOf(rawHttp(simAddress(12), kPort, utilityRequest("/admin/upgrade?ftp://x")).response), 400);
    auto notFound = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("status") == "404"; });
    ASSERT_TRUE(notFound) << sim.diagnostics();
    EXPECT_EQ(notFound->value("route"), "other");
}

class SimDigest : public testing::TestWithParam<std::tuple<int, std::string, std::string>> {};

// The utility's first request, its challenge, then the request with the
// header built from it: 401, then 200 for the first and the next nc.
TEST_P(SimDigest, UtilityHeaderPassesForEachQopAndAlgorithm) {
    auto [host, algorithm, qop] = GetParam();
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(host, {"--user=admin", "--password=orb pw", "--realm=ORB Admin",
                                         "--algorithm=" + algorithm, "--qop=" + qop, "--opaque=0p4que"}));
    HttpResult first = rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced"));
    ASSERT_EQ(statusOf(first.response), 401) << first.response;
    UtilityChallenge challenge = readChallengeLikeUtility(first.response);
    ASSERT_TRUE(challenge.taken) << first.response;
    EXPECT_EQ(challenge.realm, "ORB Admin");
    EXPECT_EQ(challenge.algorithm, algorithm == "none" ? "" : algorithm);
    EXPECT_EQ(challenge.qop, qop == "none" ? "" : qop);
    EXPECT_EQ(challenge.opaque, "0p4que");

    for (uint32_t nc : {1u, 2u}) {
        std::string line = utilityAuthorizationLine("admin", "orb pw", challenge, nc, "3c9");
        HttpResult answer = rawHttp(simAddress(host), kPort, utilityRequest("/admin/advanced", line));
        ASSERT_EQ(statusOf(answer.response), 200) << line << answer.response << sim.diagnostics();
        EXPECT_EQ(scrapeLikeUtility(bodyOf(answer.response), "Software Version:"), "1.0.2");
    }
    auto accepted = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("auth") == "ok"; });
    ASSERT_TRUE(accepted) << sim.diagnostics();
    EXPECT_EQ(accepted->value("uri"), "");
    if (qop != "none") {
        EXPECT_EQ(accepted->value("nc"), "000000001");
    }
    EXPECT_EQ(sim.waitFor("http-request")->value("auth"), "missing");
}

INSTANTIATE_TEST_SUITE_P(
    AlgorithmsAndQops, SimDigest,
    testing::Values(std::make_tuple(40, "none", "none"), std::make_tuple(41, "none", "auth"),
                    std::make_tuple(42, "none", "auth-int"), std::make_tuple(43, "none", "auth,auth-int"),
                    std::make_tuple(44, "MD5", "none"), std::make_tuple(45, "MD5", "auth"),
                    std::make_tuple(46, "MD5", "auth-int"), std::make_tuple(47, "MD5", "auth,auth-int"),
                    std::make_tuple(48, "MD5-sess", "none"), std::make_tuple(49, "MD5-sess", "auth"),
                    std::make_tuple(50, "MD5-sess", "auth-int"), std::make_tuple(51, "MD5-sess", "auth,auth-int")),
    [](const auto& info) {
        std::string name = std::get<1>(info.param) + "_" + std::get<2>(info.param);
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(SimHttp, AWrongPasswordGetsAnother401WithAChallenge) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(13, {"--user=admin", "--password=right"}));
    UtilityChallenge challenge =
        readChallengeLikeUtility(rawHttp(simAddress(13), kPort, utilityRequest("/admin/advanced")).response);
    ASSERT_TRUE(challenge.taken);
    std::string line = utilityAuthorizationLine("admin", "wrong", challenge, 1, "1");
    HttpResult answer = rawHttp(simAddress(13), kPort, utilityRequest("/admin/advanced", line));
    EXPECT_EQ(statusOf(answer.response), 401);
    EXPECT_TRUE(readChallengeLikeUtility(answer.response).taken);
    EXPECT_EQ(answer.response.find("Software Version:"), std::string::npos);
    auto refused = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("auth") == "refused"; });
    ASSERT_TRUE(refused) << sim.diagnostics();
    EXPECT_EQ(refused->value("reason"), "response");
    EXPECT_EQ(refused->value("status"), "401");
}

TEST(SimHttp, NewNoncePolicyGivesEveryChallengeItsOwnNonce) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(14, {"--user=admin", "--password=pw", "--nonce=new"}));
    UtilityChallenge first =
        readChallengeLikeUtility(rawHttp(simAddress(14), kPort, utilityRequest("/admin/advanced")).response);
    UtilityChallenge second =
        readChallengeLikeUtility(rawHttp(simAddress(14), kPort, utilityRequest("/admin/advanced")).response);
    ASSERT_TRUE(first.taken && second.taken);
    EXPECT_NE(first.nonce, second.nonce);
    // A refused header brings a new nonce too.
    HttpResult refused =
        rawHttp(simAddress(14), kPort,
                utilityRequest("/admin/advanced", utilityAuthorizationLine("admin", "no", second, 1, "5")));
    UtilityChallenge third = readChallengeLikeUtility(refused.response);
    EXPECT_NE(third.nonce, second.nonce);
    // Every nonce handed out before a restart is taken.
    for (const UtilityChallenge* challenge : {&third, &first}) {
        HttpResult ok =
            rawHttp(simAddress(14), kPort,
                    utilityRequest("/admin/advanced", utilityAuthorizationLine("admin", "pw", *challenge, 1, "5")));
        EXPECT_EQ(statusOf(ok.response), 200) << ok.response;
    }
}

TEST(SimHttp, FixedNoncePolicyRepeatsTheNonce) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(15, {"--user=admin", "--password=pw", "--nonce=fixed"}));
    UtilityChallenge first =
        readChallengeLikeUtility(rawHttp(simAddress(15), kPort, utilityRequest("/admin/advanced")).response);
    UtilityChallenge second =
        readChallengeLikeUtility(rawHttp(simAddress(15), kPort, utilityRequest("/admin/advanced")).response);
    ASSERT_TRUE(first.taken);
    EXPECT_EQ(first.nonce, second.nonce);
    EXPECT_EQ(first.nonce.size(), 32u);
}

TEST(SimHttp, DelayedAnswer) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(16, {"--http-delay-ms=400", "--http-delay-on=status"}));
    long long started = nowMs();
    HttpResult result = rawHttp(simAddress(16), kPort, utilityRequest("/admin/advanced"));
    EXPECT_GE(nowMs() - started, 390);
    EXPECT_EQ(statusOf(result.response), 200);
    started = nowMs();
    EXPECT_EQ(statusOf(rawHttp(simAddress(16), kPort, utilityRequest("/admin/other")).response), 404);
    EXPECT_LT(nowMs() - started, 300);  // only the status page is delayed
    auto event = sim.waitFor("http-request");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->value("answer"), "delayed");
    EXPECT_TRUE(sim.waitFor("http-answer"));
}

TEST(SimHttp, NoAnswerKeepsTheConnectionOpenAndCloseWithoutAnswerSendsNothing) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(17, {"--no-answer=status", "--close-without-answer=trigger"}));
    HttpResult silent = rawHttp(simAddress(17), kPort, utilityRequest("/admin/advanced"), 600);
    EXPECT_TRUE(silent.connected);
    EXPECT_TRUE(silent.timedOut);
    EXPECT_TRUE(silent.response.empty());
    auto event = sim.waitFor("http-request");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->value("answer"), "none");
    EXPECT_TRUE(sim.waitFor("http-client-closed", 3000));

    HttpResult closed =
        rawHttp(simAddress(17), kPort, utilityRequest("/admin/upgrade?tftp://127.0.4.117:6900/orb1.bin"), 3000);
    EXPECT_TRUE(closed.connected);
    EXPECT_FALSE(closed.timedOut);
    EXPECT_TRUE(closed.response.empty());
    auto closeEvent = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("route") == "trigger"; });
    ASSERT_TRUE(closeEvent);
    EXPECT_EQ(closeEvent->value("answer"), "close");
    EXPECT_EQ(sim.stop(), 0);
}

TEST(SimHttp, StopsCleanlyOnSigintAndSigterm) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SimProcess sim;
        ORB_START_SIM(sim, simOptions(18));
        EXPECT_EQ(sim.stop(signalNumber), 0);
        auto stopped = sim.waitFor("stopped", 100);
        ASSERT_TRUE(stopped) << sim.diagnostics();
        EXPECT_EQ(stopped->value("signal"), signalNumber == SIGINT ? "SIGINT" : "SIGTERM");
    }
}

TEST(SimHttp, ListeningLineNamesAddressAndPort) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(19, {"--user=u", "--software-version=3.1"}));
    const auto& listening = sim.events().front();
    EXPECT_EQ(listening.name, "listening");
    EXPECT_EQ(listening.value("address"), "127.0.4.19");
    EXPECT_EQ(listening.value("port"), std::to_string(kPort));
    EXPECT_EQ(listening.value("auth"), "digest");
    EXPECT_EQ(listening.value("software-version"), "3.1");
}

// One adapter listens where --address says, also on an address that a fleet
// would skip.
class SimLoneAddress : public testing::TestWithParam<unsigned> {};

TEST_P(SimLoneAddress, IsWhereItListens) {
    const uint32_t address = simAddress(GetParam());
    SimProcess sim;
    ORB_START_SIM(sim, std::vector<std::string>({"--address=" + formatAddress(address),
                                                 "--http-port=" + std::to_string(kPort), "--seed=1"}));
    EXPECT_EQ(sim.events().front().value("address"), formatAddress(address));
    HttpResult result = rawHttp(address, kPort, utilityRequest("/admin/advanced"));
    EXPECT_TRUE(result.connected) << sim.diagnostics();
    EXPECT_EQ(statusOf(result.response), 200) << sim.diagnostics();
}

INSTANTIATE_TEST_SUITE_P(Sim, SimLoneAddress, testing::Values(0u, 255u));

// CPU time the process has used, in nanoseconds, every thread included.
long long cpuNanoseconds(pid_t pid) {
    long long total = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream in(task.path() / "schedstat");
        long long ns = 0;
        in >> ns;
        total += ns;
    }
    return total;
}

// The process's scheduler state: 'S' while it sleeps in a wait.
char stateOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() ? line[end + 2] : '?';
}

int connectTo(uint32_t address) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(address);
    peer.sin_port = htons(kPort);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        ::close(fd);
        return -1;
    }
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

// Out of descriptors, the listener waits for one to free instead of being
// reported ready again and again; then the waiting connection is served.
TEST(SimDescriptors, ALackOfThemPausesAcceptingUntilOneFrees) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(22));
    pid_t pid = sim.pid();
    // A new descriptor takes the lowest free number, and fails when that is
    // not below the limit.
    std::set<long> open;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd"))
        open.insert(std::stol(entry.path().filename().string()));
    long lowestFree = 0;
    while (open.count(lowestFree) != 0) ++lowestFree;
    rlimit limit{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &limit), 0);
    limit.rlim_cur = static_cast<rlim_t>(lowestFree + 2);  // two connections, not three
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &limit, nullptr), 0);

    int held[3];
    for (int& fd : held) {
        fd = connectTo(simAddress(22));
        ASSERT_GE(fd, 0);
    }
    auto paused = sim.waitFor("accept-paused");
    ASSERT_TRUE(paused) << sim.diagnostics();
    EXPECT_EQ(paused->value("reason"), std::strerror(EMFILE));
    // Asleep in its wait, and staying there: a loop that is told again and
    // again about the connection it cannot take keeps a CPU busy.
    long long deadline = nowMs() + 5000;
    while (stateOf(pid) != 'S' && nowMs() < deadline) sim.poll(10);
    ASSERT_EQ(stateOf(pid), 'S');
    long long before = cpuNanoseconds(pid);
    sim.poll(500);
    long long used = cpuNanoseconds(pid) - before;
    EXPECT_LT(used, 50'000'000) << "CPU nanoseconds in half a second";

    const std::string request = utilityRequest("/admin/advanced");
    ASSERT_EQ(::send(held[2], request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ::close(held[0]);  // a descriptor frees in orb-sim
    std::string response;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(held[2], buffer, sizeof buffer, 0)) > 0) response.append(buffer, static_cast<size_t>(got));
    EXPECT_EQ(statusOf(response), 200) << sim.diagnostics();
    EXPECT_TRUE(sim.waitFor("accept-resumed")) << sim.diagnostics();
    ::close(held[1]);
    ::close(held[2]);
}

TEST(SimStart, APortInUseIsAClearError) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(simAddress(20));
    local.sin_port = htons(18081);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    SimProcess sim;
    EXPECT_FALSE(sim.start({"--address=127.0.4.20", "--http-port=18081"}));
    EXPECT_EQ(sim.waitForExit(3000), 1);
    EXPECT_NE(sim.errorText().find("cannot listen on 127.0.4.20:18081"), std::string::npos) << sim.diagnostics();
    EXPECT_NE(sim.errorText().find("listens there already"), std::string::npos);
    close(fd);
}

TEST(SimStart, BadOptionsExitWith2AndHelpWith0) {
    SimProcess bad;
    EXPECT_FALSE(bad.start({"--drop-ack=zero"}));
    EXPECT_EQ(bad.waitForExit(3000), 2);
    EXPECT_NE(bad.errorText().find("--drop-ack"), std::string::npos);

    SimProcess help;
    EXPECT_FALSE(help.start({"--help"}, 2000));
    EXPECT_EQ(help.waitForExit(3000), 0);
    EXPECT_NE(help.diagnostics().find("--stop-after-blocks"), std::string::npos);
}

}  // namespace
}  // namespace orb::test
