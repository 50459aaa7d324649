// Runs a piece of the program in a forked child, as the program really ends:
// through endProcess from any thread. The parent gets the exit code and what the
// child wrote to standard output and standard error.
#pragma once

#include <sys/types.h>

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
//
// With `afterFork`, the parent runs it right after the fork and only then lets
// the child start `body`. A test that needs threads in the parent while the
// child runs (a scripted server) starts them there: forked from a process with
// one thread, the child is one that ThreadSanitizer can follow (a child forked
// while other threads run inherits their thread ids, and TSan stops it with
// "dup thread with used id").
//
// With `watch`, the parent shows it the output so far each time more arrives,
// with the child's process id (to signal it).
ChildResult runInChild(const std::function<void()>& body, int timeoutMs = 30000,
                       const std::function<void()>& afterFork = nullptr,
                       const std::function<void(const std::string&, pid_t)>& watch = nullptr);

}  // namespace orb::test
