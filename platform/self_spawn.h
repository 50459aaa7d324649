// Another process of this same program for one adapter's run, with a pipe
// each way: the runner reads the run's standard output and answers on its
// standard input (the port turns, app/unattended/port_turn_client.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/spawned_process.h"

namespace orb {

// Where the new process starts: it parses `args` as the program's own command
// line would (program name left out) and never returns.
using SelfEntry = void (*)(const std::vector<std::string>& args);

// Starts a process of this program with `args`, this process's environment
// with each "NAME=VALUE" of `environment` replacing or added, its standard
// output in a pipe (process->outputFd) and its standard input from another
// (process->inputFd); standard error is shared.
// POSIX: a fork that calls `entry`, without executing the file again: the
// program and its libraries (Qt among them) are loaded already, and a run that
// never opens a window need not pay for loading them once more. The caller
// must have no other thread. Windows: the program's own file, started with
// `args`, whose entry reaches the same code (`entry` is not used).
bool spawnSelf(const std::vector<std::string>& args, const std::vector<std::string>& environment, SelfEntry entry,
               SpawnedProcess* process);

// The bytes (the password) that every run started by spawnSelf from now on
// can take with takeRunSecret, and no other process: never in a run's
// environment or on its command line, where other programs of the same user
// can read them. POSIX: the forked run has them in its memory. Windows: each
// run inherits a pipe of its own that holds them.
void setRunSecret(const std::string& secret);

// In a run started by spawnSelf: the runner's secret (empty when it set
// none), once; later calls give "".
std::string takeRunSecret();

// Writes to the process's standard input: false when it cannot (the process
// has closed it or ended).
bool writeProcessInput(const SpawnedProcess& process, const char* bytes, size_t size);

// Closes this end of the process's standard input: it reads its end.
void closeProcessInput(SpawnedProcess* process);

// Reads this process's standard input: the number of bytes, 0 at its end or on
// an error. Blocks until there is some.
long readStandardInput(char* buffer, size_t size);

// Calls `handler` once, on the reading thread, when readStandardInput first
// meets the end of the input (or an error there). A run's input is its
// runner's pipe, which only the runner writes (Windows: holds): its end means
// that the runner has closed it or is gone.
void setStandardInputEndHandler(void (*handler)());

}  // namespace orb
