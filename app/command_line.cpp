#include "app/command_line.h"

#include "platform/embedded_image.h"
#include "upgrade/firmware_image.h"
#include "app/unattended/unattended_options.h"

#ifndef ORB_PROGRAM_VERSION
#error "ORB_PROGRAM_VERSION comes from project(VERSION) in CMakeLists.txt"
#endif

namespace orb {

namespace {

CommandLine lineWith(CommandLine::Action action, std::string error = std::string()) {
    CommandLine line;
    line.action = action;
    line.error = std::move(error);
    return line;
}

// The embedded image as --version describes it.
std::string firmwareDescription() {
    FirmwareImage image{};
    switch (loadFirmwareImage(findEmbeddedImage(nullptr), &image)) {
        case ImageLoadResult::Missing: return "firmware: none embedded";
        case ImageLoadResult::TooShort: return "firmware: too short for its header";
        case ImageLoadResult::Loaded: break;
    }
    char version[kVersionTextMax + 1];
    readVersionText(image, version);
    return "firmware " + std::string(version) + ", " + std::to_string(image.size) + " bytes";
}

}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    // Each argument is looked at in turn; --help and --version answer at once,
    // as does the first argument that is not understood.
    if (argc > 1 && std::string(argv[1]) == "--unattended") return lineWith(CommandLine::Action::Unattended);
    std::string logFile;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") return lineWith(CommandLine::Action::Help);
        if (argument == "--version") return lineWith(CommandLine::Action::Version);
        if (argument == "--log" || argument.rfind("--log=", 0) == 0) {
            std::string file = argument == "--log" ? (i + 1 < argc ? argv[++i] : "") : argument.substr(6);
            if (file.empty()) {
                return lineWith(CommandLine::Action::Refuse,
                                "orb-upgrade: --log needs a file name (see orb-upgrade --help)");
            }
            logFile = file;
            continue;
        }
        const char* what = argument.rfind("-", 0) == 0 ? "unknown option" : "unexpected argument";
        return lineWith(CommandLine::Action::Refuse,
                        "orb-upgrade: " + std::string(what) + " '" + argument + "' (see orb-upgrade --help)");
    }
    CommandLine line = lineWith(CommandLine::Action::Run);
    line.logFile = logFile;
    return line;
}

// Standard output before standard error, as their descriptors 1 and 2.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int answerCommandLine(const CommandLine& line, std::FILE* out, std::FILE* err) {
    switch (line.action) {
        case CommandLine::Action::Help: std::fputs(helpText().c_str(), out); break;
        case CommandLine::Action::Version: std::fputs(versionText().c_str(), out); break;
        case CommandLine::Action::Refuse: std::fprintf(err, "%s\n", line.error.c_str()); return 2;
        case CommandLine::Action::Run:
        case CommandLine::Action::Unattended: break;
    }
    return std::fflush(out) == 0 ? 0 : 1;
}

std::string versionText() {
    return "orb-upgrade " ORB_PROGRAM_VERSION "\n" + firmwareDescription() +
           "\n"
           "Copyright (C) 2026 The ORB firmware upgrade utility authors\n"
           "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n"
           "This is free software: you are free to change and redistribute it.\n"
           "There is NO WARRANTY, to the extent permitted by law.\n";
}

std::string helpText() {
    std::string unattended;
    for (const std::string& line : unattended::unattendedHelpLines()) unattended += line + "\n";
    return "Usage: orb-upgrade [--log FILE] | --help | --version\n"
           "       orb-upgrade --unattended --accept-warning --address A.B.C.D [options]\n"
           "Upgrades the firmware of an ORB network phone adapter with the image that this\n"
           "program carries (" +
           firmwareDescription() +
           ").\n"
           "Run without arguments, it walks you through its dialogs:\n"
           "  in Qt windows     when DISPLAY or WAYLAND_DISPLAY is set and the display\n"
           "                    opens;\n"
           "  in this terminal  otherwise, when standard input and output are a terminal\n"
           "                    (env -u DISPLAY -u WAYLAND_DISPLAY orb-upgrade stays here).\n"
           "It talks HTTP to the adapter's port 80 and serves the image on UDP port 69 (or\n"
           "the next free one up to 168), which needs root or CAP_NET_BIND_SERVICE.\n"
           "\n"
           "Options:\n"
           "  --help     print this text and exit\n"
           "  --version  print the program's version and the embedded firmware's, and exit\n"
           "  --log FILE write a diagnostics log to FILE (also: ORB_TRACE=FILE): every\n"
           "             trace, dialog and button press with a time stamp; passwords and\n"
           "             Digest responses are written as ***\n"
           "\n"
           "Unattended upgrades:\n" +
           unattended +
           "\n"
           "The manual: man orb-upgrade\n";
}

}  // namespace orb
