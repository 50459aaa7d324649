// Prints "size" of the image linked into this program, or writes its bytes to a
// file with --dump FILE, so that a build's embedded image can be compared with
// the file it was built from.
#include <cstdio>
#include <cstring>

#include "platform/embedded_image.h"

int main(int argc, char** argv) {
    orb::EmbeddedImage image = orb::findEmbeddedImage(nullptr);
    if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) {
        std::FILE* out = std::fopen(argv[2], "wb");
        if (out == nullptr) return 1;
        bool written = std::fwrite(image.data, 1, image.size, out) == image.size;
        return std::fclose(out) == 0 && written ? 0 : 1;
    }
    std::printf("%u bytes\n", image.size);
    return 0;
}
