#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/embedded_image.h"
#include "upgrade/firmware_image.h"

namespace orb {
namespace {

std::vector<uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(EmbeddedImage, IsTheFileTheBuildNamedByteForByte) {
    std::vector<uint8_t> file = readFile(ORB_EMBEDDED_IMAGE_PATH);
    ASSERT_FALSE(file.empty()) << ORB_EMBEDDED_IMAGE_PATH;
    EmbeddedImage image = findEmbeddedImage(nullptr);
    ASSERT_NE(image.data, nullptr);
    ASSERT_EQ(image.size, file.size());
    EXPECT_EQ(0, std::memcmp(image.data, file.data(), file.size()));
}

TEST(EmbeddedImage, SampleImageHasTheAgreedShape) {
    EmbeddedImage embedded = findEmbeddedImage(nullptr);
    FirmwareImage image{};
    ASSERT_EQ(loadFirmwareImage(embedded, &image), ImageLoadResult::Loaded);
    if (std::string(ORB_EMBEDDED_IMAGE_PATH).find("orb-sample-firmware.bin") == std::string::npos) {
        GTEST_SKIP() << "the build embeds another image";
    }
    EXPECT_EQ(image.size, 728196u);
    EXPECT_EQ(0, std::memcmp(image.header, "OrB4100 FiRmWaRe", 16));
    char version[kVersionTextMax + 1];
    readVersionText(image, version);
    EXPECT_STREQ(version, "2.0.10(a)");
    EXPECT_STREQ(chooseProductDisplayName(image.header), "ORB-3100/4100");
    // The body is not a constant fill: count distinct byte values.
    bool seen[256] = {};
    int distinct = 0;
    for (uint32_t i = kFirmwareHeaderSize; i < image.size; ++i) {
        if (!seen[image.data[i]]) {
            seen[image.data[i]] = true;
            ++distinct;
        }
    }
    EXPECT_EQ(distinct, 256);
}

}  // namespace
}  // namespace orb
