// 16-bit big-endian TFTP fields.
#pragma once

#include <cstdint>

namespace orb {

inline void putU16BE(uint8_t* field, unsigned value) {
    field[0] = static_cast<uint8_t>(value >> 8);
    field[1] = static_cast<uint8_t>(value);
}

inline unsigned getU16BE(const uint8_t* field) { return static_cast<unsigned>(field[0]) << 8 | field[1]; }

}  // namespace orb
