// Starting another program with its standard output in a pipe, and the
// waits and signals around it (POSIX only: the unattended runs of several
// adapters).
#pragma once

#include <string>
#include <vector>

namespace orb {

struct SpawnedProcess {
    int id = -1;        // the process id
    int outputFd = -1;  // the read end of its standard output
};

// Starts `program` with `args` (argv[1] on) and this process's environment,
// where each "NAME=VALUE" of `environment` replaces or adds a variable.
// Standard input and standard error are shared.
bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process);

// Waits for the process to end; its exit status, or 128 + the signal that
// ended it.
int waitForProcess(int id);

// Sends SIGINT (interrupt) or SIGTERM to the process.
void signalProcess(int id, bool interrupt);

}  // namespace orb
