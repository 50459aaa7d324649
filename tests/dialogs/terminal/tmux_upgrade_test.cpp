// The real orb-upgrade in a real terminal (tmux, 80 x 24), typed at as a person
// would, against orb-sim on 127.0.6.x (started as every whole run starts it,
// tests/support/whole_run.h): a whole upgrade with the adapter's
// password and a diagnostics log (--log), and Ctrl-C in the waiting window
// after its hint has come. They use the real clock: the upgrade takes about a
// minute (the restart wait is 49,984 ms), the hint 20 s; and a whole upgrade
// while another host asks for the image. A last test,
// without root or simulator, ends the program in every way it can end and
// checks that the terminal's mode is given back each time.
//
// The programs are the build's; ORB_UPGRADE and ORB_SIM name others (the
// installed ones, for the package check in scripts/check-package).
//
// orb-upgrade offers the PC's addresses; the test picks 127.0.0.1 from the
// list, from which the simulated adapter on 127.0.6.x is reachable.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "upgrade/error_box.h"
#include "tests/dialogs/terminal/tmux_session.h"
#include "tests/support/loopback.h"
#include "tests/support/md5_hex.h"
#include "tests/support/sim_process.h"
#include "tests/support/whole_run.h"

namespace orb::test {
namespace {

constexpr int kScreenMs = 10000;

bool has(const std::string& screen, const std::string& needle) { return screen.find(needle) != std::string::npos; }

// The value of a Digest parameter in a logged Authorization header, quoted or not.
std::string param(const std::string& header, const std::string& name) {
    size_t at = header.find(name + "=");
    while (at != std::string::npos && at > 0 && header[at - 1] != ' ' && header[at - 1] != ',')
        at = header.find(name + "=", at + 1);
    if (at == std::string::npos) return std::string();
    size_t start = at + name.size() + 1;
    if (header[start] == '"') return header.substr(start + 1, header.find('"', start + 1) - start - 1);
    return header.substr(start, header.find_first_of(", ", start) - start);
}

// The line of the screen that contains `needle`, or "".
// The haystack before the needle, as std::search takes them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::string lineWith(const std::string& screen, const std::string& needle) {
    std::istringstream lines(screen);
    std::string line;
    while (std::getline(lines, line))
        if (has(line, needle)) return line;
    return std::string();
}

std::string upgradeProgram() {
    const char* fromEnvironment = std::getenv("ORB_UPGRADE");
    return fromEnvironment != nullptr ? fromEnvironment : ORB_UPGRADE_EXECUTABLE;
}

// Runs orb-upgrade from the shell of the terminal; after it the shell prints
// its exit code as EXIT=N, and MODE-RESTORED when the terminal's mode (stty)
// is what it was before.
void runInTerminal(TmuxSession& term, const std::string& environment = "", const std::string& arguments = "") {
    term.type("S=$(stty -g); " + environment + upgradeProgram() + arguments +
              "; echo EXIT=$?; [ \"$(stty -g)\" = \"$S\" ] && echo MODE-RESTORED");
    term.press({"Enter"});
}

// The pid of the program that the terminal's shell runs now, 0 if none: the
// process whose parent is the shell (from /proc/PID/stat).
int childOfShell(TmuxSession& term) {
    int shell = std::atoi(term.panePid().c_str());
    if (shell <= 0) return 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    int child = 0;
    while (dirent* entry = readdir(proc)) {
        int pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        size_t close = text.rfind(')');  // the name may hold spaces: the fields follow its ')'
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == shell) child = pid;
    }
    closedir(proc);
    return child;
}

void show(const char* what, const std::string& screen) {
    std::printf("---- %s (80 x 24) ----\n%s---- end ----\n", what, screen.c_str());
}

class TerminalUpgrade : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
        if (geteuid() != 0) GTEST_SKIP() << "orb-upgrade binds TFTP port 69 and orb-sim port 80: run as root";
    }

    // Starts orb-upgrade in the terminal and walks through the warning and the
    // address dialog: address typed as `typed`, PC address 127.0.0.1.
    // The arguments are most often left to their default.
    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
    void startAndEnterAddress(const std::string& typed, const std::string& arguments = "") {
        ASSERT_TRUE(term.start(80, 24));
        runInTerminal(term, "", arguments);

        // Warning: Cancel is the default; Tab moves to Continue.
        ASSERT_TRUE(term.waitForText("[ Continue ]  < Cancel >", kScreenMs)) << term.lastScreen();
        EXPECT_TRUE(has(term.lastScreen(), "Firmware Upgrade ==")) << term.lastScreen();
        EXPECT_TRUE(has(term.lastScreen(), "WARNING: Forcing a firmware upgrade on your ORB")) << term.lastScreen();
        term.press({"Tab"});
        ASSERT_TRUE(term.waitForText("< Continue >  [ Cancel ]", kScreenMs)) << term.lastScreen();
        term.press({"Enter"});

        // Address: typed into the address field, then the PC address.
        ASSERT_TRUE(term.waitForText("IP address: [", kScreenMs)) << term.lastScreen();
        EXPECT_TRUE(has(term.lastScreen(), "Version 2.0.10(a)")) << term.lastScreen();
        EXPECT_TRUE(has(term.lastScreen(), "Please enter IP address of your ORB:")) << term.lastScreen();
        EXPECT_TRUE(has(term.lastScreen(), "Your IP Address: (*) ")) << term.lastScreen();
        term.type(typed);
        ASSERT_TRUE(term.waitForText("IP address: [" + typed + " ", kScreenMs)) << term.lastScreen();
        term.press({"Tab"});
        ASSERT_TRUE(term.waitForText("> Your IP Address:", kScreenMs)) << term.lastScreen();
        ASSERT_TRUE(has(term.lastScreen(), "127.0.0.1")) << "the PC address list lacks 127.0.0.1\n"
                                                         << term.lastScreen();
        for (int i = 0; i < 8 && !has(term.screen(), "(*) 127.0.0.1"); ++i) {
            term.press({"Right"});
            term.waitForText("(*) 127.0.0.1", 500);
        }
        ASSERT_TRUE(has(term.screen(), "(*) 127.0.0.1")) << term.lastScreen();
        term.press({"Enter"});
    }

    TmuxSession term;
    SimProcess sim;
};

TEST_F(TerminalUpgrade, AWholeUpgradeTypedInATerminal) {
    // Typed in UTF-8: é is two bytes, one character, and the adapter checks the bytes.
    const std::string password = "Kiwi7-\xc3\xa9-secret";
    const std::string stars(14, '*');
    std::printf("programs: %s and %s\n", upgradeProgram().c_str(), SimProcess::executable().c_str());
    ASSERT_TRUE(sim.start(wholeRunSimOptions(loopbackAddress(6, 1), {"--user=admin", "--password=" + password})))
        << sim.diagnostics();
    const std::string log = "/tmp/orb-tmux-" + std::to_string(getpid()) + ".log";
    std::remove(log.c_str());
    startAndEnterAddress("127*0*6*1", " --log " + log);

    // The adapter asks for its password: the credentials dialog.
    ASSERT_TRUE(term.waitForText("Password: [", kScreenMs)) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "      User: [admin ")) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "information.")) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "< OK >  [ Cancel ]")) << term.lastScreen();
    term.type(password);
    ASSERT_TRUE(term.waitForText("> Password: [" + stars + " ", kScreenMs)) << term.lastScreen();
    EXPECT_FALSE(has(term.lastScreen(), password)) << term.lastScreen();
    term.press({"Enter"});

    // The confirmation with what the adapter reported.
    ASSERT_TRUE(term.waitForText("< Upgrade >  [ Cancel ]", kScreenMs)) << term.lastScreen();
    std::string confirmation = term.lastScreen();
    EXPECT_TRUE(has(confirmation, "== Confirm Upgrade to Ver. 2.0.10(a) ==")) << confirmation;
    EXPECT_TRUE(has(confirmation, "Serial Number: ORB41000001")) << confirmation;
    EXPECT_TRUE(has(confirmation, "Software Version: 1.0.2")) << confirmation;
    EXPECT_TRUE(has(confirmation, "      User: admin\n  Password: " + stars + "\n")) << confirmation;
    show("the confirmation dialog", confirmation);
    term.press({"Enter"});

    // The upload and the restart wait: one progress line with the hint.
    ASSERT_TRUE(term.waitForScreen(
        [](const std::string& s) {
            std::string line = lineWith(s, "Firmware to ORB@127*0*6*1 [#");
            return has(line, "Esc/^C=Cancel");
        },
        30000))
        << term.lastScreen();
    auto image = sim.waitFor("image-received", 30000);
    ASSERT_TRUE(image) << sim.diagnostics();
    EXPECT_EQ(image->value("check"), "ok");
    show("the restart wait", term.lastScreen());

    // About 50 seconds later: the success dialog with the new version.
    ASSERT_TRUE(term.waitForText("< OK >", 120000)) << term.lastScreen();
    std::string success = term.lastScreen();
    EXPECT_TRUE(has(success, "== ORB@127*0*6*1 Upgrade Successful! ==")) << success;
    EXPECT_TRUE(has(success, "  2.0.10(a)\n")) << success;
    EXPECT_TRUE(has(success, "Enter: OK | Esc: close")) << success;
    show("the success dialog", success);
    // The scrollback keeps each window's last state, however briefly it was shown.
    std::string scrollback = term.history();
    EXPECT_TRUE(has(scrollback, "Uploading Firmware to ORB@127*0*6*1 728196/728196 Bytes")) << scrollback;
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();

    // The log holds the HTTP exchange, the transfer and the dialogs, but
    // neither the password nor the Digest response that the adapter checked.
    std::ifstream file(log);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::remove(log.c_str());
    for (const char* expected :
         {"GET /admin/advanced HTTP/1.1", "HTTP/1.1 401 ", "Authorization: Digest username=\"admin\"",
          "response=\"***\"", "HTTP/1.1 200 ", "Send block 1 (", "All blocks ack'd",
          "dialog shown: 104 \"Enter Password Information\"",
          "button pressed: dialog 104 \"Enter Password Information\", button 1 \"OK\" (Enter)",
          "dialog shown: 114 \"Waiting For Firmware Upload Request From ORB\"", "Upgrade Successful!"})
        EXPECT_TRUE(has(text, expected)) << expected << "\n" << text;
    EXPECT_FALSE(has(text, password.substr(0, 6))) << text;  // nor as the log writes é: \xc3\xa9
    // Each response the utility sent, computed again from the logged header.
    int digests = 0;
    for (size_t at = text.find("Authorization: Digest "); at != std::string::npos;
         at = text.find("Authorization: Digest ", at + 1)) {
        const std::string header = text.substr(at, text.find('\n', at) - at);
        const std::string ha1 = md5Hex("admin:" + param(header, "realm") + ":" + password);
        const std::string ha2 = md5Hex("GET:" + param(header, "uri"));
        const std::string digest = md5Hex(ha1 + ":" + param(header, "nonce") + ":" + param(header, "nc") + ":" +
                                          param(header, "cnonce") + ":" + param(header, "qop") + ":" + ha2);
        EXPECT_FALSE(has(text, digest)) << digest << "\n" << text;
        ++digests;
    }
    EXPECT_GE(digests, 2) << "the status query and the trigger carry a response\n" << text;
}

TEST_F(TerminalUpgrade, CtrlCInTheWaitingWindowIsAUserAbort) {
    // The adapter takes the trigger and never fetches: the waiting window stays.
    ASSERT_TRUE(
        sim.start(wholeRunSimOptions(loopbackAddress(6, 2), {"--no-answer=trigger", "--fetch-without-answer=no"})))
        << sim.diagnostics();
    startAndEnterAddress("127.0.6.2");
    ASSERT_TRUE(term.waitForText("< Upgrade >  [ Cancel ]", kScreenMs)) << term.lastScreen();
    term.press({"Enter"});

    // The waiting window and the trigger's connecting window, each on a line;
    // Tab chooses which one Esc and Ctrl-C cancel.
    const std::string waiting = "Waiting For Firmware Upload Request From ORB";
    ASSERT_TRUE(term.waitForText(waiting + " [", kScreenMs)) << term.lastScreen();
    for (int i = 0; i < 4 && !has(lineWith(term.screen(), waiting + " ["), "Esc/^C=Cancel"); ++i) {
        term.press({"Tab"});
        term.waitForScreen([&](const std::string& s) { return has(lineWith(s, waiting + " ["), "Esc/^C=Cancel"); },
                           500);
    }
    ASSERT_TRUE(has(lineWith(term.screen(), waiting + " ["), "Esc/^C=Cancel")) << term.lastScreen();

    // 20 s without a read request: the hint, on the lines under the waiting
    // window's progress line; the wait goes on.
    ASSERT_TRUE(term.waitForScreen(
        [&](const std::string& s) {
            const std::string line = lineWith(s, waiting + " [");
            size_t next = line.empty() ? std::string::npos : s.find(line + "\n");
            if (next == std::string::npos) return false;
            next = s.find_first_not_of(' ', next + line.size() + 1);
            return next != std::string::npos && s.compare(next, 32, "No request from the adapter yet:") == 0;
        },
        40000))
        << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "may block UDP")) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "the chosen PC address 127.0.0.1.")) << term.lastScreen();
    show("the waiting window", term.lastScreen());
    term.press({"C-c"});

    ASSERT_TRUE(term.waitForText("Upgrade Failed: User Abort", kScreenMs)) << term.lastScreen();
    ASSERT_TRUE(term.waitForText("> < OK >", kScreenMs)) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), std::string("== ") + kErrorBoxCaption + " ==")) << term.lastScreen();
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();
    EXPECT_TRUE(sim.eventsNamed("tftp-rrq").empty()) << sim.diagnostics();
}

// The screen with every run of blanks and line ends made one blank: a text
// that the view wraps reads whole again.
std::string joined(const std::string& screen) {
    std::string out;
    for (char c : screen) {
        bool blank = c == ' ' || c == '\n';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    return out;
}

// Another host (orb-rrq-thief on 127.0.6.9) asks for every name the run could
// have drawn while the adapter waits 30 s before it fetches; a second orb-sim
// there reports the embedded version. The hint names that host, the adapter
// gets the image, the other host nothing, and the run succeeds.
TEST_F(TerminalUpgrade, AnotherHostAskingForTheImageGetsNothingAndIsNamedInTheHint) {
    ASSERT_TRUE(sim.start(wholeRunSimOptions(loopbackAddress(6, 3), {"--fetch-delay-ms=30000"}))) << sim.diagnostics();
    SimProcess fake, thief;
    ASSERT_TRUE(fake.start(wholeRunSimOptions(loopbackAddress(6, 9), {"--software-version=2.0.10(a)"})))
        << fake.diagnostics();
    startAndEnterAddress("127.0.6.3");
    ASSERT_TRUE(term.waitForText("< Upgrade >  [ Cancel ]", kScreenMs)) << term.lastScreen();
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("Waiting For Firmware Upload Request From ORB [", kScreenMs)) << term.lastScreen();

    ASSERT_TRUE(thief.startProgram(SimProcess::rrqThiefExecutable(),
                                   {"--from", "127.0.6.9", "--to", "127.0.0.1", "--ports", "69-72"}))
        << thief.diagnostics();
    ASSERT_TRUE(term.waitForScreen(
        [](const std::string& s) { return has(joined(s), "(read requests from other hosts were ignored: 127.0.6.9)"); },
        40000))
        << term.lastScreen();
    EXPECT_TRUE(has(joined(term.lastScreen()), "No request from the adapter yet:")) << term.lastScreen();
    show("the waiting window's hint", term.lastScreen());
    auto swept = thief.waitFor("swept", 120000);
    ASSERT_TRUE(swept) << thief.diagnostics();
    EXPECT_EQ(swept->value("requests"), std::to_string(0x8000 * 4));

    auto image = sim.waitFor("image-received", 60000);
    ASSERT_TRUE(image) << sim.diagnostics();
    EXPECT_EQ(image->value("check"), "ok");
    EXPECT_EQ(image->value("sha256"), sha256Hex(embeddedImageBytes()));
    ASSERT_TRUE(term.waitForText("< OK >", 120000)) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "== ORB@127.0.6.3 Upgrade Successful! ==")) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "  2.0.10(a)\n")) << term.lastScreen();
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();

    thief.stop();
    auto summary = thief.waitFor("summary", 1000);
    ASSERT_TRUE(summary) << thief.diagnostics();
    EXPECT_EQ(summary->value("replies"), "0") << thief.diagnostics();
    EXPECT_EQ(summary->value("bytes"), "0");
    fake.poll(200);
    EXPECT_TRUE(fake.eventsNamed("http-request").empty()) << fake.diagnostics();
    EXPECT_TRUE(fake.eventsNamed("tftp-rrq").empty()) << fake.diagnostics();
}

// An adapter that takes the whole image but does not come back with the
// embedded image's version: after the restart wait, the error box says what
// it reports, and the program ends as after any failure.
struct AfterUpload {
    const char* name;
    unsigned host;
    const char* simOption;
    const char* box;
};

void PrintTo(const AfterUpload& c, std::ostream* out) { *out << c.name; }

class TerminalAfterUpload : public TerminalUpgrade, public testing::WithParamInterface<AfterUpload> {};

TEST_P(TerminalAfterUpload, TheBoxSaysWhatTheAdapterReports) {
    const AfterUpload& c = GetParam();
    const std::string adapter = formatAddress(loopbackAddress(6, c.host));
    ASSERT_TRUE(sim.start(wholeRunSimOptions(loopbackAddress(6, c.host), {c.simOption, "--restart-ms=1000"})))
        << sim.diagnostics();
    startAndEnterAddress(adapter);
    ASSERT_TRUE(term.waitForText("< Upgrade >  [ Cancel ]", kScreenMs)) << term.lastScreen();
    term.press({"Enter"});
    auto image = sim.waitFor("image-received", 30000);
    ASSERT_TRUE(image) << sim.diagnostics();
    EXPECT_EQ(image->value("check"), "ok");

    ASSERT_TRUE(term.waitForText(std::string("== ") + kErrorBoxCaption + " ==", 120000)) << term.lastScreen();
    ASSERT_TRUE(term.waitForText("> < OK >", kScreenMs)) << term.lastScreen();
    const std::string box = term.lastScreen();
    EXPECT_TRUE(has(joined(box), c.box)) << box;
    EXPECT_FALSE(has(box, "Upgrade Successful!")) << box;
    show("the error box", box);
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();
}

INSTANTIATE_TEST_SUITE_P(TerminalUpgrade, TerminalAfterUpload,
                         testing::Values(AfterUpload{"BackWithItsOldVersion", 4, "--version-after-restart=1.0.2",
                                                     "Upgrade Failed: ORB reports version 1.0.2 after the upload"},
                                         AfterUpload{"BackWithoutAVersion", 5, "--restart-without-version",
                                                     "Upgrade Failed: ORB reports no version after the upload"},
                                         AfterUpload{"NeverBack", 6, "--stay-down",
                                                     "Upgrade Failed: ORB not responding after firmware upload"}),
                         [](const testing::TestParamInfo<AfterUpload>& info) { return std::string(info.param.name); });

// Needs neither root nor a simulator: the ways out before any network use.
TEST(TerminalWaysOut, TheTerminalIsGivenBackHoweverTheProgramEnds) {
    if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
    TmuxSession term;
    ASSERT_TRUE(term.start(80, 24));

    // Escape in the warning dialog: the program returns 0 from its thread.
    runInTerminal(term);
    ASSERT_TRUE(term.waitForText("< Cancel >", kScreenMs)) << term.lastScreen();
    term.press({"Escape"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();

    // Ended by a signal (kill): the exit code says so, the mode is back.
    term.clearScreen();
    runInTerminal(term);
    ASSERT_TRUE(term.waitForText("< Cancel >", kScreenMs)) << term.lastScreen();
    int pid = childOfShell(term);
    ASSERT_GT(pid, 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(term.waitForText("EXIT=143\nMODE-RESTORED", kScreenMs)) << term.lastScreen();

    // Ctrl-C in a modal dialog is its Cancel, not the end of the process.
    term.clearScreen();
    runInTerminal(term);
    ASSERT_TRUE(term.waitForText("< Cancel >", kScreenMs)) << term.lastScreen();
    term.press({"C-c"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();

    // A terminal without cursor control (TERM=dumb): the line-by-line mode.
    term.clearScreen();
    runInTerminal(term, "TERM=dumb ");
    ASSERT_TRUE(term.waitForText("Buttons:  1) Continue  2) <Cancel>", kScreenMs)) << term.lastScreen();
    EXPECT_TRUE(has(term.lastScreen(), "orb-upgrade: line mode")) << term.lastScreen();
    term.type("esc");
    term.press({"Enter"});
    ASSERT_TRUE(term.waitForText("EXIT=0\nMODE-RESTORED", kScreenMs)) << term.lastScreen();
}

}  // namespace
}  // namespace orb::test
