#include "upgrade/firmware_image.h"

#include <cctype>
#include <cstring>

namespace orb {

ImageLoadResult loadFirmwareImage(const EmbeddedImage& embedded, FirmwareImage* image) {
    *image = FirmwareImage{};
    if (embedded.data == nullptr || embedded.size == 0) return ImageLoadResult::Missing;
    if (embedded.size < kFirmwareHeaderSize) return ImageLoadResult::TooShort;
    image->data = embedded.data;
    image->size = embedded.size;
    std::memcpy(image->header, embedded.data, kFirmwareHeaderSize);
    return ImageLoadResult::Loaded;
}

static bool matchesModelKey(const uint8_t* header, const char* key) {
    // A NUL in the header never equals a letter of the key, so a short text
    // fails here without reading further.
    for (int i = 0; i < 7; ++i) {
        if (std::tolower(header[i]) != key[i]) return false;
    }
    return true;
}

const char* chooseProductDisplayName(const uint8_t* header) {
    if (matchesModelKey(header, "orb5100")) return "ORB-5100";
    if (matchesModelKey(header, "orb4100")) return "ORB-3100/4100";
    return "ODM-Product";
}

void readVersionText(const FirmwareImage& image, char* text) {
    uint32_t length = 0;
    while (length < kVersionTextMax && image.header[kVersionTextOffset + length] != 0) ++length;
    std::memcpy(text, image.header + kVersionTextOffset, length);
    text[length] = '\0';
}

}  // namespace orb
