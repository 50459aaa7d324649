// curl, a standard Digest client, against orb-sim: it sends an eight-digit
// nc, the request's own uri and a base64 client nonce.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/sim/sim_integration.h"

namespace orb::test {
namespace {

struct CommandResult {
    int exitCode = -1;
    std::string output;
};

// Runs a program with these arguments; its standard output, at most 10 s.
CommandResult run(const std::vector<std::string>& args) {
    CommandResult result;
    int ends[2];
    if (pipe(ends) != 0) return result;
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& text : copies) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(ends[1]);
    char chunk[4096];
    for (;;) {
        pollfd entry{ends[0], POLLIN, 0};
        if (poll(&entry, 1, 10000) <= 0) {
            kill(child, SIGKILL);
            break;
        }
        ssize_t got = read(ends[0], chunk, sizeof chunk);
        if (got <= 0) break;
        result.output.append(chunk, static_cast<size_t>(got));
    }
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

// curl --digest -u USER:PASSWORD http://ADDRESS/admin/advanced, with the
// status code after the body on a line of its own.
CommandResult curlDigest(unsigned host, const std::string& credentials) {
    std::string url = "http://" + formatAddress(simAddress(host));
    if (SimProcess::httpPortForTests() != 80) url += ":" + std::to_string(SimProcess::httpPortForTests());
    return run({"curl", "--silent", "--show-error", "--max-time", "5", "--digest", "-u", credentials, "--write-out",
                "\n%{http_code}", url + "/admin/advanced"});
}

std::string statusLine(const CommandResult& result) {
    size_t newline = result.output.rfind('\n');
    return newline == std::string::npos ? result.output : result.output.substr(newline + 1);
}

class SimCurlDigest : public testing::TestWithParam<std::tuple<int, std::string, std::string>> {};

TEST_P(SimCurlDigest, SucceedsWithTheRightPasswordOnly) {
    auto [host, algorithm, qop] = GetParam();
    SimProcess sim;
    ORB_START_SIM(sim,
                  simOptions(host, {"--user=admin", "--password=orb pw", "--algorithm=" + algorithm, "--qop=" + qop}));
    CommandResult ok = curlDigest(host, "admin:orb pw");
    EXPECT_EQ(ok.exitCode, 0) << ok.output;
    EXPECT_EQ(statusLine(ok), "200") << ok.output << sim.diagnostics();
    EXPECT_NE(ok.output.find("<tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>"), std::string::npos);
    auto accepted = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("auth") == "ok"; });
    ASSERT_TRUE(accepted) << sim.diagnostics();
    EXPECT_EQ(accepted->value("uri"), "/admin/advanced");
    if (qop != "none") {
        EXPECT_EQ(accepted->value("nc"), "00000001");
    }

    CommandResult wrong = curlDigest(host, "admin:not it");
    EXPECT_EQ(statusLine(wrong), "401") << wrong.output;
    auto refused = sim.waitFor("http-request", 3000, [](const auto& e) { return e.value("auth") == "refused"; });
    ASSERT_TRUE(refused) << sim.diagnostics();
    EXPECT_EQ(refused->value("reason"), "response");
}

INSTANTIATE_TEST_SUITE_P(Qops, SimCurlDigest,
                         testing::Values(std::make_tuple(200, "MD5", "auth"), std::make_tuple(201, "MD5", "none"),
                                         std::make_tuple(202, "none", "none"), std::make_tuple(203, "MD5-sess", "auth"),
                                         std::make_tuple(204, "MD5", "auth,auth-int"),
                                         std::make_tuple(205, "MD5", "auth-int")),
                         [](const auto& info) {
                             std::string name = std::get<1>(info.param) + "_" + std::get<2>(info.param);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

TEST(SimCurlPlain, StatusPageWithoutAuthentication) {
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(206, {"--serial=SN-curl"}));
    std::string url = "http://" + formatAddress(simAddress(206));
    if (SimProcess::httpPortForTests() != 80) url += ":" + std::to_string(SimProcess::httpPortForTests());
    CommandResult page = run({"curl", "--silent", "--max-time", "5", url + "/admin/advanced"});
    EXPECT_EQ(page.exitCode, 0);
    EXPECT_NE(page.output.find("<tr><td>Serial Number:</td><td><b>SN-curl</b></td></tr>"), std::string::npos);
}

}  // namespace
}  // namespace orb::test
