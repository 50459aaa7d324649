#include "base/diagnostics_log.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/log_file.h"
#include "platform/process.h"
#include "platform/system_text.h"
#include "base/log_masking.h"
#include "base/terminal_escape.h"

namespace orb {

namespace {

constexpr size_t kStampWidth = 13;  // "HH:MM:SS.mmm "

struct DiagnosticsLog {
    std::mutex mutex;
    LogFileHandle file = kNoLogFile;
    std::vector<std::string> secrets;
    // The run of entries of one kind that the last entry belongs to.
    bool runHasKind = false;
    std::string runKind;
    int runLength = 0;
    uint64_t untold = 0;   // entries of the run beyond the limit, not written
    uint64_t written = 0;  // bytes this run wrote to the file
    bool full = false;     // the size limit reached: nothing more is written
    std::string path;
    // A write failed: nothing more is written (an entry cut short would be
    // followed by others, a log with holes); `failure` says why.
    bool failed = false;
    std::string failure;
    DiagnosticsLogFailureHandler failureHandler = nullptr;
    bool failureTold = false;
};

DiagnosticsLog& theLog() {
    static DiagnosticsLog* log = new DiagnosticsLog;  // never destroyed: threads log until the process ends
    return *log;
}

std::atomic<bool> active{false};

uint64_t utcMillisecondsNow() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

std::string dateOf(uint64_t utcMilliseconds) {
    using namespace std::chrono;
    year_month_day day{floor<days>(sys_time<milliseconds>(milliseconds(utcMilliseconds)))};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()));
    return text;
}

std::string withoutCarriageReturns(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// Room kept below the size limit for the line that says it was reached.
constexpr uint64_t kFullLineRoom = 128;
static_assert(kStampWidth + std::char_traits<char>::length(kDiagnosticsLogFullText) + 1 <= kFullLineRoom);

// Tells the handler of the first failure, once. The caller holds the mutex.
void tellFailure(DiagnosticsLog& log) {
    if (!log.failed || log.failureTold || log.failureHandler == nullptr) return;
    log.failureTold = true;
    log.failureHandler(log.path, log.failure);
}

void writeOrFail(DiagnosticsLog& log, const std::string& text) {
    std::string reason = "the write failed";
    if (writeLogFile(log.file, text.data(), text.size(), &reason)) {
        log.written += text.size();
        return;
    }
    log.failed = true;
    log.failure = reason;
    tellFailure(log);
}

// Writes a formatted entry unless the run's bytes would pass the size limit;
// the first entry that would writes the line that says so instead, and nothing
// follows it. The caller holds the mutex.
void appendEntry(DiagnosticsLog& log, const std::string& entry, uint64_t now) {
    if (log.full || log.failed || log.file == kNoLogFile) return;
    if (log.written + entry.size() > kDiagnosticsLogLimitBytes - kFullLineRoom) {
        log.full = true;
        writeOrFail(log, formatDiagnosticsEntry(now, kDiagnosticsLogFullText));
        return;
    }
    writeOrFail(log, entry);
}

// Ends the run of one kind: "N more like the line above" for what it did not
// write. The caller holds the mutex.
void endRun(DiagnosticsLog& log, uint64_t now) {
    if (log.untold > 0)
        appendEntry(log, formatDiagnosticsEntry(now, std::to_string(log.untold) + " more like the line above"), now);
    log.runHasKind = false;
    log.runKind.clear();
    log.runLength = 0;
    log.untold = 0;
}

// Bounded: in a forked child the mutex may belong to a thread that is not
// there, and the process must end all the same.
void endRunAtProcessEnd() {
    DiagnosticsLog& log = theLog();
    for (int tries = 0; tries < 200; ++tries) {
        if (log.mutex.try_lock()) {
            endRun(log, utcMillisecondsNow());
            log.mutex.unlock();
            return;
        }
        sleepMilliseconds(1);
    }
}

void writeEntry(const char* kind, std::string_view text) {
    if (!active.load()) return;
    uint64_t now = utcMillisecondsNow();
    DiagnosticsLog& log = theLog();
    std::lock_guard<std::mutex> lock(log.mutex);
    if (log.file == kNoLogFile || log.full || log.failed) return;
    // Masked before the time stamp, the indentation and the escapes go in, so
    // that none can hide a secret from the mask nor be taken for one. The
    // carriage returns, which the entry drops, go first: a secret split by one
    // would otherwise come out whole.
    std::string entry = formatDiagnosticsEntry(now, maskSecrets(withoutCarriageReturns(text), log.secrets));
    if (entry.empty()) return;  // nothing in the file, so no end of a run either
    if (kind != nullptr && log.runHasKind && log.runKind == kind) {
        if (log.runLength >= kDiagnosticsRunLimit) {
            ++log.untold;
            return;
        }
    } else {
        endRun(log, now);
        if (kind != nullptr) {
            log.runHasKind = true;
            log.runKind = kind;
        }
    }
    ++log.runLength;
    appendEntry(log, entry, now);
}

}  // namespace

const char* chooseDiagnosticsLogPath(const char* optionValue) {
    if (optionValue != nullptr) return optionValue;
    // Kept for the caller until this thread asks again; read as UTF-8, so
    // that a path with any letters opens on Windows too.
    thread_local std::string environment;
    if (!readEnvironmentVariable(kTraceEnvironmentVariable, &environment)) environment.clear();
    return !environment.empty() ? environment.c_str() : nullptr;
}

bool openDiagnosticsLog(const char* optionValue, std::string* error) {
    const char* path = chooseDiagnosticsLogPath(optionValue);
    if (path == nullptr) return true;
    std::string reason = "no file name";
    LogFileHandle file = *path != '\0' ? openLogFile(path, &reason) : kNoLogFile;
    if (file == kNoLogFile) {
        if (error != nullptr)
            *error = std::string("cannot open the log file \"") + path + "\" (" +
                     (optionValue != nullptr ? "--log" : kTraceEnvironmentVariable) + "): " + reason;
        return false;
    }
    // A run that the process's end cuts short is still told.
    static std::once_flag hookAdded;
    std::call_once(hookAdded, [] { addProcessEndHook(endRunAtProcessEnd); });
    DiagnosticsLog& log = theLog();
    {
        std::lock_guard<std::mutex> lock(log.mutex);
        endRun(log, utcMillisecondsNow());
        if (log.file != kNoLogFile) closeLogFile(log.file);
        log.file = file;
        log.written = 0;
        log.full = false;
        log.path = path;
        log.failed = false;
        log.failure.clear();
        log.failureTold = false;
    }
    active.store(true);
    uint64_t now = utcMillisecondsNow();
    writeDiagnosticsEntry("orb-upgrade diagnostics log, " + dateOf(now) + ", times in UTC");
    return true;
}

bool diagnosticsLogActive() { return active.load(); }

void closeDiagnosticsLog() {
    DiagnosticsLog& log = theLog();
    std::lock_guard<std::mutex> lock(log.mutex);
    active.store(false);
    endRun(log, utcMillisecondsNow());
    closeLogFile(log.file);
    log.file = kNoLogFile;
    log.secrets.clear();
}

std::string formatDiagnosticsEntry(uint64_t utcMilliseconds, std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::string out;
    std::string pending;  // blank lines are kept only between visible ones
    for (std::string_view line : lines) {
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            if (!out.empty()) pending += '\n';
            continue;
        }
        if (out.empty()) {
            uint64_t ofDay = utcMilliseconds % 86400000u;
            char stamp[kStampWidth + 1];
            std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u ", static_cast<unsigned>(ofDay / 3600000),
                          static_cast<unsigned>(ofDay / 60000 % 60), static_cast<unsigned>(ofDay / 1000 % 60),
                          static_cast<unsigned>(ofDay % 1000));
            out = stamp;
        } else {
            out += pending;
            pending.clear();
            out.append(kStampWidth, ' ');
        }
        // Bytes that the network hands over raw (an adapter's page, a refused
        // file name) could move the cursor of the terminal that shows the log,
        // or fake an entry.
        appendEscapedForTerminal(out, withoutCarriageReturns(line));
        out += '\n';
    }
    return out;
}

void writeDiagnosticsEntry(std::string_view text) { writeEntry(nullptr, text); }

void writeDiagnosticsEntryOfKind(const char* kind, std::string_view text) { writeEntry(kind, text); }

void logDiagnostics(const char* format, ...) {
    if (!active.load()) return;
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    writeDiagnosticsEntry(text);
}

void setDiagnosticsLogFailureHandler(DiagnosticsLogFailureHandler handler) {
    DiagnosticsLog& log = theLog();
    std::lock_guard<std::mutex> lock(log.mutex);
    log.failureHandler = handler;
    tellFailure(log);
}

void addDiagnosticsSecret(std::string_view secret) {
    std::string kept = withoutCarriageReturns(secret);  // as the text to mask has it
    if (kept.empty()) return;
    DiagnosticsLog& log = theLog();
    std::lock_guard<std::mutex> lock(log.mutex);
    for (const std::string& known : log.secrets)
        if (known == kept) return;
    log.secrets.push_back(std::move(kept));
}

}  // namespace orb
