// The pieces of a fleet: where each adapter listens, what tells it apart, the
// range check of --count, and the descriptor limit it asks for.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "sim/device_pages.h"
#include "sim/fleet.h"

namespace orb::sim {
namespace {

uint32_t address(const char* text) {
    uint32_t value = 0;
    EXPECT_TRUE(parseDottedQuad(text, &value)) << text;
    return value;
}

struct AddressCase {
    const char* first;
    unsigned index;
    const char* expected;
};
std::ostream& operator<<(std::ostream& out, const AddressCase& c) { return out << c.first << "+" << c.index; }

class FleetAddress : public testing::TestWithParam<AddressCase> {};

TEST_P(FleetAddress, SkipsEveryAddressEndingInZeroOr255) {
    EXPECT_EQ(formatIPv4(deriveAdapterAddress(address(GetParam().first), GetParam().index)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, FleetAddress,
    testing::Values(AddressCase{"127.0.0.2", 0, "127.0.0.2"}, AddressCase{"127.0.0.2", 4, "127.0.0.6"},
                    AddressCase{"127.0.0.2", 252, "127.0.0.254"}, AddressCase{"127.0.0.2", 253, "127.0.1.1"},
                    AddressCase{"127.0.0.254", 1, "127.0.1.1"}, AddressCase{"127.4.0.1", 999, "127.4.3.238"},
                    AddressCase{"127.0.255.254", 1, "127.1.0.1"},
                    // One adapter alone listens where --address says.
                    AddressCase{"127.0.0.0", 0, "127.0.0.0"}, AddressCase{"127.0.0.255", 0, "127.0.0.255"},
                    AddressCase{"10.1.2.255", 0, "10.1.2.255"}));

struct RangeCase {
    const char* first;
    unsigned count;
    const char* mentions;  // nullptr: accepted
};
std::ostream& operator<<(std::ostream& out, const RangeCase& c) { return out << c.first << "x" << c.count; }

class FleetRange : public testing::TestWithParam<RangeCase> {};

TEST_P(FleetRange, StaysInTheLoopbackNetwork) {
    std::string error;
    bool accepted = checkFleetRange(address(GetParam().first), GetParam().count, &error);
    EXPECT_EQ(accepted, GetParam().mentions == nullptr) << error;
    if (GetParam().mentions != nullptr) {
        EXPECT_NE(error.find(GetParam().mentions), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, FleetRange,
                         testing::Values(RangeCase{"10.0.0.0", 1, nullptr}, RangeCase{"127.0.0.255", 1, nullptr},
                                         RangeCase{"127.0.0.2", 100000, nullptr},
                                         RangeCase{"127.255.255.253", 2, nullptr},
                                         RangeCase{"127.255.255.253", 3, "leaves 127.0.0.0/8"},
                                         RangeCase{"127.255.255.254", 2, "leaves 127.0.0.0/8"},
                                         RangeCase{"10.0.0.1", 2, "needs an --address in 127.0.0.0/8"},
                                         RangeCase{"127.0.0.0", 2, "end in 1 to 254"},
                                         RangeCase{"127.0.0.255", 2, "end in 1 to 254"}));

TEST(SimFleet, SerialNumbersCountOnInTheirTrailingDigits) {
    EXPECT_EQ(deriveSerialNumber("ORB41000001", 0), "ORB41000001");
    EXPECT_EQ(deriveSerialNumber("ORB41000001", 1), "ORB41000002");
    EXPECT_EQ(deriveSerialNumber("ORB41000001", 999), "ORB41001000");
    EXPECT_EQ(deriveSerialNumber("SN0099", 1), "SN0100");
    EXPECT_EQ(deriveSerialNumber("SN99", 1), "SN100");
    EXPECT_EQ(deriveSerialNumber("99999999999999999999999", 1), "100000000000000000000000");
    EXPECT_EQ(deriveSerialNumber("SN", 0), "SN");
    EXPECT_EQ(deriveSerialNumber("SN", 2), "SN2");
}

TEST(SimFleet, MacAddressesCountOnAsFortyEightBitNumbers) {
    EXPECT_EQ(deriveMacAddress("00:1A:2B:3C:4D:5E", 0), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(deriveMacAddress("00:1A:2B:3C:4D:5E", 1), "00:1A:2B:3C:4D:5F");
    EXPECT_EQ(deriveMacAddress("00:1A:2B:3C:4D:5E", 0xa2), "00:1A:2B:3C:4E:00");
    EXPECT_EQ(deriveMacAddress("aa-bb-cc-dd-ee-ff", 1), "aa-bb-cc-dd-ef-00");
    EXPECT_EQ(deriveMacAddress("FF:FF:FF:FF:FF:FF", 2), "00:00:00:00:00:01");
    // Not a MAC address: the same text on every adapter.
    for (const char* text : {"aa", "00:1A:2B:3C:4D:5G", "00:1A-2B:3C:4D:5E", "00:1A:2B:3C:4D:5E:"}) {
        EXPECT_EQ(deriveMacAddress(text, 3), text);
    }
}

TEST(SimFleet, AnAdapterTakesTheFleetsSettingsWithItsOwnIdentity) {
    SimConfig fleet;
    fleet.address = address("127.4.0.254");
    fleet.count = 5;
    fleet.seed = 40;
    fleet.saveImagePath = "/tmp/got.bin";
    fleet.digest.password = "pw";
    fleet.restartMs = 250;
    SimConfig third = makeAdapterConfig(fleet, 2);
    EXPECT_EQ(formatIPv4(third.address), "127.4.1.2");
    EXPECT_EQ(third.identity.serialNumber, "ORB41000003");
    EXPECT_EQ(third.identity.macAddress, "00:1A:2B:3C:4D:60");
    EXPECT_EQ(third.seed, 42u);
    EXPECT_EQ(third.saveImagePath, "/tmp/got.bin.127.4.1.2");
    EXPECT_EQ(third.digest.password, "pw");
    EXPECT_EQ(third.restartMs, 250);
    fleet.count = 1;
    EXPECT_EQ(makeAdapterConfig(fleet, 0).saveImagePath, "/tmp/got.bin");
}

struct LimitCase {
    uint64_t soft, hard, needed;
    DescriptorPlan expected;
};
std::ostream& operator<<(std::ostream& out, const LimitCase& c) {
    std::string hard = c.hard == UINT64_MAX ? std::string("Unlimited") : std::to_string(c.hard);
    return out << "soft" << c.soft << "_hard" << hard << "_need" << c.needed;
}

class DescriptorLimit : public testing::TestWithParam<LimitCase> {};

TEST_P(DescriptorLimit, RaisesTheSoftLimitOnlyWhenNeededAndAtMostToTheHardOne) {
    DescriptorPlan plan = planDescriptorLimit(GetParam().soft, GetParam().hard, GetParam().needed);
    EXPECT_EQ(plan.soft, GetParam().expected.soft);
    EXPECT_EQ(plan.enough, GetParam().expected.enough);
}

INSTANTIATE_TEST_SUITE_P(Sim, DescriptorLimit,
                         testing::Values(LimitCase{1024, 4096, 20, {1024, true}},
                                         LimitCase{1024, 20000, 4016, {20000, true}},
                                         LimitCase{1024, 2048, 4016, {2048, false}},
                                         LimitCase{1024, 1024, 4016, {1024, false}},
                                         LimitCase{1024, UINT64_MAX, 4016, {4016, true}}));

}  // namespace
}  // namespace orb::sim
