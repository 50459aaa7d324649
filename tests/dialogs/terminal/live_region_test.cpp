// The live region's updates (only what changed is written, nothing when
// nothing visible changed) and the redraw throttle (many model changes, few
// frames).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/terminal/live_region.h"
#include "dialogs/terminal/redraw_throttle.h"

namespace orb::dialogs::terminal {
namespace {

std::vector<StyledLine> lines(std::initializer_list<const char*> texts) {
    std::vector<StyledLine> out;
    for (const char* t : texts) out.emplace_back(t);
    return out;
}

TEST(LiveRegion, TheFirstFramePrintsTranscriptAndRegion) {
    LiveRegion region;
    std::string out = region.update({"title", "text"}, lines({"a", "b"}), Cursor{});
    EXPECT_EQ(out, "\x1b[?25l\r\x1b[Jtitle\r\ntext\r\na\r\nb");
    EXPECT_EQ(region.rows(), 2);
}

TEST(LiveRegion, NothingIsWrittenWhenNothingChanged) {
    LiveRegion region;
    region.update({}, lines({"a", "b"}), Cursor{});
    EXPECT_EQ(region.update({}, lines({"a", "b"}), Cursor{}), "");
    EXPECT_EQ(region.update({}, lines({"a", "b"}), Cursor{-1, 7}), "");
}

TEST(LiveRegion, OnlyTheChangedLineIsWritten) {
    LiveRegion region;
    region.update({}, lines({"one", "two", "three"}), Cursor{});
    // The cursor is on the last row (2); line 1 changes.
    EXPECT_EQ(region.update({}, lines({"one", "TWO", "three"}), Cursor{}), "\x1b[1A\rTWO\x1b[K");
    // Now on row 1; line 2 changes.
    EXPECT_EQ(region.update({}, lines({"one", "TWO", "3"}), Cursor{}), "\x1b[1B\r3\x1b[K");
}

TEST(LiveRegion, ADifferentNumberOfLinesRedrawsTheRegion) {
    LiveRegion region;
    region.update({}, lines({"one", "two", "three"}), Cursor{});
    EXPECT_EQ(region.update({}, lines({"one"}), Cursor{}), "\r\x1b[2A\x1b[Jone");
}

TEST(LiveRegion, TheCursorGoesToTheFocusedField) {
    LiveRegion region;
    std::string out = region.update({}, lines({"field [abc ]", "buttons"}), Cursor{0, 10});
    EXPECT_EQ(out, "\x1b[?25l\r\x1b[Jfield [abc ]\r\nbuttons\x1b[1A\r\x1b[10C\x1b[?25h");
    // Typing one more character: the line and the cursor.
    out = region.update({}, lines({"field [abcd]", "buttons"}), Cursor{0, 11});
    EXPECT_EQ(out, "\x1b[?25l\rfield [abcd]\x1b[K\r\x1b[11C\x1b[?25h");
}

TEST(LiveRegion, EraseLeavesTheCursorAtTheRegionsStart) {
    LiveRegion region;
    region.update({}, lines({"a", "b", "c"}), Cursor{});
    EXPECT_EQ(region.erase(), "\r\x1b[2A\x1b[0m\x1b[J\x1b[?25h");
    EXPECT_EQ(region.rows(), 0);
}

TEST(RedrawThrottle, DrawsAtOnceAfterAQuietSpell) {
    RedrawThrottle throttle(50);
    EXPECT_EQ(throttle.waitMs(0), -1);
    throttle.markDirty();
    EXPECT_TRUE(throttle.due(0));
    throttle.drew(0);
    EXPECT_EQ(throttle.waitMs(10), -1);
    throttle.markDirty();
    EXPECT_EQ(throttle.waitMs(10), 40);
    EXPECT_TRUE(throttle.due(50));
}

TEST(RedrawThrottle, AThousandChangesASecondGiveTwentyFrames) {
    RedrawThrottle throttle(50);
    int frames = 0;
    for (int64_t now = 0; now < 1000; ++now) {
        throttle.markDirty();  // the model changed this millisecond
        if (throttle.due(now)) {
            throttle.drew(now);
            ++frames;
        }
    }
    EXPECT_EQ(frames, 20);
}

}  // namespace
}  // namespace orb::dialogs::terminal
