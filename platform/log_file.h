// A file that the diagnostics log appends to: each write is one system call, so
// entries from several threads, or from several processes sharing the file,
// never interleave within an entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orb {

using LogFileHandle = intptr_t;
inline constexpr LogFileHandle kNoLogFile = -1;

// Opens `path` (UTF-8) for appending, creating it when missing, for the user only
// (mode 0600; on Windows a protected DACL that grants the user alone); an
// existing file keeps its own rights. Refuses a path that is a symbolic link
// (on Windows also a junction; other reparse points are files) or anything but
// a file on disk. kNoLogFile on failure, with the reason in `reason` ("it is a
// symbolic link", "it is a directory", "it is not a regular file", else the
// system's words).
LogFileHandle openLogFile(const char* path, std::string* reason);
// Appends the bytes; false when they could not all be written (a full disk,
// an I/O error, a write that stopped short), with the system's reason in
// `reason` when given.
bool writeLogFile(LogFileHandle file, const char* data, size_t size, std::string* reason = nullptr);
void closeLogFile(LogFileHandle file);

}  // namespace orb
