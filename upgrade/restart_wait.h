// The wait while the adapter writes the image and restarts.
#pragma once

#include <cstdint>

#include "platform/windowing.h"

namespace orb {

inline constexpr uint32_t kRestartWaitUnits = 1562;  // of 32 ms: 49,984 ms
inline constexpr uint32_t kRestartWaitSleepMs = 32;

// Reads the millisecond clock in units of 32 ms until 1562 units have passed
// (a wrap of the clock included), showing them on the window's bar under the
// title "Updating Firmware to ORB@<address>", pumping all of the window's
// messages each pass and sleeping 32 ms between passes. The window stays.
void runRestartWait(WindowHandle window, const char* deviceAddressText);

}  // namespace orb
