// The device query's reading of an exchange's result: the worker thread's exit
// code, which the query's own thread reads as an int, and how a failed
// connection ends the run, and the verdict on what the adapter reports after
// its restart.
#include <gtest/gtest.h>

#include <string>

#include "upgrade/device_query.h"
#include "upgrade/upgrade_verdict.h"

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
    // After the upload the adapter that cannot be reached has not come back;
    // this computer's own failures stay its own.
    EXPECT_EQ(connectionFailure(HttpOutcome::ConnectFailed, true), RunOutcome::NotRespondingAfterUpload);
    EXPECT_EQ(connectionFailure(HttpOutcome::BindFailed, true), RunOutcome::HttpBindFailed);
}

TEST(UpgradeVerdict, OnlyTheEmbeddedVersionReportedIsASuccessAndEveryOtherAnswerSaysWhat) {
    struct Case {
        int32_t bytes;
        const char* reported;
        const char* image;
        uint32_t secondRequester;
        RunOutcome outcome;
        const char* message;
    };
    const Case cases[] = {
        {900, "2.0.10(a)", "2.0.10(a)", 0, RunOutcome::Success, ""},
        {900, "2.0.10(a)", "2.0.10(a)", 0x7f000901, RunOutcome::Success, ""},
        {900, "1.0.2", "2.0.10(a)", 0, RunOutcome::WrongVersionAfterUpload,
         "Upgrade Failed: ORB reports version 1.0.2 after the upload"},
        {900, "2.0.10(a) ", "2.0.10(a)", 0, RunOutcome::WrongVersionAfterUpload,
         "Upgrade Failed: ORB reports version 2.0.10(a)  after the upload"},
        {900, "", "2.0.10(a)", 0, RunOutcome::WrongVersionAfterUpload,
         "Upgrade Failed: ORB reports no version after the upload"},
        {900, "", "", 0, RunOutcome::WrongVersionAfterUpload,
         "Upgrade Failed: ORB reports no version after the upload"},
        {0, "2.0.10(a)", "2.0.10(a)", 0, RunOutcome::NotRespondingAfterUpload,
         "Upgrade Failed: ORB not responding after firmware upload"},
        {900, "1.0.2", "2.0.10(a)", 0x7f000901, RunOutcome::WrongVersionAfterUpload,
         "Upgrade Failed: ORB reports version 1.0.2 after the upload (two hosts asked for the image as 127.0.9.1)"},
    };
    for (const Case& c : cases) {
        UpgradeVerdict verdict = judgeUpgrade(c.bytes, c.reported, c.image, c.secondRequester);
        EXPECT_EQ(verdict.outcome, c.outcome) << c.reported << " of " << c.image;
        EXPECT_EQ(std::string(verdict.message), c.message);
    }
    // A page's value of any length fits the box's text, cut.
    std::string longVersion(400, 'v');
    UpgradeVerdict verdict = judgeUpgrade(900, longVersion.c_str(), "2.0.10(a)", 0x7f000901);
    EXPECT_EQ(std::string(verdict.message).find(std::string(128, 'v')), std::string::npos);
    EXPECT_NE(std::string(verdict.message).find("(two hosts asked"), std::string::npos) << verdict.message;
}

}  // namespace
}  // namespace orb
