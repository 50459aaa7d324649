#include "base/dialog_log.h"

#include <algorithm>

#include "base/diagnostics_log.h"

namespace orb {

namespace {

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += escapeForLog(text);
    out += '"';
    return out;
}

}  // namespace

std::string escapeForLog(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

void logDialogShown(int templateId, std::string_view title) {
    writeDiagnosticsEntry("dialog shown: " + std::to_string(templateId) + " " + quoted(title));
}

// The caption, then how the button was pressed, as the log line reads.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void logButtonPressed(int templateId, std::string_view title, int buttonId, std::string_view caption,
                      std::string_view how) {
    if (!diagnosticsLogActive()) return;
    std::string shown(caption);
    shown.erase(std::remove(shown.begin(), shown.end(), '&'), shown.end());  // the mnemonic marker
    std::string line = "button pressed: dialog " + std::to_string(templateId) + " " + quoted(title) + ", button " +
                       std::to_string(buttonId) + " " + quoted(shown);
    if (!how.empty()) line += " (" + std::string(how) + ")";
    writeDiagnosticsEntry(line);
}

void logCloseBoxPressed(int templateId, std::string_view title) {
    writeDiagnosticsEntry("close box pressed: dialog " + std::to_string(templateId) + " " + quoted(title));
}

void logDialogHint(int templateId, std::string_view hint) {
    writeDiagnosticsEntry("dialog hint: " + std::to_string(templateId) + " " + quoted(hint));
}

void logMessageBoxShown(std::string_view caption, std::string_view text) {
    writeDiagnosticsEntry("message box shown: " + quoted(caption) + " " + quoted(text));
}

void logMessageBoxAnswered(std::string_view caption, int button, bool automatically) {
    writeDiagnosticsEntry("message box answered: " + quoted(caption) + ", button " + std::to_string(button) +
                          (automatically ? " (automatically)" : ""));
}

}  // namespace orb
