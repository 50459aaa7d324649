// Small helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orb::fuzz {

// A finding that is not a memory error: print it and abort, so that libFuzzer
// keeps the input as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) fail(what);
}

// The input as a NUL-terminated text in a heap block of exactly size + 1
// bytes, so that AddressSanitizer reports any read past the terminator.
// Embedded NUL bytes stay: the code under test sees the text up to the first.
inline std::unique_ptr<char[]> terminatedCopy(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size > 0) std::memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

// Bytes in a heap block of exactly `size` bytes (at least one byte is
// allocated, but none is readable past `size` as far as the caller knows).
inline std::unique_ptr<uint8_t[]> exactCopy(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(bytes.get(), data, size);
    return bytes;
}

}  // namespace orb::fuzz
