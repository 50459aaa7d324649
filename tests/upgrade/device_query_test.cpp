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
        {{HttpOutcome::ChallengeTaken, 420}, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(workerExitCode(c.result), c.exitCode)
            << "outcome " << static_cast<int>(c.result.outcome) << ", " << c.result.bytes << " bytes";
    }
}

TEST(ConnectionFailure, EachFailedStepHasItsBoxAndAnExchangeThatReachedTheAdapterNone) {
    EXPECT_EQ(connectionFailure(HttpOutcome::SocketFailed), RunOutcome::HttpSocketFailed);
    EXPECT_EQ(connectionFailure(HttpOutcome::BindFailed), RunOutcome::HttpBindFailed);
    EXPECT_EQ(connectionFailure(HttpOutcome::ConnectFailed), RunOutcome::CannotConnect);
    EXPECT_EQ(connectionFailure(HttpOutcome::Received), std::nullopt);
    EXPECT_EQ(connectionFailure(HttpOutcome::ChallengeTaken), std::nullopt);
}

}  // namespace
}  // namespace orb
