// What the terminal view shows for the program's real dialogs (the real
// procedures and templates): titles and texts, the fields with their labels,
// the password masked, the PC address list, the buttons with the default one
// marked, progress lines, message boxes; and that nothing is wider than the
// terminal.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "dialogs/message_boxes.h"
#include "dialogs/terminal/screen_builder.h"
#include "upgrade/dialog_procs.h"
#include "tests/dialogs/terminal/terminal_test_support.h"
#include "tests/support/dialog_robot.h"

namespace orb::dialogs::terminal {
namespace {

using test::ModalRun;

std::vector<dialogs::WindowState> stateOf(WindowHandle w) {
    auto state = robot::state(w);
    if (!state) return {};
    return {*state};
}

std::string join(const std::vector<StyledLine>& lines) {
    std::string out;
    for (const StyledLine& line : lines) out += line.plain() + "\n";
    return out;
}

std::string live(WindowHandle w, int width = 80) {
    return join(buildLiveScreen(stateOf(w), {}, nullptr, width, 24).lines);
}

std::string introduction(WindowHandle w, int width = 80) { return join(windowIntroduction(*robot::state(w), width)); }

void expectFits(const std::vector<StyledLine>& lines, int width) {
    for (const StyledLine& line : lines) EXPECT_LT(line.length(), width) << line.plain();
}

class ScreenBuilder : public ::testing::Test {
protected:
    void SetUp() override { test::prepareRunState(); }
};

TEST_F(ScreenBuilder, WarningDialogMarksCancelAsTheDefault) {
    ModalRun run(139, warningDialogProc);
    ASSERT_NE(run.window(), nullptr);
    std::string intro = introduction(run.window());
    EXPECT_NE(intro.find("== ORB-4100 Firmware Upgrade =="), std::string::npos) << intro;
    EXPECT_NE(intro.find("  WARNING: Forcing a firmware upgrade on your ORB\n  without prior approval"),
              std::string::npos)
        << intro;
    std::string screen = live(run.window());
    EXPECT_NE(screen.find("> [ Continue ]  < Cancel >"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Enter: Cancel | Esc: Cancel"), std::string::npos) << screen;

    // Focus on Continue: Enter would press it now.
    ASSERT_TRUE(robot::focusControl(run.window(), kIdOk));
    screen = live(run.window());
    EXPECT_NE(screen.find("> < Continue >  [ Cancel ]"), std::string::npos) << screen;
    EXPECT_NE(screen.find("Enter: Continue"), std::string::npos) << screen;
}

TEST_F(ScreenBuilder, AddressDialogShowsTheFieldAndThePcAddresses) {
    ModalRun run(101, addressDialogProc);
    ASSERT_NE(run.window(), nullptr);
    std::string intro = introduction(run.window());
    EXPECT_NE(intro.find("This program will upgrade your ORB\n  firmware to:\n\n  Version 2.0.10(a)\n"),
              std::string::npos)
        << intro;
    EXPECT_NE(intro.find("Please enter IP address of your ORB:"), std::string::npos) << intro;
    EXPECT_EQ(intro.find("Your IP Address"), std::string::npos) << "the combo box's label is a field's";

    ASSERT_TRUE(robot::typeText(run.window(), 1000, "10*1*0*123"));
    LiveScreen screen = buildLiveScreen(stateOf(run.window()), {}, nullptr, 80, 24);
    std::string text = join(screen.lines);
    EXPECT_NE(text.find(">      IP address: [10*1*0*123 "), std::string::npos) << text;
    EXPECT_NE(text.find("  Your IP Address: (*) 10.1.0.5  ( ) 192.168.0.3"), std::string::npos) << text;
    EXPECT_NE(text.find("< OK >  [ Cancel ]"), std::string::npos) << text;
    // The cursor stands after the typed text.
    ASSERT_GE(screen.cursor.line, 0);
    EXPECT_EQ(screen.lines[screen.cursor.line].plain().substr(0, screen.cursor.column),
              ">      IP address: [10*1*0*123");

    ASSERT_TRUE(robot::selectComboEntry(run.window(), 1017, 1));
    text = live(run.window());
    EXPECT_NE(text.find("> Your IP Address: ( ) 10.1.0.5  (*) 192.168.0.3"), std::string::npos) << text;
    EXPECT_NE(text.find("Left/Right: choose"), std::string::npos) << text;
}

TEST_F(ScreenBuilder, CredentialsDialogMasksThePassword) {
    ModalRun run(104, credentialsDialogProc);
    ASSERT_NE(run.window(), nullptr);
    ASSERT_TRUE(robot::typeText(run.window(), 1005, "Zq9x!"));
    std::string text = live(run.window());
    EXPECT_NE(text.find("      User: [admin "), std::string::npos) << text;
    EXPECT_NE(text.find("> Password: [***** "), std::string::npos) << text;
    EXPECT_EQ(text.find("Zq9x"), std::string::npos) << text;
    std::string record = join(fieldRecord(*robot::state(run.window()), 80));
    EXPECT_NE(record.find("Password: *****"), std::string::npos) << record;
    EXPECT_EQ(record.find("Zq9x"), std::string::npos) << record;
    EXPECT_EQ(run.window() != nullptr && robot::controlText(run.window(), 1005) == "Zq9x!", true);
}

TEST_F(ScreenBuilder, ConfirmationDialogLabelsTheAdaptersValues) {
    ModalRun run(103, confirmDialogProc);
    ASSERT_NE(run.window(), nullptr);
    std::string intro = introduction(run.window());
    EXPECT_NE(intro.find("== Confirm Upgrade to Ver. 2.0.10(a) =="), std::string::npos) << intro;
    EXPECT_NE(intro.find("     Serial Number: ORB41000001\n"
                         "       MAC Address: 00:1A:2B:3C:4D:5E\n"
                         "  Software Version: 2.0.10(a)\n"
                         "  Hardware Version: 4100-A1\n"
                         "      Product Name: ORB4100\n"),
              std::string::npos)
        << intro;
    EXPECT_NE(intro.find("from your ORB. Please click \"Upgrade\""), std::string::npos) << intro;
    std::string text = live(run.window());
    EXPECT_NE(text.find("> < Upgrade >  [ Cancel ]"), std::string::npos) << text;
}

TEST_F(ScreenBuilder, SuccessDialogShowsTheVersionAndHasNoCancel) {
    ModalRun run(111, successDialogProc);
    ASSERT_NE(run.window(), nullptr);
    std::string intro = introduction(run.window());
    EXPECT_NE(intro.find("== ORB@10*1*0*123 Upgrade Successful! =="), std::string::npos) << intro;
    EXPECT_NE(intro.find("  2.0.10(a)\n"), std::string::npos) << intro;
    std::string text = live(run.window());
    EXPECT_NE(text.find("> < OK >\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Enter: OK | Esc: close"), std::string::npos) << text;
}

bool quietProgressProc(WindowHandle, uint32_t message, uintptr_t, intptr_t) { return message == kWmInitDialog; }

TEST_F(ScreenBuilder, TwoProgressWindowsEachOnALine) {
    WindowHandle waiting = createModelessDialog(nullptr, 114, quietProgressProc);
    WindowHandle connecting = createModelessDialog(nullptr, 105, quietProgressProc);
    ASSERT_NE(waiting, nullptr);
    ASSERT_NE(connecting, nullptr);
    setWindowTitle(connecting, "Connecting with ORB@10.1.0.123");
    setProgressRange(waiting, 1010, 0, 100);
    setProgressPosition(waiting, 1010, 50);
    std::vector<dialogs::WindowState> windows = {*robot::state(waiting), *robot::state(connecting)};

    LiveScreen screen = buildLiveScreen(windows, {}, nullptr, 80, 24);
    std::string text = join(screen.lines);
    EXPECT_NE(text.find("> Waiting For Firmware Upload Request From ORB [########........] Esc/^C=Cancel\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  Connecting with ORB@10.1.0.123 [..............................]\n"), std::string::npos)
        << text;
    expectFits(screen.lines, 80);
    EXPECT_EQ(screen.cursor.line, -1);

    // The other one chosen: the hint moves with the marker.
    text = join(buildLiveScreen(windows, {}, connecting, 80, 24).lines);
    EXPECT_NE(text.find("> Connecting with ORB@10.1.0.123 [..............................] Esc/^C=Cancel"),
              std::string::npos)
        << text;
    destroyWindow(connecting);
    destroyWindow(waiting);
}

TEST_F(ScreenBuilder, UploadTitlesFitEightyColumns) {
    WindowHandle upload = createModelessDialog(nullptr, 110, quietProgressProc);
    ASSERT_NE(upload, nullptr);
    setProgressRange(upload, 1010, 0, 1423);
    setProgressPosition(upload, 1010, 1423);
    // An address of up to 10 characters: the whole title, a bar and the hint.
    setWindowTitle(upload, "Uploading Firmware to ORB@10.1.0.123 728196/728196 Bytes");
    StyledLine line = progressLine(*robot::state(upload), false, false, true, 80);
    EXPECT_EQ(line.plain(), "Uploading Firmware to ORB@10.1.0.123 728196/728196 Bytes [######] Esc/^C=Cancel");
    EXPECT_LT(line.length(), 80);
    // The longest address: the title gives way, the bar and the hint stay.
    setWindowTitle(upload, "Uploading Firmware to ORB@255.255.255.255 728196/728196 Bytes");
    line = progressLine(*robot::state(upload), false, false, true, 80);
    EXPECT_EQ(line.plain(), "Uploading Firmware to ORB@255.255.255.255 728196/728196~ [######] Esc/^C=Cancel");
    EXPECT_LT(line.length(), 80);
    destroyWindow(upload);
}

TEST_F(ScreenBuilder, MessageBoxTakesTheKeysAndShowsItsButton) {
    ModalRun run(101, addressDialogProc);
    ASSERT_NE(run.window(), nullptr);
    dialogs::MessageBoxState box;
    box.id = 7;
    box.caption = "Error";
    box.text = "Invalid IP Address";
    box.owner = run.window();
    std::vector<dialogs::MessageBoxState> boxes = {box};
    KeyTarget target = findKeyTarget(stateOf(run.window()), boxes, nullptr);
    EXPECT_EQ(target.kind, KeyTarget::Kind::MessageBox);
    std::string text = join(buildLiveScreen(stateOf(run.window()), boxes, nullptr, 80, 24).lines);
    EXPECT_NE(text.find("> < OK >\n  Enter: OK\n"), std::string::npos) << text;
    std::string intro = join(messageBoxIntroduction(box, 80));
    EXPECT_EQ(intro, "\n== Error ==\n  Invalid IP Address\n");
    EXPECT_EQ(dialogs::messageBoxEnterButton(0), kIdOk);
    EXPECT_EQ(dialogs::messageBoxEscapeButton(0), kIdOk);      // MB_OK: Escape gives IDOK
    EXPECT_EQ(dialogs::messageBoxEscapeButton(1), kIdCancel);  // MB_OKCANCEL
    EXPECT_EQ(dialogs::messageBoxEscapeButton(4), 0);          // MB_YESNO: Escape does nothing
}

TEST_F(ScreenBuilder, ANarrowTerminalGetsNarrowLines) {
    ModalRun run(104, credentialsDialogProc);
    ASSERT_NE(run.window(), nullptr);
    for (int width : {20, 32, 40, 60}) {
        expectFits(buildLiveScreen(stateOf(run.window()), {}, nullptr, width, 24).lines, width);
        expectFits(windowIntroduction(*robot::state(run.window()), width), width);
    }
}

TEST_F(ScreenBuilder, ALowTerminalKeepsTheEndOfTheRegion) {
    ModalRun run(101, addressDialogProc);
    ASSERT_NE(run.window(), nullptr);
    LiveScreen screen = buildLiveScreen(stateOf(run.window()), {}, nullptr, 80, 4);
    ASSERT_EQ(screen.lines.size(), 3u);
    EXPECT_NE(screen.lines[1].plain().find("< OK >"), std::string::npos);
    EXPECT_EQ(screen.cursor.line, -1);  // the field scrolled away
}

TEST_F(ScreenBuilder, FocusOrderIsFieldsThenButtons) {
    ModalRun run(101, addressDialogProc);
    ASSERT_NE(run.window(), nullptr);
    EXPECT_EQ(focusOrder(*robot::state(run.window())), (std::vector<int>{1000, 1017, 1, 2}));
    ModalRun credentials(104, credentialsDialogProc);
    ASSERT_NE(credentials.window(), nullptr);
    EXPECT_EQ(focusOrder(*robot::state(credentials.window())), (std::vector<int>{1003, 1005, 1, 2}));
    EXPECT_EQ(labelOf(*robot::state(credentials.window()), 1005), "Password");
}

}  // namespace
}  // namespace orb::dialogs::terminal
