// The diagnostics log: what `orb-upgrade --log FILE` (or ORB_TRACE=FILE in the
// environment) writes. Every trace message, every dialog shown and every
// button pressed becomes one entry with the UTC time of day to the
// millisecond. Passwords and Digest responses never reach the file
// (log_masking.h). Every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orb {

inline constexpr const char* kTraceEnvironmentVariable = "ORB_TRACE";

// The log file's name: `optionValue` when given (the --log option wins), else
// the value of ORB_TRACE when it is set and not empty (valid until the
// calling thread's next call); nullptr when neither.
const char* chooseDiagnosticsLogPath(const char* optionValue);

// Opens the file that chooseDiagnosticsLogPath names, for appending, and logs
// to it from now on. True when it opened or when no file is named; false when
// it cannot be opened, with `error` saying which file, where its name came
// from and why ("cannot open the log file \"/x/y\" (--log): No such file or
// directory").
bool openDiagnosticsLog(const char* optionValue, std::string* error);
bool diagnosticsLogActive();
// Stops logging and forgets the secrets (tests).
void closeDiagnosticsLog();

// One entry, masked, written with one write call; nothing when no log is open.
void writeDiagnosticsEntry(std::string_view text);
// An entry of a kind: trace passes its format, so that one message repeated
// with other values is known as such. Of more than kDiagnosticsRunLimit
// entries of one kind in a row the first kDiagnosticsRunLimit are written and
// the rest counted; "N more like the line above" follows when an entry of
// another kind or of none (writeDiagnosticsEntry) comes, when the log is
// closed, or when the process ends through endProcess. A flood (thousands of
// refused TFTP requests) leaves a log of a few pages.
inline constexpr int kDiagnosticsRunLimit = 100;
// However the kinds alternate, a run writes at most kDiagnosticsLogLimitBytes
// to its file, the last line included: once the next entry would pass it, one
// line saying so (kDiagnosticsLogFullText) ends what the run writes.
inline constexpr uint64_t kDiagnosticsLogLimitBytes = 4 * 1024 * 1024;
inline constexpr const char* kDiagnosticsLogFullText =
    "the log has reached its limit of 4 MiB for this run: the rest of the run is dropped";
void writeDiagnosticsEntryOfKind(const char* kind, std::string_view text);
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void logDiagnostics(const char* format, ...);

// The first write to the log file that fails (a full disk, an I/O error, a
// write cut short) ends what the run writes there: nothing more goes to the
// file, and the handler learns it once, with the file's name and the
// system's reason. A handler set after the failure learns it at once. It may
// be called on any thread with the log's lock held: it must not log, and must
// return quickly.
using DiagnosticsLogFailureHandler = void (*)(const std::string& path, const std::string& reason);
void setDiagnosticsLogFailureHandler(DiagnosticsLogFailureHandler handler);

// A text that the log masks from now on, wherever it appears (a password as
// typed). Empty texts are ignored.
void addDiagnosticsSecret(std::string_view secret);

// An entry as written, before masking: "HH:MM:SS.mmm " (UTC, from
// milliseconds since 1970) and the text; carriage returns dropped, the lines
// after the first indented to the text's column, a newline at the end. Every
// other byte below 0x20 (tab included), 0x7f and every byte from 0x80 up is
// written as \x and two lowercase hex digits ("\x1b", "\xc3\xa9"); a backslash
// stays as it is. Empty when the text has no visible line (only spaces and
// tabs).
std::string formatDiagnosticsEntry(uint64_t utcMilliseconds, std::string_view text);

}  // namespace orb
