// The diagnostics log: the entries' form, which file is opened, and a log
// written from several threads by the trace and the dialog manager.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "base/diagnostics_log.h"
#include "base/trace.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/run_state.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

using namespace std::string_literals;

struct EntryCase {
    uint64_t utcMs;
    std::string text;
    std::string expected;
    friend void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.utcMs; }
};

class DiagnosticsEntry : public ::testing::TestWithParam<EntryCase> {};

TEST_P(DiagnosticsEntry, IsStampedAndIndented) {
    EXPECT_EQ(formatDiagnosticsEntry(GetParam().utcMs, GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DiagnosticsEntry,
    ::testing::Values(EntryCase{0, "Send block 1 (512)\n", "00:00:00.000 Send block 1 (512)\n"},
                      EntryCase{86399999, "no newline", "23:59:59.999 no newline\n"},
                      EntryCase{1765000000123, "GET / HTTP/1.1\r\nHost: h\r\n\r\n",
                                "05:46:40.123 GET / HTTP/1.1\n             Host: h\n"},
                      EntryCase{5, "a\r\n\r\nb", "00:00:00.005 a\n\n             b\n"}, EntryCase{5, "\n", ""},
                      // Raw bytes from the network are escaped; '\n' still splits
                      // the entry and '\r' is still dropped.
                      EntryCase{7, "esc \x1b[2J bell\a nul\0 del\x7f\tend"s,
                                "00:00:00.007 esc \\x1b[2J bell\\x07 nul\\x00 del\\x7f\\x09end\n"},
                      EntryCase{7, "caf\xc3\xa9 \x80\xff\\x41", "00:00:00.007 caf\\xc3\\xa9 \\x80\\xff\\x41\n"},
                      EntryCase{7, "first\r\n\tsecond\x01\r\n\t \r\n",
                                "00:00:00.007 first\n             \\x09second\\x01\n"}));

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DiagnosticsLogFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "/tmp/orb-diagnostics-" + std::to_string(::getpid()) + ".log";
        std::remove(path_.c_str());
    }
    void TearDown() override {
        closeDiagnosticsLog();
        std::remove(path_.c_str());
    }
    std::string path_;
};

// --log wins over ORB_TRACE; the error names the file and where it came from.
TEST_F(DiagnosticsLogFile, TheOptionWinsAndAFileThatCannotBeOpenedIsNamed) {
    std::string error;
    setenv(kTraceEnvironmentVariable, "/nonexistent-orb-dir/y.log", 1);
    EXPECT_FALSE(openDiagnosticsLog("/nonexistent-orb-dir/x.log", &error));
    EXPECT_EQ(error, "cannot open the log file \"/nonexistent-orb-dir/x.log\" (--log): No such file or directory");
    EXPECT_FALSE(openDiagnosticsLog(nullptr, &error));
    EXPECT_EQ(error, "cannot open the log file \"/nonexistent-orb-dir/y.log\" (ORB_TRACE): No such file or directory");
    setenv(kTraceEnvironmentVariable, "", 1);
    EXPECT_TRUE(openDiagnosticsLog(nullptr, &error)) << "no file named: nothing to open";
    unsetenv(kTraceEnvironmentVariable);
    EXPECT_FALSE(diagnosticsLogActive());
}

// The log holds the user name and nonces: a new file is the user's alone, an
// existing one keeps the mode it was given.
TEST_F(DiagnosticsLogFile, ANewFileIsReadableByTheUserOnly) {
    std::string error;
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    struct stat created {};
    ASSERT_EQ(::stat(path_.c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 0077, 0u) << std::oct << created.st_mode;
    closeDiagnosticsLog();

    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    ASSERT_EQ(::stat(path_.c_str(), &created), 0);
    EXPECT_EQ(created.st_mode & 0777, 0640u) << std::oct << created.st_mode;
}

// A link planted at the log's path is refused, not followed; so is anything
// that is not a regular file, and a pipe without a reader does not block the
// open.
TEST_F(DiagnosticsLogFile, ALinkOrSomethingElseThanAFileIsRefused) {
    const std::string target = path_ + ".target";
    std::remove(target.c_str());
    ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
    std::string error;
    EXPECT_FALSE(openDiagnosticsLog(path_.c_str(), &error));
    EXPECT_EQ(error, "cannot open the log file \"" + path_ + "\" (--log): it is a symbolic link");
    struct stat there {};
    EXPECT_NE(::stat(target.c_str(), &there), 0) << "the link was followed";
    std::remove(path_.c_str());

    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    EXPECT_FALSE(openDiagnosticsLog(path_.c_str(), &error));
    EXPECT_EQ(error, "cannot open the log file \"" + path_ + "\" (--log): it is not a regular file");
    int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(openDiagnosticsLog(path_.c_str(), &error)) << "a pipe with a reader opens; it is still refused";
    EXPECT_EQ(error, "cannot open the log file \"" + path_ + "\" (--log): it is not a regular file");
    ::close(reader);
    EXPECT_FALSE(diagnosticsLogActive());
}

// Masking sees the raw text, so a secret with bytes that the log escapes is
// still hidden, and a carriage return that the log drops cannot join a
// secret's halves. What is left of the page is escaped.
TEST_F(DiagnosticsLogFile, SecretsAreMaskedBeforeTheBytesAreEscaped) {
    std::string error;
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    addDiagnosticsSecret("p\x01w\xc3\xa9");
    addDiagnosticsSecret("Zq9x!pw");
    writeDiagnosticsEntry("page \x1b[31mred\x1b[0m pw=p\x01w\xc3\xa9 again=Zq9x\r!pw");

    const std::string log = readFile(path_);
    const size_t entry = log.find('\n') + 1;
    ASSERT_GT(entry, 0u) << log;
    EXPECT_EQ(log.substr(entry + 13), "page \\x1b[31mred\\x1b[0m pw=*** again=***\n") << log;
    const auto raw = std::find_if(log.begin(), log.end(), [](char c) { return c != '\n' && (c < 0x20 || c >= 0x7f); });
    EXPECT_EQ(raw, log.end()) << "a raw byte at " << (raw - log.begin()) << " in " << log;
}

// Four threads trace at once while a dialog is answered: every line is whole,
// and the password typed into the dialog never reaches the file.
TEST_F(DiagnosticsLogFile, ThreadsWriteWholeLinesAndThePasswordIsMasked) {
    std::string error;
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    std::vector<std::thread> threads;
    // Each thread takes two formats in turn (the log drops the '\r'), so no run
    // of one kind grows past the four threads and every line is written.
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int n = 0; n < 250; ++n) {
                if (n % 2 == 0)
                    trace("thread %d line %d\n", t, n);
                else
                    trace("thread %d line %d\r\n", t, n);
            }
        });

    std::thread dialog([] {
        runModalDialog(nullptr, 104, [](WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t) {
            if (message == kWmCommand && (wParam & 0xffff) == kIdOk) endDialog(w, 1);
            return message == kWmInitDialog || message == kWmCommand;
        });
    });
    WindowHandle window = robot::waitForDialog(kCredentialsDialogId);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(robot::typeText(window, kPasswordFieldId, "Zq9x!pw"));
    ASSERT_TRUE(robot::pressButton(window, kIdOk));
    dialog.join();
    for (std::thread& thread : threads) thread.join();
    trace("the password Zq9x!pw, response=\"0123abcd\"");

    const std::string log = readFile(path_);
    EXPECT_EQ(log.find("Zq9x!pw"), std::string::npos) << log;
    EXPECT_EQ(log.find("0123abcd"), std::string::npos) << log;
    const std::regex stamped(R"(^\d\d:\d\d:\d\d\.\d\d\d (.*)$)");
    std::istringstream lines(log);
    std::string line;
    int traced = 0;
    std::vector<std::string> rest;
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, stamped)) << "not a whole entry: " << line;
        if (std::regex_match(match[1].str(), std::regex(R"(thread [0-3] line \d+)")))
            ++traced;
        else
            rest.push_back(match[1].str());
    }
    EXPECT_EQ(traced, 1000);
    EXPECT_EQ(rest, (std::vector<std::string>{
                        rest.empty() ? "" : rest[0],  // the opening line, with the date
                        "dialog shown: 104 \"Enter Password Information\"",
                        "button pressed: dialog 104 \"Enter Password Information\", button 1 \"OK\"",
                        "the password ***, response=\"***\"",
                    }));
    EXPECT_TRUE(
        std::regex_match(rest.at(0), std::regex(R"(orb-upgrade diagnostics log, \d{4}-\d\d-\d\d, times in UTC)")))
        << rest.at(0);
}

// Two kinds in turn never make a run of one kind, so only the size limit holds
// such a flood: the file ends with the line that says the rest was dropped,
// within the limit, and nothing follows it, neither entries nor counts.
TEST_F(DiagnosticsLogFile, AlternatingKindsStopAtTheSizeLimitWithOneLine) {
    const std::string path = path_;
    test::ChildResult result = test::runInChild([&] {
        std::string error;
        if (!openDiagnosticsLog(path.c_str(), &error)) endProcess(9);
        for (int n = 0; n < 60000; ++n) {
            trace("+++ Bad TFTP RRQ filename /orb-%d.bin-with-a-longer-name-to-fill-the-log\n", n);
            trace("TFTP Rx WRQ?\n");
        }
        for (int n = 0; n < 300; ++n) trace("Send block %d (%d)\n", 1, 512);  // a run of one kind, then the end
        endProcess(0);
    });
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;

    const std::string log = readFile(path_);
    EXPECT_LE(log.size(), kDiagnosticsLogLimitBytes);
    EXPECT_GT(log.size(), kDiagnosticsLogLimitBytes - 1024) << "the limit is used, not undercut";
    const std::string last = std::string(kDiagnosticsLogFullText) + "\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
    EXPECT_EQ(log.find(kDiagnosticsLogFullText), log.size() - last.size()) << "said once";
    EXPECT_EQ(log.find("Send block"), std::string::npos);
    EXPECT_EQ(log.find("more like the line above"), std::string::npos);
    EXPECT_EQ(log[log.size() - last.size() - 14], '\n') << "the line is an entry of its own";

    // The next run of the program starts a budget of its own in the same file.
    std::string error;
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    trace("Send block %d (%d)\n", 2, 512);
    const std::string next = readFile(path_);
    EXPECT_NE(next.find("Send block 2 (512)", log.size()), std::string::npos) << next.substr(log.size());
}

// The run keeps the first 126 bytes of a longer typed password and sends
// those: an adapter's page that shows them back must not carry them into the
// log, nor any 8 of them from the start on.
TEST_F(DiagnosticsLogFile, ThePasswordIsMaskedAsTheRunHoldsIt) {
    std::string error;
    ASSERT_TRUE(openDiagnosticsLog(path_.c_str(), &error)) << error;
    std::string typed;
    for (int i = 0; i < 200; ++i) typed += static_cast<char>('A' + (i * 7) % 26) + std::to_string(i % 10);
    typed.resize(200);
    std::thread dialog([] { runModalDialog(nullptr, kCredentialsDialogId, credentialsDialogProc); });
    WindowHandle window = robot::waitForDialog(kCredentialsDialogId);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(robot::typeText(window, kPasswordFieldId, typed));
    ASSERT_TRUE(robot::pressButton(window, kIdOk));
    dialog.join();
    const std::string held = runState.credentials.password;
    ASSERT_EQ(held, typed.substr(0, 126));
    trace("<td>Product Name:</td><td><b>%s</b></td>\n", held.c_str());

    const std::string log = readFile(path_);
    EXPECT_EQ(log.find(typed.substr(0, 8)), std::string::npos) << log;
    EXPECT_NE(log.find("<td>Product Name:</td><td><b>***</b></td>"), std::string::npos) << log;
}

// A flood of refused requests from four threads: the first 100 of the kind
// are written, the other 4900 told in one line when the run ends, however it
// ends. Run in a child, so that it can end through endProcess.
struct RunEndCase {
    const char* name;
    void (*end)();
    std::string after;  // the entry after the count, without its time stamp
    friend void PrintTo(const RunEndCase& c, std::ostream* out) { *out << c.name; }
};

class DiagnosticsLogFlood : public DiagnosticsLogFile, public ::testing::WithParamInterface<RunEndCase> {};

TEST_P(DiagnosticsLogFlood, IsCutToAHundredLinesAndACount) {
    const RunEndCase& c = GetParam();
    const std::string path = path_;
    test::ChildResult result = test::runInChild([&] {
        std::string error;
        if (!openDiagnosticsLog(path.c_str(), &error)) endProcess(9);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t] {
                for (int n = 0; n < 1250; ++n) trace("+++ Bad TFTP RRQ filename /orb-%d-%d.bin\n", t, n * 7919);
            });
        for (std::thread& thread : threads) thread.join();
        c.end();
        endProcess(0);
    });
    ASSERT_TRUE(result.exited && result.exitCode == 0) << result.output;

    const std::string log = readFile(path_);
    EXPECT_LT(log.size(), 64u * 1024);
    size_t written = 0;
    for (size_t at = log.find("RRQ filename /orb-"); at != std::string::npos;
         at = log.find("RRQ filename /orb-", at + 1))
        ++written;
    EXPECT_EQ(written, 100u);
    const std::string told = "4900 more like the line above\n";
    const size_t at = log.find(told);
    ASSERT_NE(at, std::string::npos) << log.substr(log.size() > 500 ? log.size() - 500 : 0);
    EXPECT_EQ(log.find(" more like", at + told.size()), std::string::npos) << "told twice";
    EXPECT_TRUE(std::regex_match(log.substr(at - 13, 13), std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d )")));
    const std::string rest = log.substr(at + told.size());
    EXPECT_EQ(rest.size() > 13 ? rest.substr(13) : rest, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DiagnosticsLogFlood,
    ::testing::Values(RunEndCase{"AnotherKind", [] { trace("Send block %d (%d)\n", 1, 512); }, "Send block 1 (512)\n"},
                      RunEndCase{"AnEntryNotTraced", [] { writeDiagnosticsEntry("dialog shown: 114"); },
                                 "dialog shown: 114\n"},
                      RunEndCase{"TheLogClosed", [] { closeDiagnosticsLog(); }, ""},
                      RunEndCase{"TheProcessEnd", [] {}, ""}),
    [](const ::testing::TestParamInfo<RunEndCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb
