// The Linux program's arguments, as a user meets them: the built orb-upgrade is
// run with each command line, and its exit code and what it wrote on standard
// output and standard error are checked apart.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace orb::test {
namespace {

enum class Stream { Out, Err };

// Runs orb-upgrade with `arguments`, standard input from /dev/null; keeps only
// the stream `kept` (the other goes to /dev/null).
ChildResult runProgram(const std::vector<std::string>& arguments, Stream kept) {
    return runInChild([&] {
        int nothing = open("/dev/null", O_RDWR);
        dup2(nothing, STDIN_FILENO);
        dup2(nothing, kept == Stream::Out ? STDERR_FILENO : STDOUT_FILENO);
        std::vector<std::string> text = {ORB_UPGRADE_EXECUTABLE};
        text.insert(text.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : text) argv.push_back(word.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    });
}

// What --version must say, read from the image file itself: its size, and its
// version text at offset 92 up to the first NUL; then the licence.
std::string expectedVersionText() {
    std::ifstream in(ORB_EMBEDDED_IMAGE_PATH, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.size() < 128) return "(unreadable image " ORB_EMBEDDED_IMAGE_PATH ")";
    std::string version = image.substr(92, image.find('\0', 92) - 92);
    return "orb-upgrade " ORB_PROGRAM_VERSION "\nfirmware " + version + ", " + std::to_string(image.size()) +
           " bytes\nCopyright (C) 2026 The ORB firmware upgrade utility authors\n"
           "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exitCode;
    std::vector<std::string> outHas;  // texts on standard output; none: it stays empty
    std::vector<std::string> errHas;  // texts on standard error; none: it stays empty
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ProgramArguments : public ::testing::TestWithParam<Case> {};

TEST_P(ProgramArguments, AnswerOnTheRightStreamWithTheRightExitCode) {
    const Case& c = GetParam();
    for (Stream stream : {Stream::Out, Stream::Err}) {
        ChildResult run = runProgram(c.arguments, stream);
        ASSERT_TRUE(run.exited) << "timed out or killed; output:\n" << run.output;
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        const std::vector<std::string>& wanted = stream == Stream::Out ? c.outHas : c.errHas;
        const char* which = stream == Stream::Out ? "standard output" : "standard error";
        if (wanted.empty()) {
            EXPECT_EQ(run.output, "") << which;
        }
        for (const std::string& text : wanted)
            EXPECT_NE(run.output.find(text), std::string::npos) << which << " lacks " << text << ":\n" << run.output;
        if (stream == Stream::Err && !wanted.empty()) {
            EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "not one line:\n" << run.output;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Linux, ProgramArguments,
    ::testing::Values(
        Case{"Help",
             {"--help"},
             0,
             {"Usage: orb-upgrade [--log FILE] | --help | --version\n", "--version", "--log FILE", "--unattended",
              "DISPLAY", "terminal", "man orb-upgrade"},
             {}},
        Case{"Version", {"--version"}, 0, {"orb-upgrade " ORB_PROGRAM_VERSION "\n", "\nfirmware "}, {}},
        Case{"HelpBeforeAnUnknownOption", {"--help", "--bogus"}, 0, {"Usage: orb-upgrade"}, {}},
        Case{"UnknownOption", {"--bogus"}, 2, {}, {"orb-upgrade: unknown option '--bogus'", "--help"}},
        Case{"OptionWithAValue", {"--version=2"}, 2, {}, {"'--version=2'", "--help"}},
        Case{"LogWithoutAFile", {"--log"}, 2, {}, {"orb-upgrade: --log needs a file name", "--help"}},
        Case{"PlainArgument", {"127.0.0.1"}, 2, {}, {"orb-upgrade: unexpected argument '127.0.0.1'", "--help"}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ProgramVersion, IsTheProgramsAndTheEmbeddedImagesWhole) {
    ChildResult run = runProgram({"--version"}, Stream::Out);
    EXPECT_EQ(run.output, expectedVersionText());
}

// --help is read in terminals of 80 columns: no line may wrap there.
TEST(ProgramHelp, FitsEightyColumns) {
    ChildResult run = runProgram({"--help"}, Stream::Out);
    ASSERT_EQ(run.exitCode, 0);
    size_t start = 0;
    int lines = 0;
    while (start < run.output.size()) {
        size_t end = run.output.find('\n', start);
        if (end == std::string::npos) end = run.output.size();
        EXPECT_LE(end - start, 80u) << run.output.substr(start, end - start);
        start = end + 1;
        ++lines;
    }
    EXPECT_GT(lines, 40);  // the whole text, the unattended options with it
}

}  // namespace
}  // namespace orb::test
