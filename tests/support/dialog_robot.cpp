#include "tests/support/dialog_robot.h"

#include <algorithm>
#include <chrono>

#include "dialogs/message_boxes.h"

namespace orb::robot {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<dialogs::WindowState> read(WindowHandle window) {
    dialogs::WindowState s;
    if (window == nullptr || !dialogs::readWindowState(window, &s)) return std::nullopt;
    return s;
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint64_t seen = dialogs::modelRevision();
        if (condition()) return true;
        auto now = Clock::now();
        if (now >= deadline) return false;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        // Bounded slices, so that conditions on things outside the model are
        // re-checked too.
        dialogs::waitForModelChange(seen, static_cast<int>(std::min<long long>(left, 50)));
    }
}

WindowHandle waitForNewDialog(int templateId, const std::vector<WindowHandle>& seen, int timeoutMs) {
    WindowHandle found = nullptr;
    waitUntil(
        [&] {
            std::vector<WindowHandle> windows = dialogs::listWindows();
            for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
                if (std::find(seen.begin(), seen.end(), *it) != seen.end()) continue;
                auto s = read(*it);
                if (s && s->templateId == templateId && s->visible) {
                    found = *it;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

WindowHandle waitForDialog(int templateId, int timeoutMs) { return waitForNewDialog(templateId, {}, timeoutMs); }

bool waitForClosed(WindowHandle window, int timeoutMs) {
    return waitUntil(
        [&] {
            auto s = read(window);
            return !s || !s->alive || !s->visible;
        },
        timeoutMs);
}

std::vector<WindowHandle> openWindows() { return dialogs::listWindows(); }

int templateOf(WindowHandle window) {
    auto s = read(window);
    return s ? s->templateId : 0;
}

bool isVisible(WindowHandle window) {
    auto s = read(window);
    return s && s->visible;
}

bool isAlive(WindowHandle window) {
    auto s = read(window);
    return s && s->alive;
}

bool isEnabled(WindowHandle window) {
    auto s = read(window);
    return s && s->alive && s->enabled;
}

std::string title(WindowHandle window) {
    auto s = read(window);
    return s ? s->title : std::string();
}

std::string hint(WindowHandle window) {
    auto s = read(window);
    return s ? s->hint : std::string();
}

std::string controlText(WindowHandle window, int controlId) {
    auto s = read(window);
    if (!s) return {};
    const dialogs::ControlState* c = s->control(controlId);
    return c != nullptr ? c->text : std::string();
}

bool isControlEnabled(WindowHandle window, int controlId) {
    auto s = read(window);
    if (!s) return false;
    const dialogs::ControlState* c = s->control(controlId);
    return c != nullptr && c->enabled;
}

std::vector<std::string> comboItems(WindowHandle window, int controlId) {
    auto s = read(window);
    if (!s) return {};
    const dialogs::ControlState* c = s->control(controlId);
    return c != nullptr ? c->items : std::vector<std::string>();
}

int comboSelection(WindowHandle window, int controlId) {
    auto s = read(window);
    if (!s) return -1;
    const dialogs::ControlState* c = s->control(controlId);
    return c != nullptr ? c->selection : -1;
}

Progress progress(WindowHandle window, int controlId) {
    auto s = read(window);
    if (!s) return {};
    const dialogs::ControlState* c = s->control(controlId);
    if (c == nullptr) return {};
    return {c->rangeLow, c->rangeHigh, c->position};
}

int focusedControl(WindowHandle window) {
    auto s = read(window);
    if (!s) return kNoFocus;
    for (const auto& c : s->controls)
        if (c.focused) return c.id;
    return kNoFocus;
}

std::optional<dialogs::WindowState> state(WindowHandle window) { return read(window); }

bool typeText(WindowHandle window, int controlId, const std::string& text) {
    return dialogs::input::typeText(window, controlId, text);
}
bool selectComboEntry(WindowHandle window, int controlId, int index) {
    return dialogs::input::selectComboEntry(window, controlId, index);
}
bool focusControl(WindowHandle window, int controlId) { return dialogs::input::focusControl(window, controlId); }
bool pressButton(WindowHandle window, int controlId) { return dialogs::input::pressButton(window, controlId); }
bool pressEnter(WindowHandle window) { return dialogs::input::pressEnter(window); }
bool pressEscape(WindowHandle window) { return dialogs::input::pressEscape(window); }
bool pressCloseBox(WindowHandle window) { return dialogs::input::pressCloseBox(window); }

std::vector<MessageBoxInfo> openMessageBoxes() {
    std::vector<MessageBoxInfo> list;
    for (const auto& b : dialogs::listMessageBoxes()) list.push_back({b.id, b.caption, b.text, b.flags, b.owner});
    return list;
}

std::optional<MessageBoxInfo> waitForMessageBox(int timeoutMs) {
    std::optional<MessageBoxInfo> found;
    waitUntil(
        [&] {
            auto boxes = openMessageBoxes();
            if (boxes.empty()) return false;
            found = boxes.front();
            return true;
        },
        timeoutMs);
    return found;
}

bool answerMessageBox(dialogs::MessageBoxId box, int button) { return dialogs::input::answerMessageBox(box, button); }

void setAutoAnswer(bool on) { dialogs::setMessageBoxAutoAnswer(on); }

}  // namespace orb::robot
