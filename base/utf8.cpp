#include "base/utf8.h"

namespace orb::utf8 {

namespace {

constexpr Decoded kInvalid{Status::Invalid, 0, 1};

}  // namespace

Decoded decode(std::string_view bytes) {
    if (bytes.empty()) return {};
    auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) return {Status::Valid, lead, 1};
    // The second byte's range is what rules out overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4).
    size_t size = 0;
    char32_t value = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return kInvalid;  // a continuation byte, C0/C1 (always overlong), F5 and above
    }
    for (size_t i = 1; i < size; ++i) {
        if (i >= bytes.size()) return {Status::Incomplete, 0, bytes.size()};
        auto b = static_cast<unsigned char>(bytes[i]);
        if (b < low || b > high) return kInvalid;
        value = (value << 6) | (b & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return {Status::Valid, value, size};
}

std::string encode(char32_t c) {
    std::string out;
    auto byte = [&](char32_t bits) { out += static_cast<char>(bits); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDFFF) {
        // a surrogate is no character
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
    return out;
}

size_t characterSize(std::string_view text) {
    Decoded d = decode(text);
    return d.status == Status::Valid ? d.size : 1;
}

size_t countCharacters(std::string_view text) {
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at += characterSize(text.substr(at))) ++count;
    return count;
}

size_t lastCharacterStart(std::string_view text) {
    if (text.empty()) return 0;
    // A valid sequence that ends the text starts at most three bytes before
    // its last; its lead byte is never a continuation byte, so reading from
    // the start finds the same character.
    for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
        Decoded d = decode(text.substr(text.size() - back));
        if (d.status == Status::Valid && d.size == back) return text.size() - back;
    }
    return text.size() - 1;
}

size_t fittingLength(std::string_view text, size_t maxBytes) {
    size_t at = 0;
    while (at < text.size()) {
        size_t next = at + characterSize(text.substr(at));
        if (next > maxBytes) break;
        at = next;
    }
    return at;
}

}  // namespace orb::utf8
