// The runner's bookkeeping of a big batch: the turns at the machine's ports
// (who holds one, who waits, what a port held outside the batch does to the
// share) and the live status line's counts and estimate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/unattended/batch_progress.h"
#include "app/unattended/port_turn_ledger.h"

namespace orb::unattended {
namespace {

std::vector<int> runsOf(const std::vector<PortGrant>& grants, PortKind kind) {
    std::vector<int> runs;
    for (const PortGrant& grant : grants)
        if (grant.kind == kind) runs.push_back(grant.run);
    return runs;
}

TEST(PortTurnLedger, NoMoreRunsHoldAPortThanThereArePortsAndTheOthersWaitInLine) {
    PortTurnLedger ledger(3, 2);
    for (int run = 0; run < 5; ++run) ledger.ask(run, PortKind::Listener);
    for (int run = 0; run < 4; ++run) ledger.ask(run, PortKind::Http);
    std::vector<PortGrant> first = ledger.grant();
    EXPECT_EQ(runsOf(first, PortKind::Listener), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(runsOf(first, PortKind::Http), (std::vector<int>{0, 1}));
    EXPECT_TRUE(ledger.grant().empty()) << "every port is held";

    ledger.giveBack(1, PortKind::Listener);
    ledger.forgetRun(0);  // ended holding one of each
    std::vector<PortGrant> next = ledger.grant();
    EXPECT_EQ(runsOf(next, PortKind::Listener), (std::vector<int>{3, 4}));
    EXPECT_EQ(runsOf(next, PortKind::Http), (std::vector<int>{2}));
    EXPECT_EQ(ledger.most(PortKind::Listener), 3);
    EXPECT_EQ(ledger.held(PortKind::Http), 2);
    EXPECT_EQ(ledger.waiting(PortKind::Http), 1u);
}

TEST(PortTurnLedger, AGiveWithoutATakeChangesNothing) {
    PortTurnLedger ledger(1, 1);
    ledger.giveBack(7, PortKind::Listener);
    ledger.ask(1, PortKind::Listener);
    ledger.ask(2, PortKind::Listener);
    EXPECT_EQ(runsOf(ledger.grant(), PortKind::Listener), (std::vector<int>{1}));
    ledger.giveBack(2, PortKind::Listener);  // 2 holds none
    EXPECT_TRUE(ledger.grant().empty());
}

// Two of four ports held by another program: the third run's search fails,
// the share drops to the two the batch holds, and grows back a second later.
TEST(PortTurnLedger, APortHeldOutsideTheBatchShrinksTheShareUntilItGrowsBack) {
    PortTurnLedger ledger(4, 4);
    for (int run = 0; run < 4; ++run) ledger.ask(run, PortKind::Listener);
    EXPECT_EQ(ledger.grant().size(), 4u);
    ledger.noFreePort(2, PortKind::Listener, 10000);
    ledger.noFreePort(3, PortKind::Listener, 10000);
    EXPECT_EQ(ledger.share(PortKind::Listener), 2);
    EXPECT_TRUE(ledger.grant().empty()) << "no turn goes out again at once, or the search spins";
    EXPECT_TRUE(ledger.regrowing());
    ledger.tick(10000 + kShareRegrowthMs - 1);
    EXPECT_TRUE(ledger.grant().empty());
    ledger.giveBack(0, PortKind::Listener);
    EXPECT_EQ(runsOf(ledger.grant(), PortKind::Listener), (std::vector<int>{2})) << "a turn given back goes on";
    ledger.tick(10000 + kShareRegrowthMs);
    EXPECT_EQ(ledger.share(PortKind::Listener), 3);
    EXPECT_EQ(runsOf(ledger.grant(), PortKind::Listener), (std::vector<int>{3}));
    EXPECT_FALSE(ledger.regrowing()) << "nobody waits";
}

TEST(PortTurnLedger, EveryPortHeldOutsideLeavesTheShareAtNoneForASecond) {
    PortTurnLedger ledger(2, 2);
    ledger.ask(0, PortKind::Http);
    EXPECT_EQ(ledger.grant().size(), 1u);
    ledger.noFreePort(0, PortKind::Http, 500);
    EXPECT_EQ(ledger.share(PortKind::Http), 0);
    EXPECT_TRUE(ledger.grant().empty());
    ledger.tick(1500);
    EXPECT_EQ(runsOf(ledger.grant(), PortKind::Http), (std::vector<int>{0}));
}

TEST(PortTurnLedger, ACancelledBatchTakesEveryoneOutOfLine) {
    PortTurnLedger ledger(1, 1);
    for (int run = 0; run < 3; ++run) ledger.ask(run, PortKind::Listener);
    ledger.ask(5, PortKind::Http);
    ledger.grant();
    std::vector<PortGrant> waiting = ledger.takeEveryWaiting();
    EXPECT_EQ(runsOf(waiting, PortKind::Listener), (std::vector<int>{1, 2}));
    EXPECT_TRUE(runsOf(waiting, PortKind::Http).empty());
    ledger.giveBack(0, PortKind::Listener);
    EXPECT_TRUE(ledger.grant().empty());
}

TEST(BatchProgress, CountsEachStateAndEstimatesFromTheRunsThatEnded) {
    BatchProgress progress(5, 2);
    EXPECT_EQ(progress.count(AdapterState::Queued), 5u);
    progress.started(0, 0);
    progress.started(1, 0);
    progress.eventSeen(0, "upload-started", false, 1);
    progress.eventSeen(1, "upload-started", false, 1);
    progress.eventSeen(1, "restart-wait", false, 2);
    EXPECT_EQ(progress.count(AdapterState::Uploading), 1u);
    EXPECT_EQ(progress.count(AdapterState::Restarting), 1u);
    EXPECT_EQ(progress.count(AdapterState::Queued), 3u);
    // Nothing ended yet: a run is expected to last its restart wait and a little.
    EXPECT_NEAR(progress.secondsLeft(2), 50 + 2 * 52, 0.01);

    progress.eventSeen(0, "result", true, 20);
    progress.eventSeen(1, "result", false, 30);
    progress.eventSeen(1, "upload-started", false, 31);  // after its result: ignored
    EXPECT_EQ(progress.count(AdapterState::Failed), 1u);
    EXPECT_EQ(progress.count(AdapterState::Done), 1u);
    progress.started(2, 30);
    // The runs lasted 25 s on average: run 2 has 25 s to go, then 2 more in one round.
    EXPECT_NEAR(progress.secondsLeft(30), 25 + 25, 0.01);
    EXPECT_EQ(progress.line(30, 200),
              "1/5 done, 1 failed | 0 uploading, 0 restarting, 1 starting, 2 queued | 4.0/min | 50 s left");
    EXPECT_EQ(progress.line(30, 12), "1/5 done, 1 ") << "cut to the terminal's width";
}

TEST(BatchProgress, DurationsReadAsAPersonWouldSayThem) {
    EXPECT_EQ(formatDuration(0.4), "0 s");
    EXPECT_EQ(formatDuration(59.6), "1 min 0 s");
    EXPECT_EQ(formatDuration(72), "1 min 12 s");
    EXPECT_EQ(formatDuration(7380), "2 h 03 min");
}

}  // namespace
}  // namespace orb::unattended
