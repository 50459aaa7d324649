// The command line of `orb-upgrade --unattended`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/ipv4_text.h"
#include "upgrade/dialog_texts.h"

namespace orb::unattended {

inline constexpr int kDefaultParallel = 4;
// Runs are not ports: the runner gives its runs turns at the listener's 100
// ports (UDP 69..168) and the HTTP client's 101 local ports (23456..23556), so
// that the others wait their restarts meanwhile (port_turn_ledger.h).
inline constexpr int kMaxParallel = 1000;
inline constexpr int kDefaultRequestTimeoutSeconds = 120;
inline constexpr int kDefaultHttpTimeoutSeconds = 60;
// Long enough for the slowest healthy adapter: the status query and the
// trigger (60 s each at most, --http-timeout), its read request (120 s,
// --request-timeout), an upload at one block a second (1,423 s), the restart
// wait (50 s) and the check (60 s) make 1,773 s.
inline constexpr int kDefaultRunTimeoutSeconds = 1800;
inline constexpr int kDefaultPortWaitSeconds = 300;
inline constexpr int kMaxTimeoutSeconds = 9999;
// The most of an addresses file that is read (about 250,000 adapters): a
// larger one, or a device or pipe that never ends, is a usage error.
inline constexpr size_t kMaxAddressesFileBytes = 4 * 1024 * 1024;
// The longest password the credentials dialog keeps whole.
inline constexpr size_t kMaxPasswordBytes = kCredentialMaxChars;

struct UnattendedOptions {
    bool acceptWarning = false;
    // Each adapter once, in the order given, as formatIPv4 writes it whatever the
    // spelling ("10.1.0.8" for "10.1.0.008"): the text typed into the address
    // dialog, the "adapter" of every event and the suffix of the log files.
    std::vector<std::string> addresses;
    std::string pcAddress;  // the same form; empty: the dialog's default
    std::string user;       // empty: the dialog's default
    std::string passwordFile;
    // From the password file, else ORB_PASSWORD (takePassword), read while
    // parsing; empty when neither gives one.
    std::string password;
    int parallel = kDefaultParallel;
    // Limits for a run nobody watches: the adapter's read request after the
    // trigger, and each HTTP exchange; 0 waits for ever.
    int requestTimeoutSeconds = kDefaultRequestTimeoutSeconds;
    int httpTimeoutSeconds = kDefaultHttpTimeoutSeconds;
    // The whole batch's limit, from its start: past it every run is cancelled
    // as Ctrl-C would; 0: none.
    int batchTimeoutSeconds = 0;
    // The whole run, turns at the ports not counted; 0: no limit.
    int runTimeoutSeconds = kDefaultRunTimeoutSeconds;
    // A run's wait for a listener port or an HTTP local port, from its ask
    // through every search that found none free; 0 waits for ever.
    int portWaitSeconds = kDefaultPortWaitSeconds;
    bool json = false;
    // The live status line: Auto when standard output is a terminal and --json is not given.
    enum class Progress { Never, Auto, Always } progress = Progress::Auto;
    bool check = false;  // --check: only the status query, nothing triggered
    bool force = false;  // --force: upgrade an adapter that already runs the embedded version
    std::string logPath;
    std::string logSource = "--log";  // where logPath came from: "--log", or "ORB_TRACE" without it
    bool adapterRun = false;          // internal: one adapter, JSON events on standard output
    bool help = false;
};

enum class ParseResult { Run, Help, UsageError };

// Parses the arguments after the program name (the first is "--unattended").
// Reads --addresses-file (addAdaptersFromText) and --password-file
// (readPasswordFile), or without it ORB_PASSWORD. On UsageError, `error` is
// one line that names the option, file or variable at fault.
ParseResult parseUnattendedOptions(const std::vector<std::string>& args, UnattendedOptions* options,
                                   std::string* error);

// An adapter as it was named: for the message about one named twice.
struct NamedAdapter {
    std::string address;   // the canonical form (UnattendedOptions::addresses)
    std::string spelling;  // as given
    std::string where;     // "--address" or "FILE:LINE"
};

// The adapters named so far, in order, and where each address is among them:
// a list of a hundred thousand is checked for repeats as fast as it is read.
struct NamedAdapters {
    std::vector<NamedAdapter> list;
    std::unordered_map<uint32_t, size_t> byAddress;
};

// Adds the adapter that `spelling` names. Refuses what is no dotted quad,
// 0.0.0.0, 255.255.255.255, and an adapter already in `adapters` (compared as
// numbers, so 10.0.0.8 and 10.0.0.008 are one adapter). The error starts with
// `where`.
bool addAdapter(const std::string& spelling, const std::string& where, NamedAdapters* adapters, std::string* error);

// Adds the adapters listed in the content of the addresses file `fileName`:
// one a line; '#' starts a comment; blanks and tabs around an address, CRLF
// line ends and a UTF-8 byte-order mark are ignored. Errors name FILE:LINE.
bool addAdaptersFromText(const std::string& text, const std::string& fileName, NamedAdapters* adapters,
                         std::string* error);

// The text of a file as Notepad or cmd may have saved it: UTF-16 with its
// byte-order mark (either order) becomes UTF-8, without the mark; a Ctrl-Z at
// the end (the end-of-file mark of `copy`) is dropped. Else the bytes as they are.
std::string textOfFile(const std::string& bytes);

// The password when no --password-file gives it.
inline constexpr char kPasswordVariable[] = "ORB_PASSWORD";

// The password that `text` (a password file's content or ORB_PASSWORD's
// value) gives: a leading UTF-8 byte-order mark and one line end at its end
// (LF, CRLF or CR) dropped. False, with the reason, when what is left is
// empty, longer than kMaxPasswordBytes, or holds another line end or a NUL.
bool takePassword(const std::string& text, std::string* password, std::string* reason);

// takePassword of the file's content; false also when it cannot be read.
bool readPasswordFile(const std::string& path, std::string* password, std::string* reason);

// True for A.B.C.D with four decimal numbers 0..255 of one to three digits
// (leading zeros allowed, and decimal: 010 is ten).
bool isDottedQuad(const std::string& text);

// The file that the run of `address` appends its trace to: --log FILE with one
// adapter; with several, the address before FILE's extension (orb.log:
// orb.10.1.0.8.log; trace: trace.10.1.0.8). Empty without --log.
std::string adapterLogPath(const UnattendedOptions& options, const std::string& address);
// Opens every adapterLogPath for appending (creating, never truncating) and
// closes it again: false, with "--log ..." and the reason, when one cannot be.
bool checkLogFiles(const UnattendedOptions& options, std::string* error);

// The arguments of the single-adapter run for `address` (program name left out).
std::vector<std::string> adapterRunArguments(const UnattendedOptions& options, const std::string& address);

// The lines that --help shows for these options.
std::vector<std::string> unattendedHelpLines();

}  // namespace orb::unattended
