#include <cstdlib>

#include "platform/system_text.h"

namespace orb {

// POSIX passes bytes through: the program's UTF-8 is what the system gets.
std::FILE* openFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool readEnvironmentVariable(const char* name, std::string* value) {
    const char* text = std::getenv(name);
    if (text == nullptr) return false;
    *value = text;
    return true;
}

void writeText(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::vector<std::string> utf8Arguments(int argc, wchar_t**) { return std::vector<std::string>(argc); }

}  // namespace orb
