// orb-upgrade.com, the Windows console twin of orb-upgrade.exe, installed
// beside it: a prompt or a script that runs `orb-upgrade ...` gets this one
// (PATHEXT tries .COM before .EXE), and a double click or the Start menu the
// dialogs. It is the unattended upgrades of the Linux program (orb-upgrade
// --unattended), with the same options, events, summary and exit statuses;
// without arguments it opens the dialogs. The front-end and the runner are
// the Linux program's own (app/unattended/); the dialogs run on the portable
// dialog manager (dialogs/), so the same dialog procedures answer them.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "platform/spawned_process.h"
#include "platform/standard_streams.h"
#include "platform/system_text.h"
#include "upgrade/upgrade_sequence.h"
#include "app/command_line.h"
#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_options.h"
#include "app/unattended/unattended_runner.h"

namespace {

int runTheProgram() { return orb::runProgram(nullptr); }

void printHelp() {
    std::puts(
        "Usage: orb-upgrade --unattended --accept-warning --address A.B.C.D [options]\n"
        "       orb-upgrade --help | --version\n"
        "       orb-upgrade              (opens the dialogs of orb-upgrade.exe)\n"
        "Upgrades the firmware of ORB network phone adapters without a person, as\n"
        "orb-upgrade.exe does with its dialogs, with the image that this program\n"
        "carries. --unattended may be left out. It talks HTTP to each adapter's port\n"
        "80 and serves the image on UDP port 69 (or the next free one up to 168): the\n"
        "firewall must let the adapters in.\n");
    for (const std::string& line : orb::unattended::unattendedHelpLines()) std::puts(line.c_str());
    std::puts(
        "  On Windows Ctrl-C, Ctrl-Break and closing the console window cancel every run\n"
        "  as SIGINT, SIGTERM and SIGHUP do on Linux.");
}

// The dialogs are orb-upgrade.exe's, beside this program: started, not
// waited for, as a prompt starts a GUI program.
int openTheDialogs(const std::string& self) {
    size_t dot = self.rfind('.');
    std::string dialogs = (dot == std::string::npos ? self : self.substr(0, dot)) + ".exe";
    if (orb::startDetachedProcess(dialogs)) return 0;
    orb::unattended::sayOnStandardError(orb::unattended::MessageKind::Error, "cannot start " + dialogs);
    return 1;
}

}  // namespace

// Before the program's entry point and the C runtime: a callback of the
// loader, run as the process attaches, before Windows (or Wine) delivers any
// console event to it. From here on Ctrl-C is held for the runner, never the
// default end of the program (status 0 under Wine).
namespace {

void holdOnAttach(void*, unsigned long reason, void*) {
    if (reason == 1) orb::holdStopSignalsUntilCaught();  // DLL_PROCESS_ATTACH
}

}  // namespace

// MinGW's TLS directory calls every pointer in the .CRT$XLB..XLY sections.
extern "C" __attribute__((section(".CRT$XLB"), used)) void (*const orbHoldStopSignals)(void*, unsigned long,
                                                                                       void*) = holdOnAttach;

int wmain(int argc, wchar_t** argv) {
    orb::catchStopSignals();
    orb::disableCrashDialogs();
    orb::unattended::useWindowsMessageStyle();
    // UTF-8 inside, whatever letters the command line holds.
    std::vector<std::string> given = orb::utf8Arguments(argc, argv);
    const std::string self = given.empty() ? std::string() : given[0];
    if (!given.empty()) given.erase(given.begin());
    if (given.empty()) return openTheDialogs(orb::ownProgramPath());
    if (given.size() == 1 && given[0] == "--version") {
        std::fputs(orb::versionText().c_str(), stdout);
        return 0;
    }
    for (const std::string& argument : given) {
        if (argument == "--help" || argument == "/?") {
            printHelp();
            return 0;
        }
    }
    // The command line of `orb-upgrade --unattended ...`.
    std::vector<std::string> arguments = {self};
    if (given[0] != "--unattended") arguments.push_back("--unattended");
    for (const std::string& argument : given) {
        arguments.push_back(argument);
        // A single-adapter run's event lines go to the runner that started it,
        // byte for byte.
        if (argument == "--adapter-run") orb::keepStandardOutputBytes();
    }
    std::vector<char*> args;
    for (std::string& argument : arguments) args.push_back(argument.data());
    args.push_back(nullptr);
    orb::countWaitTicksInMilliseconds();
    orb::unattended::runUnattendedMain(static_cast<int>(args.size()) - 1, args.data(), runTheProgram);
}
