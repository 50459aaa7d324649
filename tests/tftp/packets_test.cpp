// The bytes of the packets that the transfer sends, and the 16-bit fields.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/u16_be.h"
#include "tftp/packets.h"

namespace orb {
namespace {

std::vector<uint8_t> optionAck(uint32_t imageSize) {
    uint8_t packet[kTftpPacketSize];
    std::memset(packet, 0xee, sizeof packet);
    int length = buildOptionAck(packet, imageSize);
    return std::vector<uint8_t>(packet, packet + length);
}

TEST(OptionAck, IsTheTwentyFiveListedBytesForTheSampleImageSize) {
    const std::vector<uint8_t> expected = {0x00, 0x06, 0x74, 0x73, 0x69, 0x7a, 0x65, 0x00, 0x37, 0x32, 0x38, 0x31, 0x39,
                                           0x36, 0x00, 0x74, 0x69, 0x6d, 0x65, 0x6f, 0x75, 0x74, 0x00, 0x35, 0x00};
    EXPECT_EQ(optionAck(728196), expected);
}

TEST(OptionAck, IsTwentyBytesWithTsizeZeroForAnEmptyImage) {
    const uint8_t expected[] = {0, 6, 't', 's', 'i', 'z', 'e', 0, '0', 0, 't', 'i', 'm', 'e', 'o', 'u', 't', 0, '5', 0};
    EXPECT_EQ(optionAck(0), std::vector<uint8_t>(std::begin(expected), std::end(expected)));
}

TEST(OptionAck, HasNineteenBytesPlusTheDigitsOfTheSize) {
    EXPECT_EQ(optionAck(7).size(), 20u);
    EXPECT_EQ(optionAck(512).size(), 22u);
    EXPECT_EQ(optionAck(33553919).size(), 27u);
    std::vector<uint8_t> largest = optionAck(4294967295u);  // "%u": never a sign
    ASSERT_EQ(largest.size(), 29u);
    EXPECT_EQ(std::string(largest.begin() + 8, largest.begin() + 18), "4294967295");
}

TEST(DataBlock, IsTheHeaderThenACopyOfTheData) {
    uint8_t data[512];
    for (int i = 0; i < 512; ++i) data[i] = static_cast<uint8_t>(i * 7 + 3);
    uint8_t packet[kTftpPacketSize];
    std::memset(packet, 0xee, sizeof packet);
    ASSERT_EQ(buildDataBlock(packet, {data, 512}, 0x0102), 516);
    EXPECT_EQ(packet[0], 0);
    EXPECT_EQ(packet[1], 3);
    EXPECT_EQ(packet[2], 0x01);
    EXPECT_EQ(packet[3], 0x02);
    EXPECT_EQ(std::memcmp(packet + 4, data, 512), 0);
    EXPECT_EQ(packet[516], 0xee);  // nothing written past the packet
}

TEST(DataBlock, AnEmptyBlockIsFourBytes) {
    uint8_t packet[kTftpPacketSize];
    std::memset(packet, 0xee, sizeof packet);
    ASSERT_EQ(buildDataBlock(packet, {}, 3), 4);
    EXPECT_EQ(packet[3], 3);
    EXPECT_EQ(packet[4], 0xee);
}

TEST(DataBlock, CarriesTheLowSixteenBitsOfTheBlockNumber) {
    uint8_t packet[kTftpPacketSize];
    uint8_t byte = 9;
    buildDataBlock(packet, {&byte, 1}, 65537);
    EXPECT_EQ(getU16BE(packet + 2), 1u);
    EXPECT_EQ(packet[4], 9);
}

TEST(U16BE, WritesTheLowSixteenBitsHighByteFirst) {
    uint8_t field[2];
    putU16BE(field, 65536);
    EXPECT_EQ(field[0], 0);
    EXPECT_EQ(field[1], 0);
    putU16BE(field, 513);
    EXPECT_EQ(field[0], 2);
    EXPECT_EQ(field[1], 1);
}

TEST(U16BE, ReadsWithoutSignExtension) {
    const uint8_t oneZero[] = {0x01, 0x00};
    const uint8_t allOnes[] = {0xff, 0xff};
    EXPECT_EQ(getU16BE(oneZero), 256u);
    EXPECT_EQ(getU16BE(allOnes), 65535u);
}

}  // namespace
}  // namespace orb
