#include "tests/support/unattended_run.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/clock.h"
#include "platform/own_addresses.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "upgrade/upgrade_sequence.h"
#include "app/unattended/front_end/unattended_front_end.h"
#include "app/unattended/unattended_runner.h"
#include "tests/support/child_process.h"

namespace orb::test {
namespace {

// The adapter's run forked from the runner, as /proc/self/exe would start it.
// Arguments, then environment, as execve() takes them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool forkAdapterRun(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                    SpawnedProcess* process) {
    int fds[2], input[2];
    if (::pipe(fds) != 0) return false;
    if (::pipe(input) != 0) return false;
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(input[0], STDIN_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::close(input[0]);
        ::close(input[1]);
        for (const std::string& entry : environment) ::putenv(::strdup(entry.c_str()));
        unattended::UnattendedOptions options;
        std::string error;
        if (unattended::parseUnattendedOptions(args, &options, &error) != unattended::ParseResult::Run) ::_exit(2);
        setClockSource(acceleratedClock<100>);
        unattended::runAdapterRun(options, [] { return runProgram(nullptr); });
    }
    ::close(fds[1]);
    ::close(input[0]);
    process->id = pid;
    process->outputFd = fds[0];
    process->inputFd = input[1];
    return true;
}

}  // namespace

std::vector<unattended::Event> eventsIn(const std::string& output) {
    std::vector<unattended::Event> events;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line))
        if (auto event = unattended::parseEventLine(line)) events.push_back(*event);
    return events;
}

// The haystack before the needle, as std::search takes them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::vector<unattended::Event> eventsNamed(const std::string& output, const std::string& name) {
    std::vector<unattended::Event> named;
    for (unattended::Event& event : eventsIn(output))
        if (event.value("event") == name) named.push_back(std::move(event));
    return named;
}

// inChild before afterFork: the order they run in (in the child before the
// run, then in the parent after the fork).
// NOLINTBEGIN(bugprone-easily-swappable-parameters)
UnattendedResult runUnattendedInChild(const std::vector<std::string>& args, uint32_t pcAddress,
                                      const std::function<void(const std::string&, pid_t)>& watch, int timeoutMs,
                                      const std::function<void()>& inChild, const std::function<void()>& afterFork) {
    return runInChild(
        [&] {
            if (inChild) inChild();
            // As the entry does: a turn written to a run that has just ended fails, it ends nothing.
            ignoreBrokenPipes();
            setOwnAddressesForTesting(true, {pcAddress});
            unattended::UnattendedOptions options;
            std::string error;
            if (unattended::parseUnattendedOptions(args, &options, &error) != unattended::ParseResult::Run) {
                std::fprintf(stderr, "usage error: %s\n", error.c_str());
                endProcess(2);
            }
            endProcess(unattended::runAdapters(options, forkAdapterRun));
        },
        timeoutMs, afterFork, watch);
}
// NOLINTEND(bugprone-easily-swappable-parameters)

}  // namespace orb::test
