// The hint of the waiting window: when no read request for the run's file has
// come 20 s after the window opened, a line below it says what usually stops
// the adapter (a firewall on this computer, an address it cannot reach). The
// wait itself goes on unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/windowing.h"

namespace orb {

inline constexpr uint32_t kWaitingHintDelayMs = 20000;

// True once kWaitingHintDelayMs have passed from startMs to nowMs on the
// millisecond clock (which wraps at 2^32).
bool isWaitingHintDue(uint32_t startMs, uint32_t nowMs);

// The hint's text for the listener's port and the PC address (host order).
void formatWaitingHint(char* text, size_t size, uint16_t port, uint32_t pcAddress);

struct WaitingHint {
    uint32_t startMs = 0;  // readMilliseconds() when the waiting window was created
    bool shown = false;
};

// Milliseconds of the millisecond clock until the hint is due; 0 once it is
// due or shown.
uint32_t readWaitingHintDelay(const WaitingHint& hint);

// From now on (the waiting window has just been created).
WaitingHint startWaitingHint();
// Once the hint is due, shows it below `window`, once; cheap on every other call.
void updateWaitingHint(WaitingHint* hint, WindowHandle window, uint16_t port, uint32_t pcAddress);

}  // namespace orb
