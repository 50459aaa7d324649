#include "dialogs/terminal/line_mode.h"

#include <cctype>

#include "dialogs/message_boxes.h"
#include "dialogs/terminal/screen_builder.h"
#include "dialogs/terminal/terminal_text.h"

namespace orb::dialogs::terminal {

namespace {

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

LineCommand parseLineCommand(const std::string& rawLine) {
    LineCommand command;
    // The line without its line break; a field's text keeps its spaces.
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::string word = lower(trim(line));
    if (word.empty()) {
        command.kind = LineCommand::Kind::Enter;
        return command;
    }
    if (word == "esc" || word == "escape" || word == "cancel") {
        command.kind = LineCommand::Kind::Escape;
        return command;
    }
    if (word == "tab") {
        command.kind = LineCommand::Kind::Tab;
        return command;
    }
    bool digits = word.size() <= 3;
    for (char c : word) digits = digits && std::isdigit(static_cast<unsigned char>(c));
    if (digits) {
        command.kind = LineCommand::Kind::Button;
        command.number = std::stoi(word);
        return command;
    }
    size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && start + 1 < line.size() && line[start + 1] == '=' &&
        std::isalpha(static_cast<unsigned char>(line[start]))) {
        command.kind = LineCommand::Kind::Field;
        command.field = std::tolower(static_cast<unsigned char>(line[start])) - 'a';
        command.value = line.substr(start + 2);
        return command;
    }
    return command;
}

namespace {

// A dialog's fields (a letter each, with their values) and buttons (a
// number each), and what Enter alone does.
void appendDialogPrompt(const dialogs::WindowState& dialog, int width, std::vector<std::string>* lines) {
    char letter = 'a';
    std::string defaultButton = "OK";
    std::vector<std::string> buttons;
    for (int id : focusOrder(dialog)) {
        const dialogs::ControlState* c = dialog.control(id);
        if (c == nullptr) continue;
        if (isField(*c)) {
            std::string line = std::string("  ") + letter + ") " + labelOf(dialog, id) + ": ";
            if (isComboBox(*c)) {
                for (size_t i = 0; i < c->items.size(); ++i) {
                    line += std::to_string(i + 1) + ") " + printable(c->items[i]);
                    line += static_cast<int>(i) == c->selection ? " [chosen]  " : "  ";
                }
            } else {
                line += "[" + printable(fieldText(*c)) + "]";
            }
            if (c->focused) line += "  <- focus";
            lines->push_back(fitText(line, width - 1));
            ++letter;
        } else {
            std::string caption = printable(c->text);
            if (c->isDefault) defaultButton = caption;
            buttons.push_back(std::to_string(buttons.size() + 1) + ") " +
                              (c->isDefault ? "<" + caption + ">" : caption));
        }
    }
    std::string row = "  Buttons:";
    for (const std::string& b : buttons) row += "  " + b;
    lines->push_back(fitText(row, width - 1));
    std::string help = "  Enter alone: " + defaultButton + ".  esc: Cancel.  A number: that button.";
    if (letter > 'a') help += "  a=TEXT: fill field a.";
    for (const std::string& text : wrapText(help, width - 1)) lines->push_back(text);
}

}  // namespace

std::vector<std::string> linePrompt(const std::vector<dialogs::WindowState>& windows,
                                    const std::vector<dialogs::MessageBoxState>& boxes, WindowHandle selectedProgress,
                                    int width) {
    std::vector<std::string> lines;
    KeyTarget target = findKeyTarget(windows, boxes, selectedProgress);
    switch (target.kind) {
        case KeyTarget::Kind::None: break;
        case KeyTarget::Kind::MessageBox: {
            const dialogs::MessageBoxState& box = boxes.front();
            std::string line = "  Press Enter for OK";
            if (dialogs::messageBoxEscapeButton(box.flags) == kIdCancel) line += ", or type esc for Cancel";
            lines.push_back(line + ".");
            break;
        }
        case KeyTarget::Kind::Progress: {
            for (const dialogs::WindowState& w : windows) {
                if (w.handle != target.window) continue;
                lines.push_back("  To cancel \"" + fitText(printable(w.title), 40) +
                                "\": type esc and Enter, or press Ctrl-C.");
            }
            break;
        }
        case KeyTarget::Kind::Dialog:
            for (const dialogs::WindowState& w : windows)
                if (w.handle == target.window) appendDialogPrompt(w, width, &lines);
            break;
    }
    return lines;
}

}  // namespace orb::dialogs::terminal
