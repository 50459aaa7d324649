// `orb-upgrade --unattended ...`: the runs of many adapters. Each adapter's
// upgrade is a process of its own (the run state is per process): this
// process starts up to --parallel single-adapter runs at once, prints their
// events prefixed by adapter, forwards SIGINT and SIGTERM (SIGHUP as SIGTERM) to them, and ends
// with a summary and the exit status.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/spawned_process.h"
#include "app/unattended/unattended_options.h"

namespace orb::unattended {

// Starts the single-adapter run with these arguments (program name left out)
// and "NAME=VALUE" additions to the environment.
using RunLauncher = std::function<bool(const std::vector<std::string>& args,
                                       const std::vector<std::string>& environment, SpawnedProcess* process)>;

// The launcher of the program itself (ownProgramPath).
RunLauncher selfLauncher();

// Runs every adapter of the `given` options (not adapterRun) and returns the exit status.
int runAdapters(const UnattendedOptions& given, const RunLauncher& launch);

// The entry for argv[1] == "--unattended": a usage error ends with 2, --help
// with 0, an --adapter-run runs `program` under the unattended front-end, the
// rest runs the adapters. Never returns.
[[noreturn]] void runUnattendedMain(int argc, char** argv, const std::function<int()>& program);

}  // namespace orb::unattended
