#include "platform/self_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/spawn_failure.h"
#include "platform/posix/stop_signal_wake.h"

namespace orb {

namespace {

// Set in the runner before its runs fork: each run has its own copy.
std::string runSecret;

}  // namespace

void setRunSecret(const std::string& secret) { runSecret = secret; }

std::string takeRunSecret() {
    std::string taken;
    taken.swap(runSecret);
    return taken;
}

// The parameters mirror execve()'s arguments then environment.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool spawnSelf(const std::vector<std::string>& args, const std::vector<std::string>& environment, SelfEntry entry,
               SpawnedProcess* process) {
    process->shortOfResources = false;
    int output[2], input[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        process->shortOfResources = isShortOfResources(errno);
        return false;
    }
    if (::pipe2(input, O_CLOEXEC) != 0) {
        process->shortOfResources = isShortOfResources(errno);
        ::close(output[0]);
        ::close(output[1]);
        return false;
    }
    std::fflush(nullptr);  // nothing buffered here is written twice
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(input[0], STDIN_FILENO);
        // The other runs' pipes and the parent's signal pipe are not this
        // run's: a run holding another's pipe would keep it from its end.
        forgetStopSignalWake();
        ::close_range(3, ~0u, 0);
        // As an exec would: a caught signal goes back to its default, one
        // that was ignored (nohup, a background job) stays ignored.
        struct sigaction defaults {};
        sigemptyset(&defaults.sa_mask);
        defaults.sa_handler = SIG_DFL;
        for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
            sigaction(signalNumber, &defaults, nullptr);
        }
        for (const std::string& entryText : environment) {
            size_t equals = entryText.find('=');
            if (equals == std::string::npos) continue;
            ::setenv(entryText.substr(0, equals).c_str(), entryText.c_str() + equals + 1, 1);
        }
        entry(args);
        ::_exit(127);  // not reached: the entry ends the process
    }
    int forkError = errno;
    ::close(output[1]);
    ::close(input[0]);
    if (pid < 0) {
        process->shortOfResources = isShortOfResources(forkError);
        ::close(output[0]);
        ::close(input[1]);
        return false;
    }
    process->id = pid;
    process->outputFd = output[0];
    process->inputFd = input[1];
    return true;
}

bool writeProcessInput(const SpawnedProcess& process, const char* bytes, size_t size) {
    if (process.inputFd < 0) return false;
    while (size > 0) {
        ssize_t written = ::write(process.inputFd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

void closeProcessInput(SpawnedProcess* process) {
    if (process->inputFd >= 0) ::close(process->inputFd);
    process->inputFd = -1;
}

namespace {

std::atomic<void (*)()> inputEndHandler{nullptr};

long endOfInput() {
    if (void (*handler)() = inputEndHandler.exchange(nullptr)) handler();
    return 0;
}

}  // namespace

long readStandardInput(char* buffer, size_t size) {
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got < 0 && errno == EINTR) continue;
        return got <= 0 ? endOfInput() : static_cast<long>(got);
    }
}

void setStandardInputEndHandler(void (*handler)()) { inputEndHandler = handler; }

}  // namespace orb
