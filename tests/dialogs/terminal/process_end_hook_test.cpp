// endProcess runs the hooks that a front-end added (newest first) before the
// process ends, from whatever thread calls it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>

#include "platform/process.h"
#include "tests/support/child_process.h"

namespace orb {
namespace {

void firstHook() { ::write(STDOUT_FILENO, "first\n", 6); }
void secondHook() { ::write(STDOUT_FILENO, "second\n", 7); }

TEST(ProcessEndHook, RunsBeforeTheProcessEnds) {
    test::ChildResult result = test::runInChild([] {
        addProcessEndHook(firstHook);
        addProcessEndHook(secondHook);
        std::thread([] { endProcess(3); }).join();
    });
    ASSERT_TRUE(result.exited) << result.output;
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, "second\nfirst\n");
}

}  // namespace
}  // namespace orb
