#include "dialogs/terminal/screen_builder.h"

#include <algorithm>
#include <map>

#include "platform/windowing.h"
#include "dialogs/control_kind.h"
#include "dialogs/message_boxes.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs::terminal {

namespace {

using dialogs::ControlKind;
using dialogs::kEsMultiline;

constexpr int kClosedComboHeight = 24;  // pixels: the closed box, not its dropped list
constexpr int kTextIndent = 2;
constexpr int kMinFieldWidth = 24;
constexpr int kMinBarWidth = 8;
constexpr int kMaxBarWidth = 32;
constexpr const char* kProgressHint = "Esc/^C=Cancel";

bool isStaticText(const ControlState& c) { return c.kind == ControlKind::Static; }
bool isText(const ControlState& c) { return isStaticText(c) || c.isReadOnlyText(); }

int visibleHeight(const ControlState& c) {
    return c.kind == ControlKind::ComboBox ? std::min(c.height, kClosedComboHeight) : c.height;
}

bool sameRow(const ControlState& a, const ControlState& b) {
    int aTop = a.y, aBottom = a.y + std::max(visibleHeight(a), 1);
    int bTop = b.y, bBottom = b.y + std::max(visibleHeight(b), 1);
    return aTop < bBottom && bTop < aBottom;
}

bool byPosition(const ControlState* a, const ControlState* b) {
    if (a->y != b->y) return a->y < b->y;
    return a->x < b->x;
}

// Which static labels which control: index of the labelled control for each
// label, by the nearest control right of the label at the same height.
std::map<size_t, size_t> findLabels(const WindowState& w) {
    std::map<size_t, size_t> labelOfControl;  // control index -> label index
    for (size_t l = 0; l < w.controls.size(); ++l) {
        const ControlState& label = w.controls[l];
        if (!isStaticText(label) || label.text.empty()) continue;
        int best = -1;
        int bestDistance = 0;
        for (size_t c = 0; c < w.controls.size(); ++c) {
            const ControlState& target = w.controls[c];
            if (c == l || !target.takesFocus() || target.isPushButton()) continue;
            if (target.x <= label.x || !sameRow(label, target)) continue;
            int distance = target.x - label.x;
            if (best < 0 || distance < bestDistance) {
                best = static_cast<int>(c);
                bestDistance = distance;
            }
        }
        if (best >= 0 && labelOfControl.count(static_cast<size_t>(best)) == 0)
            labelOfControl[static_cast<size_t>(best)] = l;
    }
    return labelOfControl;
}

bool isLabel(const std::map<size_t, size_t>& labels, size_t index) {
    for (const auto& [control, label] : labels)
        if (label == index) return true;
    return false;
}

std::string defaultLabel(const ControlState& c) {
    if (isAddressField(c)) return "IP address";
    if (isComboBox(c)) return "Choice";
    return "Text";
}

std::string labelText(const WindowState& w, const std::map<size_t, size_t>& labels, size_t index, bool field) {
    auto found = labels.find(index);
    if (found != labels.end()) return printable(w.controls[found->second].text);
    return field ? defaultLabel(w.controls[index]) : std::string();
}

std::vector<const ControlState*> sortedControls(const WindowState& w) {
    std::vector<const ControlState*> list;
    for (const ControlState& c : w.controls) list.push_back(&c);
    std::stable_sort(list.begin(), list.end(), byPosition);
    return list;
}

size_t indexOf(const WindowState& w, const ControlState* c) { return static_cast<size_t>(c - w.controls.data()); }

const ControlState* focusedControl(const WindowState& w) {
    for (const ControlState& c : w.controls)
        if (c.focused) return &c;
    return nullptr;
}

std::string padLeft(const std::string& text, size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The fields of a dialog, in the order shown.
std::vector<const ControlState*> fieldsOf(const WindowState& w) {
    std::vector<const ControlState*> fields;
    for (const ControlState* c : sortedControls(w))
        if (isField(*c)) fields.push_back(c);
    return fields;
}

std::vector<const ControlState*> buttonsOf(const WindowState& w) {
    std::vector<const ControlState*> buttons;
    for (const ControlState* c : sortedControls(w))
        if (c->kind == ControlKind::Button) buttons.push_back(c);
    return buttons;
}

size_t fieldLabelWidth(const WindowState& w, const std::map<size_t, size_t>& labels) {
    size_t width = 0;
    for (const ControlState* c : fieldsOf(w)) width = std::max(width, labelText(w, labels, indexOf(w, c), true).size());
    return width;
}

std::string buttonCaption(const ControlState& c) {
    std::string text = printable(c.text);
    // "&OK": the accelerator mark is not shown.
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

// The lines of one field; sets *cursor to the column after its text when it
// is a text field.
std::vector<StyledLine> fieldLines(const ControlState& c, const std::string& label, size_t labelWidth, bool marked,
                                   bool active, int width, int* cursorColumn) {
    std::vector<StyledLine> lines;
    std::string head = std::string(marked ? "> " : "  ") + padLeft(label, labelWidth) + ": ";
    StyledLine line;
    line.add(marked ? "> " : "  ", marked ? Style::Bold : Style::Plain);
    line.add(padLeft(label, labelWidth) + ":", marked ? Style::Bold : Style::Plain);
    line.add(" ");
    if (isComboBox(c)) {
        // Every entry, the selected one marked: (*) 192.0.2.2  ( ) 127.0.0.1
        int column = static_cast<int>(head.size());
        std::string indent(head.size(), ' ');
        if (c.items.empty()) line.add("(no entries)");
        for (size_t i = 0; i < c.items.size(); ++i) {
            bool selected = static_cast<int>(i) == c.selection;
            std::string entry = std::string(selected ? "(*) " : "( ) ") + printable(c.items[i]);
            int need = static_cast<int>(entry.size()) + (i > 0 ? 2 : 0);
            if (i > 0 && column + need > width) {
                lines.push_back(line);
                line = StyledLine(indent);
                column = static_cast<int>(indent.size());
                need = static_cast<int>(entry.size());
            } else if (i > 0) {
                line.add("  ");
            }
            line.add(entry, selected && active && c.focused ? Style::Reverse : Style::Plain);
            column += need;
        }
        lines.push_back(line);
        return lines;
    }
    // A text field: [text      ], the end of a long text when it does not fit.
    std::string text = printable(fieldText(c));
    int room = width - static_cast<int>(head.size()) - 2;
    int fieldWidth = std::min(std::max(kMinFieldWidth, static_cast<int>(text.size()) + 1), std::max(room, 4));
    std::string shown = text;
    if (static_cast<int>(shown.size()) > fieldWidth - 1) shown = "<" + shown.substr(shown.size() - (fieldWidth - 2));
    line.add("[");
    line.add(shown + std::string(static_cast<size_t>(fieldWidth) - shown.size(), ' '),
             active && c.focused ? Style::Reverse : Style::Plain);
    line.add("]");
    if (cursorColumn != nullptr) *cursorColumn = static_cast<int>(head.size()) + 1 + static_cast<int>(shown.size());
    lines.push_back(line);
    return lines;
}

StyledLine buttonRow(const WindowState& w, bool active) {
    std::vector<const ControlState*> buttons = buttonsOf(w);
    const ControlState* focus = focusedControl(w);
    bool marked = active && focus != nullptr && focus->isPushButton();
    StyledLine line;
    line.add(marked ? "> " : "  ", marked ? Style::Bold : Style::Plain);
    for (size_t i = 0; i < buttons.size(); ++i) {
        const ControlState& b = *buttons[i];
        if (i > 0) line.add("  ");
        std::string caption = buttonCaption(b);
        std::string shown = !b.enabled    ? "( " + caption + " )"
                            : b.isDefault ? "< " + caption + " >"
                                          : "[ " + caption + " ]";
        line.add(shown, active && b.focused ? Style::Reverse : Style::Plain);
    }
    return line;
}

std::string enterAction(const WindowState& w) {
    for (const ControlState& c : w.controls)
        if (c.isDefault) return buttonCaption(c);
    return "OK";
}

std::string escapeAction(const WindowState& w) {
    const ControlState* cancel = w.control(kIdCancel);
    return cancel != nullptr && cancel->isPushButton() ? buttonCaption(*cancel) : "close";
}

StyledLine dialogHelp(const WindowState& w) {
    std::string help = "Enter: " + enterAction(w) + " | Esc: " + escapeAction(w);
    size_t movable = focusOrder(w).size();
    const ControlState* focus = focusedControl(w);
    if (focus != nullptr && isComboBox(*focus)) {
        help += " | Tab, Up/Down: move | Left/Right: choose";
    } else if (movable > 1) {
        help += " | Tab, arrows: move";
    }
    if (focus != nullptr && isAddressField(*focus)) help += " | digits and . or *";
    return StyledLine("  " + help);
}

}  // namespace

bool isComboBox(const ControlState& c) { return c.kind == ControlKind::ComboBox; }
bool isAddressField(const ControlState& c) { return c.kind == ControlKind::Ipv4Address; }
bool isField(const ControlState& c) { return c.isTextField() || isComboBox(c); }

bool isProgressWindow(const WindowState& w) {
    if (w.modal) return false;
    for (const ControlState& c : w.controls)
        if (c.kind == ControlKind::ProgressBar) return true;
    return false;
}

std::string fieldText(const ControlState& c) {
    if (isComboBox(c)) return dialogs::selectedEntry(c.items, c.selection);
    return c.isPasswordField() ? maskPassword(c.text) : c.text;
}

std::vector<int> focusOrder(const WindowState& w) {
    std::vector<int> order;
    for (const ControlState* c : fieldsOf(w))
        if (c->enabled) order.push_back(c->id);
    for (const ControlState* c : buttonsOf(w))
        if (c->enabled) order.push_back(c->id);
    return order;
}

std::string labelOf(const WindowState& w, int controlId) {
    std::map<size_t, size_t> labels = findLabels(w);
    for (size_t i = 0; i < w.controls.size(); ++i)
        if (w.controls[i].id == controlId) return labelText(w, labels, i, isField(w.controls[i]));
    return std::string();
}

KeyTarget findKeyTarget(const std::vector<WindowState>& windows, const std::vector<MessageBoxState>& boxes,
                        WindowHandle selectedProgress) {
    KeyTarget target;
    if (!boxes.empty()) {
        target.kind = KeyTarget::Kind::MessageBox;
        target.box = boxes.front().id;
        return target;
    }
    const WindowState* dialog = nullptr;
    for (const WindowState& w : windows) {
        if (!w.visible || !w.alive || !w.modal || !w.enabled) continue;
        if (dialog == nullptr || w.zOrder > dialog->zOrder) dialog = &w;
    }
    if (dialog != nullptr) {
        target.kind = KeyTarget::Kind::Dialog;
        target.window = dialog->handle;
        return target;
    }
    const WindowState* progress = nullptr;
    for (const WindowState& w : windows) {
        if (!w.visible || !w.alive || !w.enabled || !isProgressWindow(w)) continue;
        if (w.handle == selectedProgress) {
            progress = &w;
            break;
        }
        if (progress == nullptr) progress = &w;
    }
    if (progress != nullptr) {
        target.kind = KeyTarget::Kind::Progress;
        target.window = progress->handle;
    }
    return target;
}

std::vector<StyledLine> stageRecord(const std::string& title, int width) {
    return {StyledLine(fitText("-- " + printable(title), width - 1), Style::Bold)};
}

std::vector<StyledLine> windowIntroduction(const WindowState& w, int width) {
    std::vector<StyledLine> lines;
    int textWidth = std::max(width - 1 - kTextIndent, 8);
    std::string indent(kTextIndent, ' ');
    bool progress = !w.modal;
    if (progress) {
        lines = stageRecord(w.title, width);
    } else {
        lines.emplace_back("");
        lines.emplace_back(fitText("== " + printable(w.title) + " ==", width - 1), Style::Bold);
    }
    std::map<size_t, size_t> labels = findLabels(w);
    // Labels of read-only texts line up at the right.
    size_t labelWidth = 0;
    for (const auto& [control, label] : labels)
        if (isText(w.controls[control])) labelWidth = std::max(labelWidth, printable(w.controls[label].text).size());
    bool previousBlock = false;
    bool first = true;
    for (const ControlState* c : sortedControls(w)) {
        size_t index = indexOf(w, c);
        if (!isText(*c) || isLabel(labels, index)) continue;
        std::string label = labelText(w, labels, index, false);
        std::vector<std::string> body;
        if (!label.empty()) {
            std::string head = padLeft(label, labelWidth) + ": ";
            std::vector<std::string> wrapped =
                wrapText(c->text, std::max(textWidth - static_cast<int>(head.size()), 8));
            if (wrapped.empty()) wrapped.emplace_back();
            for (size_t i = 0; i < wrapped.size(); ++i)
                body.push_back((i == 0 ? head : std::string(head.size(), ' ')) + wrapped[i]);
        } else {
            body = wrapText(c->text, textWidth);
            if (body.empty()) continue;  // an empty text without a label shows nothing
        }
        bool block = body.size() > 1 || (c->kind == ControlKind::Edit && (c->style & kEsMultiline) != 0);
        if (!first && (block || previousBlock) && !progress) lines.emplace_back("");
        for (const std::string& text : body) lines.emplace_back(indent + text);
        previousBlock = block;
        first = false;
    }
    return lines;
}

std::vector<StyledLine> fieldRecord(const WindowState& w, int width) {
    std::vector<StyledLine> lines;
    std::map<size_t, size_t> labels = findLabels(w);
    size_t labelWidth = fieldLabelWidth(w, labels);
    if (!fieldsOf(w).empty()) lines.emplace_back("");
    for (const ControlState* c : fieldsOf(w)) {
        std::string label = labelText(w, labels, indexOf(w, c), true);
        std::string line = std::string(kTextIndent, ' ') + padLeft(label, labelWidth) + ": " + printable(fieldText(*c));
        lines.emplace_back(fitText(line, width - 1));
    }
    return lines;
}

std::vector<StyledLine> messageBoxIntroduction(const MessageBoxState& box, int width) {
    std::vector<StyledLine> lines;
    lines.emplace_back("");
    lines.emplace_back(fitText("== " + printable(box.caption) + " ==", width - 1), Style::Bold);
    for (const std::string& text : wrapText(box.text, std::max(width - 1 - kTextIndent, 8)))
        lines.emplace_back(std::string(kTextIndent, ' ') + text);
    return lines;
}

StyledLine progressLine(const WindowState& w, bool marked, bool markerColumn, bool keysCancelIt, int width) {
    const ControlState* bar = nullptr;
    for (const ControlState& c : w.controls)
        if (c.kind == ControlKind::ProgressBar) bar = &c;
    std::string title = printable(w.title);
    std::string hint = keysCancelIt ? kProgressHint : "";
    int avail = width - 1 - (markerColumn ? 2 : 0) - (hint.empty() ? 0 : static_cast<int>(hint.size()) + 1) - 1;
    int barWidth = std::clamp(avail - static_cast<int>(title.size()), kMinBarWidth, kMaxBarWidth);
    title = fitText(title, std::max(avail - barWidth, 0));
    StyledLine line;
    if (markerColumn) line.add(marked ? "> " : "  ", Style::Bold);
    line.add(title + " ");
    if (bar != nullptr) line.add(progressBar(bar->rangeLow, bar->rangeHigh, bar->position, barWidth));
    if (!hint.empty()) line.add(" ").add(hint, Style::Bold);
    line.fit(width - 1);
    return line;
}

std::vector<StyledLine> hintLines(const WindowState& w, bool markerColumn, int width) {
    std::vector<StyledLine> lines;
    std::string indent((markerColumn ? 2 : 0) + kTextIndent, ' ');
    for (const std::string& text : wrapText(w.hint, std::max(width - 1 - static_cast<int>(indent.size()), 8)))
        lines.emplace_back(indent + text);
    return lines;
}

LiveScreen buildLiveScreen(const std::vector<WindowState>& windows, const std::vector<MessageBoxState>& boxes,
                           // Width before height, as every size in the dialogs.
                           // NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
                           WindowHandle selectedProgress, int width, int height) {
    LiveScreen screen;
    KeyTarget target = findKeyTarget(windows, boxes, selectedProgress);
    int lineWidth = std::max(width - 1, 10);

    for (const WindowState& w : windows) {
        if (!w.visible || !w.alive || !w.modal) continue;
        bool active = target.kind == KeyTarget::Kind::Dialog && target.window == w.handle;
        std::map<size_t, size_t> labels = findLabels(w);
        size_t labelWidth = fieldLabelWidth(w, labels);
        std::vector<const ControlState*> fields = fieldsOf(w);
        for (const ControlState* c : fields) {
            int column = -1;
            bool marked = active && c->focused;
            std::vector<StyledLine> lines = fieldLines(*c, labelText(w, labels, indexOf(w, c), true), labelWidth,
                                                       marked, active, lineWidth, &column);
            if (marked && c->isTextField() && column >= 0) {
                screen.cursor.line = static_cast<int>(screen.lines.size());
                screen.cursor.column = column;
            }
            for (StyledLine& line : lines) screen.lines.push_back(line);
        }
        if (!fields.empty()) screen.lines.emplace_back("");
        screen.lines.push_back(buttonRow(w, active));
        if (active) screen.lines.push_back(dialogHelp(w));
    }

    std::vector<const WindowState*> progress;
    for (const WindowState& w : windows)
        if (w.visible && w.alive && !w.modal) progress.push_back(&w);
    bool markerColumn = progress.size() > 1;
    for (const WindowState* w : progress) {
        bool chosen = target.kind == KeyTarget::Kind::Progress && target.window == w->handle;
        screen.lines.push_back(progressLine(*w, chosen, markerColumn, chosen, width));
        for (StyledLine& line : hintLines(*w, markerColumn, width)) screen.lines.push_back(line);
    }
    if (target.kind == KeyTarget::Kind::Progress && markerColumn)
        screen.lines.emplace_back("  Tab: choose the window that Esc or Ctrl-C cancels");

    for (size_t i = 0; i < boxes.size(); ++i) {
        const MessageBoxState& box = boxes[i];
        bool active = i == 0;
        StyledLine line;
        line.add(active ? "> " : "  ", Style::Bold);
        std::vector<int> buttons = dialogs::messageBoxButtons(box.flags);
        int enter = dialogs::messageBoxEnterButton(box.flags);
        for (size_t b = 0; b < buttons.size(); ++b) {
            if (b > 0) line.add("  ");
            std::string name = dialogs::messageBoxButtonCaption(buttons[b]);
            line.add(buttons[b] == enter ? "< " + name + " >" : "[ " + name + " ]",
                     active && buttons[b] == enter ? Style::Reverse : Style::Plain);
        }
        screen.lines.push_back(line);
        if (active) {
            std::string help = "  Enter: " + dialogs::messageBoxButtonCaption(enter);
            int escape = dialogs::messageBoxEscapeButton(box.flags);
            if (escape != 0 && escape != enter) help += " | Esc: " + dialogs::messageBoxButtonCaption(escape);
            screen.lines.emplace_back(help);
        }
    }

    // A blank line between the printed texts and the live region.
    if (!screen.lines.empty()) {
        screen.lines.insert(screen.lines.begin(), StyledLine());
        if (screen.cursor.line >= 0) ++screen.cursor.line;
    }
    for (StyledLine& line : screen.lines) line.fit(lineWidth);
    // A region taller than the terminal cannot be redrawn in place: keep its end.
    int most = std::max(height - 1, 1);
    if (static_cast<int>(screen.lines.size()) > most) {
        int drop = static_cast<int>(screen.lines.size()) - most;
        screen.lines.erase(screen.lines.begin(), screen.lines.begin() + drop);
        screen.cursor.line = screen.cursor.line >= drop ? screen.cursor.line - drop : -1;
    }
    if (screen.cursor.line >= 0) screen.cursor.column = std::min(screen.cursor.column, lineWidth - 1);
    return screen;
}

}  // namespace orb::dialogs::terminal
