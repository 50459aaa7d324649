// Runs a piece of the program in a forked child, as the program really ends:
// through endProcess from any thread. The parent gets the exit code and what the
// child wrote to standard output and standard error.
#pragma once

#include <functional>
#include <string>

namespace orb::test {

struct ChildResult {
    bool exited = false;    // false: killed by a signal or by the time-out
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    std::string output;     // standard output and standard error, interleaved
};

// Runs `body` in a child process; a body that returns ends the child with exit
// code 0. The child is killed after timeoutMs.
ChildResult runInChild(const std::function<void()>& body, int timeoutMs = 30000);

}  // namespace orb::test
