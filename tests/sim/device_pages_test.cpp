// The status page, the trigger's TFTP URL and the image check.
#include <gtest/gtest.h>

#include "sim/device_pages.h"
#include "sim/firmware_check.h"
#include "tests/sim/sim_test_helpers.h"

namespace orb::sim {
namespace {

TEST(SimStatusPage, TheUtilityScrapesEveryValue) {
    DeviceIdentity identity;
    identity.productName = "ORB-4100";
    identity.macAddress = "00:11:22:33:44:55";
    identity.softwareVersion = "1.0.2";
    identity.hardwareVersion = "HW 2";
    identity.serialNumber = "SN 123";
    std::string page = buildStatusPage(identity);
    EXPECT_NE(page.find("<tr><td>Software Version:</td><td><b>1.0.2</b></td></tr>"), std::string::npos);
    EXPECT_EQ(test::scrapeLikeUtility(page, "Product Name:"), "ORB-4100");
    EXPECT_EQ(test::scrapeLikeUtility(page, "MAC Address:"), "00:11:22:33:44:55");
    EXPECT_EQ(test::scrapeLikeUtility(page, "Software Version:"), "1.0.2");
    EXPECT_EQ(test::scrapeLikeUtility(page, "Hardware Version:"), "HW 2");
    EXPECT_EQ(test::scrapeLikeUtility(page, "Serial Number:"), "SN 123");
}

TEST(SimTriggerQuery, AddressPortAndNameWithItsSlash) {
    std::string error;
    auto source = parseTriggerQuery("tftp://10.1.0.5:69/orb1a2b.bin", &error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->address, 0x0a010005u);
    EXPECT_EQ(source->port, 69);
    EXPECT_EQ(source->fileName, "/orb1a2b.bin");

    source = parseTriggerQuery("tftp://255.255.255.255:65535/orb7fff.bin", &error);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->port, 65535);
    source = parseTriggerQuery("tftp://127.0.4.9/dir/x.bin", &error);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->port, 69);
    EXPECT_EQ(source->fileName, "/dir/x.bin");
}

TEST(SimTriggerQuery, BadUrlsAreRefusedWithAReason) {
    std::string error;
    for (const char* query : {"", "http://1.2.3.4/x", "tftp://1.2.3.4", "tftp://1.2.3.4/", "tftp://1.2.3/x",
                              "tftp://1.2.3.256/x", "tftp://host/x", "tftp://1.2.3.4:0/x", "tftp://1.2.3.4:70000/x",
                              "tftp://1.2.3.4:6a/x", "tftp://1.2.3.4:/x"}) {
        error.clear();
        EXPECT_FALSE(parseTriggerQuery(query, &error)) << query;
        EXPECT_FALSE(error.empty()) << query;
    }
}

TEST(SimDottedAddress, BothWays) {
    uint32_t address = 0;
    EXPECT_TRUE(parseDottedQuad("127.0.4.1", &address));
    EXPECT_EQ(address, 0x7f000401u);
    EXPECT_FALSE(parseDottedQuad("127.0.4", &address));
    EXPECT_FALSE(parseDottedQuad("127.0.4.1 ", &address));
    EXPECT_FALSE(parseDottedQuad("1.2.3.4.5", &address));
    EXPECT_EQ(formatIPv4(0xc0a8020au), "192.168.2.10");
}

TEST(SimImageCheck, AGoodImage) {
    auto image = test::makeTestImage(728196, "2.0.10(a)");
    ImageCheck check = checkFirmwareImage(image, 728196);
    EXPECT_TRUE(check.ok()) << check.verdict;
    EXPECT_EQ(check.version, "2.0.10(a)");
    EXPECT_TRUE(checkFirmwareImage(image, std::nullopt).ok());
}

TEST(SimImageCheck, EachFailureByName) {
    auto image = test::makeTestImage(1000, "2.0.10(a)");
    EXPECT_EQ(checkFirmwareImage(image, 999).verdict, "size-mismatch");
    EXPECT_EQ(checkFirmwareImage(test::makeTestImage(100, ""), std::nullopt).verdict, "too-short");
    EXPECT_EQ(checkFirmwareImage(test::makeTestImage(1000, "1.0", "ORB5100 FIRMWARE"), 1000).verdict, "bad-magic");
    EXPECT_TRUE(checkFirmwareImage(test::makeTestImage(1000, "1.0", "ORB5100 FIRMWARE"), 1000, "ORB5100").ok());
    EXPECT_EQ(checkFirmwareImage(test::makeTestImage(1000, ""), 1000).verdict, "no-version");

    auto unterminated = image;
    for (size_t i = 92; i < 128; ++i) unterminated[i] = 'x';
    ImageCheck check = checkFirmwareImage(unterminated, 1000);
    EXPECT_EQ(check.verdict, "no-version");
    EXPECT_EQ(check.version, std::string(36, 'x'));

    auto control = image;
    control[93] = '\n';
    EXPECT_EQ(checkFirmwareImage(control, 1000).verdict, "no-version");

    // The longest version that fits: 35 characters and the NUL.
    auto longest = test::makeTestImage(1000, std::string(35, 'v'));
    EXPECT_TRUE(checkFirmwareImage(longest, 1000).ok());
}

}  // namespace
}  // namespace orb::sim
