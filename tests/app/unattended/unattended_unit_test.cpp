// The unattended front-end's pieces: its event lines, its command line, and
// how what a run reported becomes an exit status.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <tuple>

#include "platform/own_addresses.h"
#include "platform/process.h"
#include "platform/self_spawn.h"
#include "app/unattended/front_end/unattended_front_end.h"
#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_options.h"
#include "app/unattended/unattended_outcome.h"
#include "app/unattended/unattended_runner.h"
#include "tests/support/child_process.h"

namespace orb::unattended {
namespace {

TEST(UnattendedEvents, JsonLinesRoundTripWithEscapesAndNumbers) {
    Event event("127.0.19.1", "error");
    event.add("message", "say \"no\"\\\r\n\ttab\x01").add("code", 5);
    std::string line = formatJson(event);
    EXPECT_EQ(line, R"({"adapter":"127.0.19.1","event":"error","message":"say \"no\"\\\r\n\ttab\u0001","code":5})");
    std::optional<Event> back = parseEventLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->value("message"), "say \"no\"\\\r\n\ttab\x01");
    EXPECT_EQ(back->value("code"), "5");
    EXPECT_TRUE(back->fields.back().number);
    EXPECT_EQ(formatTextLine(*back), R"(127.0.19.1: error message=say "no"\\x0d\x0a\x09tab\x01 code=5)");
}

// What an adapter sends (here as its product name) cannot retitle the
// terminal nor forge a line of its own.
const std::string kForged = "ORB\x1b]0;owned\x07\nFAKE 10.9.9.9: result: success\r\x7f\xc3\xa9\xff";

TEST(UnattendedEvents, TextLinesShowOnlyPrintableAscii) {
    Event status("10.0.0.2", "status");
    status.add("product", kForged);
    EXPECT_EQ(formatTextLine(status),
              R"(10.0.0.2: status product=ORB\x1b]0;owned\x07\x0aFAKE 10.9.9.9: result: success\x0d\x7f\xc3\xa9\xff)");
    status.add("text", "status page: Product Name " + kForged);
    EXPECT_EQ(formatTextLine(status), R"(10.0.0.2: status page: Product Name ORB\x1b]0;owned\x07\x0aFAKE 10.9.9.9: )"
                                      R"(result: success\x0d\x7f\xc3\xa9\xff)");
}

TEST(UnattendedEvents, JsonLinesAreUtf8AndReadBackByteForByte) {
    Event status("10.0.0.2", "status");
    status.add(std::string("pro\x80"
                           "duct"),
               kForged);
    std::string line = formatJson(status);
    EXPECT_EQ(line, R"({"adapter":"10.0.0.2","event":"status","pro\u0080duct":)"
                    R"("ORB\u001b]0;owned\u0007\nFAKE 10.9.9.9: result: success\r\u007f\u00c3\u00a9\u00ff"})");
    std::optional<Event> back = parseEventLine(line);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->fields.size(), 3u);
    EXPECT_EQ(back->fields[2].name,
              "pro\x80"
              "duct");
    EXPECT_EQ(back->fields[2].value, kForged);
    EXPECT_FALSE(parseEventLine(R"({"a":"\u0100"})")) << "no writer of ours sends more than a byte";
}

TEST(UnattendedEvents, RefusesWhatIsNoFlatObject) {
    for (const char* line : {"", "event=listening", "{\"a\":}", "{\"a\":\"b\"", "{\"a\":{\"b\":1}}", "{\"a\":x1}",
                             "{\"a\":\"b\"} tail", "{\"a\":\"\\q\"}"})
        EXPECT_FALSE(parseEventLine(line)) << line;
}

// A scratch folder of this test program's own, gone at its end.
std::string scratchFolder() {
    static const struct Folder {
        std::string path = testing::TempDir() + "orb-unattended-unit-" + std::to_string(::getpid());
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() { std::filesystem::remove_all(path); }
    } folder;
    return folder.path;
}

// A name, then what goes into the file, as in std::ofstream(name) << content.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::string writeScratchFile(const std::string& name, const std::string& content) {
    std::string path = scratchFolder() + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

struct UsageCase {
    std::vector<std::string> args;
    std::string error;  // a part of the message; empty: accepted
};

void PrintTo(const UsageCase& c, std::ostream* out) {
    for (const std::string& arg : c.args) *out << arg << " ";
}

class UnattendedUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(UnattendedUsage, AcceptsOrRefusesTheCommandLine) {
    UnattendedOptions options;
    std::string error;
    ParseResult result = parseUnattendedOptions(GetParam().args, &options, &error);
    if (GetParam().error.empty()) {
        EXPECT_EQ(result, ParseResult::Run) << error;
    } else {
        EXPECT_EQ(result, ParseResult::UsageError);
        EXPECT_NE(error.find(GetParam().error), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UnattendedUsage,
    testing::Values(
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--parallel", "100", "--json",
                   "--check", "--force"},
                  ""},
        UsageCase{{"--unattended", "--address", "10.1.0.123"}, "--accept-warning is required"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--request-timeout", "0",
                   "--http-timeout", "9999", "--port-wait", "0"},
                  ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--port-wait", "5m"},
                  "--port-wait takes a number of seconds"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--request-timeout", "-1"},
                  "--request-timeout takes a number of seconds"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--http-timeout", "10000"},
                  "--http-timeout takes a number of seconds"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--run-timeout", "0"}, ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.123", "--run-timeout=10000"},
                  "--run-timeout takes a number of seconds from 0 (no limit) to 9999"},
        UsageCase{{"--unattended", "--accept-warning"}, "no adapter"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0.256"}, "not an IPv4 address"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "10.1.0"}, "not an IPv4 address"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--address", "1.2.3.4"}, "twice"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--password", "x"}, "never"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--parallel", "1000"}, ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--parallel", "1001"}, "1 to 1000"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--parallel", "0"}, "1 to 1000"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--progress=always"}, ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--progress", "never"}, ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--progress=sometimes"},
                  "--progress takes never, auto or always, not \"sometimes\""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--progress"},
                  "--progress needs a value"},
        UsageCase{{"--unattended", "--accept-warning", "--address=1.2.3.4", "--parallel=8"}, ""},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--json=yes"}, "--json takes no value"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--password=secret"},
                  "the password is never taken from the command line"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--user"}, "needs a value"},
        UsageCase{{"--unattended", "--accept-warning", "--addresses-file", "/nonexistent/list"}, "cannot read"},
        UsageCase{{"--unattended", "--accept-warning", "--addresses-file", "/dev/zero"},
                  "the addresses file /dev/zero is larger than 4 MiB"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--verbose"}, "unknown option"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "0.0.0.0"},
                  "--address: \"0.0.0.0\" is not an adapter's address (0.0.0.0 means any address)"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "000.0.00.0"}, "0.0.0.0 means any address"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "255.255.255.255"},
                  "is not an adapter's address (255.255.255.255 is the broadcast address)"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "127.0.0.81", "--address", "127.0.0.081"},
                  "--address: the adapter 127.0.0.081 is 127.0.0.81 (--address) again"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--pc-address", "1.2.3.1234"},
                  "--pc-address: \"1.2.3.1234\" is not an IPv4 address"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4", "--log", ""}, "--log needs a file name"},
        UsageCase{{"--unattended", "--accept-warning", "--address", "1.2.3.4\x1b]0;x\x07"}, "1.2.3.4\\x1b]0;x\\x07"}));

TEST(UnattendedOptions, AddressesAreKeptAsNumbersWithoutLeadingZeros) {
    UnattendedOptions options;
    std::string error;
    ASSERT_EQ(parseUnattendedOptions({"--unattended", "--accept-warning", "--address", "010.001.000.008", "--address",
                                      "10.1.0.80", "--pc-address", "127.000.0.01"},
                                     &options, &error),
              ParseResult::Run)
        << error;
    EXPECT_EQ(options.addresses, (std::vector<std::string>{"10.1.0.8", "10.1.0.80"}));
    EXPECT_EQ(options.pcAddress, "127.0.0.1");
    EXPECT_FALSE(isDottedQuad("1.2.3.0004"));
    EXPECT_FALSE(isDottedQuad("1.2.3.4."));
    EXPECT_FALSE(isDottedQuad("1..3.4"));
}

struct AddressesFileCase {
    const char* name;
    std::string text;
    std::vector<std::string> addresses;  // when accepted
    std::string error;                   // the whole message; empty: accepted
};

void PrintTo(const AddressesFileCase& c, std::ostream* out) { *out << c.name; }

class UnattendedAddressesFile : public testing::TestWithParam<AddressesFileCase> {};

TEST_P(UnattendedAddressesFile, ListsTheAdaptersOrNamesTheLine) {
    const AddressesFileCase& c = GetParam();
    NamedAdapters adapters;
    std::string error;
    bool accepted = addAdaptersFromText(c.text, "hosts.txt", &adapters, &error);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(accepted, c.error.empty());
    if (!accepted) return;
    std::vector<std::string> addresses;
    for (const NamedAdapter& adapter : adapters.list) addresses.push_back(adapter.address);
    EXPECT_EQ(addresses, c.addresses);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UnattendedAddressesFile,
    testing::Values(
        AddressesFileCase{"CommentsBlanksCrlfAndAByteOrderMark",
                          "\xef\xbb\xbf# desks\r\n10.0.0.1\r\n \t10.0.0.2  # desk 4\r\n\r\n#10.0.0.9\n10.0.0.003",
                          {"10.0.0.1", "10.0.0.2", "10.0.0.3"},
                          ""},
        AddressesFileCase{"NotAnAddress",
                          "10.0.0.1\n\n10.0.0.2\n10.0.0.300\n",
                          {},
                          "hosts.txt:4: \"10.0.0.300\" is not an IPv4 address"},
        AddressesFileCase{"TwoOnALine",
                          "10.0.0.1 10.0.0.2",
                          {},
                          "hosts.txt:1: \"10.0.0.1 10.0.0.2\" is not an IPv4 address"},
        AddressesFileCase{"AByteOrderMarkLaterIsText",
                          "10.0.0.1\n\xef\xbb\xbf"
                          "10.0.0.2",
                          {},
                          "hosts.txt:2: \"\\xef\\xbb\\xbf10.0.0.2\" is not an IPv4 address"},
        AddressesFileCase{"SameAdapterSpelledTwoWays",
                          "127.0.0.81\n# again\n127.0.0.081\n",
                          {},
                          "hosts.txt:3: the adapter 127.0.0.081 is 127.0.0.81 (hosts.txt:1) again"},
        AddressesFileCase{"SameAdapterTwice",
                          "10.0.0.1\n10.0.0.1  # again\n",
                          {},
                          "hosts.txt:2: the adapter 10.0.0.1 is given twice (first: hosts.txt:1)"},
        AddressesFileCase{"AnyAddress",
                          "10.0.0.1\r\n0.0.0.0\r\n",
                          {},
                          "hosts.txt:2: \"0.0.0.0\" is not an adapter's address (0.0.0.0 means any address)"},
        AddressesFileCase{"Broadcast",
                          "255.255.255.255",
                          {},
                          "hosts.txt:1: \"255.255.255.255\" is not an adapter's address (255.255.255.255 is the "
                          "broadcast address)"}),
    [](const testing::TestParamInfo<AddressesFileCase>& info) { return std::string(info.param.name); });

// A fleet's list: every address looked up once, the repeat at its end found
// with the line of the first.
TEST(UnattendedAddressesFile, AHundredThousandLinesAndARepeatAtTheEnd) {
    std::string text;
    for (uint32_t i = 0; i < 100000; ++i) text += formatIPv4(0x0a000001 + i) + "\n";
    text += "10.0.0.001\n";
    NamedAdapters adapters;
    std::string error;
    EXPECT_FALSE(addAdaptersFromText(text, "hosts.txt", &adapters, &error));
    EXPECT_EQ(error, "hosts.txt:100001: the adapter 10.0.0.001 is 10.0.0.1 (hosts.txt:1) again");
    ASSERT_EQ(adapters.list.size(), 100000u);
    EXPECT_EQ(adapters.list.back().address, "10.1.134.160");
}

TEST(UnattendedOptions, AnAddressesFileIsReadBesideTheAddressOptions) {
    std::string path = writeScratchFile("hosts.txt", "10.0.0.2\n10.0.0.01\n");
    UnattendedOptions options;
    std::string error;
    EXPECT_EQ(parseUnattendedOptions({"--unattended", "--accept-warning", "--addresses-file", path, "--address",
                                      "10.0.0.1"},
                                     &options, &error),
              ParseResult::UsageError);
    EXPECT_EQ(error, path + ":2: the adapter 10.0.0.01 is 10.0.0.1 (--address) again");
    EXPECT_EQ(parseUnattendedOptions({"--unattended", "--accept-warning", "--addresses-file", scratchFolder()},
                                     &options, &error),
              ParseResult::UsageError);
    EXPECT_EQ(error, "cannot read the addresses file " + scratchFolder() + ": Is a directory");
}

// A named pipe is read as it comes and only up to the limit: a writer that
// goes on past it is not read to its end.
TEST(UnattendedOptions, ANamedPipeIsReadNoFurtherThanTheLimit) {
    std::string path = scratchFolder() + "/hosts.fifo";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    auto* before = ::signal(SIGPIPE, SIG_IGN);  // the writer's end once the reader has stopped
    std::thread writer([&] {
        int fd = ::open(path.c_str(), O_WRONLY);
        const std::string comments(65536, '#');
        for (size_t sent = 0; fd >= 0 && sent < (8u << 20); sent += comments.size())
            if (::write(fd, comments.data(), comments.size()) < 0) break;
        if (fd >= 0) ::close(fd);
    });
    UnattendedOptions options;
    std::string error;
    ParseResult result =
        parseUnattendedOptions({"--unattended", "--accept-warning", "--address", "10.0.0.1", "--addresses-file", path},
                               &options, &error);
    writer.join();
    ::signal(SIGPIPE, before);
    EXPECT_EQ(result, ParseResult::UsageError);
    EXPECT_EQ(error, "the addresses file " + path +
                         " is larger than 4 MiB, the most that is read (a list of about 250,000 adapters)");
}

struct PasswordFileCase {
    const char* name;
    std::string content;  // the file's; "<folder>": a folder; "<missing>": no file
    std::string password;
    std::string reason;  // empty: accepted
};

void PrintTo(const PasswordFileCase& c, std::ostream* out) { *out << c.name; }

class UnattendedPasswordFile : public testing::TestWithParam<PasswordFileCase> {};

TEST_P(UnattendedPasswordFile, IsReadWhileParsingOrRefusedWithTheReason) {
    const PasswordFileCase& c = GetParam();
    std::string path = scratchFolder() + "/password-" + c.name;
    if (c.content == "<folder>")
        std::filesystem::create_directories(path);
    else if (c.content != "<missing>")
        writeScratchFile("password-" + std::string(c.name), c.content);
    UnattendedOptions options;
    std::string error;
    ParseResult result =
        parseUnattendedOptions({"--unattended", "--accept-warning", "--address", "1.2.3.4", "--password-file", path},
                               &options, &error);
    if (c.reason.empty()) {
        EXPECT_EQ(result, ParseResult::Run) << error;
        EXPECT_EQ(options.password, c.password);
    } else {
        EXPECT_EQ(result, ParseResult::UsageError);
        EXPECT_EQ(error, "--password-file " + path + ": " + c.reason);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnattendedPasswordFile,
    testing::Values(
        PasswordFileCase{"Missing", "<missing>", "", "cannot read it: No such file or directory"},
        PasswordFileCase{"Folder", "<folder>", "", "cannot read it: Is a directory"},
        // Notepad's UTF-16, either byte order, and the Ctrl-Z of `copy`.
        PasswordFileCase{"Utf16", std::string("\xff\xfep\0\xe4\0\x18\x79\r\0\n\0", 12), "p\xc3\xa4\xe7\xa4\x98", ""},
        PasswordFileCase{"Utf16BigEndian", std::string("\xfe\xff\xd8\x3d\xde\x00\0!", 8), "\xf0\x9f\x98\x80!", ""},
        PasswordFileCase{"CtrlZ", "secret\r\n\x1a", "secret", ""},
        PasswordFileCase{"Nul", std::string("se\0cret\n", 8), "",
                         "the password holds a line break or a NUL byte (only one line end at its end "
                         "is dropped)"}),
    [](const testing::TestParamInfo<PasswordFileCase>& info) { return std::string(info.param.name); });

// The one rule of both sources: --password-file's content and ORB_PASSWORD's
// value give the same password or fail with the same reason, naming the source.
enum class PasswordSource { File, Variable };

void PrintTo(PasswordSource source, std::ostream* out) {
    *out << (source == PasswordSource::File ? "File" : "Variable");
}

class PasswordSources : public testing::TestWithParam<std::tuple<PasswordSource, PasswordFileCase>> {
protected:
    void TearDown() override { ::unsetenv("ORB_PASSWORD"); }
};

TEST_P(PasswordSources, GiveThePasswordOrAUsageErrorNamingTheSource) {
    const auto& [source, c] = GetParam();
    std::vector<std::string> args = {"--unattended", "--accept-warning", "--address", "1.2.3.4"};
    std::string named = "ORB_PASSWORD";
    if (source == PasswordSource::File) {
        std::string path = writeScratchFile("password-rule-" + std::string(c.name), c.content);
        args.insert(args.end(), {"--password-file", path});
        named = "--password-file " + path;
        ::setenv("ORB_PASSWORD", "the file wins", 1);
    } else {
        ::setenv("ORB_PASSWORD", c.content.c_str(), 1);
    }
    UnattendedOptions options;
    std::string error;
    ParseResult result = parseUnattendedOptions(args, &options, &error);
    if (c.reason.empty()) {
        EXPECT_EQ(result, ParseResult::Run) << error;
        EXPECT_EQ(options.password, c.password);
    } else {
        EXPECT_EQ(result, ParseResult::UsageError);
        EXPECT_EQ(error, named + ": " + c.reason);
    }
}

const char kTooLong[] = "the password is longer than 126 bytes, which the credentials dialog would cut";
const char kNoPassword[] = "it holds no password";
const char kTwoLines[] = "the password holds a line break or a NUL byte (only one line end at its end is dropped)";

INSTANTIATE_TEST_SUITE_P(
    Rule, PasswordSources,
    testing::Combine(testing::Values(PasswordSource::File, PasswordSource::Variable),
                     testing::Values(PasswordFileCase{"Plain", "se cret", "se cret", ""},
                                     PasswordFileCase{"Lf", "secret\n", "secret", ""},
                                     PasswordFileCase{"Crlf", "secret\r\n", "secret", ""},
                                     PasswordFileCase{"Cr", "secret\r", "secret", ""},
                                     PasswordFileCase{"ByteOrderMark", "\xef\xbb\xbfsecret\r\n", "secret", ""},
                                     PasswordFileCase{"LongestKept", "\xef\xbb\xbf" + std::string(126, 'p') + "\r\n",
                                                      std::string(126, 'p'), ""},
                                     PasswordFileCase{"OneByteTooLong", std::string(127, 'p') + "\n", "", kTooLong},
                                     PasswordFileCase{"Bytes130", std::string(130, 'p'), "", kTooLong},
                                     PasswordFileCase{"Empty", "", "", kNoPassword},
                                     PasswordFileCase{"OnlyALineEnd", "\r\n", "", kNoPassword},
                                     PasswordFileCase{"OnlyAByteOrderMark", "\xef\xbb\xbf\n", "", kNoPassword},
                                     PasswordFileCase{"TwoLineEnds", "secret\n\n", "", kTwoLines},
                                     PasswordFileCase{"TwoLines", "se cret\nsecond line\n", "", kTwoLines},
                                     PasswordFileCase{"EmptyFirstLine", "\r\nsecret\n", "", kTwoLines})),
    [](const testing::TestParamInfo<std::tuple<PasswordSource, PasswordFileCase>>& info) {
        return std::string(std::get<0>(info.param) == PasswordSource::File ? "File" : "Variable") +
               std::get<1>(info.param).name;
    });

TEST(UnattendedLog, EveryAdaptersFileIsOpenedForAppendingBeforeAnyRun) {
    UnattendedOptions options;
    options.addresses = {"10.0.0.1", "10.0.0.2"};
    options.logPath = scratchFolder() + "/trace";
    std::string kept = writeScratchFile("trace.10.0.0.1", "an earlier run\n");
    std::string error;
    EXPECT_TRUE(checkLogFiles(options, &error)) << error;
    EXPECT_TRUE(std::filesystem::exists(options.logPath + ".10.0.0.2"));
    // The extension stays the file's last part.
    UnattendedOptions named = options;
    named.logPath = "C:\\logs.d\\orb.log";
    EXPECT_EQ(adapterLogPath(named, "10.0.0.2"), "C:\\logs.d\\orb.10.0.0.2.log");
    named.logPath = "logs.d/trace";
    EXPECT_EQ(adapterLogPath(named, "10.0.0.2"), "logs.d/trace.10.0.0.2");
    std::ifstream in(kept);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "an earlier run") << "the check never truncates";

    options.addresses = {"10.0.0.1"};
    EXPECT_EQ(adapterLogPath(options, "10.0.0.1"), options.logPath);
    options.logPath = scratchFolder() + "/no-such-folder/trace";
    EXPECT_FALSE(checkLogFiles(options, &error));
    EXPECT_EQ(error,
              "--log " + options.logPath + ": cannot append to " + options.logPath + ": No such file or directory");
}

TEST(UnattendedLog, AnUnwritableLogEndsWithAUsageErrorBeforeAnyRunStarts) {
    UnattendedOptions options;
    options.addresses = {"10.0.0.1", "10.0.0.2"};
    options.logPath = scratchFolder() + "/no-such-folder/trace";
    int launched = 0;
    RunLauncher launch = [&](const std::vector<std::string>&, const std::vector<std::string>&, SpawnedProcess*) {
        ++launched;
        return false;
    };
    testing::internal::CaptureStderr();
    int status = runAdapters(options, launch);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 2);
    EXPECT_EQ(launched, 0);
    EXPECT_NE(said.find("orb-upgrade: --log " + options.logPath + ": cannot append to " + options.logPath +
                        ".10.0.0.1: No such file or directory"),
              std::string::npos)
        << said;
}

// A run that says how it ended twice: the runner shows the second word as a
// fault, never as a result, and trusts neither when they disagree. Every line
// of the JSON stream is an event, whatever --progress asks for.
struct SecondResult {
    const char* first;
    const char* second;
    const char* counted;  // the adapter's result in the summary
    int status;
    UnattendedOptions::Progress progress = UnattendedOptions::Progress::Auto;
};

class UnattendedSecondResult : public testing::TestWithParam<SecondResult> {};

TEST_P(UnattendedSecondResult, IsAFaultInTheOutput) {
    const SecondResult& param = GetParam();
    UnattendedOptions options;
    options.addresses = {"10.0.0.1", "10.0.0.2"};
    options.json = true;
    options.progress = param.progress;
    auto resultLine = [](const char* address, const char* name) {
        return formatJson(Event(address, "result").add("result", name).add("text", std::string("result: ") + name));
    };
    RunLauncher launch = [&](const std::vector<std::string>& args, const std::vector<std::string>&,
                             SpawnedProcess* process) {
        auto named = std::find(args.begin(), args.end(), "--address");
        std::string address = named != args.end() && named + 1 != args.end() ? *(named + 1) : "";
        std::string lines = address == "10.0.0.1"
                                ? resultLine("10.0.0.1", param.first) + "\n" + resultLine("10.0.0.1", param.second)
                                : resultLine("10.0.0.2", "success");
        return spawnProcess("/bin/sh", "sh", {"-c", "printf '%s\\n' \"$0\"", lines}, {}, process);
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = runAdapters(options, launch);
    std::string said = testing::internal::GetCapturedStderr();
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, param.status) << output;
    EXPECT_EQ(said.find('\033'), std::string::npos) << "no status line where no terminal shows it: " << said;
    std::vector<Event> results, faults, summaries;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::optional<Event> event = parseEventLine(line);
        ASSERT_TRUE(event.has_value()) << line;
        if (event->value("adapter") != "10.0.0.1") continue;
        std::string name = event->value("event");
        (name == "result" ? results : name == "fault" ? faults : summaries).push_back(*event);
    }
    ASSERT_EQ(results.size(), 1u) << output;
    EXPECT_EQ(results[0].value("result"), param.first);
    ASSERT_EQ(faults.size(), 1u) << output;
    EXPECT_EQ(faults[0].value("result"), param.second);
    EXPECT_NE(faults[0].value("text").find("second result"), std::string::npos) << faults[0].value("text");
    ASSERT_EQ(summaries.size(), 1u) << output;
    EXPECT_EQ(summaries[0].value("result"), param.counted);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, UnattendedSecondResult,
    testing::Values(SecondResult{"success", "success", "success", 0}, SecondResult{"success", "cancelled", "failed", 1},
                    SecondResult{"cancelled", "cancelled", "cancelled", 1},
                    SecondResult{"success", "success", "success", 0, UnattendedOptions::Progress::Always}));

// A batch larger than the open files it may hold: with a hard limit of 1,024
// a thousand runs at once would need two thousand pipe ends. The batch takes
// fewer at once and says so; a start that still finds no file free (the
// process holds `heldFiles` more than the batch counts on) waits for a run to
// end. Every run is forked as the program forks it, and reports at once.
struct OpenFileLimitCase {
    const char* name;
    int heldFiles;
};

void PrintTo(const OpenFileLimitCase& c, std::ostream* out) { *out << c.name; }

class UnattendedOpenFileLimit : public testing::TestWithParam<OpenFileLimitCase> {};

void reportSuccessAndEnd(const std::vector<std::string>& args) {
    std::string address = *(std::find(args.begin(), args.end(), "--address") + 1);
    std::string line = formatJson(resultEvent(address, "success", Outcome::Success).add("text", "result: success"));
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    ::_exit(0);
}

TEST_P(UnattendedOpenFileLimit, AThousandAtOnceUnderAHardLimitOf1024AllRun) {
    const int held = GetParam().heldFiles;
    test::ChildResult batch = test::runInChild(
        [held] {
            rlimit limit{1024, 1024};
            if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(99);
            for (int i = 0; i < held; ++i) ::open("/dev/null", O_RDONLY);
            UnattendedOptions options;
            options.json = true;
            options.parallel = 1000;
            for (uint32_t i = 0; i < 1000; ++i) options.addresses.push_back(formatIPv4(0x0a000001 + i));
            endProcess(runAdapters(options, [](const std::vector<std::string>& args,
                                               const std::vector<std::string>& environment, SpawnedProcess* process) {
                return spawnSelf(args, environment, reportSuccessAndEnd, process);
            }));
        },
        120000);
    std::string tail = batch.output.substr(batch.output.size() > 4000 ? batch.output.size() - 4000 : 0);
    EXPECT_EQ(batch.exitCode, 0) << tail;
    EXPECT_EQ(test::countLines(batch.output, "\"event\":\"totals\",\"adapters\":1000,\"success\":1000,"), 1) << tail;
    EXPECT_EQ(test::countLines(batch.output,
                               "orb-upgrade: the limit on open files (1024, the most it can be raised "
                               "to) lets 480 runs go at once: --parallel 1000 is taken as 480"),
              1)
        << batch.output.substr(0, 2000);
    EXPECT_EQ(test::countLines(batch.output, "the system is short of processes or open files: the next runs start"),
              held > 0 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Runner, UnattendedOpenFileLimit,
                         testing::Values(OpenFileLimitCase{"FewerAtOnce", 0},
                                         OpenFileLimitCase{"AStartWithoutAFreeFileWaitsForARunToEnd", 400}),
                         [](const testing::TestParamInfo<OpenFileLimitCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(UnattendedOptions, TheAdapterRunGetsNoPasswordOnItsCommandLine) {
    UnattendedOptions options;
    std::string error;
    std::string passwordFile = writeScratchFile("secret", "secret\n");
    ASSERT_EQ(parseUnattendedOptions({"--unattended", "--accept-warning", "--address", "1.2.3.4", "--pc-address",
                                      "1.2.3.5", "--user", "root", "--password-file", passwordFile, "--request-timeout",
                                      "30"},
                                     &options, &error),
              ParseResult::Run);
    std::vector<std::string> args = adapterRunArguments(options, "1.2.3.4");
    std::vector<std::string> expected = {"--unattended",
                                         "--adapter-run",
                                         "--accept-warning",
                                         "--address",
                                         "1.2.3.4",
                                         "--pc-address",
                                         "1.2.3.5",
                                         "--user",
                                         "root",
                                         "--request-timeout",
                                         "30",
                                         "--http-timeout",
                                         "60",
                                         "--run-timeout",
                                         "1800",
                                         "--port-wait",
                                         "300"};
    EXPECT_EQ(args, expected);
    UnattendedOptions child;
    EXPECT_EQ(parseUnattendedOptions(args, &child, &error), ParseResult::Run) << error;
    EXPECT_TRUE(child.adapterRun);
    EXPECT_EQ(child.requestTimeoutSeconds, 30);
    EXPECT_EQ(child.httpTimeoutSeconds, 60);
    EXPECT_EQ(child.runTimeoutSeconds, 1800);
    EXPECT_EQ(child.portWaitSeconds, 300);
}

struct OutcomeCase {
    const char* name;
    Observation seen;
    Outcome outcome;
    const char* resultName;
};

void PrintTo(const OutcomeCase& c, std::ostream* out) { *out << c.name; }

class RunOutcomes : public testing::TestWithParam<OutcomeCase> {};

TEST_P(RunOutcomes, WhatTheRunReportedGivesTheClass) {
    const OutcomeCase& c = GetParam();
    EXPECT_EQ(classifyRun(c.seen), c.outcome);
    EXPECT_EQ(outcomeName(c.outcome, c.seen), c.resultName);
    EXPECT_EQ(outcomeFromName(c.resultName), c.outcome);
}

Observation seenWith(RunOutcome ended, bool uploaded = false) {
    Observation seen;
    seen.ended = ended;
    seen.uploaded = uploaded;
    return seen;
}

Observation successWith(const char* reported) {
    Observation seen = seenWith(RunOutcome::Success, true);
    seen.reportedVersion = reported;
    seen.imageVersion = "2.0.10(a)";
    return seen;
}

Observation stoppedFor(StopReason reason, RunOutcome ended, bool uploaded = false) {
    Observation seen = seenWith(ended, uploaded);
    seen.stopReason = reason;
    return seen;
}

INSTANTIATE_TEST_SUITE_P(
    Classes, RunOutcomes,
    testing::Values(
        OutcomeCase{"Success", successWith("2.0.10(a)"), Outcome::Success, "success"},
        OutcomeCase{"OtherVersion", seenWith(RunOutcome::WrongVersionAfterUpload, true), Outcome::NoAnswerAfterUpload,
                    "wrong-version"},
        OutcomeCase{"NoResponse", seenWith(RunOutcome::NoResponse), Outcome::NotReachable, "not-reachable"},
        OutcomeCase{"NoConnection", seenWith(RunOutcome::CannotConnect), Outcome::NotReachable, "not-reachable"},
        OutcomeCase{"NoConnectionAfterUpload", seenWith(RunOutcome::CannotConnect, true), Outcome::NoAnswerAfterUpload,
                    "no-answer-after-upload"},
        OutcomeCase{"NotResponding", seenWith(RunOutcome::NotRespondingAfterUpload, true), Outcome::NoAnswerAfterUpload,
                    "no-answer-after-upload"},
        OutcomeCase{"Incomplete", seenWith(RunOutcome::UploadIncomplete, true), Outcome::UploadIncomplete,
                    "upload-incomplete"},
        OutcomeCase{"Refused",
                    [] {
                        Observation seen = seenWith(RunOutcome::UserAbort);
                        seen.authRefused = true;
                        return seen;
                    }(),
                    Outcome::AuthRefused, "authentication-refused"},
        OutcomeCase{"Cancelled", stoppedFor(StopReason::Signal, RunOutcome::UserAbort, true), Outcome::Cancelled,
                    "cancelled"},
        OutcomeCase{"CancelledInTheWarning", stoppedFor(StopReason::Signal, RunOutcome::Declined), Outcome::Cancelled,
                    "cancelled"},
        OutcomeCase{"CancelledAsTheBatchIsGone", stoppedFor(StopReason::BatchGone, RunOutcome::UserAbort, true),
                    Outcome::Cancelled, "cancelled"},
        OutcomeCase{"NoRequest", stoppedFor(StopReason::NoRequest, RunOutcome::UserAbort), Outcome::NoRequest,
                    "no-request"},
        OutcomeCase{"RunTimeout", stoppedFor(StopReason::RunTimeout, RunOutcome::UserAbort), Outcome::RunTimeout,
                    "run-timeout"},
        OutcomeCase{"RunTimeoutAfterTheUpload", stoppedFor(StopReason::RunTimeout, RunOutcome::UserAbort, true),
                    Outcome::RunTimeout, "run-timeout"},
        OutcomeCase{"AnswerNeverFinished", stoppedFor(StopReason::HttpTimeout, RunOutcome::UserAbort),
                    Outcome::NotReachable, "not-reachable"},
        OutcomeCase{"AnswerNeverFinishedAfterUpload", stoppedFor(StopReason::HttpTimeout, RunOutcome::UserAbort, true),
                    Outcome::NoAnswerAfterUpload, "no-answer-after-upload"},
        OutcomeCase{"PcAddressNotOffered", stoppedFor(StopReason::UsageError, RunOutcome::Declined),
                    Outcome::UsageError, "usage-error"},
        OutcomeCase{"AlreadyCurrent", stoppedFor(StopReason::Current, RunOutcome::UserAbort), Outcome::Success,
                    "current"},
        OutcomeCase{"CheckedAndCurrent",
                    [] {
                        Observation seen = stoppedFor(StopReason::Checked, RunOutcome::UserAbort);
                        seen.runsImageVersion = true;
                        return seen;
                    }(),
                    Outcome::Success, "current"},
        OutcomeCase{"CheckedCurrentButForced",
                    [] {
                        Observation seen = stoppedFor(StopReason::Checked, RunOutcome::UserAbort);
                        seen.runsImageVersion = true;
                        seen.forced = true;
                        return seen;
                    }(),
                    Outcome::NeedsUpgrade, "needs-upgrade"},
        OutcomeCase{"CheckedAndBehind", stoppedFor(StopReason::Checked, RunOutcome::UserAbort), Outcome::NeedsUpgrade,
                    "needs-upgrade"},
        OutcomeCase{"Other", seenWith(RunOutcome::HttpBindFailed), Outcome::Failed, "failed"},
        OutcomeCase{"NoFreePort",
                    [] {
                        Observation seen = seenWith(RunOutcome::ListenerBindFailed);
                        seen.noFreePort = true;
                        return seen;
                    }(),
                    Outcome::Failed, "no-free-port"},
        OutcomeCase{"EndedWithoutSayingHow", Observation{}, Outcome::Failed, "failed"}),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

TEST(UnattendedExitStatus, OneAdapterGivesItsClassSeveralGiveOne) {
    EXPECT_EQ(exitStatusFor({Outcome::AuthRefused}), 4);
    EXPECT_EQ(exitStatusFor({Outcome::Success}), 0);
    EXPECT_EQ(exitStatusFor({Outcome::Success, Outcome::Success}), 0);
    EXPECT_EQ(exitStatusFor({Outcome::NeedsUpgrade}), 10);
    EXPECT_EQ(exitStatusFor({Outcome::RunTimeout}), 11);
    EXPECT_EQ(exitStatusFor({Outcome::Success, Outcome::NeedsUpgrade}), 10) << "some would be upgraded";
    EXPECT_EQ(exitStatusFor({Outcome::NeedsUpgrade, Outcome::NotReachable}), 1) << "a failure wins";
    EXPECT_EQ(exitStatusFor({Outcome::Success, Outcome::Cancelled}), 1);
}

// The PC address of each adapter's run: --pc-address's, else the one the
// system sends to the adapter from when the dialog offers it, else the first.
TEST(UnattendedPcAddress, TheOptionThenTheRouteThenTheFirst) {
    const std::vector<uint32_t> offered = {0x0a000001u, 0xc0a80105u, 0x7f000001u};
    auto chosen = [&](const std::string& option, std::optional<uint32_t> route) {
        PcAddressChoice choice = choosePcAddress(offered, option, route);
        return std::make_pair(choice.index, std::string(choice.how));
    };
    EXPECT_EQ(chosen("", 0xc0a80105u), std::make_pair(1, std::string("route")));
    EXPECT_EQ(chosen("", 0xac100001u), std::make_pair(0, std::string("first")));
    EXPECT_EQ(chosen("", std::nullopt), std::make_pair(0, std::string("first")));
    EXPECT_EQ(chosen("127.0.0.1", 0xc0a80105u), std::make_pair(2, std::string("--pc-address")));
    EXPECT_EQ(chosen("10.9.9.9", 0xc0a80105u).first, -1);
    EXPECT_EQ(choosePcAddress({}, "", 0x0a000001u).index, -1);
    // The system's own answer: loopback is sent to from loopback.
    uint32_t source = 0;
    ASSERT_TRUE(findRouteSource(0x7f000002u, &source));
    EXPECT_EQ(source >> 24, 127u);
}

}  // namespace
}  // namespace orb::unattended
