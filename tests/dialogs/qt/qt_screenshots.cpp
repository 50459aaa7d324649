// Renders the eight dialogs and the error box, as the Qt view draws them with
// representative content, to PNG files (offscreen QWidget::grab() under a title
// bar that the style draws):
//
//   orb_qt_screenshots OUTPUT_FOLDER
//
// The real dialog procedures open the dialogs on a program thread, from a
// start-up like the program's (the embedded image, a PC address list) and the
// status values that orb-sim reports; a driver thread types, grabs and closes.
// Exit code 0 when all nine pictures were written.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <semaphore>
#include <string>
#include <thread>

#include "platform/own_addresses.h"
#include "platform/windowing.h"
#include "dialogs/front_ends.h"
#include "dialogs/qt/qt_view_testing.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/dialog_procs.h"
#include "upgrade/error_box.h"
#include "upgrade/run_state.h"
#include "upgrade/startup.h"
#include "tests/dialogs/qt/qt_driver.h"

namespace {

namespace drive = orb::test::qt;
namespace view = orb::dialogs::qt;

QString outputFolder;
std::atomic<int> written{0};
std::binary_semaphore grabbed{0};  // the driver has taken a modeless window's picture

void save(const QPointer<QWidget>& window, const char* name) {
    // Let the view's last pass (at most 33 ms away) draw what the model holds.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    drive::onGui([&] {
        if (window.isNull()) drive::fail(std::string("the window for ") + name + " has gone");
        QImage picture = view::pictureWithTitleBar(window.data());
        QString path = QDir(outputFolder).filePath(QString::fromLatin1(name));
        if (picture.isNull() || !picture.save(path, "PNG")) drive::fail(std::string("cannot write ") + name);
        QImage check(path);
        if (check.size() != picture.size()) drive::fail(std::string("cannot read back ") + name);
        drive::note(std::string("wrote ") + path.toStdString() + " (" + std::to_string(picture.width()) + "x" +
                    std::to_string(picture.height()) + ")");
    });
    ++written;
}

void setText(char* field, size_t size, const char* text) { std::snprintf(field, size, "%s", text); }

// The program thread: the dialogs in the order of a run.
int showEveryDialog() {
    orb::runStartup(nullptr);
    setText(orb::runState.deviceAddressText, sizeof orb::runState.deviceAddressText, "10.1.0.123");
    orb::DeviceInfo& info = orb::runState.deviceInfo;
    setText(info.serialNumber, sizeof info.serialNumber, "ORB41000001");
    setText(info.macAddress, sizeof info.macAddress, "00:1A:2B:3C:4D:5E");
    setText(info.softwareVersion, sizeof info.softwareVersion, "1.0.2");
    setText(info.hardwareVersion, sizeof info.hardwareVersion, "4100-A1");
    setText(info.productName, sizeof info.productName, "ORB4100");

    orb::runModalDialog(nullptr, orb::kWarningDialogId, orb::warningDialogProc);
    orb::runModalDialog(nullptr, orb::kAddressDialogId, orb::addressDialogProc);

    orb::WindowHandle connecting =
        orb::createModelessDialog(nullptr, orb::kConnectingWindowId, orb::connectingDialogProc);
    orb::setProgressPosition(connecting, orb::kProgressBarId, 35);
    while (!grabbed.try_acquire_for(std::chrono::milliseconds(5))) orb::pumpAllMessages(connecting);
    orb::destroyWindow(connecting);

    orb::runModalDialog(nullptr, orb::kCredentialsDialogId, orb::credentialsDialogProc);
    orb::runModalDialog(nullptr, orb::kConfirmDialogId, orb::confirmDialogProc);

    orb::WindowHandle waiting = orb::createModelessDialog(nullptr, orb::kWaitingWindowId, orb::progressDialogProc);
    orb::setProgressRange(waiting, orb::kProgressBarId, 0, 100);
    orb::setProgressPosition(waiting, orb::kProgressBarId, 60);
    while (!grabbed.try_acquire_for(std::chrono::milliseconds(5))) orb::pumpAllMessages(waiting);
    orb::destroyWindow(waiting);

    orb::WindowHandle upload = orb::createModelessDialog(nullptr, orb::kUploadWindowId, orb::progressDialogProc);
    orb::setProgressRange(upload, orb::kProgressBarId, 0, 1423);
    orb::setProgressPosition(upload, orb::kProgressBarId, 910);
    while (!grabbed.try_acquire_for(std::chrono::milliseconds(5))) orb::pumpAllMessages(upload);
    orb::destroyWindow(upload);

    setText(info.softwareVersion, sizeof info.softwareVersion, "2.0.10(a)");
    orb::runModalDialog(nullptr, orb::kSuccessDialogId, orb::successDialogProc);

    orb::showErrorBox("Upgrade Failed: User Abort");
    return written.load() == 9 ? 0 : 1;
}

// The driver thread: types what a person would have typed, takes the
// pictures, closes each dialog.
void takePictures() {
    auto warning = drive::waitForWindow(orb::kWarningDialogId);
    save(warning, "1-warning.png");
    drive::click(warning, orb::kIdCancel);

    auto address = drive::waitForWindow(orb::kAddressDialogId);
    drive::focus(address, 1000);
    drive::type(address, QStringLiteral("10.1.0.123"));
    save(address, "2-address.png");
    drive::click(address, orb::kIdCancel);

    save(drive::waitForWindow(orb::kConnectingWindowId), "3-connecting.png");
    grabbed.release();

    auto credentials = drive::waitForWindow(orb::kCredentialsDialogId);
    drive::type(credentials, QStringLiteral("secret"));
    save(credentials, "4-credentials.png");
    drive::click(credentials, orb::kIdCancel);

    auto confirm = drive::waitForWindow(orb::kConfirmDialogId);
    save(confirm, "5-confirm.png");
    drive::click(confirm, orb::kIdCancel);

    save(drive::waitForWindow(orb::kWaitingWindowId), "6-waiting.png");
    grabbed.release();
    save(drive::waitForWindow(orb::kUploadWindowId), "7-upload.png");
    grabbed.release();

    auto success = drive::waitForWindow(orb::kSuccessDialogId);
    save(success, "8-success.png");
    drive::click(success, orb::kIdOk);

    auto box = drive::waitForMessageBox();
    save(QPointer<QWidget>(box.data()), "9-error-box.png");
    drive::clickOk(box);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    outputFolder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(outputFolder)) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A PC with a wired and a wireless address, as the combo box would list them.
    orb::setOwnAddressesForTesting(true, {0x0A010005u, 0xC0A80003u});
    orb::dialogs::runWithQtView(1, argv, [] {
        std::thread(takePictures).detach();
        return showEveryDialog();
    });
    std::fprintf(stderr, "orb_qt_screenshots: no display\n");
    return 1;
}
