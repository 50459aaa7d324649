// The stages of a progress window as the terminal view's log follows them:
// which title changes end a stage, and which changes a window state shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/terminal/stage_tracker.h"

namespace orb::dialogs::terminal {
namespace {

using Titles = std::vector<std::string>;

// Any pointer serves as a handle: the tracker never reads the model.
int windowA = 0;
int windowB = 0;
WindowHandle a = reinterpret_cast<WindowHandle>(&windowA);
WindowHandle b = reinterpret_cast<WindowHandle>(&windowB);

TEST(StageTracker, ATitleOfAnotherKindEndsAStage) {
    StageTracker tracker;
    tracker.titleChanged(a, {"Uploading Firmware To ORB", "Uploading 512/728196 Bytes", true, 1});
    tracker.titleChanged(a, {"Uploading 512/728196 Bytes", "Uploading 1024/728196 Bytes", true, 2});
    tracker.titleChanged(a, {"Uploading 1024/728196 Bytes", "Waiting 49 s", true, 3});
    tracker.titleChanged(a, {"Waiting 49 s", "Waiting 48 s", true, 4});
    EXPECT_EQ(tracker.endedStages(a, 4), (Titles{"Uploading Firmware To ORB", "Uploading 1024/728196 Bytes"}));
    EXPECT_EQ(tracker.endedStages(b, 0), Titles{}) << "each window has stages of its own";
}

TEST(StageTracker, TitlesOfAWindowNotYetShownEndNoStage) {
    StageTracker tracker;
    tracker.titleChanged(a, {"Template", "Preparing", false, 1});
    tracker.titleChanged(a, {"Preparing", "Sending 1", true, 2});
    EXPECT_EQ(tracker.endedStages(a, 2), Titles{"Preparing"});
}

TEST(StageTracker, OnlyTheChangesThatTheStateShowsCount) {
    StageTracker tracker;
    tracker.titleChanged(a, {"One", "Two", true, 1});
    tracker.titleChanged(a, {"Two", "Three", true, 2});
    EXPECT_EQ(tracker.endedStages(a, 1), Titles{"One"}) << "a state read before the second change";
    EXPECT_EQ(tracker.endedStages(a, 2), (Titles{"One", "Two"}));
}

TEST(StageTracker, ChangesNeverToldAreLeftOut) {
    StageTracker tracker;
    // Two changes made before the view was installed: never told.
    tracker.titleChanged(a, {"Two", "Three", true, 3});
    EXPECT_EQ(tracker.endedStages(a, 3), Titles{"Two"});
    EXPECT_EQ(tracker.endedStages(a, 3), Titles{"Two"});
    tracker.titleChanged(a, {"Three", "Four", true, 4});
    EXPECT_EQ(tracker.endedStages(a, 4), (Titles{"Two", "Three"}));
}

}  // namespace
}  // namespace orb::dialogs::terminal
