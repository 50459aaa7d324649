// orb-upgrade-cli.exe, the Windows console twin of orb-upgrade.exe: the
// unattended upgrades of the Linux program (orb-upgrade --unattended), from a
// Command Prompt or PowerShell, with the same options, events, summary and exit
// statuses. The front-end and the runner are the Linux program's own
// (app/unattended/); the dialogs run on the portable dialog manager (dialogs/),
// so the same dialog procedures answer them.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/standard_streams.h"
#include "upgrade/upgrade_sequence.h"
#include "app/command_line.h"
#include "app/unattended/unattended_options.h"
#include "app/unattended/unattended_runner.h"

namespace {

int runTheProgram() { return orb::runProgram(nullptr); }

void printHelp() {
    std::puts(
        "Usage: orb-upgrade-cli --accept-warning --address A.B.C.D [options]\n"
        "       orb-upgrade-cli --help | --version\n"
        "Upgrades the firmware of ORB network phone adapters without a person, as\n"
        "orb-upgrade.exe does with its dialogs, with the image that this program\n"
        "carries. --unattended may be given first, as on Linux; it changes nothing.\n"
        "It talks HTTP to each adapter's port 80 and serves the image on UDP port 69\n"
        "(or the next free one up to 168): the firewall must let the adapters in.\n");
    for (const std::string& line : orb::unattended::unattendedHelpLines()) std::puts(line.c_str());
    std::puts(
        "  On Windows Ctrl-C, Ctrl-Break and closing the console window cancel every run\n"
        "  as SIGINT, SIGTERM and SIGHUP do on Linux.");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> given(argv + 1, argv + argc);
    if (given.size() == 1 && given[0] == "--version") {
        // The Linux program's answer, under this program's name.
        std::string text = orb::versionText();
        std::fputs(("orb-upgrade-cli" + text.substr(text.find(' '))).c_str(), stdout);
        return 0;
    }
    for (const std::string& argument : given) {
        if (argument == "--help") {
            printHelp();
            return 0;
        }
    }
    // The command line of `orb-upgrade --unattended ...`.
    std::vector<char*> args = {argv[0]};
    static char unattended[] = "--unattended";
    if (given.empty() || given[0] != unattended) args.push_back(unattended);
    for (int i = 1; i < argc; ++i) {
        args.push_back(argv[i]);
        // A single-adapter run's event lines go to the runner that started it,
        // byte for byte.
        if (std::string(argv[i]) == "--adapter-run") orb::keepStandardOutputBytes();
    }
    args.push_back(nullptr);
    orb::countWaitTicksInMilliseconds();
    orb::unattended::runUnattendedMain(static_cast<int>(args.size()) - 1, args.data(), runTheProgram);
}
