#include "tests/support/unattended_run.h"

#include <poll.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "dialogs/unattended/unattended_front_end.h"
#include "app/unattended_runner.h"
#include "platform/own_addresses.h"
#include "platform/process.h"
#include "upgrade/upgrade_sequence.h"

namespace orb::test {
namespace {

uint32_t fastClock() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>((now.tv_sec * 1000ull + now.tv_nsec / 1000000) * 100);
}

// The adapter's run forked from the runner, as /proc/self/exe would start it.
bool forkAdapterRun(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                    SpawnedProcess* process) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        for (const std::string& entry : environment) ::putenv(::strdup(entry.c_str()));
        unattended::UnattendedOptions options;
        std::string error;
        if (unattended::parseUnattendedOptions(args, &options, &error) != unattended::ParseResult::Run) ::_exit(2);
        setClockSource(fastClock);
        unattended::runAdapterRun(options, [] { return runProgram(nullptr); });
    }
    ::close(fds[1]);
    process->id = pid;
    process->outputFd = fds[0];
    return true;
}

}  // namespace

UnattendedResult runUnattendedInChild(const std::vector<std::string>& args, uint32_t pcAddress,
                                      const std::function<void(const std::string&, pid_t)>& watch, int timeoutMs) {
    UnattendedResult result;
    int fds[2];
    if (::pipe(fds) != 0) return result;
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        setOwnAddressesForTesting(true, {pcAddress});
        unattended::UnattendedOptions options;
        std::string error;
        if (unattended::parseUnattendedOptions(args, &options, &error) != unattended::ParseResult::Run) {
            std::fprintf(stderr, "usage error: %s\n", error.c_str());
            endProcess(2);
        }
        endProcess(unattended::runAdapters(options, forkAdapterRun));
    }
    ::close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd wait{fds[0], POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        result.output.append(buffer, static_cast<size_t>(got));
        if (watch) watch(result.output, pid);
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exited = WIFEXITED(status);
    result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace orb::test
