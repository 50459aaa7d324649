// The warning and address dialogs as a person meets them in a whole run.
#include <gtest/gtest.h>

#include "upgrade/dialog_ids.h"
#include "upgrade/error_box.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_http_server.h"
#include "tests/support/status_pages.h"
#include "tests/support/whole_run.h"

namespace orb::test {
namespace {

class WarningDialog : public ProgramRunTest {};
class AddressDialog : public ProgramRunTest {};

using robot::controlText;

const std::string kStatusPage = "<html>" + statusTable({{"Product Name", "<b>ORB-4100</b>"}}) + "</html>";

void expectEndedSilently(const ChildResult& result) {
    EXPECT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, std::string("caption=\"") + kErrorBoxCaption + "\""), 0) << result.output;
    EXPECT_EQ(countLines(result.output, "[program returned 0]"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "FAIL"), 0) << result.output;
}

TEST_F(WarningDialog, ShowsTheWarningAndContinueLeadsToTheAddressDialog) {
    ChildResult result = runProgramInChild({}, [] {
        WindowHandle warning = need(kWarningDialogId);
        report("title=" + robot::title(warning));
        std::string text = controlText(warning, 1021);
        report(std::string("double-space=") +
               (text.find("service.  If your ORB is managed") != std::string::npos ? "yes" : "no"));
        report(std::string("crlf=") + (text.find("ORB\r\nwithout prior approval") != std::string::npos ? "yes" : "no"));
        report("focus=" + std::to_string(robot::focusedControl(warning)));
        check(robot::pressButton(warning, kIdOk), "Continue");
        WindowHandle address = need(kAddressDialogId);
        report("next=" + robot::title(address));
        check(robot::pressButton(address, kIdCancel), "Cancel");
    });
    expectEndedSilently(result);
    EXPECT_EQ(countLines(result.output, "[robot] title=ORB-3100/4100 Firmware Upgrade"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] double-space=yes"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] crlf=yes"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] focus=2"), 1) << "the focus starts on Cancel";
    EXPECT_EQ(countLines(result.output, "[robot] next=ORB-3100/4100 Firmware Upgrade"), 1);
}

TEST_F(WarningDialog, CancelEscapeCloseBoxAndEnterEndTheRunSilently) {
    // Enter presses Cancel: it is the focused and the default button.
    const std::function<bool(WindowHandle)> ways[] = {
        [](WindowHandle w) { return robot::pressButton(w, kIdCancel); },
        [](WindowHandle w) { return robot::pressEscape(w); },
        [](WindowHandle w) { return robot::pressCloseBox(w); },
        [](WindowHandle w) { return robot::pressEnter(w); },
    };
    for (const auto& way : ways) {
        ChildResult result = runProgramInChild({}, [&] {
            check(way(need(kWarningDialogId)), "leave the warning");
            robot::waitForDialog(kAddressDialogId, 500) == nullptr ? report("no address dialog")
                                                                   : report("FAIL: address dialog opened");
        });
        expectEndedSilently(result);
    }
}

TEST_F(AddressDialog, OpensWithTheVersionAndThePcAddressesUpToTheFirstZero) {
    ProgramSetup setup;
    setup.pcAddresses = {0x0a010005, 0xc0a80003, 0, 0x07070707};
    ChildResult result = runProgramInChild(setup, [] {
        check(robot::pressButton(need(kWarningDialogId), kIdOk), "Continue");
        WindowHandle dialog = need(kAddressDialogId);
        report("version=" + controlText(dialog, kImageVersionFieldId));
        std::string items;
        for (const std::string& item : robot::comboItems(dialog, 1017)) items += item + ";";
        report("items=" + items);
        report("selected=" + std::to_string(robot::comboSelection(dialog, 1017)));
        report("focus=" + std::to_string(robot::focusedControl(dialog)));
        report(std::string("head=") +
               (controlText(dialog, 1007) == "This program will upgrade your ORB\r\nfirmware to:" ? "ok" : "wrong"));
        check(robot::pressButton(dialog, kIdCancel), "Cancel");
    });
    expectEndedSilently(result);
    EXPECT_EQ(countLines(result.output, "[robot] version=Version 2.0.10(a)"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] items=10.1.0.5;192.168.0.3;"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] selected=0"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] focus=1000"), 1);
    EXPECT_EQ(countLines(result.output, "[robot] head=ok"), 1);
    EXPECT_EQ(countLines(result.output, "[random draw]"), 0) << "Cancel draws no file name";
}

TEST_F(AddressDialog, RefusesMalformedAndZeroAddressesAndStaysOpen) {
    ChildResult result = runProgramInChild({}, [] {
        check(robot::pressButton(need(kWarningDialogId), kIdOk), "Continue");
        WindowHandle dialog = need(kAddressDialogId);
        for (const char* text : {"0.0.0.0", "1.2.3", "1.2.3.256", ""}) {
            check(robot::typeText(dialog, kAddressFieldId, text), "type");
            check(robot::focusControl(dialog, kIdOk), "move to OK");
            check(robot::pressButton(dialog, kIdOk), "OK");
            // The box is answered at once; then the focus is back on the field.
            check(robot::waitUntil([&] { return robot::focusedControl(dialog) == kAddressFieldId; }),
                  "focus back on the address");
            report(std::string("still open after '") + text + "': " + (robot::isVisible(dialog) ? "yes" : "no"));
        }
        check(robot::pressButton(dialog, kIdCancel), "Cancel");
    });
    expectEndedSilently(result);
    EXPECT_EQ(countLines(result.output, messageBoxLine("Invalid IP Address", "Error")), 4) << result.output;
    EXPECT_EQ(countLines(result.output, "still open after"), 4);
    EXPECT_EQ(countLines(result.output, ": yes"), 4) << result.output;
    EXPECT_EQ(countLines(result.output, "[random draw]"), 0);
}

TEST_F(AddressDialog, StarSeparatorsAreKeptAsTypedAndOneNumberIsDrawnAfterARefusal) {
    const uint32_t pc = loopbackAddress(2, 3);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", kStatusPage)));
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    ChildResult result = runProgramInChild(setup, [] {
        check(robot::pressButton(need(kWarningDialogId), kIdOk), "Continue");
        WindowHandle dialog = need(kAddressDialogId);
        check(robot::typeText(dialog, kAddressFieldId, "1.2.3"), "type");
        check(robot::pressButton(dialog, kIdOk), "OK");
        check(robot::waitUntil([&] { return robot::focusedControl(dialog) == kAddressFieldId; }), "refused");
        check(robot::typeText(dialog, kAddressFieldId, "127*0*2*3"), "type");
        check(robot::pressButton(dialog, kIdOk), "OK");
        WindowHandle confirm = need(kConfirmDialogId);
        check(robot::pressButton(confirm, kIdCancel), "Cancel");
    });
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(countLines(result.output, "[random draw]"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, messageBoxLine("Invalid IP Address", "Error")), 1);
    EXPECT_EQ(countLines(result.output, messageBoxLine("Upgrade Failed: User Abort")), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[trace] +++ using 7f000203"), 1) << result.output;
    ASSERT_EQ(adapter.requests().size(), 1u);
    EXPECT_EQ(adapter.requests()[0].bytes, "GET /admin/advanced HTTP/1.1\r\nHost: 192.168.2.110\r\n\r\n");
}

TEST_F(AddressDialog, TheConnectingWindowTitleShowsTheAddressAsTyped) {
    const uint32_t pc = loopbackAddress(2, 4);
    ScriptedHttpServer adapter(pc);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    // A slow answer keeps the connecting window up long enough to read it.
    ScriptedAnswer slow = ScriptedAnswer::text(httpResponse(200, "OK", kStatusPage));
    slow.delayMs = 600;
    adapter.setDefaultAnswer(slow);
    ProgramSetup setup;
    setup.pcAddresses = {pc};
    ChildResult result = runProgramInChild(setup, [] {
        passWarningAndAddress("127*0*2*004");
        WindowHandle connecting = need(kConnectingWindowId);
        report("connecting=" + robot::title(connecting));
        robot::Progress bar = robot::progress(connecting, 1010);
        report("range=" + std::to_string(bar.low) + ".." + std::to_string(bar.high));
        check(robot::pressButton(need(kConfirmDialogId), kIdCancel), "Cancel");
    });
    EXPECT_EQ(countLines(result.output, "[robot] connecting=Connecting with ORB@127*0*2*004"), 1) << result.output;
    EXPECT_EQ(countLines(result.output, "[robot] range=0..100"), 1) << result.output;
}

TEST_F(AddressDialog, TheChosenComboEntryIsTheAddressTheConnectionComesFrom) {
    const uint32_t first = loopbackAddress(2, 5), second = loopbackAddress(2, 6), device = loopbackAddress(2, 7);
    ScriptedHttpServer adapter(device);
    ASSERT_TRUE(adapter.start()) << adapter.error();
    adapter.setDefaultAnswer(ScriptedAnswer::text(httpResponse(200, "OK", kStatusPage)));
    ProgramSetup setup;
    setup.pcAddresses = {first, second};
    ChildResult result = runProgramInChild(setup, [] {
        passWarningAndAddress("127.0.2.7", 1);
        check(robot::pressButton(need(kConfirmDialogId), kIdCancel), "Cancel");
    });
    EXPECT_EQ(result.exitCode, 0) << result.output;
    ASSERT_EQ(adapter.requests().size(), 1u) << result.output;
    EXPECT_EQ(adapter.requests()[0].peerAddress, second);
    EXPECT_EQ(adapter.requests()[0].peerPort, 23456);
}

}  // namespace
}  // namespace orb::test
