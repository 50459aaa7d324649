// What the waiting and upload windows show, without a window: the waiting
// bar's position and the upload window's title.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
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
    char title[130];
    std::fill(std::begin(title), std::end(title), '#');
    formatUploadTitle(title, std::string(200, '1').c_str(), 5, 6);
    EXPECT_EQ(std::string(title).size(), 127u);
    EXPECT_EQ(title[128], '#');
}

}  // namespace
}  // namespace orb
