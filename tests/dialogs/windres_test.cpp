// dialogs.rc as windres compiles it for the Windows program (a .res file made
// at build time) against the templates that the portable dialog manager parsed
// from the same file: the two readings must agree, down to every style bit.
// This checks the parser's table of style values against <windows.h>. Skipped
// when the build found no windres.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dialogs/dialog_templates.h"

namespace orb::dialogs {
namespace {

struct Resource {
    bool typeIsOrdinal = false;
    int type = 0;
    bool nameIsOrdinal = false;
    int name = 0;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

class Reader {
public:
    Reader(const std::vector<uint8_t>& bytes, size_t begin, size_t end) : b_(bytes), pos_(begin), end_(end) {}
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    uint16_t u16() {
        if (pos_ + 2 > end_) return fail();
        uint16_t v = static_cast<uint16_t>(b_[pos_] | b_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    uint32_t u32() {
        uint32_t lo = u16();
        return lo | static_cast<uint32_t>(u16()) << 16;
    }
    int16_t s16() { return static_cast<int16_t>(u16()); }
    void align4(size_t base) {
        while ((pos_ - base) % 4 != 0) ++pos_;
    }
    // A UTF-16 string of ASCII characters up to its NUL.
    std::string wideString() {
        std::string out;
        for (;;) {
            uint16_t c = u16();
            if (!ok_ || c == 0) return out;
            out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
    }
    // sz_Or_Ord: 0 = none, 0xFFFF + ordinal, or a string.
    void stringOrOrdinal(bool* isOrdinal, int* ordinal, std::string* text) {
        uint16_t first = u16();
        *isOrdinal = false;
        *ordinal = -1;
        text->clear();
        if (first == 0) return;
        if (first == 0xFFFF) {
            *isOrdinal = true;
            *ordinal = u16();
            return;
        }
        pos_ -= 2;
        *text = wideString();
    }

private:
    uint16_t fail() {
        ok_ = false;
        pos_ = end_;
        return 0;
    }
    const std::vector<uint8_t>& b_;
    size_t pos_;
    size_t end_;
    bool ok_ = true;
};

std::vector<Resource> readResFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Resource> out;
    size_t pos = 0;
    while (pos + 8 <= bytes.size()) {
        Reader r(bytes, pos, bytes.size());
        uint32_t dataSize = r.u32();
        uint32_t headerSize = r.u32();
        Resource res;
        std::string text;
        r.stringOrOrdinal(&res.typeIsOrdinal, &res.type, &text);
        r.stringOrOrdinal(&res.nameIsOrdinal, &res.name, &text);
        r.align4(pos);
        r.u32();  // DataVersion
        r.u16();  // MemoryFlags
        res.language = r.u16();
        if (!r.ok() || pos + headerSize + dataSize > bytes.size()) break;
        res.data.assign(bytes.begin() + static_cast<long>(pos + headerSize),
                        bytes.begin() + static_cast<long>(pos + headerSize + dataSize));
        if (dataSize != 0 || res.type != 0) out.push_back(std::move(res));
        pos += headerSize + dataSize;
        pos = (pos + 3) & ~size_t{3};
    }
    return out;
}

// Predefined class atoms of dialog templates.
std::string classOf(bool isOrdinal, int ordinal, const std::string& text) {
    if (!isOrdinal) return text;
    switch (ordinal) {
        case 0x80: return "Button";
        case 0x81: return "Edit";
        case 0x82: return "Static";
        case 0x83: return "ListBox";
        case 0x84: return "ScrollBar";
        case 0x85: return "ComboBox";
        default: return "#" + std::to_string(ordinal);
    }
}

TEST(WindresOutput, AgreesWithTheParsedTemplates) {
#ifndef ORB_DIALOGS_RES
    GTEST_SKIP() << "no windres found at configure time";
#else
    std::vector<Resource> resources = readResFile(ORB_DIALOGS_RES);
    ASSERT_FALSE(resources.empty()) << ORB_DIALOGS_RES;
    int dialogsSeen = 0;
    for (const Resource& res : resources) {
        if (!res.typeIsOrdinal || res.type != 5) continue;  // RT_DIALOG
        ++dialogsSeen;
        ASSERT_TRUE(res.nameIsOrdinal);
        SCOPED_TRACE("template " + std::to_string(res.name));
        EXPECT_EQ(res.language, 0x0409);
        const DialogTemplate* parsed = findDialogTemplate(res.name);
        ASSERT_NE(parsed, nullptr);

        Reader r(res.data, 0, res.data.size());
        uint32_t style = r.u32();
        ASSERT_NE(style >> 16, 0xFFFF0001u >> 16) << "an extended template";
        uint32_t exStyle = r.u32();
        uint16_t count = r.u16();
        int x = r.s16(), y = r.s16(), cx = r.s16(), cy = r.s16();
        bool isOrdinal;
        int ordinal;
        std::string text;
        r.stringOrOrdinal(&isOrdinal, &ordinal, &text);  // menu
        EXPECT_TRUE(!isOrdinal && text.empty());
        r.stringOrOrdinal(&isOrdinal, &ordinal, &text);  // class
        EXPECT_TRUE(!isOrdinal && text.empty());
        std::string caption = r.wideString();
        int pointSize = r.u16();
        std::string face = r.wideString();
        ASSERT_TRUE(r.ok());

        EXPECT_EQ(style, parsed->style);
        EXPECT_EQ(exStyle, 0u);
        EXPECT_EQ(x, parsed->x);
        EXPECT_EQ(y, parsed->y);
        EXPECT_EQ(cx, parsed->width);
        EXPECT_EQ(cy, parsed->height);
        EXPECT_EQ(caption, parsed->caption);
        EXPECT_EQ(pointSize, parsed->fontSize);
        EXPECT_EQ(face, parsed->fontName);
        ASSERT_EQ(count, parsed->controls.size());
        for (const ControlTemplate& want : parsed->controls) {
            SCOPED_TRACE("control " + std::to_string(want.id));
            r.align4(0);
            uint32_t cStyle = r.u32();
            uint32_t cExStyle = r.u32();
            int ix = r.s16(), iy = r.s16(), icx = r.s16(), icy = r.s16();
            int id = r.s16();
            r.stringOrOrdinal(&isOrdinal, &ordinal, &text);
            std::string cls = classOf(isOrdinal, ordinal, text);
            bool textIsOrdinal;
            int textOrdinal;
            std::string controlText;
            r.stringOrOrdinal(&textIsOrdinal, &textOrdinal, &controlText);
            uint16_t extra = r.u16();
            ASSERT_TRUE(r.ok());
            EXPECT_EQ(cStyle, want.style) << std::hex << cStyle << " vs " << want.style;
            EXPECT_EQ(cExStyle, 0u);
            EXPECT_EQ(ix, want.x);
            EXPECT_EQ(iy, want.y);
            EXPECT_EQ(icx, want.width);
            EXPECT_EQ(icy, want.height);
            EXPECT_EQ(id, want.id);
            EXPECT_TRUE(isClass(cls, want.className.c_str())) << cls << " vs " << want.className;
            if (want.textOrdinal >= 0) {
                EXPECT_TRUE(textIsOrdinal);
                EXPECT_EQ(textOrdinal, want.textOrdinal);
            } else {
                EXPECT_FALSE(textIsOrdinal);
                EXPECT_EQ(controlText, want.text);
            }
            EXPECT_EQ(extra, 0);
        }
    }
    EXPECT_EQ(dialogsSeen, 8);

    // Group icon 106: one 32 x 32 image in 16 colours at 4 bits per pixel.
    bool groupSeen = false;
    for (const Resource& res : resources) {
        if (!res.typeIsOrdinal || res.type != 14 || !res.nameIsOrdinal || res.name != 106) continue;  // RT_GROUP_ICON
        groupSeen = true;
        Reader r(res.data, 0, res.data.size());
        EXPECT_EQ(r.u16(), 0);
        EXPECT_EQ(r.u16(), 1);
        ASSERT_EQ(r.u16(), 1);  // one image
        int width = res.data[6], height = res.data[7], colours = res.data[8];
        EXPECT_EQ(width, 32);
        EXPECT_EQ(height, 32);
        EXPECT_EQ(colours, 16);
        Reader e(res.data, 10, res.data.size());
        EXPECT_EQ(e.u16(), 1);  // planes
        EXPECT_EQ(e.u16(), 4);  // bits per pixel
    }
    EXPECT_TRUE(groupSeen);
#endif
}

}  // namespace
}  // namespace orb::dialogs
