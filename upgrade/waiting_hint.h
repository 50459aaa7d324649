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

// The hosts other than the adapter whose read requests the listener ignored:
// the first one by address, the others counted (up to kTrackedRequesters in
// all; more are "at least" that many). No allocation: the listener keeps it.
inline constexpr int kTrackedRequesters = 16;
struct IgnoredRequesters {
    uint32_t hosts[kTrackedRequesters];  // host order, in the order they first came
    int count = 0;
    bool overflowed = false;  // a host beyond the tracked ones came
};

// Notes a read request from `address`; true when the hint's text changes (a
// host not seen before).
bool noteIgnoredRequester(IgnoredRequesters* requesters, uint32_t address);

// The hint's text for the listener's port and the PC address (host order),
// followed, when other hosts asked for the image, by "(read requests from
// other hosts were ignored: A.B.C.D)" or "... A.B.C.D and N more)".
void formatWaitingHint(char* text, size_t size, uint16_t port, uint32_t pcAddress,
                       const IgnoredRequesters* ignored = nullptr);

struct WaitingHint {
    uint32_t startMs = 0;  // readMilliseconds() when the waiting window was created
    bool shown = false;
    int shownRequesters = 0;  // IgnoredRequesters::count when last shown
    bool shownOverflow = false;
};

// Milliseconds of the millisecond clock until the hint is due; 0 once it is
// due or shown.
uint32_t readWaitingHintDelay(const WaitingHint& hint);

// From now on (the waiting window has just been created).
WaitingHint startWaitingHint();
// Once the hint is due, shows it below `window`; again only when another host
// has asked since (so at most kTrackedRequesters + 2 times). Cheap on every
// other call.
void updateWaitingHint(WaitingHint* hint, WindowHandle window, uint16_t port, uint32_t pcAddress,
                       const IgnoredRequesters& ignored);

}  // namespace orb
