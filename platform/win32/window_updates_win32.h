// Title and progress-bar changes of a window reach the screen at most once per
// kRedrawIntervalMs each; the latest value waits until then. A transfer sets
// both for every block, over a thousand times a second, and under Wine each set
// is a trip to the X server (a redrawn bar, a new title property) that costs
// more than the block itself. Nobody sees changes faster than the screen shows
// them, so coalescing them changes nothing a person sees.
//
// A held value is applied by the next pump of the window's messages once its
// interval has passed, and at once before any other call on that window, so the
// order of a window's changes stays as the program made them. The state is kept
// per thread: a window's calls come from the thread that owns it.
#pragma once

#include <windows.h>

namespace orb {

inline constexpr DWORD kRedrawIntervalMs = 20;

void setTitleCoalesced(HWND window, const char* title);
void setBarPositionCoalesced(HWND window, int controlId, int position);

// Applies what is held for the window whose interval has passed (all of it
// when `all`).
void applyHeldUpdates(HWND window, bool all);

// The window is gone: what is held for it is dropped.
void forgetHeldUpdates(HWND window);

// The millisecond clock of the intervals (GetTickCount unless tests set one).
using UpdateClock = DWORD (*)();
void setUpdateClock(UpdateClock clock);

}  // namespace orb
