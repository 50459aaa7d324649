// Starting another program with its standard output in a pipe, and the
// waits, reads and signals around it: the unattended runs of several adapters
// (POSIX and the Windows console program), and the Qt view's probe of the
// display (POSIX only).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orb {

struct SpawnedProcess {
    int id = -1;        // the process id
    int outputFd = -1;  // the read end of its standard output (Windows: the seam's own number for it)
    int inputFd = -1;   // the write end of its standard input (self_spawn.h), or none
    // Set by a start that failed for want of processes, threads, memory or
    // open files (POSIX: EAGAIN, ENOMEM, EMFILE, ENFILE; Windows: the
    // system's resources or quota): it may work once another process has ended.
    bool shortOfResources = false;
};

// This program's own executable, to start another copy of it.
std::string ownProgramPath();

// Starts `program` with `args` (argv[1] on) and this process's environment,
// where each "NAME=VALUE" of `environment` replaces or adds a variable.
// Standard input and standard error are shared.
bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process);

// Starts `program` without arguments and lets it go: nothing shared with
// this process, nothing waited for (a prompt starting a GUI program).
bool startDetachedProcess(const std::string& program);

// Waits for the process to end; its exit status, or 128 + the signal that
// ended it.
int waitForProcess(int id);

// Sends SIGINT (interrupt) or SIGTERM to the process. Windows: sets the stop
// event without a name that spawnProcess made for it and that it alone
// inherits (ORB_STOP_HANDLE gives its number), which its catchStopSignals
// (signals.h) watches.
void signalProcess(int id, bool interrupt);

// Waits up to `timeoutMs` (-1: no limit) until one of `processes` has output
// to read (or has closed it) or a stop signal is noted (signals.h). ready[i]
// says which; false when nothing is ready. No limit on how many.
bool waitForProcessOutput(const std::vector<const SpawnedProcess*>& processes, std::vector<bool>* ready, int timeoutMs);

// Reads what the process wrote: the number of bytes, 0 at the end of its
// output (or on an error), -1 when a signal came before any byte.
long readProcessOutput(const SpawnedProcess& process, char* buffer, size_t size);

// Closes this end of the process's standard output. Once its end has been
// read, nothing that served it is left running (Windows: the thread that read
// the pipe has ended).
void closeProcessOutput(SpawnedProcess* process);

enum class ProbeVerdict { Passed, Failed, Unknown };

// Runs `probe` in a forked copy of this process, with its standard output and
// error silenced and no core file, so that a library that aborts when it fails
// cannot end this process. Passed when the probe returns true; Failed when it
// returns false, crashes, or is still running after `timeoutMs` (it is then
// killed); Unknown when no copy can be made or waited for. The copy ends
// without running destructors.
ProbeVerdict probeInChild(bool (*probe)(void* context), void* context, int timeoutMs);

}  // namespace orb
