// What the simulated adapter checks in an image that it has received.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orb::sim {

inline constexpr const char* kFirmwareMagic = "OrB4100 FiRmWaRe";
inline constexpr size_t kHeaderSize = 128;
inline constexpr size_t kVersionOffset = 92;

struct ImageCheck {
    // "ok", or the first failed check: "size-mismatch" (not the size that the
    // server announced), "too-short" (no whole 128-byte header), "bad-magic",
    // "no-version" (the text at offset 92 is empty, holds a byte outside
    // printable ASCII, or has no NUL before the header's end).
    std::string verdict;
    std::string version;  // the text at offset 92, as far as it could be read
    bool ok() const { return verdict == "ok"; }
};

// `announcedSize` is the server's tsize, when it sent one. The magic is
// compared byte for byte with `magic` at offset 0.
ImageCheck checkFirmwareImage(const std::vector<uint8_t>& image, std::optional<uint64_t> announcedSize,
                              const std::string& magic = kFirmwareMagic);

}  // namespace orb::sim
