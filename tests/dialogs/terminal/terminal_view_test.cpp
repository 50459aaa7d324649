// The terminal view on pipes instead of a terminal, with the real dialog
// procedures: keys in, results and model changes out; the coalescing of
// redraws; the line-by-line fallback; the end of the output.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "dialogs/terminal/line_mode.h"
#include "dialogs/terminal/screen_builder.h"
#include "dialogs/terminal/terminal_view_testing.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/run_state.h"
#include "tests/dialogs/terminal/terminal_test_support.h"
#include "tests/support/dialog_robot.h"

namespace orb::dialogs::terminal {
namespace {

using namespace std::chrono_literals;
using test::ModalRun;
using test::ViewHarness;

class TerminalViewTest : public ::testing::Test {
protected:
    void SetUp() override { test::prepareRunState(); }
};

TEST_F(TerminalViewTest, EnterPressesTheWarningDialogsDefaultCancel) {
    ViewHarness harness;
    ModalRun run(139, warningDialogProc);
    ASSERT_TRUE(harness.waitForText("< Cancel >")) << harness.text();
    harness.type("\r");
    EXPECT_EQ(run.result(), 0);
}

TEST_F(TerminalViewTest, TabThenEnterPressesContinue) {
    ViewHarness harness;
    ModalRun run(139, warningDialogProc);
    ASSERT_TRUE(harness.waitForText("< Cancel >")) << harness.text();
    harness.type("\t");
    ASSERT_TRUE(harness.waitForText("< Continue >")) << harness.text();
    harness.type("\r");
    EXPECT_EQ(run.result(), 1);
}

TEST_F(TerminalViewTest, ALoneEscapeIsCancel) {
    ViewHarness harness;
    ModalRun run(103, confirmDialogProc);
    ASSERT_TRUE(harness.waitForText("< Upgrade >")) << harness.text();
    harness.type("\x1b");
    EXPECT_EQ(run.result(), 0);
}

TEST_F(TerminalViewTest, CtrlCIsCancelInAModalDialog) {
    ViewHarness harness;
    ModalRun run(104, credentialsDialogProc);
    ASSERT_TRUE(harness.waitForText("Password: [")) << harness.text();
    harness.type("\x03");
    EXPECT_EQ(run.result(), 0);
}

TEST_F(TerminalViewTest, ArrowKeysAreNoEscape) {
    ViewHarness harness;
    ModalRun run(139, warningDialogProc);
    ASSERT_TRUE(harness.waitForText("< Cancel >")) << harness.text();
    harness.type("\x1b[D");  // Left: from Cancel to Continue
    ASSERT_TRUE(harness.waitForText("< Continue >")) << harness.text();
    EXPECT_EQ(run.result(200), -2) << "the dialog must still be open";
    harness.type("\r");
    EXPECT_EQ(run.result(), 1);
}

TEST_F(TerminalViewTest, TheAddressIsReadBackAsTyped) {
    ViewHarness harness;
    ModalRun run(101, addressDialogProc);
    ASSERT_TRUE(harness.waitForText("IP address: [")) << harness.text();
    // Letters are refused, as the address control refuses them.
    harness.type("10*1*0*12x3");
    harness.type("\t\x1b[C");  // to the PC address list, the second entry
    ASSERT_TRUE(harness.waitForText("(*) 192.168.0.3")) << harness.text();
    EXPECT_EQ(robot::controlText(run.window(), 1000), "10*1*0*123");
    harness.type("\r");
    ASSERT_EQ(run.result(), 1);
    EXPECT_STREQ(runState.deviceAddressText, "10*1*0*123");
    EXPECT_EQ(runState.deviceAddress, 0x0a01007bu);
    EXPECT_EQ(runState.pcAddress, 0xc0a80003u);
    // When it closed, the dialog's values stayed in the transcript.
    EXPECT_TRUE(harness.waitForText("IP address: 10*1*0*123\n  Your IP Address: 192.168.0.3")) << harness.text();
}

TEST_F(TerminalViewTest, BackspaceAndCtrlUEditTheField) {
    ViewHarness harness;
    ModalRun run(101, addressDialogProc);
    ASSERT_TRUE(harness.waitForText("IP address: [")) << harness.text();
    harness.type("10.1.0.99\x7f\x7f");
    ASSERT_TRUE(robot::waitUntil([&] { return robot::controlText(run.window(), 1000) == "10.1.0."; }));
    harness.type(
        "\x15"
        "10.1.0.5");
    ASSERT_TRUE(robot::waitUntil([&] { return robot::controlText(run.window(), 1000) == "10.1.0.5"; }));
    harness.type("\r");
    EXPECT_EQ(run.result(), 1);
}

TEST_F(TerminalViewTest, AnInvalidAddressShowsTheBoxAndEnterClosesIt) {
    ViewHarness harness;
    ModalRun run(101, addressDialogProc);
    ASSERT_TRUE(harness.waitForText("IP address: [")) << harness.text();
    harness.type("1.2.3\r");
    ASSERT_TRUE(harness.waitForText("== Error ==\n  Invalid IP Address")) << harness.text();
    ASSERT_TRUE(robot::waitUntil([] { return robot::openMessageBoxes().size() == 1; }));
    harness.type("\r");
    ASSERT_TRUE(robot::waitUntil([] { return robot::openMessageBoxes().empty(); }));
    EXPECT_EQ(run.result(100), -2) << "the address dialog stays open";
    harness.type(".4\r");
    EXPECT_EQ(run.result(), 1);
    EXPECT_EQ(runState.deviceAddress, 0x01020304u);
}

TEST_F(TerminalViewTest, ThePasswordIsNeverWrittenToTheTerminal) {
    ViewHarness harness;
    ModalRun run(104, credentialsDialogProc);
    ASSERT_TRUE(harness.waitForText("User: [admin")) << harness.text();
    // Backspace takes back a whole UTF-8 character.
    harness.type("p\xc3\xa9\x7f");
    ASSERT_TRUE(robot::waitUntil([&] { return robot::controlText(run.window(), 1005) == "p"; }))
        << robot::controlText(run.window(), 1005);
    harness.type("\x7fZq9x\xc3\xa9!");
    ASSERT_TRUE(harness.waitForText("Password: [****** ")) << harness.text();
    harness.type("\r");
    ASSERT_EQ(run.result(), 1);
    EXPECT_STREQ(runState.credentials.user, "admin");
    EXPECT_STREQ(runState.credentials.password, "Zq9x\xc3\xa9!");
    ASSERT_TRUE(harness.waitForText("Password: ******\n")) << harness.text();
    EXPECT_EQ(harness.output().find("Zq9x"), std::string::npos);
}

// A progress window's procedure that records IDCANCEL instead of ending the
// process.
std::atomic<int> cancels{0};
bool countingProgressProc(WindowHandle, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message == kWmInitDialog) return true;
    if (message == kWmCommand && (wParam & 0xffff) == static_cast<uintptr_t>(kIdCancel)) {
        ++cancels;
        return true;
    }
    return false;
}

// Runs the window's procedure for what the view posted until `condition`
// holds; the view posts while it handles a key, before its next pass.
bool pumpUntil(ViewHarness& harness, WindowHandle w, const std::function<bool()>& condition) {
    return harness.waitFor([&] {
        pumpAllMessages(w);
        return condition();
    });
}

TEST_F(TerminalViewTest, EscapeAndCtrlCPressAProgressWindowsCancelButton) {
    ViewHarness harness;
    cancels = 0;
    WindowHandle w = createModelessDialog(nullptr, 114, countingProgressProc);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(harness.waitForText("Esc/^C=Cancel")) << harness.text();
    uint64_t handled = readTerminalStats(harness.view()).inputs;
    harness.type("\r");  // no default button in a progress window
    ASSERT_TRUE(harness.waitForInputs(handled + 1));
    pumpAllMessages(w);  // a press would have been posted while the key was handled
    EXPECT_EQ(cancels.load(), 0);
    harness.type("\x03");
    EXPECT_TRUE(pumpUntil(harness, w, [] { return cancels.load() == 1; }));
    harness.type("\x1b");
    EXPECT_TRUE(pumpUntil(harness, w, [] { return cancels.load() == 2; }));
    harness.view().signalInterrupt();  // SIGINT, as in line mode
    EXPECT_TRUE(pumpUntil(harness, w, [] { return cancels.load() == 3; }));
    destroyWindow(w);
}

TEST_F(TerminalViewTest, TabChoosesWhichProgressWindowCancels) {
    ViewHarness harness;
    cancels = 0;
    WindowHandle first = createModelessDialog(nullptr, 105, countingProgressProc);
    WindowHandle second = createModelessDialog(nullptr, 114, countingProgressProc);
    ASSERT_TRUE(harness.waitForText("> Connecting with ORB")) << harness.text();
    harness.type("\t");
    ASSERT_TRUE(harness.waitForText("> Waiting For Firmware")) << harness.text();
    harness.type("\x03");
    EXPECT_TRUE(pumpUntil(harness, second, [] { return cancels.load() == 1; }));
    // The key has been handled, and a press of the other window's button would
    // have been posted with it.
    pumpAllMessages(first);
    EXPECT_EQ(cancels.load(), 1) << "only the chosen window was cancelled";
    destroyWindow(second);
    destroyWindow(first);
}

// The view's clock is the harness's: frames are due only as the test moves it,
// so the bound holds however the threads are scheduled.
TEST_F(TerminalViewTest, ManyModelChangesGiveFewRedraws) {
    ViewHarness harness(TerminalMode::Screen, 80, 24, test::ViewClock::Manual);
    WindowHandle w = createModelessDialog(nullptr, 110, countingProgressProc);
    harness.advanceClock(RedrawThrottle::kDefaultIntervalMs);
    ASSERT_TRUE(harness.waitForText("Uploading Firmware To ORB")) << harness.text();
    // Every frame due has been written: none is under way while the counters are read.
    ASSERT_TRUE(harness.waitForFrameOf(dialogs::modelRevision()));
    TerminalStats before = readTerminalStats(harness.view());
    auto start = std::chrono::steady_clock::now();
    int64_t elapsedMs = 0;
    // The transfer's pattern: a position and a title for every block, 1423
    // blocks, two of them each millisecond.
    for (int block = 1; block <= 1423; ++block) {
        char title[128];
        std::snprintf(title, sizeof title, "Uploading Firmware to ORB@10*1*0*123 %d/728196 Bytes", block * 512);
        setProgressPosition(w, 1010, block);
        setWindowTitle(w, title);
        if (block % 2 == 0) {
            harness.advanceClock(1);
            ++elapsedMs;
            std::this_thread::sleep_for(1ms);  // paces the stream, so that the view draws among the changes
        }
    }
    // One more interval: the last change is due to be shown.
    harness.advanceClock(RedrawThrottle::kDefaultIntervalMs);
    elapsedMs += RedrawThrottle::kDefaultIntervalMs;
    ASSERT_TRUE(harness.waitForFrameOf(dialogs::modelRevision()));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    TerminalStats after = readTerminalStats(harness.view());
    uint64_t frames = after.frames - before.frames;
    // One frame per interval of the view's clock, the first one interval after the last before.
    uint64_t allowed = static_cast<uint64_t>(elapsedMs / RedrawThrottle::kDefaultIntervalMs);
    std::printf(
        "2846 model changes in %lld ms of the view's clock (%.2f s): %llu notifications, %llu frames, %llu "
        "writes, %llu bytes\n",
        static_cast<long long>(elapsedMs), seconds,
        static_cast<unsigned long long>(after.notifications - before.notifications),
        static_cast<unsigned long long>(frames), static_cast<unsigned long long>(after.writes - before.writes),
        static_cast<unsigned long long>(after.bytes - before.bytes));
    EXPECT_LE(frames, allowed);
    EXPECT_GE(frames, 1u);
    // The notifications are coalesced at the source: about one per frame.
    EXPECT_LE(after.notifications - before.notifications, frames + 4);
    EXPECT_LE(after.writes - before.writes, frames);
    EXPECT_TRUE(harness.waitForText("728576/728196 Bytes")) << "the last title is shown";
    destroyWindow(w);
}

// The titles come faster than the frames: the log still gets the last title
// of each stage the window left, once, in order, in either mode; a title that
// one of its kind replaced is no stage's end.
void checkStagesAreLogged(TerminalMode mode) {
    ViewHarness harness(mode);
    WindowHandle w = createModelessDialog(nullptr, 110, countingProgressProc);
    ASSERT_TRUE(harness.waitForText("-- Uploading Firmware To ORB\n")) << harness.text();
    for (const char* title : {"Sending block 1", "Sending block 2", "Checking 1", "Restarting in 5"})
        setWindowTitle(w, title);
    destroyWindow(w);
    ASSERT_TRUE(harness.waitForText("-- Restarting in 5\n")) << harness.text();
    std::string text = harness.text();
    size_t introduced = text.find("-- Uploading Firmware To ORB\n");
    size_t sending = text.find("-- Sending block 2\n");
    size_t checking = text.find("-- Checking 1\n");
    size_t closing = text.find("-- Restarting in 5\n");
    EXPECT_LT(introduced, sending) << text;
    EXPECT_LT(sending, checking) << text;
    EXPECT_LT(checking, closing) << text;
    EXPECT_EQ(text.find("-- Uploading Firmware To ORB\n", introduced + 1), std::string::npos) << text;
    EXPECT_EQ(text.find("-- Sending block 1"), std::string::npos) << text;
    EXPECT_EQ(text.find("-- Sending block 2\n", sending + 1), std::string::npos) << text;
}

TEST_F(TerminalViewTest, EachStageOfAProgressWindowIsLoggedAsItEnded) { checkStagesAreLogged(TerminalMode::Screen); }

TEST_F(TerminalViewTest, LineModeLogsEachStageAsItEnded) { checkStagesAreLogged(TerminalMode::Lines); }

TEST_F(TerminalViewTest, NothingIsWrittenWhenNothingVisibleChanges) {
    ViewHarness harness;
    WindowHandle w = createModelessDialog(nullptr, 110, countingProgressProc);
    setProgressRange(w, 1010, 0, 1562);
    ASSERT_TRUE(harness.waitForText("Uploading Firmware To ORB")) << harness.text();
    ASSERT_TRUE(harness.waitForFrameOf(dialogs::modelRevision()));
    TerminalStats before = readTerminalStats(harness.view());
    // The restart wait moves the bar by one of 1562 steps every 32 ms: within
    // one cell of the bar nothing visible changes. Each step is drawn before
    // the next.
    for (int position = 0; position < 20; ++position) {
        setProgressPosition(w, 1010, position);
        ASSERT_TRUE(harness.waitForFrameOf(dialogs::modelRevision()));
    }
    TerminalStats after = readTerminalStats(harness.view());
    EXPECT_GE(after.frames - before.frames, 2u);
    EXPECT_EQ(after.bytes, before.bytes);
    destroyWindow(w);
}

TEST_F(TerminalViewTest, FinishErasesTheRegionAndWritesNothingMore) {
    ViewHarness harness;
    ModalRun run(139, warningDialogProc);
    ASSERT_TRUE(harness.waitForText("< Cancel >")) << harness.text();
    harness.view().finish();
    ASSERT_TRUE(harness.waitFor([&] { return harness.output().rfind("\x1b[J\x1b[?25h") != std::string::npos; }));
    std::string output = harness.output();
    size_t length = output.size();
    TerminalStats before = readTerminalStats(harness.view());
    harness.type("\t");
    // The key moves the focus: the model changes, a frame is built, nothing is written.
    ASSERT_TRUE(harness.waitForInputs(before.inputs + 1));
    ASSERT_TRUE(harness.waitFor([&] { return readTerminalStats(harness.view()).frames > before.frames; }));
    EXPECT_EQ(readTerminalStats(harness.view()).bytes, before.bytes);
    EXPECT_EQ(harness.output().size(), length);
    harness.view().finish();  // a second call does nothing
    EXPECT_EQ(harness.output().size(), length);
}

TEST_F(TerminalViewTest, LineModeWalksThroughTheAddressDialog) {
    ViewHarness harness(TerminalMode::Lines);
    ModalRun run(101, addressDialogProc);
    ASSERT_TRUE(harness.waitForText("a) IP address: []")) << harness.text();
    EXPECT_NE(harness.text().find("b) Your IP Address: 1) 10.1.0.5 [chosen]  2) 192.168.0.3"), std::string::npos)
        << harness.text();
    EXPECT_NE(harness.text().find("Buttons:  1) <OK>  2) Cancel"), std::string::npos) << harness.text();
    EXPECT_EQ(harness.output().find('\x1b'), std::string::npos) << "no escape sequences in line mode";
    harness.type("a=10*1*0*123\n");
    ASSERT_TRUE(harness.waitForText("a) IP address: [10*1*0*123]")) << harness.text();
    harness.type("b=2\n");
    ASSERT_TRUE(harness.waitForText("2) 192.168.0.3 [chosen]")) << harness.text();
    harness.type("\n");
    ASSERT_EQ(run.result(), 1);
    EXPECT_STREQ(runState.deviceAddressText, "10*1*0*123");
    EXPECT_EQ(runState.pcAddress, 0xc0a80003u);
}

TEST_F(TerminalViewTest, LineModeButtonsByNumberAndEsc) {
    ViewHarness harness(TerminalMode::Lines);
    {
        ModalRun run(139, warningDialogProc);
        ASSERT_TRUE(harness.waitForText("Buttons:  1) Continue  2) <Cancel>")) << harness.text();
        harness.type("1\n");
        EXPECT_EQ(run.result(), 1);
    }
    {
        ModalRun run(103, confirmDialogProc);
        ASSERT_TRUE(harness.waitForText("1) <Upgrade>")) << harness.text();
        harness.type("esc\n");
        EXPECT_EQ(run.result(), 0);
    }
}

TEST(LineCommands, Parse) {
    EXPECT_EQ(parseLineCommand("").kind, LineCommand::Kind::Enter);
    EXPECT_EQ(parseLineCommand("  \n").kind, LineCommand::Kind::Enter);
    EXPECT_EQ(parseLineCommand("ESC").kind, LineCommand::Kind::Escape);
    EXPECT_EQ(parseLineCommand("cancel\n").kind, LineCommand::Kind::Escape);
    LineCommand button = parseLineCommand("2");
    EXPECT_EQ(button.kind, LineCommand::Kind::Button);
    EXPECT_EQ(button.number, 2);
    LineCommand field = parseLineCommand("b=pass word ");
    EXPECT_EQ(field.kind, LineCommand::Kind::Field);
    EXPECT_EQ(field.field, 1);
    EXPECT_EQ(field.value, "pass word ");
    EXPECT_EQ(parseLineCommand("what").kind, LineCommand::Kind::Unknown);
}

}  // namespace
}  // namespace orb::dialogs::terminal
