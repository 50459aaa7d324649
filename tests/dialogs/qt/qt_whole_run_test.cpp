// Whole runs of the program (orb::runProgram) with the real Qt view on Qt's
// offscreen platform, against orb-sim on 127.0.6.x, on the whole-run harness
// (tests/support/whole_run.h). Each run is a child process, as the program ends
// the process itself; a driver thread in the child clicks the view's buttons
// and types into its fields (tests/dialogs/qt/qt_driver.h), and reports through
// its output, which the test reads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "dialogs/dialog_view.h"
#include "dialogs/front_ends.h"
#include "dialogs/qt/qt_controls.h"
#include "dialogs/qt/qt_view_testing.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/error_box.h"
#include "upgrade/upgrade_sequence.h"
#include "tests/dialogs/qt/qt_driver.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"
#include "tests/support/loopback.h"
#include "tests/support/sim_process.h"
#include "tests/support/whole_run.h"

namespace orb::test {
namespace {

namespace drive = orb::test::qt;
namespace view = orb::dialogs::qt;

constexpr int kChildTimeoutMs = 90000;

uint32_t address(unsigned host) { return loopbackAddress(6, host); }
std::string dotted(unsigned host) { return formatAddress(address(host)); }

// The whole program with the Qt view, in a child; `driver` runs on a thread of
// its own once the view is up. The clock runs 100 times fast: the 49,984 ms
// restart wait passes in half a second.
ChildResult runProgramWithQt(uint32_t pcAddress, const std::function<void()>& driver) {
    ProgramSetup setup;
    setup.pcAddresses = {pcAddress};
    setup.fixRandom = false;
    setup.traceToOutput = false;
    setup.headless = false;
    setup.clock = acceleratedClock<100>;
    setup.timeoutMs = kChildTimeoutMs;
    setup.program = [driver] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static char name[] = "orb-upgrade";
        static char* argv[] = {name, nullptr};
        dialogs::runWithQtView(1, argv, [driver] {
            std::thread(driver).detach();
            return runProgram(nullptr);
        });
        std::puts("runWithQtView returned");
        return 0;
    };
    return runProgramInChild(setup, nullptr);
}

// The driver's lines, for the test's log.
void showDriverLines(const ChildResult& result) {
    size_t start = 0;
    while (start < result.output.size()) {
        size_t end = result.output.find('\n', start);
        if (end == std::string::npos) end = result.output.size();
        std::string line = result.output.substr(start, end - start);
        if (line.rfind("driver:", 0) == 0 || line.rfind("statistics", 0) == 0) std::printf("  %s\n", line.c_str());
        start = end + 1;
    }
}

void expectCleanEnd(const ChildResult& result) {
    showDriverLines(result);
    EXPECT_TRUE(result.exited) << describe(result);
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    EXPECT_EQ(result.output.find("DRIVER-FAIL"), std::string::npos) << describe(result);
}

std::vector<std::string> simOptions(unsigned host, std::vector<std::string> more) {
    more.insert(more.begin(), "--seed=1");
    return wholeRunSimOptions(address(host), more);
}

bool runningAsRoot() { return geteuid() == 0; }

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The warning dialog: Continue. The address dialog: the adapter's address typed
// key by key, then Enter.
void continueAndTypeAddress(unsigned simHost) {
    auto warning = drive::waitForWindow(kWarningDialogId);
    drive::click(warning, kIdOk);
    auto addressDialog = drive::waitForWindow(kAddressDialogId);
    drive::focus(addressDialog, 1000);
    drive::type(addressDialog, QString::fromStdString(dotted(simHost)));
    drive::pressKey(addressDialog, Qt::Key_Return);
}

TEST(QtWholeRun, AnUpgradeWithAPasswordThroughTheWidgets) {
    if (!runningAsRoot()) GTEST_SKIP() << "the program talks to port 80, which needs root";
    const unsigned simHost = 100, pcHost = 101;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(simHost, {"--user=admin", "--password=secret", "--restart-ms=100"}));

    ChildResult result = runProgramWithQt(address(pcHost), [] {
        const std::string simText = dotted(100);
        const std::string pcText = dotted(101);
        // Warning dialog: Cancel is the default button and has the focus.
        auto warning = drive::waitForWindow(kWarningDialogId);
        long long start = nowMs();
        uint64_t revisionAtStart = dialogs::modelRevision();
        QString title = drive::windowTitle(warning);
        drive::check(title.endsWith(QStringLiteral(" Firmware Upgrade")), "warning title: " + title.toStdString());
        drive::check(drive::focusedControlId(warning) == kIdCancel, "the focus starts on Cancel");
        drive::onGui([&] {
            auto* cancel = qobject_cast<QPushButton*>(drive::controlWidget(warning, kIdCancel));
            auto* proceed = qobject_cast<QPushButton*>(drive::controlWidget(warning, kIdOk));
            drive::check(cancel->isDefault() && !proceed->isDefault(), "Cancel is the default button");
            QString family = QFontInfo(QApplication::font()).family();
            drive::note("font " + family.toStdString() + ", warning dialog " + std::to_string(warning->width()) + "x" +
                        std::to_string(warning->height()));
            if (family == QStringLiteral("MS Sans Serif"))
                drive::check(warning->width() == 306 && warning->height() == 232, "the warning dialog is 306 x 232");
        });
        drive::check(drive::shownText(warning, 1021).startsWith(QStringLiteral("WARNING: Forcing")), "warning text");
        drive::click(warning, kIdOk);

        // Address dialog: the PC's address in the list; OK with four blank
        // fields is refused by the "Invalid IP Address" box, which disables
        // the dialog until it is answered.
        auto addressDialog = drive::waitForWindow(kAddressDialogId);
        drive::check(drive::shownText(addressDialog, 1017).toStdString() == pcText, "the PC address is listed");
        drive::check(drive::focusedControlId(addressDialog) == kAddressFieldId, "the focus is on the address control");
        drive::click(addressDialog, kIdOk);
        auto box = drive::waitForMessageBox();
        drive::onGui([&] {
            drive::check(box->windowTitle() == QStringLiteral("Error"), "box caption Error");
            drive::check(box->text() == QStringLiteral("Invalid IP Address"), "box text Invalid IP Address");
        });
        drive::check(drive::waitUntil([&] { return !addressDialog->isEnabled(); }), "the box disables the dialog");
        drive::note("blank address refused with \"Invalid IP Address\"");
        drive::clickOk(box);
        drive::check(drive::waitUntil([&] { return addressDialog->isEnabled(); }), "the dialog is enabled again");
        drive::check(drive::waitForGone(QPointer<QWidget>(box.data())), "the box has gone");

        // The address, key by key into the four fields.
        drive::focus(addressDialog, 1000);
        drive::type(addressDialog, QString::fromStdString(simText));
        drive::check(drive::shownText(addressDialog, 1000).toStdString() == simText, "the fields show the address");
        WindowHandle modelWindow = robot::waitForDialog(kAddressDialogId, 1000);
        drive::check(robot::controlText(modelWindow, kAddressFieldId) == simText,
                     "the model has the typed address: " + robot::controlText(modelWindow, kAddressFieldId));
        drive::note("typed " + simText);
        drive::pressKey(addressDialog, Qt::Key_Return);  // Enter presses OK, the default button

        // Credentials: "admin" filled in, the password typed masked.
        auto credentials = drive::waitForWindow(kCredentialsDialogId, 20000);
        drive::check(drive::shownText(credentials, 1003) == QStringLiteral("admin"), "user admin");
        drive::check(drive::focusedControlId(credentials) == kPasswordFieldId, "the focus is on the password");
        drive::type(credentials, QStringLiteral("secret"));
        drive::onGui([&] {
            auto* password = qobject_cast<QLineEdit*>(drive::controlWidget(credentials, 1005));
            drive::check(password->echoMode() == QLineEdit::Password, "the password is masked");
        });
        drive::click(credentials, kIdOk);

        // Confirmation: what the adapter said.
        auto confirm = drive::waitForWindow(kConfirmDialogId, 20000);
        drive::check(drive::windowTitle(confirm) == QStringLiteral("Confirm Upgrade to Ver. 2.0.10(a)"),
                     "confirm title " + drive::windowTitle(confirm).toStdString());
        drive::check(drive::shownText(confirm, 1002) == QStringLiteral("ORB41000001"), "serial");
        drive::check(drive::shownText(confirm, 1003) == QStringLiteral("00:1A:2B:3C:4D:5E"), "MAC");
        drive::check(drive::shownText(confirm, 1004) == QStringLiteral("1.0.2"), "software version");
        drive::check(drive::shownText(confirm, 1005) == QStringLiteral("4100-A1"), "hardware version");
        drive::check(drive::shownText(confirm, 1006) == QStringLiteral("ORB4100"), "product name");
        drive::note("confirmation shows ORB41000001 00:1A:2B:3C:4D:5E 1.0.2 4100-A1 ORB4100");
        drive::click(confirm, kIdOk);

        // The upload window's segmented bar moves.
        auto upload = drive::waitForWindow(kUploadWindowId, 20000);
        int seenPosition = 0;
        drive::waitUntil(
            [&] {
                if (upload.isNull()) return true;
                auto* bar = dynamic_cast<view::SegmentedProgressBar*>(view::findControl(upload, kProgressBarId));
                if (bar != nullptr) seenPosition = std::max(seenPosition, bar->position());
                return seenPosition > 0;
            },
            20000);
        drive::check(seenPosition > 0, "the upload window's bar moved");
        drive::note("upload bar reached " + std::to_string(seenPosition));

        auto success = drive::waitForWindow(kSuccessDialogId, 30000);
        drive::check(drive::windowTitle(success).toStdString() == "ORB@" + simText + " Upgrade Successful!",
                     "success title " + drive::windowTitle(success).toStdString());
        drive::check(drive::shownText(success, 1004) == QStringLiteral("2.0.10(a)"), "the new version");
        long long elapsed = nowMs() - start;
        view::ViewStatistics stats = view::readViewStatistics();
        std::printf(
            "statistics elapsed-ms=%lld model-changes=%llu notifications=%llu queued=%llu passes=%llu "
            "reads=%llu shortest-gap-ms=%d\n",
            elapsed, static_cast<unsigned long long>(dialogs::modelRevision() - revisionAtStart),
            static_cast<unsigned long long>(stats.notifications), static_cast<unsigned long long>(stats.queuedCalls),
            static_cast<unsigned long long>(stats.passes), static_cast<unsigned long long>(stats.windowReads),
            stats.shortestPassGapMs);
        drive::note("done");
        drive::click(success, kIdOk);  // the program ends the process
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find("driver: done"), std::string::npos) << describe(result);
    EXPECT_EQ(result.output.find("runWithQtView returned"), std::string::npos);

    auto received = sim.waitFor("image-received", 5000);
    ASSERT_TRUE(received) << sim.diagnostics();
    EXPECT_EQ(received->value("check"), "ok");
    EXPECT_EQ(received->value("size"), "728196");

    // Redraws are coalesced: at most one pass per 33 ms, one queued call per pass.
    std::smatch m;
    std::regex line(
        R"(statistics elapsed-ms=(\d+) model-changes=(\d+) notifications=(\d+) queued=(\d+) passes=(\d+) reads=(\d+) shortest-gap-ms=(-?\d+))");
    ASSERT_TRUE(std::regex_search(result.output, m, line)) << result.output;
    long long elapsed = std::stoll(m[1]), changes = std::stoll(m[2]), queued = std::stoll(m[4]),
              passes = std::stoll(m[5]);
    int shortestGap = std::stoi(m[7]);
    EXPECT_GE(shortestGap, 30);
    EXPECT_LE(passes, elapsed / 33 + 5);
    EXPECT_LE(queued, passes + 2);
    EXPECT_GT(changes, passes * 2) << "the model changed far more often than the view drew";
}

TEST(QtWholeRun, CancelInTheConfirmationShowsTheErrorBoxAndEnds) {
    if (!runningAsRoot()) GTEST_SKIP() << "the program talks to port 80, which needs root";
    const unsigned simHost = 102, pcHost = 103;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(simHost, {}));
    ChildResult result = runProgramWithQt(address(pcHost), [] {
        continueAndTypeAddress(102);
        auto confirm = drive::waitForWindow(kConfirmDialogId, 20000);
        drive::click(confirm, kIdCancel);
        auto box = drive::waitForMessageBox();
        drive::onGui([&] {
            drive::check(box->windowTitle() == QString::fromUtf8(kErrorBoxCaption), "error box caption");
            drive::check(box->text() == QStringLiteral("Upgrade Failed: User Abort"), "error box text");
            drive::check(box->icon() == QMessageBox::NoIcon, "no icon");
            drive::check(box->buttons().size() == 1 && box->button(QMessageBox::Ok) != nullptr, "OK only");
        });
        drive::note("error box: Upgrade Failed: User Abort");
        drive::clickOk(box);  // the process ends when the box is closed
        std::this_thread::sleep_for(std::chrono::seconds(5));
        drive::fail("the process did not end after the error box");
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find("driver: error box: Upgrade Failed: User Abort"), std::string::npos)
        << describe(result);
    sim.poll(200);
    EXPECT_TRUE(sim.eventsNamed("trigger").empty()) << sim.diagnostics();
}

TEST(QtWholeRun, CancelInTheUploadWindowEndsTheRunAfterTheErrorBox) {
    if (!runningAsRoot()) GTEST_SKIP() << "the program talks to port 80, which needs root";
    const unsigned simHost = 104, pcHost = 105;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(simHost, {"--tftp-delay-ms=40"}));
    ChildResult result = runProgramWithQt(address(pcHost), [] {
        continueAndTypeAddress(104);
        auto confirm = drive::waitForWindow(kConfirmDialogId, 20000);
        drive::click(confirm, kIdOk);
        auto upload = drive::waitForWindow(kUploadWindowId, 20000);
        drive::click(upload, kIdCancel);
        auto box = drive::waitForMessageBox();
        drive::check(drive::waitForGone(upload), "the upload window is destroyed before the box");
        drive::onGui(
            [&] { drive::check(box->text() == QStringLiteral("Upgrade Failed: User Abort"), "error box text"); });
        drive::note("upload cancelled");
        drive::clickOk(box);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        drive::fail("the process did not end after the error box");
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find("driver: upload cancelled"), std::string::npos) << describe(result);
}

// An adapter that takes the trigger and never fetches: after 20 s of the fast
// clock the waiting window grows a hint below its own area, whose controls
// stay where the template puts them; the wait goes on until Cancel.
TEST(QtWholeRun, TheWaitingWindowShowsTheHintBelowItsOwnArea) {
    if (!runningAsRoot()) GTEST_SKIP() << "the program talks to port 80, which needs root";
    const unsigned simHost = 110, pcHost = 111;
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(simHost, {"--no-answer=trigger", "--fetch-without-answer=no"}));
    ChildResult result = runProgramWithQt(address(pcHost), [] {
        continueAndTypeAddress(110);
        drive::click(drive::waitForWindow(kConfirmDialogId, 20000), kIdOk);
        auto waiting = drive::waitForWindow(kWaitingWindowId, 20000);
        WindowHandle model = robot::waitForDialog(kWaitingWindowId, 1000);
        auto templateArea = robot::state(model);
        drive::check(templateArea.has_value(), "the waiting window in the model");
        QRect barBefore;
        drive::onGui([&] { barBefore = drive::controlWidget(waiting, kProgressBarId)->geometry(); });
        QLabel* hint = nullptr;
        drive::check(drive::waitUntil(
                         [&] {
                             hint = waiting->findChild<QLabel*>(QString::fromLatin1(view::kHintObjectName));
                             return hint != nullptr && hint->isVisible();
                         },
                         20000),
                     "the hint appears");
        drive::onGui([&] {
            drive::note("hint: " + hint->text().toStdString());
            drive::check(hint->text().contains(QStringLiteral("UDP port 69")), "the listener's port");
            drive::check(hint->text().contains(QStringLiteral("PC address 127.0.6.111.")), "the PC address");
            drive::check(hint->geometry().top() >= templateArea->height, "below the template's area");
            drive::check(waiting->height() > templateArea->height && waiting->height() >= hint->geometry().bottom(),
                         "the window grew to hold it");
            drive::check(drive::controlWidget(waiting, kProgressBarId)->geometry() == barBefore,
                         "the bar keeps its place");
        });
        drive::click(waiting, kIdCancel);
        auto box = drive::waitForMessageBox();
        drive::onGui(
            [&] { drive::check(box->text() == QStringLiteral("Upgrade Failed: User Abort"), "error box text"); });
        drive::clickOk(box);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        drive::fail("the process did not end after the error box");
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find("driver: hint: No request from the adapter yet: a firewall on this computer may "
                                 "block UDP port 69, and the adapter must reach the chosen PC address 127.0.6.111."),
              std::string::npos)
        << describe(result);
    sim.poll(200);
    EXPECT_TRUE(sim.eventsNamed("tftp-rrq").empty()) << sim.diagnostics();
}

// An adapter that takes the whole image but does not come back with its
// version: the error box says what it reports, never "Upgrade Successful!".
// Typed through by keyboard: Return in each dialog and in the box.
struct AfterUpload {
    const char* name;
    unsigned simHost;
    const char* simOption;
    const char* box;
};

void PrintTo(const AfterUpload& c, std::ostream* out) { *out << c.name; }

class QtAfterUpload : public testing::TestWithParam<AfterUpload> {};

TEST_P(QtAfterUpload, TheBoxSaysWhatTheAdapterReports) {
    if (!runningAsRoot()) GTEST_SKIP() << "the program talks to port 80, which needs root";
    const AfterUpload& c = GetParam();
    SimProcess sim;
    ORB_START_SIM(sim, simOptions(c.simHost, {c.simOption, "--restart-ms=100"}));
    ChildResult result = runProgramWithQt(address(c.simHost + 1), [c] {
        continueAndTypeAddress(c.simHost);
        drive::pressKey(drive::waitForWindow(kConfirmDialogId, 20000), Qt::Key_Return);
        auto box = drive::waitForMessageBox(30000);
        drive::onGui([&] {
            drive::note("error box: " + box->text().toStdString());
            drive::check(box->windowTitle() == QString::fromUtf8(kErrorBoxCaption), "error box caption");
        });
        for (WindowHandle window : robot::openWindows())
            drive::check(robot::templateOf(window) != kSuccessDialogId, "no success dialog");
        drive::pressKey(QPointer<QWidget>(box.data()), Qt::Key_Return);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        drive::fail("the process did not end after the error box");
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find(std::string("driver: error box: ") + c.box + "\n"), std::string::npos)
        << describe(result);
    auto received = sim.waitFor("image-received", 5000);
    ASSERT_TRUE(received) << sim.diagnostics();
    EXPECT_EQ(received->value("check"), "ok");
}

INSTANTIATE_TEST_SUITE_P(QtWholeRun, QtAfterUpload,
                         testing::Values(AfterUpload{"BackWithItsOldVersion", 120, "--version-after-restart=1.0.2",
                                                     "Upgrade Failed: ORB reports version 1.0.2 after the upload"},
                                         AfterUpload{"BackWithoutAVersion", 122, "--restart-without-version",
                                                     "Upgrade Failed: ORB reports no version after the upload"},
                                         AfterUpload{"NeverBack", 124, "--stay-down",
                                                     "Upgrade Failed: ORB not responding after firmware upload"}),
                         [](const testing::TestParamInfo<AfterUpload>& info) { return std::string(info.param.name); });

// The ways out before any network use: each ends the run without a box.
struct SilentEnd {
    const char* name;
    unsigned pcHost;
    const char* note;  // what the driver does, as it reports it
    void (*act)();     // the driver's steps up to that action
};

void PrintTo(const SilentEnd& c, std::ostream* out) { *out << c.name; }

class QtSilentEnd : public testing::TestWithParam<SilentEnd> {};

TEST_P(QtSilentEnd, TheRunEndsSilently) {
    const SilentEnd& c = GetParam();
    ChildResult result = runProgramWithQt(address(c.pcHost), [c] {
        c.act();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        drive::fail("the run did not end");
    });
    expectCleanEnd(result);
    EXPECT_NE(result.output.find(std::string("driver: ") + c.note), std::string::npos) << describe(result);
}

INSTANTIATE_TEST_SUITE_P(QtWholeRun, QtSilentEnd,
                         testing::Values(SilentEnd{"EnterInTheWarningPressesCancelAndTheRunEndsSilently", 106,
                                                   "pressing Enter",
                                                   [] {
                                                       auto warning = drive::waitForWindow(kWarningDialogId);
                                                       drive::note("pressing Enter");
                                                       drive::pressKey(warning, Qt::Key_Return);
                                                   }},
                                         SilentEnd{"EscapeInTheAddressDialogEndsTheRunSilently", 107, "pressing Escape",
                                                   [] {
                                                       drive::click(drive::waitForWindow(kWarningDialogId), kIdOk);
                                                       auto addressDialog = drive::waitForWindow(kAddressDialogId);
                                                       drive::type(addressDialog, QStringLiteral("10.1"));
                                                       drive::note("pressing Escape");
                                                       drive::pressKey(addressDialog, Qt::Key_Escape);
                                                   }},
                                         SilentEnd{"TheCloseBoxOfTheAddressDialogIsCancel", 108, "closing the window",
                                                   [] {
                                                       drive::click(drive::waitForWindow(kWarningDialogId), kIdOk);
                                                       auto addressDialog = drive::waitForWindow(kAddressDialogId);
                                                       drive::note("closing the window");
                                                       drive::onGui([&] { addressDialog->close(); });
                                                   }}),
                         [](const testing::TestParamInfo<SilentEnd>& info) { return std::string(info.param.name); });

TEST(QtFrontEnd, ADisplayThatCannotBeOpenedLeavesTheChoiceToTheCaller) {
    ChildResult result = runInChild(
        [] {
            unsetenv("QT_QPA_PLATFORM");
            unsetenv("WAYLAND_DISPLAY");
            setenv("DISPLAY", ":7731", 1);  // no server there
            static char name[] = "orb-upgrade";
            static char* argv[] = {name, nullptr};
            dialogs::runWithQtView(1, argv, [] {
                std::puts("the program ran");
                return 0;
            });
            std::puts("runWithQtView returned");
        },
        30000);
    EXPECT_TRUE(result.exited) << describe(result);
    EXPECT_EQ(result.exitCode, 0) << describe(result);
    EXPECT_NE(result.output.find("runWithQtView returned"), std::string::npos) << describe(result);
    EXPECT_NE(result.output.find("the display cannot be opened"), std::string::npos) << describe(result);
    EXPECT_EQ(result.output.find("the program ran"), std::string::npos) << describe(result);
}

}  // namespace
}  // namespace orb::test
