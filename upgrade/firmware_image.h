// The firmware image that the executable carries, and what the program reads
// of its header.
#pragma once

#include <cstdint>

#include "platform/embedded_image.h"

namespace orb {

inline constexpr uint32_t kFirmwareHeaderSize = 128;
inline constexpr uint32_t kVersionTextOffset = 92;
inline constexpr uint32_t kVersionTextMax = kFirmwareHeaderSize - kVersionTextOffset;  // 36

struct FirmwareImage {
    const uint8_t* data;  // read-only bytes in the executable, never freed
    uint32_t size;
    uint8_t header[kFirmwareHeaderSize];
};

enum class ImageLoadResult {
    Loaded,
    Missing,   // the executable carries no image
    TooShort,  // shorter than its 128-byte header
};

// Points `image` at the embedded bytes and copies the header. On Missing or
// TooShort the image is left empty (null data, size 0, zero header).
ImageLoadResult loadFirmwareImage(const EmbeddedImage& embedded, FirmwareImage* image);

// "ORB-5100", "ORB-3100/4100" or "ODM-Product", by bytes 0-6 of the header.
const char* chooseProductDisplayName(const uint8_t* header);

// The version text at offset 92 of the header copy, into `text` (room for 37
// bytes). A text without a NUL in the header ends at the header's end.
void readVersionText(const FirmwareImage& image, char* text);

}  // namespace orb
