// The time limits of an unattended run, played through with given times and
// window threads: the run's clock stands still while a port turn is waited
// for, and from the read request on only the listener's exchanges are timed.
#include <gtest/gtest.h>

#include <map>

#include "app/unattended/front_end/run_deadlines.h"

namespace orb::unattended {
namespace {

using Clock = RunDeadlines::Clock;
using std::chrono::seconds;

const Clock::time_point kStart{seconds(1000)};

TEST(RunDeadlines, TheRunsClockStandsStillWhileItWaitsForAPortTurn) {
    RunDeadlines deadlines(
        {0, 0, 60}, [](WindowHandle) { return std::nullopt; }, kStart);
    deadlines.turnWaitBegan(kStart + seconds(10));
    EXPECT_FALSE(deadlines.next()) << "nothing is timed while the turn is waited for";
    EXPECT_FALSE(deadlines.takePassed(kStart + seconds(100)));
    deadlines.turnWaitEnded(kStart + seconds(40));
    EXPECT_EQ(deadlines.next(), kStart + seconds(90));
    EXPECT_FALSE(deadlines.takePassed(kStart + seconds(89)));
    std::optional<PassedLimit> passed = deadlines.takePassed(kStart + seconds(90));
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->reason, StopReason::RunTimeout);
    EXPECT_EQ(passed->seconds, 60);
    EXPECT_FALSE(deadlines.takePassed(kStart + seconds(200))) << "a limit passes once";
}

TEST(RunDeadlines, FromTheReadRequestOnOnlyTheListenersExchangesAreTimed) {
    auto* trigger = reinterpret_cast<WindowHandle>(1);
    auto* verification = reinterpret_cast<WindowHandle>(2);
    std::map<WindowHandle, std::thread::id> threads{{trigger, std::thread::id()},
                                                    {verification, std::this_thread::get_id()}};
    RunDeadlines deadlines(
        {30, 5, 0}, [&](WindowHandle window) { return std::optional(threads.at(window)); }, kStart);
    deadlines.waitingShown(kStart);
    deadlines.connectingShown(trigger, kStart + seconds(1));
    EXPECT_EQ(deadlines.next(), kStart + seconds(6));
    deadlines.uploadStarted(std::this_thread::get_id());
    EXPECT_FALSE(deadlines.next()) << "the trigger's exchange and the request wait are no longer timed";
    deadlines.connectingShown(verification, kStart + seconds(50));
    std::optional<PassedLimit> passed = deadlines.takePassed(kStart + seconds(55));
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->reason, StopReason::HttpTimeout);
}

TEST(RunDeadlines, TheRequestLimitEndsTheWaitForTheReadRequest) {
    RunDeadlines deadlines(
        {30, 0, 0}, [](WindowHandle) { return std::nullopt; }, kStart);
    deadlines.waitingShown(kStart + seconds(2));
    std::optional<PassedLimit> passed = deadlines.takePassed(kStart + seconds(32));
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->reason, StopReason::NoRequest);
    deadlines.waitingShown(kStart + seconds(40));
    deadlines.waitingClosed();
    EXPECT_FALSE(deadlines.next());
}

}  // namespace
}  // namespace orb::unattended
