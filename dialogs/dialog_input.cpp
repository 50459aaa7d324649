#include "dialogs/dialog_input.h"

#include <algorithm>
#include <string>

#include "base/diagnostics_log.h"
#include "base/dialog_log.h"
#include "dialogs/message_boxes.h"
#include "dialogs/window_model.h"
#include "dialogs/window_styles.h"

namespace orb::dialogs {

namespace {

// Caller holds the lock. Logs a press of button `id` in `w`; `how` names the
// key that pressed it ("" for a click). What a password field holds is about
// to be used: the log masks it from now on. Control texts other than the
// button's caption are never written.
void logPress(const Window* w, int id, const char* how) {
    for (const Control& c : w->controls)
        if (isPasswordField(c.kind, c.style) && !c.text.empty()) addDiagnosticsSecret(c.text);
    if (!diagnosticsLogActive()) return;
    std::string caption;
    for (const Control& c : w->controls)
        if (c.id == id && c.kind == ControlKind::Button) caption = c.text;
    logButtonPressed(w->source->id, w->title, id, caption, how);
}

// Logs the press, then posts its WM_COMMAND (BN_CLICKED in the high word).
void postPress(Session& s, Window* w, int controlId, const char* how) {
    logPress(w, controlId, how);
    post(s, w, kWmCommand, static_cast<uintptr_t>(controlId & 0xFFFF), 0);
}

// Caller holds the lock. Control `controlId` of a window that takes input,
// with the window and the control's index there; all null when either is
// missing.
struct InputTarget {
    Window* window = nullptr;
    int index = -1;
    Control* control = nullptr;
};

InputTarget inputTarget(WindowHandle window, int controlId) {
    Window* w = inputWindow(window);
    if (w == nullptr) return {};
    int index = w->indexOf(controlId);
    if (index < 0) return {};
    return {w, index, &w->controls[index]};
}

}  // namespace

namespace input {

// Each press is logged before its message is posted, so that whatever the
// press leads to comes after it in the log.
bool pressButton(WindowHandle window, int controlId) {
    Session s;
    InputTarget t = inputTarget(window, controlId);
    if (t.control == nullptr) return false;
    Control& c = *t.control;
    if (c.kind != ControlKind::Button || !c.enabled) return false;
    if (c.isPushButton()) t.window->focus = t.index;
    s.changed(t.window);
    postPress(s, t.window, controlId, "");
    return true;
}

bool pressEnter(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr || !w->modal) return false;  // the modeless pumps do no dialog keyboard handling
    int pressed = kIdOk;
    if (w->focus >= 0 && w->controls[w->focus].isPushButton()) {
        pressed = w->controls[w->focus].id;
    } else if (w->defaultId != 0) {
        Control* c = w->control(w->defaultId);
        if (c != nullptr && !c->enabled) return false;
        pressed = w->defaultId;
    }
    postPress(s, w, pressed, "Enter");
    return true;
}

bool pressEscape(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr || !w->modal) return false;
    Control* cancel = w->control(kIdCancel);
    if (cancel != nullptr && !cancel->enabled) return false;
    postPress(s, w, kIdCancel, "Escape");
    return true;
}

bool pressCloseBox(WindowHandle window) {
    Session s;
    Window* w = inputWindow(window);
    if (w == nullptr) return false;
    logCloseBoxPressed(w->source->id, w->title);
    post(s, w, kWmClose, 0, 0);
    return true;
}

bool typeText(WindowHandle window, int controlId, const std::string& text) {
    Session s;
    InputTarget t = inputTarget(window, controlId);
    if (t.control == nullptr) return false;
    Control& c = *t.control;
    if (!c.enabled) return false;
    bool typeable = isTextField(c.kind, c.style) || (c.kind == ControlKind::ComboBox && !c.isDropDownList());
    if (!typeable) return false;
    c.text = text;
    t.window->focus = t.index;
    s.changed(t.window);
    return true;
}

// The parameters mirror selectComboEntry's, Win32's CB_SETCURSEL.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
bool selectComboEntry(WindowHandle window, int controlId, int index) {
    Session s;
    InputTarget t = inputTarget(window, controlId);
    if (t.control == nullptr) return false;
    Control& c = *t.control;
    if (c.kind != ControlKind::ComboBox || !c.enabled) return false;
    if (index < 0 || index >= static_cast<int>(c.items.size())) return false;
    c.selection = index;
    t.window->focus = t.index;
    s.changed(t.window);
    return true;
}

bool focusControl(WindowHandle window, int controlId) {
    Session s;
    InputTarget t = inputTarget(window, controlId);
    if (t.control == nullptr) return false;
    const Control& c = *t.control;
    if (!c.enabled || !takesFocus(c.kind)) return false;
    t.window->focus = t.index;
    s.changed(t.window);
    return true;
}

bool cancel(WindowHandle window) {
    bool modal = false;
    {
        Session s;
        Window* w = inputWindow(window);
        if (w == nullptr) return false;
        modal = w->modal;
    }
    return modal ? pressEscape(window) : pressButton(window, kIdCancel);
}

bool answerMessageBox(MessageBoxId box, int button) {
    Session s;
    for (const auto& b : model().boxes) {
        if (b->id != box) continue;
        if (b->answered || !isValidAnswer(b->flags, button)) return false;
        b->answered = true;
        b->result = button;
        s.bump();
        return true;
    }
    return false;
}

}  // namespace input

}  // namespace orb::dialogs
