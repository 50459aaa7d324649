// Draws the program's icon, resources/orb.ico: one 32 x 32 image in 16 colours
// (4 bits per pixel, the standard VGA palette), a blue orb with a white upward
// arrow (an upgrade) and a green status light. Run once; the .ico is committed.
//
//   g++ -std=c++20 -o make_icon resources/make_icon.cpp && ./make_icon resources/orb.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSize = 32;

// Windows' 16-colour palette as R, G, B.
constexpr uint8_t kPalette[16][3] = {
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

enum Colour : uint8_t { Black = 0, Navy = 4, Silver = 7, Lime = 10, Blue = 12, Aqua = 14, White = 15 };

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    uint8_t pixel[kSize][kSize] = {};  // [y][x], y = 0 at the top
    bool opaque[kSize][kSize] = {};

    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            double dx = x + 0.5 - 16.0, dy = y + 0.5 - 16.0;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d > 15.0) continue;
            opaque[y][x] = true;
            if (d > 14.0) {
                pixel[y][x] = Black;  // outline
                continue;
            }
            double hx = x + 0.5 - 11.0, hy = y + 0.5 - 10.0;
            double h = std::sqrt(hx * hx + hy * hy);
            if (h < 3.0)
                pixel[y][x] = Aqua;  // highlight
            else if (dx + dy > 12.0)
                pixel[y][x] = Navy;  // shade, lower right
            else
                pixel[y][x] = Blue;
        }
    }
    // The upward arrow: a head from y 6 to 14, a shaft from 14 to 24.
    for (int y = 6; y <= 14; ++y) {
        int half = y - 6;
        for (int x = 16 - 1 - half; x <= 16 + half; ++x) pixel[y][x] = White;
    }
    for (int y = 15; y <= 24; ++y)
        for (int x = 14; x <= 17; ++x) pixel[y][x] = White;
    // The status light.
    for (int y = 24; y <= 26; ++y)
        for (int x = 22; x <= 24; ++x) pixel[y][x] = Lime;
    // A silver rim on the arrow head's base line, to read at small sizes.
    for (int x = 9; x <= 22; ++x)
        if (pixel[15][x] == Blue) pixel[15][x] = Silver;

    const unsigned xorBytes = kSize * kSize / 2;  // rows of 16 bytes, already 4-byte aligned
    const unsigned andBytes = kSize * 4;          // rows of 32 bits
    const unsigned imageBytes = 40 + 16 * 4 + xorBytes + andBytes;

    std::vector<uint8_t> out;
    // ICONDIR
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, 1);  // one image
    // ICONDIRENTRY
    out.push_back(kSize);
    out.push_back(kSize);
    out.push_back(16);  // colours
    out.push_back(0);
    put16(out, 1);  // planes
    put16(out, 4);  // bits per pixel
    put32(out, imageBytes);
    put32(out, 6 + 16);
    // BITMAPINFOHEADER (height covers the XOR and the AND bitmaps)
    put32(out, 40);
    put32(out, kSize);
    put32(out, kSize * 2);
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);  // BI_RGB
    put32(out, xorBytes + andBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, 16);
    put32(out, 0);
    for (const auto& rgb : kPalette) {
        out.push_back(rgb[2]);
        out.push_back(rgb[1]);
        out.push_back(rgb[0]);
        out.push_back(0);
    }
    for (int row = kSize - 1; row >= 0; --row)  // bottom-up
        for (int x = 0; x < kSize; x += 2) out.push_back(static_cast<uint8_t>(pixel[row][x] << 4 | pixel[row][x + 1]));
    for (int row = kSize - 1; row >= 0; --row) {
        for (int byte = 0; byte < 4; ++byte) {
            uint8_t bits = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (!opaque[row][byte * 8 + bit]) bits |= static_cast<uint8_t>(0x80 >> bit);
            out.push_back(bits);
        }
    }

    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[1]);
        return 1;
    }
    return 0;
}
