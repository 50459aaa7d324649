#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "upgrade/firmware_image.h"

namespace orb {
namespace {

std::vector<uint8_t> imageWithHeader(const std::string& start, size_t size = 600) {
    std::vector<uint8_t> bytes(size, 0x5a);
    std::memset(bytes.data(), 0, kFirmwareHeaderSize);
    std::memcpy(bytes.data(), start.data(), start.size());
    return bytes;
}

TEST(ProductDisplayName, ModelKeyDecidesIgnoringCaseAndOnlySevenCharacters) {
    struct Case {
        std::string start;
        const char* name;
    } cases[] = {
        {"ORB5100", "ORB-5100"},
        {"oRb5100 anything", "ORB-5100"},
        {"orb4100x", "ORB-3100/4100"},
        {"OrB4100 FiRmWaRe", "ORB-3100/4100"},
        {"orb3100", "ODM-Product"},
        {"ORB-5100", "ODM-Product"},
        {"", "ODM-Product"},
        {std::string("orb51\0"
                     "0",
                     7),
         "ODM-Product"},  // NUL inside the key
        {std::string("orb410\0", 7), "ODM-Product"},
    };
    for (const Case& c : cases) {
        auto bytes = imageWithHeader(c.start);
        EXPECT_STREQ(chooseProductDisplayName(bytes.data()), c.name) << "header starting with '" << c.start << "'";
    }
}

TEST(FirmwareImageLoad, KeepsPointerAndSizeAndCopiesOnlyTheHeader) {
    auto bytes = imageWithHeader("OrB4100 FiRmWaRe");
    bytes[127] = 0x77;
    bytes[128] = 0x99;
    FirmwareImage image{};
    ASSERT_EQ(loadFirmwareImage({bytes.data(), static_cast<uint32_t>(bytes.size())}, &image), ImageLoadResult::Loaded);
    EXPECT_EQ(image.data, bytes.data());  // not copied
    EXPECT_EQ(image.size, bytes.size());
    EXPECT_EQ(0, std::memcmp(image.header, bytes.data(), kFirmwareHeaderSize));
    bytes[0] = 'X';  // the header is a copy
    EXPECT_EQ(image.header[0], 'O');
}

TEST(FirmwareImageLoad, RefusesMissingAndShortImagesWithoutReadingThem) {
    FirmwareImage image{};
    EXPECT_EQ(loadFirmwareImage({nullptr, 0}, &image), ImageLoadResult::Missing);
    EXPECT_EQ(loadFirmwareImage({nullptr, 5000}, &image), ImageLoadResult::Missing);
    EXPECT_EQ(image.data, nullptr);
    // A 127-byte image sits at the end of an allocation: reading 128 would be
    // caught by the sanitizer build.
    std::vector<uint8_t> shortImage(127, 'o');
    EXPECT_EQ(loadFirmwareImage({shortImage.data(), 127}, &image), ImageLoadResult::TooShort);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.size, 0u);
    std::vector<uint8_t> exact(128, 'o');
    EXPECT_EQ(loadFirmwareImage({exact.data(), 128}, &image), ImageLoadResult::Loaded);
}

TEST(FirmwareVersionText, ShownWholeUpToItsNulOrTheHeaderEnd) {
    FirmwareImage image{};
    char text[kVersionTextMax + 1];

    const std::string longest(35, 'v');  // 35 characters and the NUL at offset 127
    std::memcpy(image.header + kVersionTextOffset, longest.c_str(), 36);
    readVersionText(image, text);
    EXPECT_EQ(std::string(text), longest);

    std::memset(image.header + kVersionTextOffset, 'w', kVersionTextMax);  // no NUL at all
    readVersionText(image, text);
    EXPECT_EQ(std::string(text), std::string(36, 'w'));

    std::memcpy(image.header + kVersionTextOffset, "2.0.10(a)", 10);
    readVersionText(image, text);
    EXPECT_STREQ(text, "2.0.10(a)");
}

}  // namespace
}  // namespace orb
