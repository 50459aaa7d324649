// The stop signals as a front-end meets them: caught, each noted once, in a
// forked child so that one that is not caught ends only the child.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>

#include "platform/signals.h"
#include "tests/support/child_process.h"

namespace orb::test {
namespace {

struct SignalCase {
    const char* name;
    int number;
    StopSignal noted;
};

void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class StopSignals : public testing::TestWithParam<SignalCase> {};

TEST_P(StopSignals, AreNotedOnceInsteadOfEndingTheProcess) {
    const SignalCase& c = GetParam();
    ChildResult run = runInChild([&] {
        ::signal(c.number, SIG_DFL);  // as a shell starts a program in the foreground
        catchStopSignals();
        ::raise(c.number);
        StopSignal first = takeStopSignal();
        StopSignal second = takeStopSignal();
        std::_Exit(first == c.noted && second == StopSignal::None ? 0 : 1);
    });
    EXPECT_TRUE(run.exited) << "ended by signal " << run.signal;
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

// nohup, or a shell's background job: the program must outlive the signal.
TEST_P(StopSignals, StayIgnoredWhenTheProgramStartedWithThemIgnored) {
    const SignalCase& c = GetParam();
    ChildResult run = runInChild([&] {
        ::signal(c.number, SIG_IGN);
        catchStopSignals();
        ::raise(c.number);
        struct sigaction after {};
        ::sigaction(c.number, nullptr, &after);
        std::_Exit(takeStopSignal() == StopSignal::None && after.sa_handler == SIG_IGN ? 0 : 1);
    });
    EXPECT_TRUE(run.exited) << "ended by signal " << run.signal;
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

INSTANTIATE_TEST_SUITE_P(Posix, StopSignals,
                         testing::Values(SignalCase{"Interrupt", SIGINT, StopSignal::Interrupt},
                                         SignalCase{"Terminate", SIGTERM, StopSignal::Terminate},
                                         SignalCase{"HangUp", SIGHUP, StopSignal::HangUp}),
                         [](const testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orb::test
