#include "dialogs/terminal/line_presenter.h"

#include <algorithm>

#include "base/utf8.h"
#include "dialogs/terminal/line_mode.h"
#include "dialogs/terminal/screen_builder.h"

namespace orb::dialogs::terminal {

namespace {

namespace input = dialogs::input;

}  // namespace

InputDone LinePresenter::takeInput(const char* data, size_t size, int64_t) {
    InputDone done;
    lineBuffer_.append(data, size);
    size_t end;
    while ((end = lineBuffer_.find('\n')) != std::string::npos) {
        std::string line = lineBuffer_.substr(0, end);
        lineBuffer_.erase(0, end + 1);
        actOnLine(line);
        ++done.handled;
        // A pressed button would otherwise show its focus first.
        done.postponeFrame = true;
    }
    return done;
}

void LinePresenter::actOnLine(const std::string& line) {
    LineCommand command = parseLineCommand(line);
    Snapshot now = readSnapshot();
    KeyTarget target = findKeyTarget(now.visible, now.boxes, keys_.selectedProgress());
    auto key = [this](KeyCode code) { keys_.act(Key{code, 0}); };
    switch (command.kind) {
        case LineCommand::Kind::Enter: key(KeyCode::Enter); return;
        case LineCommand::Kind::Escape: key(KeyCode::Escape); return;
        case LineCommand::Kind::Tab: key(KeyCode::Tab); return;
        case LineCommand::Kind::Unknown:
            if (target.kind == KeyTarget::Kind::MessageBox) {
                key(KeyCode::Enter);
            } else {
                lastPrompt_.clear();  // not understood: the prompt again
            }
            return;
        case LineCommand::Kind::Button:
        case LineCommand::Kind::Field: break;
    }
    if (target.kind == KeyTarget::Kind::MessageBox) {
        key(KeyCode::Enter);
        return;
    }
    if (target.kind != KeyTarget::Kind::Dialog) return;
    const dialogs::WindowState* dialog = nullptr;
    for (const dialogs::WindowState& w : now.visible)
        if (w.handle == target.window) dialog = &w;
    if (dialog == nullptr) return;
    std::vector<const dialogs::ControlState*> fields;
    std::vector<const dialogs::ControlState*> buttons;
    for (int id : focusOrder(*dialog)) {
        const dialogs::ControlState* c = dialog->control(id);
        if (c == nullptr) continue;
        (isField(*c) ? fields : buttons).push_back(c);
    }
    if (command.kind == LineCommand::Kind::Button) {
        if (command.number >= 1 && command.number <= static_cast<int>(buttons.size()))
            input::pressButton(dialog->handle, buttons[command.number - 1]->id);
        return;
    }
    if (command.field < 0 || command.field >= static_cast<int>(fields.size())) return;
    const dialogs::ControlState& field = *fields[command.field];
    if (isComboBox(field)) {
        int index = -1;
        bool digits = !command.value.empty() && command.value.size() <= 2;
        for (char c : command.value) digits = digits && c >= '0' && c <= '9';
        if (digits) index = std::stoi(command.value) - 1;
        for (size_t i = 0; i < field.items.size() && index < 0; ++i)
            if (field.items[i] == command.value) index = static_cast<int>(i);
        if (index >= 0) input::selectComboEntry(dialog->handle, field.id, index);
        return;
    }
    std::string text = command.value;
    if (isAddressField(field)) {
        text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return !isAddressCharacter(c); }), text.end());
        if (text.size() > kAddressTextMax) text.resize(kAddressTextMax);
    } else {
        text.resize(utf8::fittingLength(text, kEditTextMax));  // whole characters only
    }
    input::typeText(dialog->handle, field.id, text);
}

std::string LinePresenter::frame(const Frame& frame) {
    for (WindowHandle gone : frame.closed) {
        lastProgressLine_.erase(gone);
        lastProgressMs_.erase(gone);
        printedHint_.erase(gone);
    }
    std::string out;
    for (const StyledLine& line : frame.transcript) out += line.plain() + "\n";
    // Progress: a line now and then, when it changed.
    const Snapshot& now = frame.now;
    KeyTarget target = findKeyTarget(now.visible, now.boxes, keys_.selectedProgress());
    for (const dialogs::WindowState& w : now.visible) {
        if (w.modal) continue;
        std::string line = progressLine(w, false, false, false, frame.width).plain();
        auto last = lastProgressLine_.find(w.handle);
        bool due = last == lastProgressLine_.end() || frame.nowMs - lastProgressMs_[w.handle] >= progressIntervalMs_;
        if (last != lastProgressLine_.end() && last->second == line) due = false;
        if (due) {
            lastProgressLine_[w.handle] = line;
            lastProgressMs_[w.handle] = frame.nowMs;
            out += "  " + line + "\n";
        }
        if (!w.hint.empty() && printedHint_[w.handle] != w.hint) {  // a hint is printed once
            printedHint_[w.handle] = w.hint;
            for (const StyledLine& hint : hintLines(w, false, frame.width)) out += hint.plain() + "\n";
        }
    }
    std::vector<std::string> prompt = linePrompt(now.visible, now.boxes, keys_.selectedProgress(), frame.width);
    if (prompt != lastPrompt_ || !frame.transcript.empty()) {
        lastPrompt_ = prompt;
        for (const std::string& line : prompt) out += line + "\n";
        if (target.kind == KeyTarget::Kind::Dialog || target.kind == KeyTarget::Kind::MessageBox) out += "> ";
    }
    return out;
}

std::string LinePresenter::restart() {
    lastPrompt_.clear();
    return std::string();
}

}  // namespace orb::dialogs::terminal
