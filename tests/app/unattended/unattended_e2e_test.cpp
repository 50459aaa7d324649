// Whole unattended runs against orb-sim on 127.0.191.x (accelerated clock, the
// runs forked) and, for many adapters at once, the real program against 20
// orb-sims on 127.0.192.x with the real clock.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>

#include "platform/embedded_image.h"
#include "app/unattended/unattended_events.h"
#include "sim/sha256.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/unattended_run.h"

namespace orb::test {
namespace {

using unattended::Event;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string embeddedImage() {
    EmbeddedImage image = findEmbeddedImage(nullptr);
    return std::string(reinterpret_cast<const char*>(image.data), image.size);
}

std::string writePasswordFile(unsigned host, const std::string& password) {
    std::string path = "/tmp/orb-unattended-" + std::to_string(host) + "-" + std::to_string(::getpid()) + ".pw";
    std::ofstream(path) << password << "\n";
    return path;
}

// A run ended with _exit turns no sanitizer report into an exit status.
void expectNoSanitizerReport(const std::string& output) {
    EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
}

class UnattendedRuns : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }
};

std::string address(unsigned host) { return formatAddress(loopbackAddress(191, host)); }
uint32_t pcAddress(unsigned host) { return loopbackAddress(191, 100 + host); }

std::vector<std::string> commandFor(unsigned host, std::vector<std::string> extra) {
    std::vector<std::string> args = {"--unattended", "--accept-warning", "--address",
                                     address(host),  "--pc-address",     formatAddress(pcAddress(host))};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

bool startSim(SimProcess& sim, unsigned host, std::vector<std::string> options) {
    options.push_back("--address=" + address(host));
    options.push_back("--http-port=80");
    options.push_back("--quiet-blocks");
    if (std::find_if(options.begin(), options.end(),
                     [](const std::string& o) { return o.rfind("--restart", 0) == 0; }) == options.end())
        options.push_back("--restart-ms=100");
    return sim.start(options);
}

TEST_F(UnattendedRuns, PasswordFromAFileUpgradesTheAdapterByteForByte) {
    const unsigned host = 1;
    const std::string saved = "/tmp/orb-unattended-image-" + std::to_string(::getpid()) + ".bin";
    std::remove(saved.c_str());
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, host, {"--user=admin", "--password=se cret", "--save-image=" + saved}))
        << sim.diagnostics();
    std::string passwordFile = writePasswordFile(host, "se cret");
    UnattendedResult run = runUnattendedInChild(commandFor(host, {"--password-file", passwordFile}), pcAddress(host));
    std::remove(passwordFile.c_str());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    expectNoSanitizerReport(run.output);
    // What a person would have seen, one line a step.
    const std::string a = address(host) + ": ";
    for (const std::string& line :
         {a + "ORB-3100/4100 Firmware Upgrade: the warning is accepted (--accept-warning)",
          a + "credentials: user admin, password given",
          a + "status page: Serial Number ORB41000001, MAC Address 00:1A:2B:3C:4D:5E, Software Version 1.0.2, "
              "Hardware Version 4100-A1, Product Name ORB4100; pressing Upgrade",
          a + "ORB@" + address(host) + " Upgrade Successful! version 2.0.10(a) (the embedded image's)",
          a + "result: success, version 2.0.10(a)"})
        EXPECT_NE(run.output.find(line + "\n"), std::string::npos) << line << "\n" << run.output;
    EXPECT_NE(run.output.find(a + "Uploading Firmware to ORB@"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("waiting for the adapter to restart"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("se cret"), std::string::npos) << "the password is never shown";
    std::string image = readFile(saved);
    std::remove(saved.c_str());
    EXPECT_TRUE(image == embeddedImage()) << "received " << image.size() << " bytes";
}

// ORB_PASSWORD as a vault or `read` leaves it, with its line end: the
// adapter gets the password without it. One that the credentials dialog would
// cut is refused before any adapter runs.
TEST_F(UnattendedRuns, PasswordFromTheEnvironmentIsTakenAsFromAFile) {
    const unsigned host = 40;
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, host, {"--user=admin", "--password=se cret"})) << sim.diagnostics();
    UnattendedResult run = runUnattendedInChild(commandFor(host, {"--json"}), pcAddress(host), nullptr, 60000,
                                                [] { ::setenv("ORB_PASSWORD", "se cret\n", 1); });
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<Event> results = eventsNamed(run.output, "result");
    ASSERT_EQ(results.size(), 1u) << run.output;
    EXPECT_EQ(results[0].value("result"), "success") << run.output;

    const std::string tooLong(130, 'p');
    UnattendedResult refused = runUnattendedInChild(commandFor(host, {"--json"}), pcAddress(host), nullptr, 60000,
                                                    [&] { ::setenv("ORB_PASSWORD", tooLong.c_str(), 1); });
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("ORB_PASSWORD: the password is longer than 126 bytes"), std::string::npos)
        << refused.output;
    EXPECT_TRUE(eventsNamed(refused.output, "result").empty()) << "no adapter ran: " << refused.output;
}

struct FailureClass {
    const char* name;
    unsigned host;
    std::vector<std::string> simOptions;  // empty: no adapter at all
    std::string password;                 // written to the password file when not empty
    bool terminateDuringUpload;
    int exitCode;
    const char* result;
    const char* errorBox;  // the last error box's text, empty: none
    std::vector<std::string> runOptions = {};
};

void PrintTo(const FailureClass& c, std::ostream* out) { *out << c.name; }

class UnattendedFailures : public UnattendedRuns, public testing::WithParamInterface<FailureClass> {};

TEST_P(UnattendedFailures, EachClassEndsWithItsExitCode) {
    const FailureClass& c = GetParam();
    SimProcess sim;
    if (!c.simOptions.empty()) {
        ASSERT_TRUE(startSim(sim, c.host, c.simOptions)) << sim.diagnostics();
    }
    std::vector<std::string> extra = {"--json"};
    extra.insert(extra.end(), c.runOptions.begin(), c.runOptions.end());
    std::string passwordFile;
    if (!c.password.empty()) {
        passwordFile = writePasswordFile(c.host, c.password);
        extra.insert(extra.end(), {"--password-file", passwordFile});
    }
    bool signalled = false;
    auto watch = [&](const std::string& output, pid_t pid) {
        if (!c.terminateDuringUpload || signalled) return;
        if (output.find("\"event\":\"upload\"") == std::string::npos) return;
        signalled = true;
        ::kill(pid, SIGTERM);
    };
    UnattendedResult run = runUnattendedInChild(commandFor(c.host, extra), pcAddress(c.host), watch);
    if (!passwordFile.empty()) std::remove(passwordFile.c_str());
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    expectNoSanitizerReport(run.output);

    std::vector<Event> events = eventsIn(run.output);
    ASSERT_FALSE(events.empty()) << run.output;
    const Event& result = events.back();
    EXPECT_EQ(result.value("event"), "result") << run.output;
    EXPECT_EQ(result.value("adapter"), address(c.host));
    EXPECT_EQ(result.value("result"), c.result) << run.output;
    EXPECT_EQ(result.value("code"), std::to_string(c.exitCode));
    EXPECT_EQ(result.value("error"), c.errorBox) << run.output;
    if (c.terminateDuringUpload) {
        EXPECT_TRUE(signalled) << run.output;
        // Cancel pressed in the upload window, not a silent stop.
        bool pressed = false;
        for (const Event& event : events)
            pressed |= event.value("event") == "cancel-pressed" && event.value("window").find("Uploading") == 0;
        EXPECT_TRUE(pressed) << run.output;
    }
    if (sim.running()) {
        // Only the runs that fail after the restart had the image arrive whole.
        sim.poll(200);
        int whole = 0;
        for (const auto& image : sim.eventsNamed("image-received")) whole += image.value("check") == "ok" ? 1 : 0;
        EXPECT_EQ(whole, c.exitCode == 6 ? 1 : 0) << sim.diagnostics();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Classes, UnattendedFailures,
    testing::Values(
        FailureClass{"AdapterAbsent", 2, {}, "", false, 3, "not-reachable", "Upgrade Failed: Can't connect to ORB"},
        FailureClass{"WrongPassword",
                     3,
                     {"--user=admin", "--password=secret"},
                     "guess",
                     false,
                     4,
                     "authentication-refused",
                     "Upgrade Failed: User Abort"},
        FailureClass{"AcksStopped",
                     4,
                     {"--stop-after-blocks=20"},
                     "",
                     false,
                     5,
                     "upload-incomplete",
                     "Upgrade Failed: Firmware Upload Incomplete"},
        FailureClass{"NoAnswerAfterTheRestart",
                     5,
                     {"--stay-down"},
                     "",
                     false,
                     6,
                     "no-answer-after-upload",
                     "Upgrade Failed: ORB not responding after firmware upload"},
        FailureClass{"AnotherVersionReported",
                     6,
                     {"--version-after-restart=2.0.9"},
                     "",
                     false,
                     6,
                     "wrong-version",
                     "Upgrade Failed: ORB reports version 2.0.9 after the upload"},
        FailureClass{"TerminatedDuringTheUpload",
                     7,
                     {"--tftp-delay-ms=20"},
                     "",
                     true,
                     7,
                     "cancelled",
                     "Upgrade Failed: User Abort"},
        FailureClass{"PastTheRunTimeout",
                     8,
                     {"--tftp-delay-ms=20"},
                     "",
                     false,
                     11,
                     "run-timeout",
                     "Upgrade Failed: User Abort",
                     {"--run-timeout", "2"}}),
    [](const testing::TestParamInfo<FailureClass>& info) { return std::string(info.param.name); });

// 20 adapters, 10 at a time, with the program itself and the real clock: the
// restart waits overlap, so the whole takes about two runs, not twenty.
TEST_F(UnattendedRuns, TwentyAdaptersTenAtATime) {
    constexpr int kAdapters = 20;
    constexpr double kRestartWaitSeconds = 49.984;
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::string list = "/tmp/orb-unattended-list-" + std::to_string(::getpid());
    {
        std::ofstream out(list);
        out << "# twenty adapters\n";
        for (int i = 1; i <= kAdapters; ++i) {
            auto sim = std::make_unique<SimProcess>();
            std::string a = formatAddress(loopbackAddress(192, static_cast<unsigned>(i)));
            ASSERT_TRUE(sim->start({"--address=" + a, "--http-port=80", "--quiet-blocks", "--restart-ms=2000"}))
                << sim->diagnostics();
            sims.push_back(std::move(sim));
            out << a << "\n";
        }
    }
    std::string command = std::string(ORB_UPGRADE_EXECUTABLE) +
                          " --unattended --accept-warning --parallel 10 --pc-address 127.0.0.1 --addresses-file " +
                          list + " 2>&1";
    auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    int status = ::pclose(pipe);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::remove(list.c_str());

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    expectNoSanitizerReport(output);
    size_t table = output.find("\nadapter ");
    ASSERT_NE(table, std::string::npos) << output;
    std::istringstream rows(output.substr(table + 1));
    std::string row;
    std::getline(rows, row);  // the heading
    int successes = 0;
    while (std::getline(rows, row)) {
        char adapter[32], result[32], version[32];
        if (std::sscanf(row.c_str(), "%31s %31s %31s", adapter, result, version) != 3) continue;
        successes += std::string(result) == "success" && std::string(version) == "2.0.10(a)";
    }
    EXPECT_EQ(successes, kAdapters) << output;
    // Sequential runs would take twenty restart waits.
    EXPECT_LT(seconds, 3 * kRestartWaitSeconds) << output;
    std::printf("20 adapters, 10 at a time: %.1f s%s", seconds, output.substr(table).c_str());

    const std::string expected = sim::sha256Hex(embeddedImage());
    std::set<std::string> servers;
    for (auto& sim : sims) {
        auto image = sim->waitFor("image-received", 1000);
        ASSERT_TRUE(image) << sim->diagnostics();
        EXPECT_EQ(image->value("sha256"), expected);
        if (auto trigger = sim->waitFor("trigger", 0)) servers.insert(trigger->value("server"));
    }
    std::printf("TFTP servers the adapters were sent to: %zu different\n", servers.size());
}

}  // namespace
}  // namespace orb::test
