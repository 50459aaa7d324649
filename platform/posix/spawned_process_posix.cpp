#include "platform/spawned_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/posix/spawn_failure.h"
#include "platform/posix/stop_signal_wake.h"

namespace orb {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& additions) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& addition : additions)
            if (addition.substr(0, addition.find('=')) == name) replaced = true;
        if (!replaced) merged.push_back(text);
    }
    merged.insert(merged.end(), additions.begin(), additions.end());
    return merged;
}

// The outputs being waited for, in one epoll set kept between waits: a batch
// of a thousand runs wakes for each line one of them writes, and poll() would
// look at all thousand pipes every time.
struct OutputWatch {
    int epollFd = -1;
    pid_t owner = 0;  // a forked child makes its own set
    std::unordered_set<int> watched;
    int wakeFd = -1;
};
OutputWatch outputWatch;

bool readyOutputWatch() {
    if (outputWatch.epollFd >= 0 && outputWatch.owner == ::getpid()) return true;
    outputWatch = OutputWatch{};
    outputWatch.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    outputWatch.owner = ::getpid();
    return outputWatch.epollFd >= 0;
}

bool watchFd(int fd) {
    if (outputWatch.watched.count(fd) != 0) return true;
    epoll_event entry{};
    entry.events = EPOLLIN;
    entry.data.fd = fd;
    if (::epoll_ctl(outputWatch.epollFd, EPOLL_CTL_ADD, fd, &entry) != 0 && errno != EEXIST) return false;
    outputWatch.watched.insert(fd);
    return true;
}

bool pollProcessOutput(const std::vector<const SpawnedProcess*>& processes, std::vector<bool>* ready, int timeoutMs);

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

std::string ownProgramPath() { return "/proc/self/exe"; }

// A program, its display name, then execve()'s arguments and environment.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process) {
    process->shortOfResources = false;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        process->shortOfResources = isShortOfResources(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // A signal that this process catches comes back to its default in the
    // child through exec; one that it was started with ignored (nohup, a
    // background job) stays ignored there too.
    std::vector<std::string> argv = {displayName};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = mergedEnvironment(environment);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envpPointers = pointers(envp);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argvPointers.data(), envpPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (failed != 0) {
        process->shortOfResources = isShortOfResources(failed);
        ::close(pipeFds[0]);
        return false;
    }
    process->id = pid;
    process->outputFd = pipeFds[0];
    return true;
}

// A session of its own; left a zombie until this process ends, which callers
// do at once.
bool startDetachedProcess(const std::string& program) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<std::string> argv = {program};
    std::vector<char*> argvPointers = pointers(argv);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argvPointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return failed == 0;
}

int waitForProcess(int id) {
    int status = 0;
    while (::waitpid(id, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void signalProcess(int id, bool interrupt) {
    if (id > 0) ::kill(id, interrupt ? SIGINT : SIGTERM);
}

bool waitForProcessOutput(const std::vector<const SpawnedProcess*>& processes, std::vector<bool>* ready,
                          int timeoutMs) {
    ready->assign(processes.size(), false);
    bool watching = readyOutputWatch();
    int wakeFd = stopSignalWakeFd();
    if (watching && wakeFd != outputWatch.wakeFd) {
        watching = wakeFd < 0 || watchFd(wakeFd);
        outputWatch.wakeFd = wakeFd;
    }
    int largest = -1;
    for (const SpawnedProcess* process : processes) {
        watching = watching && watchFd(process->outputFd);
        largest = std::max(largest, process->outputFd);
    }
    if (!watching) return pollProcessOutput(processes, ready, timeoutMs);
    std::vector<int> indexOf(static_cast<size_t>(largest + 1), -1);
    for (size_t i = 0; i < processes.size(); ++i)
        indexOf[static_cast<size_t>(processes[i]->outputFd)] = static_cast<int>(i);
    epoll_event events[256];
    int count = ::epoll_wait(outputWatch.epollFd, events, 256, timeoutMs);
    bool any = false;
    for (int i = 0; i < count; ++i) {
        int fd = events[i].data.fd;
        if (fd == wakeFd) {
            drainStopSignalWake();
            continue;
        }
        if (fd < 0 || fd > largest || indexOf[static_cast<size_t>(fd)] < 0) continue;
        (*ready)[static_cast<size_t>(indexOf[static_cast<size_t>(fd)])] = true;
        any = true;
    }
    return any;
}

namespace {

// Without an epoll set: poll() over every pipe.
bool pollProcessOutput(const std::vector<const SpawnedProcess*>& processes, std::vector<bool>* ready, int timeoutMs) {
    std::vector<pollfd> fds;
    for (const SpawnedProcess* process : processes) fds.push_back({process->outputFd, POLLIN, 0});
    int wakeFd = stopSignalWakeFd();
    if (wakeFd >= 0) fds.push_back({wakeFd, POLLIN, 0});
    ready->assign(processes.size(), false);
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return false;
    if (wakeFd >= 0 && fds.back().revents != 0) drainStopSignalWake();
    bool any = false;
    for (size_t i = 0; i < processes.size(); ++i) {
        (*ready)[i] = fds[i].revents != 0;
        any = any || (*ready)[i];
    }
    return any;
}

}  // namespace

long readProcessOutput(const SpawnedProcess& process, char* buffer, size_t size) {
    ssize_t got = ::read(process.outputFd, buffer, size);
    if (got < 0) return errno == EINTR ? -1 : 0;
    return static_cast<long>(got);
}

void closeProcessOutput(SpawnedProcess* process) {
    // Out of the set first: a forked copy may still hold the pipe, and the
    // number may come back for another.
    if (process->outputFd >= 0 && outputWatch.watched.erase(process->outputFd) != 0) {
        epoll_event ignored{};
        ::epoll_ctl(outputWatch.epollFd, EPOLL_CTL_DEL, process->outputFd, &ignored);
    }
    if (process->outputFd >= 0) ::close(process->outputFd);
    process->outputFd = -1;
}

ProbeVerdict probeInChild(bool (*probe)(void* context), void* context, int timeoutMs) {
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) return ProbeVerdict::Unknown;
    if (child == 0) {
        rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);  // a probe that aborts leaves no core file
        int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
        }
        ::_exit(probe(context) ? 0 : 1);
    }
    int status = 0;
    for (int waited = 0;; waited += 10) {
        pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) break;
        if (ended < 0 && errno != EINTR) return ProbeVerdict::Unknown;
        if (waited >= timeoutMs) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
            return ProbeVerdict::Failed;
        }
        ::usleep(10000);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ProbeVerdict::Passed : ProbeVerdict::Failed;
}

}  // namespace orb
