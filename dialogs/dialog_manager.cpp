// The portable dialog manager: platform/windowing.h for systems other than
// Windows. It behaves like the Win32 dialog manager as far as the program can
// tell. This file holds the windows' life: modal and modeless dialogs, their
// end, titles, hints and places; the model and the queues are in
// window_model.cpp, the controls in dialog_controls.cpp, message boxes in
// message_boxes.cpp, the views' input in dialog_input.cpp.
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "platform/windowing.h"
#include "base/dialog_log.h"
#include "dialogs/window_model.h"

namespace orb {

using namespace dialogs;

void initCommonControls() {}

intptr_t runModalDialog(InstanceHandle, int templateId, DialogProc procedure) {
    Window* w = createWindow(templateId, procedure, true);
    if (w == nullptr) return -1;
    if (!initialise(w)) return -1;
    Model& m = model();
    for (;;) {
        std::unique_lock<std::mutex> lock(m.mutex);
        if (w->ended || !w->alive) break;
        if (w->queue->messages.empty()) {
            w->queue->wake.wait(lock);
            continue;
        }
        Message message = w->queue->messages.front();
        w->queue->messages.pop_front();
        bool alive = message.target->alive;
        lock.unlock();
        if (alive) dispatch(message);
    }
    intptr_t result;
    {
        Session s;
        result = w->ended ? w->result : 0;
        destroyLocked(s, w);
    }
    return result;
}

WindowHandle createModelessDialog(InstanceHandle, int templateId, DialogProc procedure) {
    Window* w = createWindow(templateId, procedure, false);
    if (w == nullptr) return nullptr;
    if (!initialise(w)) return nullptr;
    return w;
}

void endDialog(WindowHandle window, intptr_t result) {
    Session s;
    if (!isLive(window)) return;
    window->ended = true;
    window->result = result;
    window->visible = false;
    window->queue->wake.notify_all();
    s.changed(window);
}

void destroyWindow(WindowHandle window) {
    Session s;
    // DestroyWindow fails for a window of another thread.
    if (!isLive(window) || window->thread != std::this_thread::get_id()) return;
    destroyLocked(s, window);
}

void setWindowTitle(WindowHandle window, const char* title) {
    Session s;
    if (!isLive(window)) return;
    std::string next = title != nullptr ? title : "";
    TitleChange change{window->title, next, window->visible, ++window->titleChanges};
    window->title = std::move(next);
    s.titleChanged(window, change);
    s.changed(window);
}

void readWindowTitle(WindowHandle window, char* title, int size) {
    Session s;
    if (size <= 0) return;
    title[0] = '\0';
    if (!isLive(window)) return;
    std::snprintf(title, static_cast<size_t>(size), "%s", window->title.c_str());
}

void setWindowHint(WindowHandle window, const char* text) {
    Session s;
    if (!isLive(window)) return;
    std::string hint = text != nullptr ? text : "";
    if (window->hint == hint) return;
    window->hint = hint;
    s.changed(window);
    logDialogHint(window->source->id, hint);
}

bool readWindowRect(WindowHandle window, WindowRect* rect) {
    Session s;
    if (!isLive(window) || rect == nullptr) return false;
    rect->left = window->x;
    rect->top = window->y;
    rect->right = window->x + pixelsX(window->source->width);
    rect->bottom = window->y + pixelsY(window->source->height);
    return true;
}

int readScreenWidth() {
    Session s;
    return model().screenWidth;
}

int readScreenHeight() {
    Session s;
    return model().screenHeight;
}

// The parameters mirror Win32's SetWindowPos.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void moveWindowToTop(WindowHandle window, int x, int y) {
    Session s;
    if (!isLive(window)) return;
    window->x = x;
    window->y = y;
    window->zOrder = model().nextZ++;
    s.changed(window);
}

}  // namespace orb
