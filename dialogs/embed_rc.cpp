// Build step: checks resources/dialogs.rc with the dialog manager's own parser
// and writes it into a C++ source as a raw string literal. A script that the
// parser refuses, or an icon file that is missing, fails the build.
//
//   orb_embed_rc INPUT.rc OUTPUT.cpp
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "dialogs/dialog_templates.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s INPUT.rc OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be read\n", argv[1]);
        return 1;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = buffer.str();

    orb::dialogs::ResourceScript script;
    std::string error;
    if (!orb::dialogs::parseResourceScript(text, &script, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (script.dialogs.empty()) {
        std::fprintf(stderr, "%s: no dialog templates\n", argv[1]);
        return 1;
    }
    std::filesystem::path folder = std::filesystem::path(argv[1]).parent_path();
    for (const auto& icon : script.icons) {
        if (!std::filesystem::exists(folder / icon.file)) {
            std::fprintf(stderr, "%s: icon %d: file %s is missing\n", argv[1], icon.id, icon.file.c_str());
            return 1;
        }
    }
    const std::string delimiter = "orb_rc";
    if (text.find(")" + delimiter + "\"") != std::string::npos) {
        std::fprintf(stderr, "%s: contains the raw string delimiter\n", argv[1]);
        return 1;
    }

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "// Generated from resources/dialogs.rc by orb_embed_rc; do not edit.\n"
        << "namespace orb::dialogs {\n"
        << "extern const char kDialogsRcText[];\n"
        << "extern const unsigned long kDialogsRcSize;\n"
        << "const char kDialogsRcText[] = R\"" << delimiter << "(" << text << ")" << delimiter << "\";\n"
        << "const unsigned long kDialogsRcSize = sizeof kDialogsRcText - 1;\n"
        << "}  // namespace orb::dialogs\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
