// The device query's reading of an exchange's result: the worker thread's exit
// code, which the query's own thread reads as an int, and how a failed
// connection ends the run.
#include <gtest/gtest.h>

#include "upgrade/device_query.h"

namespace orb {
namespace {

TEST(WorkerExitCode, KeepsTheValuesTheQueryReads) {
    struct Case {
        HttpResult result;
        int32_t exitCode;
    };
    const Case cases[] = {
        {{HttpOutcome::Received, 0}, 0},           {{HttpOutcome::Received, 259}, 259},
        {{HttpOutcome::Received, 131071}, 131071}, {{HttpOutcome::ChallengeTaken, 0}, -1},
        {{HttpOutcome::ChallengeTaken, 420}, -1},  {{HttpOutcome::SocketFailed, 0}, -2},
        {{HttpOutcome::BindFailed, 0}, -3},        {{HttpOutcome::ConnectFailed, 0}, -4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(workerExitCode(c.result), c.exitCode)
            << "outcome " << static_cast<int>(c.result.outcome) << ", " << c.result.bytes << " bytes";
    }
}

TEST(HttpFailureOutcome, EachFailedStepHasItsBox) {
    EXPECT_EQ(httpFailureOutcome(HttpOutcome::SocketFailed), RunOutcome::HttpSocketFailed);
    EXPECT_EQ(httpFailureOutcome(HttpOutcome::BindFailed), RunOutcome::HttpBindFailed);
    EXPECT_EQ(httpFailureOutcome(HttpOutcome::ConnectFailed), RunOutcome::CannotConnect);
}

}  // namespace
}  // namespace orb
