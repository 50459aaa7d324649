#include "tests/support/test_images.h"

#include <algorithm>
#include <cstring>

namespace orb::test {

std::vector<uint8_t> makeTestImage(size_t size) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 131 + i / 512 * 7 + 1);
    return image;
}

std::vector<uint8_t> makeTestImage(size_t size, const std::string& version, const std::string& magic) {
    std::vector<uint8_t> image(size);
    uint32_t state = 0x12345678u ^ static_cast<uint32_t>(size);
    for (auto& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    if (size >= 128) {
        std::memset(image.data(), 0, 128);
        std::memcpy(image.data(), magic.data(), std::min<size_t>(magic.size(), 92));
        std::memcpy(image.data() + 92, version.data(), std::min<size_t>(version.size(), 35));
    }
    return image;
}

}  // namespace orb::test
