// What the waiting and upload windows show, without a window: the waiting
// bar's position and the upload window's title.
#include <gtest/gtest.h>

#include <string>

#include "upgrade/serve_image.h"
#include "upgrade/upload_and_verify.h"

namespace orb {
namespace {

TEST(IdlePosition, RunsOneToNineHundredNinetyNineThenZero) {
    int position = 0;
    for (int expected = 1; expected <= 999; ++expected) {
        position = advanceIdlePosition(position, 1);
        ASSERT_EQ(position, expected);
    }
    EXPECT_EQ(advanceIdlePosition(position, 1), 0);
    EXPECT_EQ(advanceIdlePosition(0, 1), 1);
}

TEST(IdlePosition, MovesByEveryTickThatPassedAtOnce) {
    EXPECT_EQ(advanceIdlePosition(0, 33), 33);
    EXPECT_EQ(advanceIdlePosition(990, 33), 23);
    EXPECT_EQ(advanceIdlePosition(5, 0), 5);
    EXPECT_EQ(advanceIdlePosition(7, 2500), 507);  // a stall: the bar ends where the ticks put it
}

TEST(UploadTitle, StaysWithin127Characters) {
    std::string title = formatUploadTitle(std::string(200, '1').c_str(), 5, 6);
    EXPECT_EQ(title, "Uploading Firmware to ORB@" + std::string(127 - 26, '1'));
}

}  // namespace
}  // namespace orb
