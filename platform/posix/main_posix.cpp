// The program's entry on POSIX systems: a Qt window when a display is present,
// the terminal otherwise.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/diagnostics_log.h"
#include "platform/dialogs/front_ends.h"
#include "platform/process.h"
#include "sequence/upgrade_sequence.h"

namespace {

#ifdef ORB_HAVE_QT
bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}
#endif

int runTheProgram() { return orb::runProgram(nullptr); }

// --log FILE or --log=FILE; nullptr when not given. Ends the process when the
// option has no file name.
const char* findLogOption(int argc, char** argv) {
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--log=", 6) == 0) {
            path = argv[i] + 6;
        } else if (std::strcmp(argv[i], "--log") == 0) {
            if (i + 1 >= argc) {
                std::fputs("orb-upgrade: --log needs a file name (--log FILE)\n", stderr);
                orb::endProcess(2);
            }
            path = argv[++i];
        }
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    // A send to a connection the adapter has closed fails with an error, as on
    // Windows, instead of ending the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::string logError;
    if (!orb::openDiagnosticsLog(findLogOption(argc, argv), &logError)) {
        std::fprintf(stderr, "orb-upgrade: %s\n", logError.c_str());
        orb::endProcess(1);
    }
#ifdef ORB_HAVE_QT
    if (hasDisplay()) orb::dialogs::runWithQtView(argc, argv, runTheProgram);
#else
    (void)argc;
    (void)argv;
#endif
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) orb::dialogs::runWithTerminalView(runTheProgram);
    std::fputs("orb-upgrade: there is neither a display nor a terminal to show the dialogs on. Run it on a "
               "desktop (DISPLAY or WAYLAND_DISPLAY set) or in a terminal.\n",
               stderr);
    orb::endProcess(1);
}
