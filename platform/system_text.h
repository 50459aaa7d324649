// Text that crosses to the system: the program holds UTF-8 everywhere; on
// Windows these are the wide (UTF-16) calls, so that a path, a variable or a
// message with any letters arrives whole, whatever the ANSI code page.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orb {

// fopen of a UTF-8 path (Windows: _wfopen); nullptr with errno set.
std::FILE* openFile(const std::string& path, const char* mode);

// The variable's value as UTF-8; false when it is not set.
bool readEnvironmentVariable(const char* name, std::string* value);

// Writes UTF-8 text to standard output or standard error. A Windows console
// is given the characters (WriteConsoleW), whatever its code page; a pipe or a
// file gets the UTF-8 bytes, as everywhere else.
void writeText(std::FILE* stream, const std::string& text);

// Windows: the arguments of a wide entry point (wmain) as UTF-8, argv[0]
// included. Elsewhere there is no such entry point, and nothing uses it.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);

}  // namespace orb
