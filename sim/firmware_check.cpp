#include "sim/firmware_check.h"

#include <algorithm>
#include <cstring>

namespace orb::sim {

ImageCheck checkFirmwareImage(const std::vector<uint8_t>& image, std::optional<uint64_t> announcedSize,
                              const std::string& magic) {
    ImageCheck check;
    if (image.size() > kVersionOffset) {
        // As much of the version text as stands in the header, for the log.
        size_t end = std::min(image.size(), kHeaderSize);
        for (size_t i = kVersionOffset; i < end && image[i] != 0; ++i) check.version += static_cast<char>(image[i]);
    }
    if (announcedSize && *announcedSize != image.size()) {
        check.verdict = "size-mismatch";
        return check;
    }
    if (image.size() < kHeaderSize) {
        check.verdict = "too-short";
        return check;
    }
    if (magic.size() > kHeaderSize || std::memcmp(image.data(), magic.data(), magic.size()) != 0) {
        check.verdict = "bad-magic";
        return check;
    }
    const uint8_t* text = image.data() + kVersionOffset;
    size_t length = 0;
    while (kVersionOffset + length < kHeaderSize && text[length] != 0) {
        if (text[length] < 0x20 || text[length] >= 0x7f) {
            check.verdict = "no-version";
            return check;
        }
        ++length;
    }
    if (length == 0 || kVersionOffset + length == kHeaderSize) {
        check.verdict = "no-version";
        return check;
    }
    check.verdict = "ok";
    return check;
}

}  // namespace orb::sim
