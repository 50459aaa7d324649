// parseIPv4Address on any text: no read past the terminator (nor past 16
// characters), *address 0 unless Ok, and an Ok address survives a round trip
// through its dotted form.
#include <cstdio>

#include "base/ipv4_address_parser.h"
#include "fuzz/fuzz_support.h"

using namespace orb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto text = fuzz::terminatedCopy(data, size);
    uint32_t address = 0xdeadbeef;
    AddressParseResult result = parseIPv4Address(text.get(), &address);
    if (result != AddressParseResult::Ok) {
        fuzz::require(address == 0, "the address is 0 unless the parse succeeded");
        return 0;
    }
    size_t length = std::strlen(text.get());
    fuzz::require(length >= 7 && length <= 15, "an accepted text has 7..15 characters");
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        fuzz::require((c >= '0' && c <= '9') || c == '.' || c == '*', "an accepted text has digits and separators");
    }
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255, (address >> 8) & 255,
                  address & 255);
    uint32_t again = 0;
    fuzz::require(parseIPv4Address(dotted, &again) == AddressParseResult::Ok && again == address,
                  "the dotted form parses to the same address");
    return 0;
}
