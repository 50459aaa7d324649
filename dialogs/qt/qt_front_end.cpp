// runWithQtView: orb-upgrade on a Linux desktop. Qt runs on the process's main
// thread (the GUI thread); the program (the run's "main thread") runs on a
// second thread and the process ends with its result when it returns.
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/process.h"
#include "platform/spawned_process.h"
#include "dialogs/dialog_view.h"
#include "dialogs/front_ends.h"
#include "dialogs/program_thread.h"
#include "dialogs/qt/qt_look.h"
#include "dialogs/qt/qt_view.h"

namespace orb::dialogs {

namespace {

// Platforms that need no display server and so cannot fail to open one.
bool platformNeedsNoDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform == nullptr) return false;
    return std::strncmp(platform, "offscreen", 9) == 0 || std::strncmp(platform, "minimal", 7) == 0;
}

struct ProbeArguments {
    int argc;
    char** argv;
};

// In the probing child: never destroyed, the child ends without destructors.
bool primaryScreenOpens(void* context) {
    auto* arguments = static_cast<ProbeArguments*>(context);
    auto* probe = new QGuiApplication(arguments->argc, arguments->argv);
    (void)probe;
    return QGuiApplication::primaryScreen() != nullptr;
}

// Qt ends the process (qFatal) when it cannot connect to the display, so the
// attempt is made in a child first: a failure there leaves this process free
// to fall back to the terminal. Nothing of Qt exists in this process yet. A
// server that accepts the connection but never answers counts as none; when
// the child cannot be made, Qt tries here.
bool displayCanBeOpened(int argc, char** argv) {
    constexpr int kProbeTimeoutMs = 10000;
    ProbeArguments arguments{argc, argv};
    return probeInChild(primaryScreenOpens, &arguments, kProbeTimeoutMs) != ProbeVerdict::Failed;
}

}  // namespace

namespace qt {

void installQtView(QApplication& application) {
    requireGuiThread("the view");
    QGuiApplication::setApplicationName(QStringLiteral("orb-upgrade"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orb-upgrade"));
    QGuiApplication::setQuitOnLastWindowClosed(false);  // windows come and go during a run
    QGuiApplication::setWindowIcon(programIcon());
    applyDialogLook(application);

    // The dialog font and its base units, and the screen, before the first
    // window opens: the model computes every rectangle from them.
    DialogFont font = loadDialogFont();
    QApplication::setFont(font.font);
    setDialogBaseUnits(font.baseX, font.baseY);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect geometry = screen->geometry();
        setScreenSize(geometry.width(), geometry.height());
    }
    installDialogView(createQtView());
}

}  // namespace qt

void runWithQtView(int argc, char** argv, const std::function<int()>& program) {
    if (!platformNeedsNoDisplay() && !displayCanBeOpened(argc, argv)) {
        std::fputs(
            "orb-upgrade: the display cannot be opened (DISPLAY or WAYLAND_DISPLAY is set, but Qt cannot "
            "connect to it)\n",
            stderr);
        return;
    }
    // QApplication keeps references to argc and argv; it is never destroyed
    // (the process ends with _exit, past every static destructor).
    static int qtArgc = argc;
    auto* application = new QApplication(qtArgc, argv);
    qt::installQtView(*application);

    startProgramThread(program, qt::beginQtViewShutdown);

    application->exec();
    // The event loop ended (the session is closing): nothing can be shown or
    // answered any more, so the run ends here.
    qt::beginQtViewShutdown();
    orb::endProcess(0);
}

}  // namespace orb::dialogs
