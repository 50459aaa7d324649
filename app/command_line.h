// The Linux program's command line: what it was asked to do, and the texts it
// answers --help and --version with. Without arguments the program runs the
// upgrade as always.
#pragma once

#include <cstdio>
#include <string>

namespace orb {

struct CommandLine {
    enum class Action {
        Run,         // no option: the upgrade, in the front-end the session allows
        Help,        // --help
        Version,     // --version
        Unattended,  // --unattended first: the rest is the unattended front-end's
        Refuse,      // anything else: `error` says why
    };
    Action action = Action::Run;
    std::string error;    // one line without its newline, naming --help
    std::string logFile;  // --log FILE: the diagnostics log; empty: ORB_TRACE, or none
};

// Reads the arguments after argv[0]. The first one that is not understood
// makes the whole line refused.
CommandLine parseCommandLine(int argc, char** argv);

// Prints the answer of a Help, Version or Refuse line (help and version on
// `out`, the refusal on `err`) and gives the exit code: 0, or 2 for a refusal.
int answerCommandLine(const CommandLine& line, std::FILE* out, std::FILE* err);

// "orb-upgrade 1.0.0\nfirmware 2.0.10(a), 728196 bytes\n" for the image that
// the executable carries.
std::string versionText();
std::string helpText();

}  // namespace orb
