// The program's entry on POSIX systems: a Qt window when a display is present,
// the terminal otherwise.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/process.h"
#include "platform/signals.h"
#include "platform/standard_streams.h"
#include "base/diagnostics_log.h"
#include "dialogs/front_ends.h"
#include "upgrade/upgrade_sequence.h"
#include "app/command_line.h"
#include "app/unattended/unattended_runner.h"

namespace {

#ifdef ORB_HAVE_QT
bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}
#endif

int runTheProgram() { return orb::runProgram(nullptr); }

}  // namespace

int main(int argc, char** argv) {
    const orb::CommandLine commandLine = orb::parseCommandLine(argc, argv);
    if (commandLine.action != orb::CommandLine::Action::Run &&
        commandLine.action != orb::CommandLine::Action::Unattended)
        return orb::answerCommandLine(commandLine, stdout, stderr);
    // A send to a connection the adapter has closed fails with an error, as on
    // Windows, instead of ending the process.
    orb::ignoreBrokenPipes();
    // An unattended command gives each adapter's run a log of its own (from
    // --log FILE or ORB_TRACE=FILE, through ORB_TRACE); it keeps none itself.
    if (commandLine.action == orb::CommandLine::Action::Unattended)
        orb::unattended::runUnattendedMain(argc, argv, runTheProgram);
    // The log: --log FILE, else ORB_TRACE=FILE.
    std::string logError;
    const char* logOption = commandLine.logFile.empty() ? nullptr : commandLine.logFile.c_str();
    if (!orb::openDiagnosticsLog(logOption, &logError)) {
        std::fprintf(stderr, "orb-upgrade: %s\n", logError.c_str());
        orb::endProcess(1);
    }
#ifdef ORB_HAVE_QT
    if (hasDisplay()) orb::dialogs::runWithQtView(argc, argv, runTheProgram);
#else
    (void)argc;
    (void)argv;
#endif
    if (orb::standardStreamsAreTerminal()) orb::dialogs::runWithTerminalView(runTheProgram);
    std::fputs(
        "orb-upgrade: there is neither a display nor a terminal to show the dialogs on. Run it on a "
        "desktop (DISPLAY or WAYLAND_DISPLAY set) or in a terminal.\n",
        stderr);
    orb::endProcess(1);
}
