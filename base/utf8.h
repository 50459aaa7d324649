// UTF-8 texts, as the terminal and Qt views hold what is typed. A byte that
// starts no valid sequence (a Latin-1 text, a cut sequence) counts as a
// character of its own, so nothing is lost when a text is not UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orb::utf8 {

enum class Status {
    Valid,       // a whole sequence: codePoint, size bytes
    Incomplete,  // the start of a valid sequence whose rest has not come (size: the bytes there are)
    Invalid,     // a byte that no valid sequence starts with here (size 1)
};

struct Decoded {
    Status status = Status::Incomplete;
    char32_t codePoint = 0;
    size_t size = 0;
};

// The sequence at the start of `bytes`. Overlong forms, surrogates and code
// points above U+10FFFF are Invalid; empty bytes are Incomplete.
Decoded decode(std::string_view bytes);

// The UTF-8 bytes of a code point; empty for a surrogate or above U+10FFFF.
std::string encode(char32_t codePoint);

// Bytes of the character at the start of `text`: a valid sequence's, else 1.
size_t characterSize(std::string_view text);

// Characters in `text`: whole sequences, and each other byte as one.
size_t countCharacters(std::string_view text);

// Where the last character of `text` starts (0 for an empty text).
size_t lastCharacterStart(std::string_view text);

// The length of the longest start of `text` of at most `maxBytes` bytes that
// ends between two characters.
size_t fittingLength(std::string_view text, size_t maxBytes);

}  // namespace orb::utf8
