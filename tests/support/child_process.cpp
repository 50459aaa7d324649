#include "tests/support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/monotonic_clock.h"
#include "tests/support/scripted_http_server.h"

namespace orb::test {

ChildResult runInChild(const std::function<void()>& body, int timeoutMs, const std::function<void()>& afterFork,
                       const std::function<void(const std::string&, pid_t)>& watch) {
    ChildResult result;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return result;
    int gate[2] = {-1, -1};  // the child starts once the parent closes gate[1]
    if (afterFork && pipe(gate) != 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return result;
    }
    std::fflush(nullptr);
    ScriptedHttpServer::pauseAllForFork();
    pid_t child = fork();
    if (child != 0) ScriptedHttpServer::resumeAllAfterFork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (gate[0] >= 0) {
            close(gate[0]);
            close(gate[1]);
        }
        return result;
    }
    if (child == 0) {
        if (gate[0] >= 0) {
            close(gate[1]);
            char byte;
            while (read(gate[0], &byte, 1) < 0) {}
            close(gate[0]);
        }
        close(pipeEnds[0]);
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[1]);
        setvbuf(stdout, nullptr, _IONBF, 0);
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    close(pipeEnds[1]);
    if (gate[0] >= 0) {
        close(gate[0]);
        afterFork();
        close(gate[1]);
    }
    long long deadline = nowMs() + timeoutMs;
    char chunk[4096];
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            result.timedOut = true;
            kill(child, SIGKILL);
            break;
        }
        pollfd entry{pipeEnds[0], POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left < 200 ? left : 200)) > 0) {
            ssize_t got = read(pipeEnds[0], chunk, sizeof chunk);
            if (got <= 0) break;  // every writer has gone: the child has ended
            result.output.append(chunk, static_cast<size_t>(got));
            if (watch) watch(result.output, child);
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        result.exited = !result.timedOut;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

// The haystack before the needle, as std::search takes them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
int countLines(const std::string& output, const std::string& text) {
    std::istringstream lines(output);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

bool inOrder(const std::string& text, const std::vector<std::string>& pieces) {
    size_t at = 0;
    for (const std::string& piece : pieces) {
        at = text.find(piece, at);
        if (at == std::string::npos) return false;
        at += piece.size();
    }
    return true;
}

std::string messageBoxLine(const std::string& text, const std::string& caption) {
    return "[message box] caption=\"" + caption + "\" text=\"" + text + "\"";
}

std::string describe(const ChildResult& result) {
    return "exited=" + std::to_string(result.exited) + " code=" + std::to_string(result.exitCode) +
           " signal=" + std::to_string(result.signal) + " timedOut=" + std::to_string(result.timedOut) + "\n" +
           result.output;
}

}  // namespace orb::test
