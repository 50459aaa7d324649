// Reading the model (dialogs/dialog_view.h): what views draw from.
#include <chrono>
#include <string>
#include <vector>

#include "dialogs/window_model.h"

namespace orb::dialogs {

std::vector<WindowHandle> listWindows() {
    Session s;
    std::vector<WindowHandle> list;
    for (const auto& w : model().windows)
        if (w->alive) list.push_back(w.get());
    return list;
}

bool readWindowState(WindowHandle window, WindowState* state) {
    Session s;
    if (!isWindow(window)) return false;
    window->changeNotified = false;
    WindowState out;
    out.handle = window;
    out.templateId = window->source->id;
    out.title = window->title;
    out.modal = window->modal;
    out.visible = window->visible;
    out.alive = window->alive;
    out.enabled = window->disableCount == 0;
    out.x = window->x;
    out.y = window->y;
    out.width = pixelsX(window->source->width);
    out.height = pixelsY(window->source->height);
    out.zOrder = window->zOrder;
    out.thread = window->thread;
    out.titleChanges = window->titleChanges;
    out.hint = window->hint;
    // The push button that Enter would press: a focused push button, else the default one.
    int enterId = window->defaultId;
    if (window->focus >= 0 && window->controls[window->focus].isPushButton())
        enterId = window->controls[window->focus].id;
    for (size_t i = 0; i < window->controls.size(); ++i) {
        const Control& c = window->controls[i];
        ControlState cs;
        cs.id = c.id;
        cs.className = c.className;
        cs.kind = c.kind;
        cs.style = c.style;
        cs.text = c.text;
        cs.iconOrdinal = c.source->textOrdinal;
        cs.x = pixelsX(c.source->x);
        cs.y = pixelsY(c.source->y);
        cs.width = pixelsX(c.source->width);
        cs.height = pixelsY(c.source->height);
        cs.enabled = c.enabled;
        cs.focused = window->focus == static_cast<int>(i);
        cs.isDefault = window->modal && c.isPushButton() && c.id == enterId;
        cs.rangeLow = c.rangeLow;
        cs.rangeHigh = c.rangeHigh;
        cs.position = c.position;
        cs.items = c.items;
        cs.selection = c.selection;
        if (c.isDropDownList()) cs.text = selectedEntry(c.items, c.selection);
        out.controls.push_back(std::move(cs));
    }
    *state = std::move(out);
    return true;
}

int nextFocus(const WindowState& window, int fromId, bool backwards, const std::vector<int>& order) {
    std::vector<int> ids = order;
    if (ids.empty())
        for (const ControlState& c : window.controls) ids.push_back(c.id);
    const int count = static_cast<int>(ids.size());
    if (count == 0) return 0;
    int current = backwards ? count : -1;
    for (int i = 0; i < count; ++i)
        if (ids[i] == fromId) current = i;
    for (int step = 1; step <= count; ++step) {
        int index = ((current + (backwards ? -step : step)) % count + count) % count;
        const ControlState* c = window.control(ids[index]);
        if (c != nullptr && isTabStop(c->style, c->enabled)) return c->id;
    }
    return 0;
}

uint64_t modelRevision() {
    Session s;
    return model().revision;
}

bool waitForModelChange(uint64_t seen, int timeoutMs) {
    Session s;
    return model().changed.wait_for(s.lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                                    [seen] { return model().revision != seen; });
}

}  // namespace orb::dialogs
