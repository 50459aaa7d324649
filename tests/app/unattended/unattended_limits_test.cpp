// Whole unattended runs against orb-sim on 127.0.193.x (accelerated clock,
// the runs forked) for what a run nobody watches must survive: an adapter that
// never asks for the image or never finishes its answer, addresses that name
// no adapter or the same one twice, an adapter's hostile texts, a hang-up
// during the upload, and a diagnostics log under a flood.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "platform/socket_address.h"
#include "platform/sockets.h"
#include "base/diagnostics_log.h"
#include "app/unattended/unattended_events.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/unattended_run.h"

namespace orb::test {
namespace {

using unattended::Event;
using unattended::parseEventLine;

constexpr uint32_t kPcAddress = loopbackAddress(193, 100);

constexpr bool kUnderThreadSanitizer =
#if defined(__SANITIZE_THREAD__)
    true;
#else
    false;
#endif

std::string adapter(unsigned host) { return formatAddress(loopbackAddress(193, host)); }

std::vector<std::string> command(std::vector<std::string> extra, uint32_t pcAddress = kPcAddress) {
    std::vector<std::string> args = {"--unattended", "--accept-warning", "--pc-address", formatAddress(pcAddress)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

bool startSim(SimProcess& sim, unsigned host, std::vector<std::string> options) {
    options.insert(options.end(),
                   {"--address=" + adapter(host), "--http-port=80", "--quiet-blocks", "--restart-ms=100"});
    return sim.start(options);
}

// Each adapter's result event, by adapter.
std::map<std::string, Event> resultsIn(const std::string& output) {
    std::map<std::string, Event> results;
    for (const Event& event : eventsNamed(output, "result")) results[event.value("adapter")] = event;
    return results;
}

bool isValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// A log file's path of this process, with no file there yet.
std::string freshLogPath(const std::string& name) {
    std::string log = "/tmp/orb-unattended-" + name + "-" + std::to_string(::getpid()) + ".log";
    std::remove(log.c_str());
    return log;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A watch for runUnattendedInChild: once the run waits for its read request,
// `flood` sends from a socket of its own to the listener's port 69.
// The flood goes to port 69 of `pcAddress`: a PC address that no other
// test's run serves on, so that the run flooded is the one that holds it.
std::function<void(const std::string&, pid_t)> floodWhenWaiting(
    bool* flooded, uint32_t pcAddress, const std::function<void(SocketHandle, const sockaddr_in&, pid_t)>& flood) {
    return [flooded, pcAddress, flood](const std::string& output, pid_t runner) {
        if (*flooded || output.find("\"event\":\"waiting\"") == std::string::npos) return;
        *flooded = true;
        SocketHandle udp = socketCalls().open(SocketType::Datagram);
        sockaddr_in listener;
        fillSockaddr(pcAddress, 69, &listener);
        flood(udp, listener, runner);
        closeSocket(udp);
    };
}

class UnattendedLimits : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "orb-sim serves on port 80 and the listener binds port 69: needs root";
    }
};

// When the test first saw an adapter's event of this name in the output.
class EventClock {
public:
    explicit EventClock(std::string adapter) : adapter_(std::move(adapter)) {}
    void see(const std::string& output, const std::string& name) {
        if (seen_.count(name) != 0) return;
        for (const Event& event : eventsNamed(output, name))
            if (event.value("adapter") == adapter_) seen_[name] = Clock::now();
    }
    // Seconds from `from` (an event, or the clock's start when empty) to `to`;
    // -1 when either was not seen.
    double seconds(const std::string& from, const std::string& to) const {
        auto start = from.empty() ? std::optional(start_) : find(from);
        auto end = find(to);
        if (!start || !end) return -1;
        return std::chrono::duration<double>(*end - *start).count();
    }

private:
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> find(const std::string& name) const {
        auto found = seen_.find(name);
        return found == seen_.end() ? std::nullopt : std::optional(found->second);
    }
    std::string adapter_;
    Clock::time_point start_ = Clock::now();
    std::map<std::string, Clock::time_point> seen_;
};

TEST_F(UnattendedLimits, ARequestThatNeverComesEndsThatAdapterWhileTheOthersSucceed) {
    SimProcess silent, first, second;
    ASSERT_TRUE(startSim(silent, 1, {"--fetch-delay-ms=600000"})) << silent.diagnostics();
    ASSERT_TRUE(startSim(first, 2, {})) << first.diagnostics();
    ASSERT_TRUE(startSim(second, 3, {})) << second.diagnostics();
    constexpr int kLimitSeconds = 7;
    EventClock clock(adapter(1));  // started before the run, so before its limit
    auto watch = [&](const std::string& output, pid_t) {
        clock.see(output, "waiting");
        clock.see(output, "timeout");
    };
    UnattendedResult run =
        runUnattendedInChild(command({"--json", "--parallel", "3", "--request-timeout", std::to_string(kLimitSeconds),
                                      "--address", adapter(1), "--address", adapter(2), "--address", adapter(3)}),
                             kPcAddress, watch);

    // The limit runs from the waiting window, which the run opens after this
    // test started it and before it printed "waiting": it fired no sooner than
    // S after the start, and well before 2S after "waiting" was seen.
    EXPECT_GE(clock.seconds("", "timeout"), kLimitSeconds) << run.output;
    double sinceWaiting = clock.seconds("waiting", "timeout");
    EXPECT_GE(sinceWaiting, 0) << run.output;
    EXPECT_LT(sinceWaiting, 1.5 * kLimitSeconds) << run.output;

    EXPECT_EQ(run.exitCode, 1) << run.output;
    std::map<std::string, Event> results = resultsIn(run.output);
    ASSERT_EQ(results.size(), 3u) << run.output;
    EXPECT_EQ(results[adapter(1)].value("result"), "no-request") << run.output;
    EXPECT_EQ(results[adapter(1)].value("code"), "9");
    EXPECT_EQ(results[adapter(1)].value("uploaded"), "false");
    EXPECT_NE(results[adapter(1)].value("text").find("a firewall on this computer may block UDP port"),
              std::string::npos)
        << "the result repeats the hint: " << results[adapter(1)].value("text");
    EXPECT_EQ(results[adapter(2)].value("result"), "success") << run.output;
    EXPECT_EQ(results[adapter(3)].value("result"), "success") << run.output;
    EXPECT_EQ(eventsNamed(run.output, "summary").size(), 3u) << run.output;
    // The clock runs 100 times fast here, the waits do not: the listener, which
    // sleeps up to 5 s between frames in an unattended run, shows the hint at
    // its first wake after the clock's 20 s.
    EXPECT_FALSE(eventsNamed(run.output, "hint").empty()) << "the clock's 20 s passed: " << run.output;
}

TEST_F(UnattendedLimits, AnAnswerThatNeverEndsIsNotReachable) {
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 4, {"--no-answer=status"})) << sim.diagnostics();
    UnattendedResult run =
        runUnattendedInChild(command({"--json", "--http-timeout", "1", "--address", adapter(4)}), kPcAddress);
    EXPECT_EQ(run.exitCode, 3) << run.output;
    std::map<std::string, Event> results = resultsIn(run.output);
    EXPECT_EQ(results[adapter(4)].value("result"), "not-reachable") << run.output;
    ASSERT_EQ(eventsNamed(run.output, "timeout").size(), 1u) << run.output;
    EXPECT_EQ(eventsNamed(run.output, "timeout")[0].value("limit"), "http");
}

// Past --batch-timeout the batch ends itself as Ctrl-C would: the run going is
// cancelled in its window, the one not started yet is cancelled too, and each
// has its result.
TEST_F(UnattendedLimits, ABatchPastItsLimitCancelsEveryRunWithItsResult) {
    SimProcess silent, next;
    ASSERT_TRUE(startSim(silent, 50, {"--fetch-delay-ms=600000"})) << silent.diagnostics();
    ASSERT_TRUE(startSim(next, 51, {})) << next.diagnostics();
    UnattendedResult run =
        runUnattendedInChild(command({"--json", "--parallel", "1", "--request-timeout", "0", "--batch-timeout", "2",
                                      "--address", adapter(50), "--address", adapter(51)}),
                             kPcAddress);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    std::map<std::string, Event> results = resultsIn(run.output);
    EXPECT_EQ(results[adapter(50)].value("result"), "cancelled") << run.output;
    EXPECT_EQ(results[adapter(50)].value("error"), "Upgrade Failed: User Abort") << run.output;
    EXPECT_EQ(results[adapter(51)].value("result"), "cancelled") << run.output;
    EXPECT_NE(run.output.find("--batch-timeout"), std::string::npos) << "the reason is said: " << run.output;
    next.poll(200);
    EXPECT_TRUE(next.eventsNamed("http-request").empty()) << next.diagnostics();
}

// An adapter that answers the trigger only once it has fetched the image: the
// upload outlasts --http-timeout, and the limit no longer applies once the
// read request has come.
TEST_F(UnattendedLimits, AnAdapterThatAnswersTheTriggerAfterItsFetchIsNotCutByTheHttpLimit) {
    SimProcess sim;
    // 1,423 ACKs held 3 ms each: the upload lasts at least 4.2 s.
    ASSERT_TRUE(startSim(sim, 9, {"--no-answer=trigger", "--tftp-delay-ms=3"})) << sim.diagnostics();
    constexpr int kLimitSeconds = 2;
    EventClock clock(adapter(9));
    auto watch = [&](const std::string& output, pid_t) {
        clock.see(output, "upload-started");
        clock.see(output, "restart-wait");
    };
    UnattendedResult run = runUnattendedInChild(command({"--json", "--http-timeout", std::to_string(kLimitSeconds),
                                                         "--address", adapter(9)}),
                                                kPcAddress, watch);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::map<std::string, Event> results = resultsIn(run.output);
    EXPECT_EQ(results[adapter(9)].value("result"), "success") << run.output;
    EXPECT_TRUE(eventsNamed(run.output, "timeout").empty()) << run.output;
    EXPECT_GT(clock.seconds("upload-started", "restart-wait"), kLimitSeconds) << "the upload outlasted the limit";
}

TEST_F(UnattendedLimits, AnyAddressAndAnAdapterNamedTwiceAreUsageErrors) {
    UnattendedResult any = runUnattendedInChild(command({"--address", "0.0.0.0"}), kPcAddress);
    EXPECT_EQ(any.exitCode, 2) << any.output;
    EXPECT_NE(any.output.find("0.0.0.0"), std::string::npos) << any.output;
    UnattendedResult twice =
        runUnattendedInChild(command({"--address", "127.0.193.81", "--address", "127.0.193.081"}), kPcAddress);
    EXPECT_EQ(twice.exitCode, 2) << twice.output;
    EXPECT_NE(twice.output.find("127.0.193.081"), std::string::npos) << twice.output;
    EXPECT_NE(twice.output.find("127.0.193.81 "), std::string::npos) << twice.output;
}

// A product name that would retitle the terminal and forge a line, and bytes
// that are no UTF-8. The JSON run also shows the upload's last event.
TEST_F(UnattendedLimits, AnAdaptersHostileTextsReachNoTerminalAndKeepJsonValid) {
    const std::string hostile = "ORB\x1b]0;owned\x07\nFAKE 10.9.9.9: result: success\xe9\xff";
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 5, {"--product-name=" + hostile})) << sim.diagnostics();
    UnattendedResult text = runUnattendedInChild(command({"--address", adapter(5)}), kPcAddress);
    EXPECT_EQ(text.exitCode, 0) << text.output;
    for (char c : text.output) {
        auto u = static_cast<unsigned char>(c);
        ASSERT_TRUE(c == '\n' || (u >= 0x20 && u < 0x7f)) << "byte " << static_cast<int>(u) << " in\n" << text.output;
    }
    EXPECT_EQ(text.output.find("\nFAKE"), std::string::npos) << text.output;

    sim.stop();
    ASSERT_TRUE(startSim(sim, 5, {"--product-name=" + hostile})) << sim.diagnostics();
    UnattendedResult json = runUnattendedInChild(command({"--json", "--address", adapter(5)}), kPcAddress);
    EXPECT_EQ(json.exitCode, 0) << json.output;
    std::istringstream lines(json.output);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(isValidUtf8(line)) << line;
        EXPECT_TRUE(parseEventLine(line)) << line;
    }
    std::vector<Event> status = eventsNamed(json.output, "status");
    ASSERT_EQ(status.size(), 1u) << json.output;
    EXPECT_EQ(status[0].value("product"), hostile) << "read back byte for byte";
    std::vector<Event> uploads = eventsNamed(json.output, "upload");
    ASSERT_FALSE(uploads.empty()) << json.output;
    EXPECT_EQ(uploads.back().value("bytes"), uploads.back().value("size"));
    EXPECT_EQ(uploads.back().value("size"), "728196");
}

// A hang-up reaches the whole process group, the runs too, as when the
// terminal or SSH session goes away. Started under nohup the batch goes on.
// A batch killed outright takes its runs with it: each cancels at once, and
// ends its log with its result. Either way each log's last line is the result.
struct HangUpCase {
    const char* name;
    bool ignoredAtStart;
    bool killBatch;  // SIGKILL to the batch alone, instead of SIGHUP to the group
    unsigned hosts[2];
    const char* tftpDelay;
    int exitCode;
    const char* result;
    const char* error;
    const char* logEnd;  // the end of each run's log
};

void PrintTo(const HangUpCase& c, std::ostream* out) { *out << c.name; }

class HangUps : public UnattendedLimits, public testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUps, DuringTheUploads) {
    const HangUpCase& c = GetParam();
    const std::string log = freshLogPath(c.name);
    SimProcess first, second;
    ASSERT_TRUE(startSim(first, c.hosts[0], {c.tftpDelay})) << first.diagnostics();
    ASSERT_TRUE(startSim(second, c.hosts[1], {c.tftpDelay})) << second.diagnostics();
    std::optional<std::chrono::steady_clock::time_point> hungUp;
    auto watch = [&](const std::string& output, pid_t pid) {
        if (hungUp) return;
        std::set<std::string> uploading;
        for (const Event& event : eventsNamed(output, "upload")) uploading.insert(event.value("adapter"));
        if (uploading.count(adapter(c.hosts[0])) == 0 || uploading.count(adapter(c.hosts[1])) == 0) return;
        hungUp = std::chrono::steady_clock::now();
        c.killBatch ? ::kill(pid, SIGKILL) : ::kill(-pid, SIGHUP);
    };
    auto asStarted = [&] {
        ::setpgid(0, 0);
        ::signal(SIGHUP, c.ignoredAtStart ? SIG_IGN : SIG_DFL);
    };
    UnattendedResult run = runUnattendedInChild(command({"--json", "--parallel", "2", "--log", log, "--address",
                                                         adapter(c.hosts[0]), "--address", adapter(c.hosts[1])}),
                                                kPcAddress, watch, 60000, asStarted);
    ASSERT_TRUE(hungUp) << run.output;
    // The output ends when the last process that holds it, a run, has ended.
    double runsLasted = std::chrono::duration<double>(std::chrono::steady_clock::now() - *hungUp).count();
    if (c.killBatch) {
        EXPECT_EQ(run.signal, SIGKILL) << run.output;
        // ThreadSanitizer sleeps a second in every process's end (its
        // atexit_sleep_ms) before the process is gone.
        if (!kUnderThreadSanitizer) {
            EXPECT_LT(runsLasted, 2.0) << "the runs went on without their batch";
        }
    } else {
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    }
    std::map<std::string, Event> results = resultsIn(run.output);
    for (unsigned host : c.hosts) {
        if (!c.killBatch) {
            EXPECT_EQ(results[adapter(host)].value("result"), c.result) << run.output;
            EXPECT_EQ(results[adapter(host)].value("error"), c.error) << run.output;
        }
        // The address goes before the extension: orb-...-N.127.0.193.6.log.
        const std::string perAdapter = log.substr(0, log.size() - 4) + "." + adapter(host) + ".log";
        std::string text = readWholeFile(perAdapter);
        std::remove(perAdapter.c_str());
        EXPECT_TRUE(text.ends_with(std::string(c.logEnd) + "\n"))
            << text.substr(text.size() > 600 ? text.size() - 600 : 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Unattended, HangUps,
    testing::Values(
        HangUpCase{"CancelsEveryRunWithItsResult",
                   false,
                   false,
                   {6, 7},
                   "--tftp-delay-ms=20",
                   1,
                   "cancelled",
                   "Upgrade Failed: User Abort",
                   "result: cancelled (Upgrade Failed: User Abort)"},
        HangUpCase{"UnderNohupTheBatchFinishes",
                   true,
                   false,
                   {40, 41},
                   "--tftp-delay-ms=2",
                   0,
                   "success",
                   "",
                   "result: success, version 2.0.10(a)"},
        HangUpCase{"KilledTheBatchTakesItsRunsWithIt",
                   false,
                   true,
                   {14, 15},
                   "--tftp-delay-ms=20",
                   0,
                   "",
                   "",
                   "result: cancelled (Upgrade Failed: User Abort); the batch that started this run is gone"}),
    [](const testing::TestParamInfo<HangUpCase>& info) { return std::string(info.param.name); });

// 5,000 read requests for other files while the run waits for the adapter's:
// the log keeps a hundred of them and a count, and only its owner reads it.
TEST_F(UnattendedLimits, TheLogIsTheUsersAloneAndAFloodCannotFillIt) {
    const std::string log = freshLogPath("limits");
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 8, {"--fetch-delay-ms=1500"})) << sim.diagnostics();
    bool flooded = false;
    constexpr uint32_t kFloodedPc = loopbackAddress(193, 101);
    auto flood = floodWhenWaiting(&flooded, kFloodedPc, [](SocketHandle udp, const sockaddr_in& listener, pid_t) {
        static const char request[] = "\0\1/not-the-run-file.bin\0octet";
        for (int i = 0; i < 5000; ++i) socketCalls().sendTo(udp, request, sizeof request - 1, &listener);
    });
    UnattendedResult run =
        runUnattendedInChild(command({"--json", "--log", log, "--address", adapter(8)}, kFloodedPc), kFloodedPc, flood);
    EXPECT_TRUE(flooded) << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    struct stat info {};
    ASSERT_EQ(::stat(log.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_LT(info.st_size, 64 * 1024);
    std::string text = readWholeFile(log);
    EXPECT_NE(text.find("more like the line above"), std::string::npos) << text.substr(0, 4000);
    std::remove(log.c_str());

    const std::string link = log + ".link";
    ASSERT_EQ(::symlink("/tmp/orb-unattended-limits-target", link.c_str()), 0);
    UnattendedResult refused = runUnattendedInChild(command({"--log", link, "--address", adapter(8)}), kPcAddress);
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("--log"), std::string::npos) << refused.output;
    struct stat target {};
    EXPECT_NE(::lstat("/tmp/orb-unattended-limits-target", &target), 0) << "nothing was created through the link";
    std::remove(link.c_str());
}

// The logs on a file system with no room left (a tmpfs filled before the
// batch starts, in mounts of the batch's own): each run says so once, on
// standard error and as an event that names its file and the reason, and
// goes on to its result.
TEST_F(UnattendedLimits, ALogThatCannotBeWrittenIsSaidOnceAndTheRunsGoOn) {
    const std::string folder = "/tmp/orb-unattended-full-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 12, {"--count=2"})) << sim.diagnostics();
    auto onAFullFileSystem = [&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) {
            std::printf("no tmpfs of its own: %s\n", std::strerror(errno));
            ::_exit(77);
        }
        int filler = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string page(4096, 'x');
        while (filler >= 0 && ::write(filler, page.data(), page.size()) > 0) {}
    };
    UnattendedResult run = runUnattendedInChild(command({"--json", "--parallel", "2", "--log", folder + "/trace",
                                                         "--address", adapter(12), "--address", adapter(13)}),
                                                kPcAddress, nullptr, 60000, onAFullFileSystem);
    std::filesystem::remove_all(folder);
    if (run.exitCode == 77 && run.output.find("no tmpfs of its own") == 0) GTEST_SKIP() << run.output;
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<Event> said = eventsNamed(run.output, "log-error");
    for (unsigned host : {12u, 13u}) {
        EXPECT_EQ(resultsIn(run.output)[adapter(host)].value("result"), "success") << run.output;
        const std::string file = folder + "/trace." + adapter(host);
        EXPECT_EQ(std::count_if(said.begin(), said.end(), [&](const Event& e) { return e.value("file") == file; }), 1)
            << run.output;
        EXPECT_EQ(countLines(run.output, "orb-upgrade: " + adapter(host) + ": the log " + file +
                                             " cannot be written (No space left on device)"),
                  1)
            << run.output;
    }
    for (const Event& event : said) EXPECT_EQ(event.value("reason"), "No space left on device");
}

// A refused read request and a write request in turn, as long as the run waits:
// no run of one kind forms, and the size limit alone holds the log. The flood
// goes on until the log says it is full (or, without a limit, has passed it),
// then the run is cancelled.
TEST_F(UnattendedLimits, AnAlternatingFloodStopsTheLogAtItsSizeLimit) {
    const std::string log = freshLogPath("alternating");
    SimProcess sim;
    ASSERT_TRUE(startSim(sim, 9, {"--fetch-delay-ms=6000000"})) << sim.diagnostics();
    bool flooded = false;
    long long sent = 0;
    constexpr uint32_t kFloodedPc = loopbackAddress(193, 102);
    auto flood =
        floodWhenWaiting(&flooded, kFloodedPc, [&](SocketHandle udp, const sockaddr_in& listener, pid_t runner) {
            static const char badRead[] = "\0\1/not-the-run-file.bin\0octet";
            static const char write[] = "\0\2/orb.bin\0octet";
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(90);
            for (;; ++sent) {
                socketCalls().sendTo(udp, badRead, sizeof badRead - 1, &listener);
                socketCalls().sendTo(udp, write, sizeof write - 1, &listener);
                if (sent % 500 != 0) continue;
                struct stat info {};
                if (::stat(log.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > kDiagnosticsLogLimitBytes)
                    break;
                if (static_cast<uint64_t>(info.st_size) + 1024 > kDiagnosticsLogLimitBytes &&
                    readWholeFile(log).find(kDiagnosticsLogFullText) != std::string::npos)
                    break;
                if (std::chrono::steady_clock::now() > until) break;
            }
            ::kill(runner, SIGTERM);
        });
    UnattendedResult run =
        runUnattendedInChild(command({"--json", "--log", log, "--request-timeout", "0", "--address", adapter(9)},
                                     kFloodedPc),
                             kFloodedPc, flood, 150000);
    EXPECT_TRUE(flooded) << run.output;
    EXPECT_EQ(run.exitCode, 7) << run.output;
    std::string text = readWholeFile(log);
    EXPECT_LE(text.size(), kDiagnosticsLogLimitBytes) << sent << " pairs sent";
    const std::string last = std::string(kDiagnosticsLogFullText) + "\n";
    ASSERT_GT(text.size(), last.size()) << sent << " pairs sent";
    EXPECT_EQ(text.substr(text.size() - last.size()), last)
        << text.size() << " bytes, " << sent << " pairs sent; " << text.substr(text.size() - 300);
    std::remove(log.c_str());
}

}  // namespace
}  // namespace orb::test
