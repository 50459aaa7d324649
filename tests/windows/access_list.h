// A file's access list as Windows reads it back, in words: what the log file's
// test and the whole runs' probe both check.
#pragma once

#include <string>
#include <vector>

namespace orb::test {

struct AccessList {
    bool readable = false;
    bool isProtected = false;  // inherits nothing from its folder
    bool present = false;      // false: no list at all, everyone has every right
    // "allow SID 0xMASK", "deny SID 0xMASK" or "other TYPE", in order.
    std::vector<std::string> entries;
};

// The SID of the user who runs this process, as text ("" when unreadable).
std::string currentUserSid();
AccessList readAccessList(const std::string& path);

}  // namespace orb::test
