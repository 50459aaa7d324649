#include "base/terminal_escape.h"

#include "base/hex.h"

namespace orb {

void appendEscapedForTerminal(std::string& out, std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
            out += "\\x";
            appendHexByte(out, byte);
        } else {
            out += c;
        }
    }
}

std::string escapeForTerminal(std::string_view text) {
    std::string out;
    appendEscapedForTerminal(out, text);
    return out;
}

}  // namespace orb
