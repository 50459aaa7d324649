#include "app/unattended/unattended_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include "platform/open_files.h"
#include "platform/output_terminal.h"
#include "platform/own_addresses.h"
#include "platform/process.h"
#include "platform/self_spawn.h"
#include "platform/signals.h"
#include "platform/system_text.h"
#include "base/diagnostics_log.h"
#include "upgrade/run_state.h"
#include "app/unattended/batch_progress.h"
#include "app/unattended/front_end/unattended_front_end.h"
#include "app/unattended/port_turn_client.h"
#include "app/unattended/port_turn_ledger.h"
#include "app/unattended/unattended_events.h"
#include "app/unattended/unattended_outcome.h"

namespace orb::unattended {

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The status line is redrawn at most this often (the lines above it as they come).
constexpr double kProgressRedrawSeconds = 0.25;
constexpr int kProgressRedrawMs = 250;
// Erases the status line: back to the line's start, clear to its end.
constexpr const char* kEraseLine = "\r\033[K";

// The file (ORB_BATCH_STATS) where a batch writes the most runs that held a
// listener port at once and the most exchanges at once, for bench/fleet.
constexpr const char* kBatchStatsVariable = "ORB_BATCH_STATS";

// The program of the adapters' runs, for the entry of a forked run.
std::function<int()> adapterProgram;

[[noreturn]] void enterAdapterRun(const std::vector<std::string>& args) {
    UnattendedOptions options;
    std::string error;
    if (parseUnattendedOptions(args, &options, &error) != ParseResult::Run || !options.adapterRun) endProcess(2);
    runAdapterRun(options, adapterProgram);
}

// The PC address must be one that the address dialog offers.
bool checkPcAddress(const std::string& pcAddress, std::string* error) {
    if (pcAddress.empty()) return true;
    uint32_t own[kPcAddressListSize] = {};
    int count = listOwnAddresses(own, kPcAddressListSize);
    std::string offered;
    for (int i = 0; i < count && own[i] != 0; ++i) {
        if (formatIPv4(own[i]) == pcAddress) return true;
        offered += (i > 0 ? ", " : "") + formatIPv4(own[i]);
    }
    *error = "the PC address " + pcAddress + " is not an address of this computer (" +
             (offered.empty() ? std::string("none found") : offered) + ")";
    return false;
}

struct AdapterRun {
    std::string address;
    SpawnedProcess process;
    bool started = false;
    bool finished = false;
    std::string pending;  // output not yet ended by a newline
    std::chrono::steady_clock::time_point start;
    double seconds = 0;
    bool resultSeen = false;
    Outcome outcome = Outcome::Failed;
    std::string resultName = "failed";
    std::string version;
};

class Runner {
public:
    Runner(const UnattendedOptions& options, const RunLauncher& launch)
        : options_(options), launch_(launch), progress_(options.addresses.size(), options.parallel) {
        for (const std::string& address : options.addresses) {
            AdapterRun run;
            run.address = address;
            runs_.push_back(run);
        }
        // The JSON stream holds events alone: with --json the line goes to
        // standard error, and only to a terminal there.
        using Progress = UnattendedOptions::Progress;
        statusStream_ = options.json ? StandardStream::Error : StandardStream::Output;
        if (options.json)
            liveView_ = options.progress == Progress::Always && standardStreamIsTerminal(StandardStream::Error);
        else
            liveView_ = options.progress == Progress::Always ||
                        (options.progress == Progress::Auto && standardStreamIsTerminal(StandardStream::Output));
        // The other stream's lines go above the status line when it reaches a
        // terminal too.
        otherStreamOnTerminal_ = standardStreamIsTerminal(
            statusStream_ == StandardStream::Output ? StandardStream::Error : StandardStream::Output);
        batchStart_ = std::chrono::steady_clock::now();
    }

    int run(const std::vector<std::string>& environment) {
        environment_ = environment;
        environment_.push_back(std::string(kPortTurnsVariable) + "=pipe");
        size_t next = 0;
        int running = 0;
        forwardSignal();  // a stop that came while the command was read: no run starts
        for (;;) {
            while (!cancelled_ && !startsHeld_ && running < options_.parallel && next < runs_.size()) {
                Start started = start(&runs_[next], running);
                if (started == Start::Held) break;  // tried again once a run has ended
                if (started == Start::Started) ++running;
                ++next;
            }
            if (running == 0 && (cancelled_ || next >= runs_.size())) break;
            waitForOutput(&running);
            checkBatchDeadline();
            ledger_.tick(static_cast<uint32_t>(secondsSince(batchStart_) * 1000));
            handOutTurns();
            drawStatusLine(false);
        }
        eraseStatusLine();
        writeBatchStats();
        for (AdapterRun& run : runs_) {
            if (run.started) continue;
            run.outcome = Outcome::Cancelled;
            run.resultName = "cancelled";
            print(resultEvent(run.address, "cancelled", Outcome::Cancelled)
                      .add("text", "result: cancelled before it started"));
        }
        std::vector<Outcome> outcomes;
        for (const AdapterRun& run : runs_) outcomes.push_back(run.outcome);
        if (runs_.size() > 1) printSummary();
        return exitStatusFor(outcomes);
    }

private:
    enum class Start { Started, Failed, Held };

    // A start that the system refuses for want of processes or open files
    // is held while other runs go on, and tried again when one of them ends:
    // only with no run going is that the adapter's failure.
    Start start(AdapterRun* run, int running) {
        std::vector<std::string> environment = environment_;
        std::string logPath = adapterLogPath(options_, run->address);
        if (!logPath.empty()) environment.push_back("ORB_TRACE=" + logPath);
        run->start = std::chrono::steady_clock::now();
        if (launch_(adapterRunArguments(options_, run->address), environment, &run->process)) {
            run->started = true;
            progress_.started(indexOf(run), secondsSince(batchStart_));
            return Start::Started;
        }
        if (run->process.shortOfResources && running > 0) {
            if (!shortageSaid_)
                writeLine(StandardStream::Error, formatMessage(MessageKind::Warning,
                                                               "the system is short of processes or open files: the "
                                                               "next runs start as others end") +
                                                     "\n");
            shortageSaid_ = true;
            startsHeld_ = true;
            return Start::Held;
        }
        run->started = true;
        run->finished = true;
        progress_.started(indexOf(run), secondsSince(batchStart_));
        progress_.finished(indexOf(run), true, secondsSince(batchStart_));
        std::string why = run->process.shortOfResources ? ": the system is short of processes or open files" : "";
        print(resultEvent(run->address, "failed", Outcome::Failed)
                  .add("text", "result: failed (the run could not be started" + why + ")"));
        return Start::Failed;
    }

    void waitForOutput(int* running) {
        std::vector<const SpawnedProcess*> processes;
        std::vector<AdapterRun*> owners;
        for (AdapterRun& run : runs_) {
            if (!run.started || run.finished) continue;
            processes.push_back(&run.process);
            owners.push_back(&run);
        }
        // Until a run writes or ends, or a stop signal comes: nothing else can
        // change while every run waits.
        // A share that grows back, and a live view, need the clock too.
        int timeoutMs = ledger_.regrowing() ? static_cast<int>(kShareRegrowthMs) : -1;
        if (liveView_) timeoutMs = kProgressRedrawMs;
        if (int left = millisecondsToBatchDeadline(); left >= 0 && (timeoutMs < 0 || left < timeoutMs))
            timeoutMs = left;
        std::vector<bool> ready;
        bool any = processes.empty() ? false : waitForProcessOutput(processes, &ready, timeoutMs);
        forwardSignal();
        if (!any) return;
        for (size_t i = 0; i < owners.size(); ++i) {
            if (!ready[i]) continue;
            if (!readFrom(owners[i])) {
                finish(owners[i]);
                --*running;
            }
        }
    }

    // SIGINT, SIGTERM or SIGHUP (Windows: Ctrl-C, Ctrl-Break, the console
    // closed): every run cancels as with the Cancel button (a hang-up is
    // passed on as SIGTERM); no new run starts.
    void forwardSignal() {
        StopSignal signal = takeStopSignal();
        if (signal == StopSignal::None) return;
        writeLine(StandardStream::Error,
                  formatMessage(MessageKind::Note, std::string(describeStopSignal(signal)) + ": cancelling every run") +
                      "\n");
        cancelEveryRun(signal == StopSignal::Interrupt);
    }

    // -1: no limit, or the batch is cancelled already.
    int millisecondsToBatchDeadline() const {
        if (options_.batchTimeoutSeconds <= 0 || cancelled_) return -1;
        double left = options_.batchTimeoutSeconds - secondsSince(batchStart_);
        return left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
    }

    // Past --batch-timeout: as Ctrl-C, so that every adapter still gets its result.
    void checkBatchDeadline() {
        if (millisecondsToBatchDeadline() != 0) return;
        writeLine(StandardStream::Error,
                  formatMessage(MessageKind::Note, "the batch's time limit of " +
                                                       std::to_string(options_.batchTimeoutSeconds) +
                                                       " s (--batch-timeout) has passed: cancelling every run") +
                      "\n");
        cancelEveryRun(false);
    }

    void cancelEveryRun(bool interrupt) {
        cancelled_ = true;
        for (AdapterRun& run : runs_)
            if (run.started && !run.finished) signalProcess(run.process.id, interrupt);
        // A run waiting for a port is told that none will come: it ends as cancelled.
        for (const PortGrant& waiting : ledger_.takeEveryWaiting())
            writeProcessInput(runs_[static_cast<size_t>(waiting.run)].process, &kNoTurn, 1);
    }

    size_t indexOf(const AdapterRun* run) const { return static_cast<size_t>(run - runs_.data()); }

    // A run's ask for a port turn: the runner's own business, never printed.
    void takeTurnEvent(AdapterRun* run, const Event& event) {
        int index = static_cast<int>(indexOf(run));
        PortKind kind = event.value("kind") == "listener" ? PortKind::Listener : PortKind::Http;
        const std::string step = event.value("step");
        if (step == "give") {
            ledger_.giveBack(index, kind);
        } else if (cancelled_) {
            writeProcessInput(run->process, &kNoTurn, 1);
        } else if (step == "busy") {
            ledger_.noFreePort(index, kind, static_cast<uint32_t>(secondsSince(batchStart_) * 1000));
        } else {
            ledger_.ask(index, kind);
        }
    }

    void handOutTurns() {
        for (const PortGrant& grant : ledger_.grant()) {
            AdapterRun& run = runs_[static_cast<size_t>(grant.run)];
            char turn = grant.kind == PortKind::Listener ? kListenerTurn : kHttpTurn;
            // A run that has gone cannot use it: the turn comes back at once.
            if (!writeProcessInput(run.process, &turn, 1)) ledger_.giveBack(grant.run, grant.kind);
        }
    }

    void writeBatchStats() {
        const char* path = std::getenv(kBatchStatsVariable);
        if (path == nullptr || *path == '\0') return;
        std::ofstream out(path);
        out << "most-serving " << ledger_.most(PortKind::Listener) << "\n"
            << "most-exchanges " << ledger_.most(PortKind::Http) << "\n";
    }

    // The live view: the status line is redrawn at most a few times a second.
    void drawStatusLine(bool force) {
        if (!liveView_) return;
        double now = secondsSince(batchStart_);
        if (!force && statusShown_ && now - lastDraw_ < kProgressRedrawSeconds) return;
        lastDraw_ = now;
        statusText_ = progress_.line(now, terminalColumns(statusStream_) - 1);
        writeTo(statusStream_, std::string(kEraseLine) + statusText_);
        statusShown_ = true;
    }

    void eraseStatusLine() {
        if (!statusShown_) return;
        writeTo(statusStream_, kEraseLine);
        statusShown_ = false;
    }

    static void writeTo(StandardStream stream, const std::string& text) {
        std::FILE* file = stream == StandardStream::Output ? stdout : stderr;
        std::fputs(text.c_str(), file);
        std::fflush(file);
    }

    // A line of standard output or error, above the status line when that
    // shares its terminal; the line is drawn again below it as it was. On one
    // stream it is one write, so that the terminal never shows it half done.
    void writeLine(StandardStream stream, std::string line) {
        bool besideStatus = statusShown_ && (stream == statusStream_ || otherStreamOnTerminal_);
        if (!besideStatus) {
            writeTo(stream, line);
            return;
        }
        if (stream == statusStream_) {
            writeTo(stream, kEraseLine + line + statusText_);
            return;
        }
        writeTo(statusStream_, kEraseLine);
        writeTo(stream, line);
        writeTo(statusStream_, statusText_);
    }

    // False at the end of the output.
    bool readFrom(AdapterRun* run) {
        char buffer[4096];
        long got = readProcessOutput(run->process, buffer, sizeof buffer);
        if (got < 0) return true;  // a signal came first: read again after the next wait
        if (got == 0) {
            if (!run->pending.empty()) takeLine(run, run->pending);
            run->pending.clear();
            return false;
        }
        run->pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while ((end = run->pending.find('\n')) != std::string::npos) {
            std::string line = run->pending.substr(0, end);
            run->pending.erase(0, end + 1);
            takeLine(run, line);
        }
        return true;
    }

    void takeLine(AdapterRun* run, const std::string& line) {
        std::optional<Event> event = parseEventLine(line);
        if (!event) {
            print(Event(run->address, "output").add("text", line));
            return;
        }
        if (event->value("event") == kPortTurnEvent) {
            takeTurnEvent(run, *event);
            return;
        }
        // Said where the person who reads standard error sees it too, once:
        // the run says it once.
        if (event->value("event") == "log-error")
            writeLine(StandardStream::Error,
                      formatMessage(MessageKind::Warning,
                                    run->address + ": the log " + escapeForTerminal(event->value("file")) +
                                        " cannot be written (" + escapeForTerminal(event->value("reason")) +
                                        "); the run goes on without it") +
                          "\n");
        if (event->value("event") == "result" && run->resultSeen) {
            reportSecondResult(run, *event);
            return;
        }
        if (event->value("event") == "result") {
            run->resultSeen = true;
            run->resultName = event->value("result");
            run->outcome = outcomeFromName(run->resultName);
            run->version = event->value("version");
        }
        progress_.eventSeen(indexOf(run), event->value("event"), isFailure(run->outcome), secondsSince(batchStart_));
        print(*event);
    }

    // A run says how it ended once. A second word is a fault of the run, shown
    // as one and never passed on as a result; when it contradicts the first,
    // neither is trusted and the adapter counts as failed.
    void reportSecondResult(AdapterRun* run, const Event& second) {
        std::string name = second.value("result");
        std::string text =
            "fault: the run reported a second result (" + name + ") after its first (" + run->resultName + ")";
        if (name != run->resultName) {
            run->outcome = Outcome::Failed;
            run->resultName = "failed";
            text += "; the adapter counts as failed";
        }
        print(Event(run->address, "fault").add("result", name).add("text", text));
    }

    void finish(AdapterRun* run) {
        closeProcessOutput(&run->process);
        closeProcessInput(&run->process);
        int status = waitForProcess(run->process.id);
        run->finished = true;
        startsHeld_ = false;  // what it held is free again
        run->seconds = secondsSince(run->start);
        ledger_.forgetRun(static_cast<int>(indexOf(run)));
        if (run->resultSeen) return;
        // Ended without its last word: killed before its front-end ran, or a crash.
        run->outcome = cancelled_ ? Outcome::Cancelled : Outcome::Failed;
        run->resultName = cancelled_ ? "cancelled" : "failed";
        print(resultEvent(run->address, run->resultName, run->outcome)
                  .add("text", "result: " + run->resultName + " (the run ended without a result, status " +
                                   std::to_string(status) + ")"));
        progress_.finished(indexOf(run), true, secondsSince(batchStart_));
    }

    void print(const Event& event) {
        writeLine(StandardStream::Output, (options_.json ? formatJson(event) : formatTextLine(event)) + "\n");
    }

    // Failures first, so that in a batch of a thousand what needs a look is at
    // the top; each group by result, in the order the adapters were given;
    // then the totals per result.
    void printSummary() {
        std::vector<const AdapterRun*> order;
        for (const AdapterRun& run : runs_) order.push_back(&run);
        std::stable_sort(order.begin(), order.end(), [](const AdapterRun* a, const AdapterRun* b) {
            if (isFailure(a->outcome) != isFailure(b->outcome)) return isFailure(a->outcome);
            return a->resultName < b->resultName;
        });
        std::map<std::string, long long> totals;
        if (!options_.json) std::printf("\n%-16s %-24s %-12s %s\n", "adapter", "result", "version", "time");
        for (const AdapterRun* run : order) {
            ++totals[run->resultName];
            char time[32];
            std::snprintf(time, sizeof time, "%.1f s", run->seconds);
            if (options_.json) {
                Event event(run->address, "summary");
                event.add("result", run->resultName).add("version", run->version);
                event.add("milliseconds", static_cast<long long>(run->seconds * 1000));
                std::printf("%s\n", formatJson(event).c_str());
            } else {
                // The result and the version come from the run's output, the
                // version from the adapter itself.
                std::string result = escapeForTerminal(run->resultName);
                std::string version = run->version.empty() ? "-" : escapeForTerminal(run->version);
                std::printf("%-16s %-24s %-12s %s\n", run->address.c_str(), result.c_str(), version.c_str(), time);
            }
        }
        Event event("all", "totals");
        event.add("adapters", static_cast<long long>(runs_.size()));
        std::string text = std::to_string(runs_.size()) + " adapters:";
        bool first = true;
        for (const auto& [result, count] : totals) {
            event.add(result, count);
            text += (first ? " " : ", ") + std::to_string(count) + " " + escapeForTerminal(result);
            first = false;
        }
        if (options_.json)
            std::printf("%s\n", formatJson(event.add("text", text)).c_str());
        else
            std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    const UnattendedOptions& options_;
    const RunLauncher& launch_;
    std::vector<AdapterRun> runs_;
    std::vector<std::string> environment_;
    bool cancelled_ = false;
    bool startsHeld_ = false;  // a start failed for want of resources: none until a run ends
    bool shortageSaid_ = false;
    PortTurnLedger ledger_;
    BatchProgress progress_;
    bool liveView_ = false;
    StandardStream statusStream_ = StandardStream::Output;
    bool otherStreamOnTerminal_ = false;
    bool statusShown_ = false;
    std::string statusText_;
    double lastDraw_ = 0;
    std::chrono::steady_clock::time_point batchStart_;
};

[[noreturn]] void endWithUsageError(const std::string& error) {
    sayOnStandardError(MessageKind::Error, error);
    writeText(stderr, usageHint() + "\n");
    endProcess(static_cast<int>(Outcome::UsageError));
}

// Two pipe ends a run, and what the process holds besides them.
constexpr size_t kFilesPerRun = 2;
constexpr size_t kFilesBesideRuns = 64;

// No adapter fails for the batch's own limit on open files (the usual 1,024
// would stop a batch of 600): the limit is raised as far as the hard limit
// lets it, and fewer runs go at once when that is not enough, said on
// standard error (standard output may be a JSON stream).
void fitToOpenFileLimit(UnattendedOptions* options) {
    size_t runsAtOnce = std::min(options->addresses.size(), static_cast<size_t>(options->parallel));
    size_t wanted = kFilesPerRun * runsAtOnce + kFilesBesideRuns;
    size_t limit = raiseOpenFileLimit(wanted);
    if (limit >= wanted) return;
    size_t fitting = limit > kFilesBesideRuns + kFilesPerRun ? (limit - kFilesBesideRuns) / kFilesPerRun : 1;
    sayOnStandardError(MessageKind::Note, "the limit on open files (" + std::to_string(limit) +
                                              ", the most it can be raised to) lets " + std::to_string(fitting) +
                                              " runs go at once: --parallel " + std::to_string(options->parallel) +
                                              " is taken as " + std::to_string(fitting));
    options->parallel = static_cast<int>(fitting);
}

}  // namespace

RunLauncher selfLauncher() {
    return [](const std::vector<std::string>& args, const std::vector<std::string>& environment,
              SpawnedProcess* process) { return spawnSelf(args, environment, enterAdapterRun, process); };
}

int runAdapters(const UnattendedOptions& given, const RunLauncher& launch) {
    // Without --log, ORB_TRACE names the log, split per adapter the same way.
    UnattendedOptions options = given;
    if (const char* traced = chooseDiagnosticsLogPath(nullptr); options.logPath.empty() && traced != nullptr) {
        options.logPath = traced;
        options.logSource = kTraceEnvironmentVariable;
    }
    std::string error;
    // A log that cannot be written would lose every run's trace: refused
    // before any run starts.
    if (!checkPcAddress(options.pcAddress, &error) || !checkLogFiles(options, &error)) {
        sayOnStandardError(MessageKind::Error, error);
        return static_cast<int>(Outcome::UsageError);
    }
    std::vector<std::string> environment;
    // The password as taken, whichever source gave it, to the runs alone:
    // neither the command line nor the environment, which other programs
    // can read.
    setRunSecret(options.password);
    catchStopSignals();
    fitToOpenFileLimit(&options);
    Runner runner(options, launch);
    return runner.run(environment);
}

void runUnattendedMain(int argc, char** argv, const std::function<int()>& program) {
    std::vector<std::string> args(argv + 1, argv + argc);
    UnattendedOptions options;
    std::string error;
    switch (parseUnattendedOptions(args, &options, &error)) {
        case ParseResult::UsageError: endWithUsageError(error);
        case ParseResult::Help:
            std::puts("Usage: orb-upgrade --unattended --accept-warning --address A.B.C.D [options]");
            for (const std::string& line : unattendedHelpLines()) std::puts(line.c_str());
            endProcess(0);
        case ParseResult::Run: break;
    }
    if (options.adapterRun) runAdapterRun(options, program);
    adapterProgram = program;
    endProcess(runAdapters(options, selfLauncher()));
}

}  // namespace orb::unattended
