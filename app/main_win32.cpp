// The program's GUI entry point on Windows. It takes no arguments; field
// support turns the diagnostics log on for one run with ORB_TRACE=FILE.
#include <windows.h>

#include <string>

#include "platform/window_events.h"
#include "platform/windowing.h"
#include "base/diagnostics_log.h"
#include "base/dialog_log.h"
#include "upgrade/upgrade_sequence.h"

namespace {

// The dialog manager's events as the same log lines the Linux program writes.
const orb::WindowEventLog windowEventLog{
    [](int templateId, const char* title) { orb::logDialogShown(templateId, title); },
    // The parameters of each are WindowEventLog's, which mirror the log lines.
    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
    [](int templateId, const char* title, int buttonId, const char* caption, const char* how) {
        orb::logButtonPressed(templateId, title, buttonId, caption, how);
    },
    [](int templateId, const char* title) { orb::logCloseBoxPressed(templateId, title); },
    [](int templateId, const char* hint) { orb::logDialogHint(templateId, hint); },
    // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
    [](const char* caption, const char* text) { orb::logMessageBoxShown(caption, text); },
    [](const char* caption, int button) { orb::logMessageBoxAnswered(caption, button, false); },
    [](const char* text) { orb::addDiagnosticsSecret(text); },
};

// Without ORB_TRACE nothing changes. A log that cannot be opened is said once;
// the upgrade goes on without it.
void startDiagnosticsLog() {
    std::string error;
    if (!orb::openDiagnosticsLog(nullptr, &error)) {
        std::string text = "The diagnostics log is off: " + error + ".";
        orb::showMessageBox(nullptr, text.c_str(), "ORB Firmware Upgrade", orb::kMbOk);
        return;
    }
    if (orb::diagnosticsLogActive()) orb::setWindowEventLog(&windowEventLog);
}

}  // namespace

// Wide (-municode), as the console program: the command line is not read.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    startDiagnosticsLog();
    return orb::runProgram(instance);
}
