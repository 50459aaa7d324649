#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "tests/support/monotonic_clock.h"

namespace orb::test {

std::string SimProcess::executable() {
    if (const char* fromEnvironment = std::getenv("ORB_SIM")) return fromEnvironment;
#ifdef ORB_SIM_EXECUTABLE
    return ORB_SIM_EXECUTABLE;
#else
    return "orb-sim";
#endif
}

std::string SimProcess::rrqThiefExecutable() {
#ifdef ORB_RRQ_THIEF_EXECUTABLE
    return ORB_RRQ_THIEF_EXECUTABLE;
#else
    return "orb-rrq-thief";
#endif
}

uint16_t SimProcess::httpPortForTests() { return geteuid() == 0 ? 80 : 18080; }

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        reap(true);
    }
    if (stdoutFd_ >= 0) close(stdoutFd_);
    if (stderrFd_ >= 0) close(stderrFd_);
}

bool SimProcess::start(const std::vector<std::string>& options, int timeoutMs) {
    return startProgram(executable(), options, timeoutMs);
}

bool SimProcess::startProgram(const std::string& program, const std::vector<std::string>& options, int timeoutMs) {
    // A simulator started again: only its new process's "listening" counts.
    size_t firstEvent = events_.size();
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    if (pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    std::vector<std::string> argvText = {program};
    argvText.insert(argvText.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) argv.push_back(text.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    pid_ = child;
    stdoutFd_ = out[0];
    stderrFd_ = err[0];
    return waitFor("listening", timeoutMs, nullptr, firstEvent).has_value();
}

bool SimProcess::failedForPrivilege() const { return stderrText_.find("CAP_NET_BIND_SERVICE") != std::string::npos; }

bool SimProcess::readOnce(int timeoutMs) {
    pollfd fds[2];
    int count = 0;
    if (stdoutFd_ >= 0) fds[count++] = {stdoutFd_, POLLIN, 0};
    if (stderrFd_ >= 0) fds[count++] = {stderrFd_, POLLIN, 0};
    if (count == 0) return false;
    if (::poll(fds, count, timeoutMs) <= 0) return false;
    bool got = false;
    for (int i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        char chunk[8192];
        ssize_t length = read(fds[i].fd, chunk, sizeof chunk);
        bool isStdout = fds[i].fd == stdoutFd_;
        if (length <= 0) {
            close(fds[i].fd);
            (isStdout ? stdoutFd_ : stderrFd_) = -1;
            continue;
        }
        got = true;
        if (isStdout) {
            pendingOutput_.append(chunk, static_cast<size_t>(length));
            stdoutText_.append(chunk, static_cast<size_t>(length));
        } else {
            stderrText_.append(chunk, static_cast<size_t>(length));
        }
    }
    takeLines();
    return got;
}

void SimProcess::takeLines() {
    size_t end;
    while ((end = pendingOutput_.find('\n')) != std::string::npos) {
        std::string line = pendingOutput_.substr(0, end);
        pendingOutput_.erase(0, end + 1);
        if (auto event = sim::parseEventLine(line)) events_.push_back(std::move(*event));
    }
}

void SimProcess::poll(int timeoutMs) {
    long long deadline = nowMs() + timeoutMs;
    while (readOnce(static_cast<int>(std::max(0LL, deadline - nowMs())))) {
        if (nowMs() >= deadline) break;
    }
}

std::optional<sim::EventLine> SimProcess::waitFor(const std::string& name, int timeoutMs, const Match& match,
                                                  size_t from) {
    long long deadline = nowMs() + timeoutMs;
    size_t checked = from;
    for (;;) {
        for (; checked < events_.size(); ++checked) {
            const sim::EventLine& event = events_[checked];
            if (event.name == name && (!match || match(event))) return event;
        }
        long long left = deadline - nowMs();
        if (left <= 0) return std::nullopt;
        if (stdoutFd_ < 0 && stderrFd_ < 0) return std::nullopt;  // the process has gone
        readOnce(static_cast<int>(std::min(left, 200LL)));
    }
}

std::vector<sim::EventLine> SimProcess::eventsNamed(const std::string& name) const {
    std::vector<sim::EventLine> found;
    for (const sim::EventLine& event : events_) {
        if (event.name == name) found.push_back(event);
    }
    return found;
}

int SimProcess::reap(bool block) {
    if (pid_ <= 0) return exitStatus_;
    int status = 0;
    pid_t done = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (done != pid_) return -2;  // still running
    pid_ = -1;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return exitStatus_;
}

int SimProcess::waitForExit(int timeoutMs) {
    long long deadline = nowMs() + timeoutMs;
    for (;;) {
        int status = reap(false);
        if (status != -2) {
            // Take the last lines.
            while (readOnce(50)) {}
            return status;
        }
        long long left = deadline - nowMs();
        if (left <= 0) return -2;
        if (!readOnce(static_cast<int>(std::min(left, 20LL)))) usleep(1000);
    }
}

// The signal, as kill() takes it, then how long to wait for the exit.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int SimProcess::stop(int signalNumber, int timeoutMs) {
    if (pid_ <= 0) return exitStatus_;
    kill(pid_, signalNumber);
    int status = waitForExit(timeoutMs);
    if (status == -2) {
        kill(pid_, SIGKILL);
        reap(true);
        return -1;
    }
    return status;
}

std::string SimProcess::diagnostics() const {
    return "orb-sim standard output:\n" + stdoutText_ + "orb-sim standard error:\n" + stderrText_;
}

}  // namespace orb::test
