// The command line of `orb-upgrade --unattended`.
#pragma once

#include <string>
#include <vector>

namespace orb::unattended {

inline constexpr int kDefaultParallel = 4;
inline constexpr int kMaxParallel = 32;

struct UnattendedOptions {
    bool acceptWarning = false;
    std::vector<std::string> addresses;  // dotted quads, in the order given, no repeats
    std::string pcAddress;               // empty: the dialog's default
    std::string user;                    // empty: the dialog's default
    std::string passwordFile;
    int parallel = kDefaultParallel;
    bool json = false;
    std::string logPath;
    bool adapterRun = false;  // internal: one adapter, JSON events on standard output
    bool help = false;
};

enum class ParseResult { Run, Help, UsageError };

// Parses the arguments after the program name (the first is "--unattended").
// Reads --addresses-file (one address a line; blank lines and lines starting
// with '#' are skipped). On UsageError, `error` is one line.
ParseResult parseUnattendedOptions(const std::vector<std::string>& args, UnattendedOptions* options,
                                   std::string* error);

// The first line of a password file, without its line end; false when the
// file cannot be read.
bool readPasswordFile(const std::string& path, std::string* password);

// True for A.B.C.D with four decimal numbers 0..255.
bool isDottedQuad(const std::string& text);

// The arguments of the single-adapter run for `address` (program name left out).
std::vector<std::string> adapterRunArguments(const UnattendedOptions& options, const std::string& address);

// The lines that --help shows for these options.
std::vector<std::string> unattendedHelpLines();

}  // namespace orb::unattended
