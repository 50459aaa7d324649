// Writes the deterministic sample firmware image that a build embeds when no
// other image is named: the magic, a fixed header with the version text at
// offset 92, and a pseudo-random body from a fixed seed.
//
//   make_sample_image OUTPUT [SIZE [VERSION]]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUTPUT [SIZE [VERSION]]\n", argv[0]);
        return 2;
    }
    unsigned long size = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 728196ul;
    const char* version = argc > 3 ? argv[3] : "2.0.10(a)";
    if (size < 128 || std::strlen(version) > 35) {
        std::fprintf(stderr, "make_sample_image: size must be at least 128 and the version at most 35 characters\n");
        return 2;
    }

    std::vector<uint8_t> image(size);
    // xorshift32 from a fixed seed: the same bytes on every machine.
    uint32_t state = 0x4f524231u;
    for (auto& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }

    std::memset(image.data(), 0, 128);
    std::memcpy(image.data(), "OrB4100 FiRmWaRe", 16);
    // Fixed header words the adapter's loader might look at: header size,
    // image size, and a format revision.
    image[16] = 128;
    for (int i = 0; i < 4; ++i) image[20 + i] = static_cast<uint8_t>(size >> (24 - 8 * i));
    image[24] = 1;
    std::memcpy(image.data() + 92, version, std::strlen(version) + 1);

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(image.data(), 1, image.size(), out) != image.size() || std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
