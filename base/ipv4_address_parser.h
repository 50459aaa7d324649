// Typed IPv4 addresses: four decimal octets separated by "." or "*".
#pragma once

#include <cstdint>

namespace orb {

enum class AddressParseResult {
    Ok = 0,
    OctetOutOfRange = 1,
    TooManyOctets = 2,
    TooFewOctets = 3,
    BadLength = 4,
    BadCharacter = 5,
};

// Sets *address to 0 first and stores the address (first octet in the most
// significant byte) only on Ok.
AddressParseResult parseIPv4Address(const char* text, uint32_t* address);

}  // namespace orb
