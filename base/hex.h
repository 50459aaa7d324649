// Bytes as hexadecimal text, two digits a byte, and hexadecimal digits read
// back: digests, escapes and MAC addresses all write them this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orb {

enum class HexCase { Lower, Upper };

// The digit of a value 0..15.
char hexDigit(unsigned nibble, HexCase letters = HexCase::Lower);

// Appends the two digits of `byte`, the high one first.
void appendHexByte(std::string& text, uint8_t byte, HexCase letters = HexCase::Lower);

// `length` bytes as 2 * length lowercase digits.
std::string hexOfBytes(const void* bytes, size_t length);

// The same into a C buffer of 2 * length + 1 characters, terminated.
void writeHexOfBytes(const void* bytes, size_t length, char* text);

// The value of a digit of either case; -1 for any other character.
int hexDigitValue(char c);

}  // namespace orb
