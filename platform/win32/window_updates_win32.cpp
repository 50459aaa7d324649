#include "platform/win32/window_updates_win32.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>

namespace orb {
namespace {

// One changing value of a window: its title, or one progress bar's position.
struct HeldValue {
    bool shownOnce = false;
    DWORD shownAt = 0;
    bool held = false;
};

struct WindowUpdates {
    HWND window = nullptr;
    HeldValue title;
    char titleText[256] = {};
    HeldValue bar;
    int barId = 0;
    int barPosition = 0;
};

std::atomic<UpdateClock> updateClock{nullptr};

DWORD readClock() {
    UpdateClock clock = updateClock.load();
    return clock != nullptr ? clock() : GetTickCount();
}

// A thread owns at most a few windows at once.
constexpr int kWindowsPerThread = 4;
thread_local WindowUpdates updates[kWindowsPerThread];

bool intervalPassed(const HeldValue& value, DWORD now) {
    return !value.shownOnce || now - value.shownAt >= kRedrawIntervalMs;
}

void markShown(HeldValue* value, DWORD now) {
    value->shownOnce = true;
    value->shownAt = now;
    value->held = false;
}

void showTitle(WindowUpdates* entry, DWORD now) {
    SetWindowTextA(entry->window, entry->titleText);
    markShown(&entry->title, now);
}

void showBar(WindowUpdates* entry, DWORD now) {
    SendDlgItemMessageA(entry->window, entry->barId, PBM_SETPOS, static_cast<WPARAM>(entry->barPosition), 0);
    markShown(&entry->bar, now);
}

WindowUpdates* findEntry(HWND window) {
    for (WindowUpdates& entry : updates) {
        if (entry.window == window) return &entry;
    }
    return nullptr;
}

// An entry for the window; a full table gives up its oldest windows' held
// values (applied first) to make room.
WindowUpdates* entryFor(HWND window) {
    if (WindowUpdates* entry = findEntry(window)) return entry;
    for (WindowUpdates& entry : updates) {
        if (entry.window == nullptr || !IsWindow(entry.window)) {
            entry = WindowUpdates{};
            entry.window = window;
            return &entry;
        }
    }
    applyHeldUpdates(updates[0].window, true);
    updates[0] = WindowUpdates{};
    updates[0].window = window;
    return &updates[0];
}

}  // namespace

void setTitleCoalesced(HWND window, const char* title) {
    WindowUpdates* entry = entryFor(window);
    std::strncpy(entry->titleText, title, sizeof entry->titleText - 1);
    entry->titleText[sizeof entry->titleText - 1] = '\0';
    DWORD now = readClock();
    if (intervalPassed(entry->title, now)) {
        showTitle(entry, now);
    } else {
        entry->title.held = true;
    }
}

// The parameters mirror setProgressPosition's, Win32's PBM_SETPOS.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
void setBarPositionCoalesced(HWND window, int controlId, int position) {
    WindowUpdates* entry = entryFor(window);
    // Another bar of the same window: the first one's held value goes first.
    if (entry->bar.held && entry->barId != controlId) showBar(entry, readClock());
    if (entry->barId != controlId) entry->bar = HeldValue{};
    entry->barId = controlId;
    entry->barPosition = position;
    DWORD now = readClock();
    if (intervalPassed(entry->bar, now)) {
        showBar(entry, now);
    } else {
        entry->bar.held = true;
    }
}

void applyHeldUpdates(HWND window, bool all) {
    WindowUpdates* entry = findEntry(window);
    if (entry == nullptr) return;
    DWORD now = readClock();
    if (entry->bar.held && (all || intervalPassed(entry->bar, now))) showBar(entry, now);
    if (entry->title.held && (all || intervalPassed(entry->title, now))) showTitle(entry, now);
}

void forgetHeldUpdates(HWND window) {
    if (WindowUpdates* entry = findEntry(window)) *entry = WindowUpdates{};
}

void setUpdateClock(UpdateClock clock) { updateClock = clock; }

}  // namespace orb
