// endProcess met by two threads at once, in a forked child: the hooks run once
// and the first exit code wins, while the second caller waits for the end.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/process.h"
#include "tests/support/child_process.h"

namespace orb::test {
namespace {

// Whether the thread is blocked in pause(), that is, in waitUntilProcessEnds.
bool waitsForGood(pid_t thread) {
#ifdef SYS_pause
    std::ifstream in("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    return in >> number && number == SYS_pause;
#else
    (void)thread;
    return false;
#endif
}

TEST(ProcessEnd, ASecondCallWaitsForTheFirstAndTheHooksRunOnce) {
#ifndef SYS_pause
    GTEST_SKIP() << "no pause system call to recognise the waiting thread by";
#endif
    ChildResult run = runInChild([] {
        addProcessEndHook([] {
            static std::atomic<int> entries{0};
            std::fputs("hook\n", stderr);
            if (entries++ > 0) return;
            // A second thread ends the process while the first runs the hooks.
            static std::atomic<pid_t> second{0};
            std::thread([] {
                second = ::gettid();
                endProcess(4);
            }).detach();
            while (second == 0 || !waitsForGood(second)) ::usleep(200);
        });
        endProcess(3);
    });
    ASSERT_TRUE(run.exited) << run.output;
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, "hook\n");
}

}  // namespace
}  // namespace orb::test
