// Reading a file that the command line names (a list of adapters, a
// password): whatever it turns out to be, a bounded number of bytes, and a
// named pipe that nobody writes to yet is said rather than waited for in
// silence.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace orb {

// How long a named pipe may stay silent before `waiting` is called.
inline constexpr int kCommandFileQuietMs = 1000;

// Reads `path` from its start up to its end or `limit` bytes, whichever comes
// first: a regular file, a device (/dev/stdin, /dev/zero) or a named pipe
// alike. A named pipe that has given nothing for kCommandFileQuietMs (POSIX:
// no writer has opened it, or it has written nothing yet) calls `waiting`
// once, then is waited for without a limit, as `cat` would. False, with the
// system's reason ("No such file or directory", "Is a directory"), when it
// cannot be opened or read.
bool readCommandFile(const std::string& path, size_t limit, std::string* text, std::string* reason,
                     const std::function<void()>& waiting);

}  // namespace orb
