#include "base/ipv4_text.h"

namespace orb {

bool parseDottedQuad(std::string_view text, uint32_t* address) {
    uint32_t value = 0;
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') return false;
            ++at;
        }
        size_t begin = at;
        unsigned octet = 0;
        while (at < text.size() && at - begin < 3 && text[at] >= '0' && text[at] <= '9') {
            octet = octet * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
        }
        if (at == begin || octet > 255) return false;
        value = value << 8 | octet;
    }
    if (at != text.size()) return false;
    *address = value;
    return true;
}

}  // namespace orb
