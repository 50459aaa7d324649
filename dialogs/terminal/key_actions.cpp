#include "dialogs/terminal/key_actions.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "dialogs/message_boxes.h"
#include "dialogs/terminal/screen_builder.h"

namespace orb::dialogs::terminal {

namespace {

namespace input = dialogs::input;

const dialogs::ControlState* focusedControl(const dialogs::WindowState& w) {
    for (const dialogs::ControlState& c : w.controls)
        if (c.focused) return &c;
    return nullptr;
}

}  // namespace

void KeyActions::act(const Key& key) {
    Snapshot now = readSnapshot();
    KeyTarget target = findKeyTarget(now.visible, now.boxes, selectedProgress_);
    switch (target.kind) {
        case KeyTarget::Kind::None: return;
        case KeyTarget::Kind::MessageBox: {
            unsigned flags = now.boxes.front().flags;
            if (key.code == KeyCode::Enter || (key.code == KeyCode::Char && key.ch == ' ')) {
                input::answerMessageBox(target.box, dialogs::messageBoxEnterButton(flags));
            } else if (key.code == KeyCode::Escape || key.code == KeyCode::CtrlC) {
                int button = dialogs::messageBoxEscapeButton(flags);
                if (button != 0) input::answerMessageBox(target.box, button);
            }
            return;
        }
        case KeyTarget::Kind::Dialog:
            for (const dialogs::WindowState& w : now.visible)
                if (w.handle == target.window) actOnDialog(w, key);
            return;
        case KeyTarget::Kind::Progress: actOnProgress(now, target.window, key); return;
    }
}

void KeyActions::actOnProgress(const Snapshot& now, WindowHandle target, const Key& key) {
    switch (key.code) {
        case KeyCode::Escape:
        case KeyCode::CtrlC:
            // The Cancel button: the only control of a progress window.
            input::cancel(target);
            return;
        case KeyCode::Tab:
        case KeyCode::BackTab:
        case KeyCode::Up:
        case KeyCode::Down:
        case KeyCode::Left:
        case KeyCode::Right: {
            std::vector<WindowHandle> list;
            for (const dialogs::WindowState& w : now.visible)
                if (isProgressWindow(w) && w.enabled) list.push_back(w.handle);
            if (list.empty()) return;
            auto at = std::find(list.begin(), list.end(), target);
            size_t index = at == list.end() ? 0 : static_cast<size_t>(at - list.begin());
            bool back = key.code == KeyCode::BackTab || key.code == KeyCode::Up || key.code == KeyCode::Left;
            index = back ? (index + list.size() - 1) % list.size() : (index + 1) % list.size();
            selectedProgress_ = list[index];
            return;
        }
        default: return;  // Enter: a progress window has no default button
    }
}

void KeyActions::actOnDialog(const dialogs::WindowState& w, const Key& key) {
    const dialogs::ControlState* focus = focusedControl(w);
    auto move = [&](int delta) {
        // The terminal's own order (fields, then buttons); the model says where Tab stops in it.
        std::vector<int> order = focusOrder(w);
        if (order.empty()) return;
        int next = dialogs::nextFocus(w, focus != nullptr ? focus->id : 0, delta < 0, order);
        if (next != 0) input::focusControl(w.handle, next);
    };
    bool inText = focus != nullptr && focus->isTextField() && focus->enabled;
    bool inList = focus != nullptr && isComboBox(*focus) && focus->enabled;
    auto choose = [&](int index) {
        if (inList && index >= 0 && index < static_cast<int>(focus->items.size()))
            input::selectComboEntry(w.handle, focus->id, index);
    };
    switch (key.code) {
        case KeyCode::Enter: input::pressEnter(w.handle); return;
        case KeyCode::Escape:
        case KeyCode::CtrlC: input::pressEscape(w.handle); return;
        case KeyCode::Tab:
        case KeyCode::Down: move(1); return;
        case KeyCode::BackTab:
        case KeyCode::Up: move(-1); return;
        case KeyCode::Right:
            if (inList) {
                choose(focus->selection + 1);
            } else {
                move(1);
            }
            return;
        case KeyCode::Left:
            if (inList) {
                choose(focus->selection <= 0 ? 0 : focus->selection - 1);
            } else {
                move(-1);
            }
            return;
        case KeyCode::Home:
            if (inList) choose(0);
            return;
        case KeyCode::End:
            if (inList) choose(static_cast<int>(focus->items.size()) - 1);
            return;
        case KeyCode::Backspace:
            // One character, however many bytes it has.
            if (inText && !focus->text.empty())
                input::typeText(w.handle, focus->id, focus->text.substr(0, utf8::lastCharacterStart(focus->text)));
            return;
        case KeyCode::CtrlU:
            if (inText) input::typeText(w.handle, focus->id, std::string());
            return;
        case KeyCode::Char:
            if (inText) {
                // The field's text as the model holds it now, plus the key's UTF-8 bytes.
                std::string text = focus->text;
                std::string typed = utf8::encode(key.ch);
                if (isAddressField(*focus)) {
                    if (key.ch >= 0x80 || !isAddressCharacter(static_cast<char>(key.ch)) ||
                        text.size() >= kAddressTextMax)
                        return;
                } else if (text.size() + typed.size() > kEditTextMax) {
                    return;
                }
                input::typeText(w.handle, focus->id, text + typed);
            } else if (inList) {
                if (key.ch >= '1' && key.ch <= '9') choose(static_cast<int>(key.ch - '1'));
                if (key.ch == ' ' && !focus->items.empty())
                    choose((focus->selection + 1) % static_cast<int>(focus->items.size()));
            } else if (focus != nullptr && focus->isPushButton() && key.ch == ' ') {
                input::pressButton(w.handle, focus->id);
            }
            return;
        default: return;
    }
}

}  // namespace orb::dialogs::terminal
