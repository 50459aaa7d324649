#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/own_addresses.h"
#include "base/random.h"
#include "base/trace.h"
#include "upgrade/error_box.h"
#include "upgrade/run_state.h"
#include "upgrade/startup.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_robot.h"

namespace orb {
namespace {

std::string traced;

class PcAddressListTest : public testing::Test {
protected:
    void SetUp() override {
        traced.clear();
        setTraceSink([](const char* text) { traced += text; });
    }
    void TearDown() override {
        setTraceSink(nullptr);
        setOwnAddressesForTesting(false, {});
    }
};

TEST_F(PcAddressListTest, KeepsAtMostEightInOrderAndTracesEach) {
    std::vector<uint32_t> ten;
    for (uint32_t i = 1; i <= 10; ++i) ten.push_back(0x0a010000u + i);
    setOwnAddressesForTesting(true, ten);
    uint32_t list[kPcAddressListSize + 1];
    list[kPcAddressListSize] = 0xdeadbeef;  // the entry after the list stays untouched
    EXPECT_EQ(collectPcAddresses(list), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(list[i], ten[i]);
    EXPECT_EQ(list[kPcAddressListSize], 0xdeadbeefu);
    EXPECT_EQ(traced.substr(0, 40), "Client IP = a010001\nClient IP = a010002\n");
    size_t lines = 0;
    for (size_t at = traced.find("Client IP = "); at != std::string::npos; at = traced.find("Client IP = ", at + 1))
        ++lines;
    EXPECT_EQ(lines, 8u);
}

TEST_F(PcAddressListTest, NeverHoldsAZeroBeforeItsEnd) {
    setOwnAddressesForTesting(true, {0xc0a80003u, 0, 0x0a010005u});
    uint32_t list[kPcAddressListSize];
    std::fill(std::begin(list), std::end(list), 0xffffffffu);
    EXPECT_EQ(collectPcAddresses(list), 1);
    EXPECT_EQ(list[0], 0xc0a80003u);
    for (int i = 1; i < kPcAddressListSize; ++i) EXPECT_EQ(list[i], 0u) << i;
}

TEST_F(PcAddressListTest, AFailedLookupLeavesTheListEmpty) {
    setOwnAddressesForTesting(true, {});
    uint32_t list[kPcAddressListSize];
    std::fill(std::begin(list), std::end(list), 7u);
    EXPECT_EQ(collectPcAddresses(list), 0);
    for (uint32_t entry : list) EXPECT_EQ(entry, 0u);
}

TEST(RealOwnAddresses, ListsNoZeroAndNonLoopbackFirst) {
    uint32_t list[kPcAddressListSize] = {};
    int count = listOwnAddresses(list, kPcAddressListSize);
    ASSERT_LE(count, kPcAddressListSize);
    bool seenLoopback = false;
    for (int i = 0; i < count; ++i) {
        EXPECT_NE(list[i], 0u);
        bool loopback = (list[i] >> 24) == 127;
        EXPECT_FALSE(seenLoopback && !loopback) << "non-loopback address after a loopback one";
        seenLoopback = seenLoopback || loopback;
    }
}

// Runs that a driver starts in the same millisecond mix their process ids
// into the seed and so draw different file names; without a mix the clock's
// reading is the seed, as it always was.
TEST(RandomSeed, RunsOfOneMillisecondDrawApartOnlyWithAMix) {
    EXPECT_EQ(chooseRandomSeed(123456, 0), 123456u);
    std::set<int> firstDraws;
    for (uint32_t pid = 4000; pid < 4020; ++pid) {
        seedRandom(chooseRandomSeed(123456, pid));
        firstDraws.insert(nextRandom());
    }
    EXPECT_EQ(firstDraws.size(), 20u);
}

TEST(StartupImage, AMissingOrShortImageEndsTheRunWithAnErrorBox) {
    for (uint32_t size : {0u, 100u}) {
        std::vector<uint8_t> bytes(size, 'o');
        test::ChildResult result = test::runInChild([&] {
            robot::setAutoAnswer(true);
            loadImageOrFail({size == 0 ? nullptr : bytes.data(), size});
            std::puts("loaded");
        });
        EXPECT_TRUE(result.exited);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.output.find("loaded"), std::string::npos);
        EXPECT_NE(result.output.find(std::string("caption=\"") + kErrorBoxCaption + "\""), std::string::npos)
            << result.output;
        EXPECT_NE(result.output.find("Upgrade Failed: "), std::string::npos) << result.output;
    }
}

TEST(StartupImage, AGoodImageNamesTheProduct) {
    std::vector<uint8_t> bytes(4096, 0);
    std::memcpy(bytes.data(), "orb5100", 7);
    loadImageOrFail({bytes.data(), 4096});
    EXPECT_STREQ(runState.productDisplayName, "ORB-5100");
    EXPECT_EQ(runState.firmwareImage.data, bytes.data());
    runState.firmwareImage = {};
}

}  // namespace
}  // namespace orb
