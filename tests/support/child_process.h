// Runs a piece of the program in a forked child, as the program really ends:
// through endProcess from any thread. The parent gets the exit code and what the
// child wrote to standard output and standard error, and reads its lines with
// the helpers below. The whole runs (whole_run.h), the unattended runs and the
// listener and transfer children of the TFTP tests are built on it.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "upgrade/error_box.h"

namespace orb::test {

struct ChildResult {
    bool exited = false;  // false: killed by a signal or by the time-out
    int exitCode = -1;
    int signal = 0;
    bool timedOut = false;
    std::string output;  // standard output and standard error, interleaved
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

// The monotonic clock in milliseconds, SpeedUp times fast, for the child's
// clock source: at 100 the 49,984 ms restart wait passes in half a second.
template <uint32_t SpeedUp>
uint32_t acceleratedClock() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms * SpeedUp);
}

// The number of lines in `output` that contain `text`.
int countLines(const std::string& output, const std::string& text);

// True when the pieces occur in `text` in this order, without overlapping.
bool inOrder(const std::string& text, const std::vector<std::string>& pieces);

// The line (without its end) that an auto-answered message box leaves in the output.
std::string messageBoxLine(const std::string& text, const std::string& caption = kErrorBoxCaption);

// How the child ended and what it wrote, for failure messages.
std::string describe(const ChildResult& result);

}  // namespace orb::test
