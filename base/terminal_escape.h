// Text that came from the network, made safe to show on a terminal: what an
// adapter or a peer sends cannot move the cursor, retitle the terminal or
// start a line of its own.
#pragma once

#include <string>
#include <string_view>

namespace orb {

// Appends `text` with every byte below 0x20, 0x7f and every byte of 0x80 and
// above as \xNN (lowercase hex); the other bytes as they are.
void appendEscapedForTerminal(std::string& out, std::string_view text);

// The same as a new string.
std::string escapeForTerminal(std::string_view text);

}  // namespace orb
