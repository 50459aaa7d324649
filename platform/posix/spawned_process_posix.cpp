#include "platform/spawned_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

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

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    // Signals that this process handles come back to their defaults in the
    // child; the child installs its own.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argv = {displayName};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = mergedEnvironment(environment);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> envpPointers = pointers(envp);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program.c_str(), &actions, &attributes, argvPointers.data(), envpPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeFds[1]);
    if (failed != 0) {
        ::close(pipeFds[0]);
        return false;
    }
    process->id = pid;
    process->outputFd = pipeFds[0];
    return true;
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

}  // namespace orb
