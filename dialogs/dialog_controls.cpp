// The windowing.h operations on controls: texts, combo boxes, progress bars
// and the focus, as the procedures call them.
#include <string>

#include "platform/windowing.h"
#include "base/utf8.h"
#include "dialogs/window_model.h"

namespace orb {

using namespace dialogs;

namespace {

void coercePosition(Control* c) {
    if (c->position < c->rangeLow) c->position = c->rangeLow;
    if (c->position > c->rangeHigh) c->position = c->rangeHigh;
}

// Caller holds the lock. Control `controlId` of a live window when it is of
// `kind`; nullptr otherwise.
Control* liveControlOfKind(WindowHandle window, int controlId, ControlKind kind) {
    if (!isLive(window)) return nullptr;
    Control* c = window->control(controlId);
    return c != nullptr && c->kind == kind ? c : nullptr;
}

}  // namespace

void setControlText(WindowHandle window, int controlId, const char* text) {
    Session s;
    if (!isLive(window)) return;
    Control* c = window->control(controlId);
    if (c == nullptr) return;
    if (c->isDropDownList()) return;  // no edit field
    c->text = text != nullptr ? text : "";
    s.changed(window);
}

unsigned readControlText(WindowHandle window, int controlId, char* text, int limit) {
    if (text == nullptr || limit <= 0) return 0;
    text[0] = '\0';
    std::string value;
    {
        Session s;
        if (!isLive(window)) return 0;
        Control* c = window->control(controlId);
        if (c == nullptr) return 0;
        if (c->isDropDownList()) {
            value = selectedEntry(c->items, c->selection);
        } else if (c->kind == ControlKind::Ipv4Address && c->text.empty()) {
            value = "0.0.0.0";  // four blank fields read as zeros
        } else {
            value = c->text;
        }
    }
    // The texts are UTF-8: a character that does not fit whole is left out whole.
    size_t count = utf8::fittingLength(value, static_cast<size_t>(limit - 1));
    value.copy(text, count);
    text[count] = '\0';
    return static_cast<unsigned>(count);
}

void focusControl(WindowHandle window, int controlId) {
    Session s;
    if (!isLive(window)) return;
    int index = window->indexOf(controlId);
    if (index < 0 || !window->controls[index].enabled) return;
    window->focus = index;
    s.changed(window);
}

void addComboEntry(WindowHandle window, int controlId, const char* text) {
    Session s;
    Control* c = liveControlOfKind(window, controlId, ControlKind::ComboBox);
    if (c == nullptr) return;
    c->items.push_back(text != nullptr ? text : "");
    s.changed(window);
}

// The parameters mirror Win32's CB_SETCURSEL.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void selectComboEntry(WindowHandle window, int controlId, int index) {
    Session s;
    Control* c = liveControlOfKind(window, controlId, ControlKind::ComboBox);
    if (c == nullptr) return;
    c->selection = (index >= 0 && index < static_cast<int>(c->items.size())) ? index : -1;
    s.changed(window);
}

int readComboSelection(WindowHandle window, int controlId) {
    Session s;
    Control* c = liveControlOfKind(window, controlId, ControlKind::ComboBox);
    if (c == nullptr) return -1;
    return c->selection;
}

// The parameters mirror Win32's PBM_SETRANGE.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void setProgressRange(WindowHandle window, int controlId, int low, int high) {
    Session s;
    Control* c = liveControlOfKind(window, controlId, ControlKind::ProgressBar);
    if (c == nullptr) return;
    // PBM_SETRANGE carries both limits as 16-bit words of lParam.
    c->rangeLow = low & 0xFFFF;
    c->rangeHigh = high & 0xFFFF;
    coercePosition(c);
    s.changed(window);
}

// The parameters mirror Win32's PBM_SETPOS.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void setProgressPosition(WindowHandle window, int controlId, int position) {
    Session s;
    Control* c = liveControlOfKind(window, controlId, ControlKind::ProgressBar);
    if (c == nullptr) return;
    if (c->position == position) return;
    c->position = position;
    coercePosition(c);
    s.changed(window);
}

}  // namespace orb
