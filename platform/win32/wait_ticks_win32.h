// The Windows program's ticks: the calling thread's 1 ms waits that ran to
// their end (platform/clock.h, readWaitTicks).
#pragma once

namespace orb {

// Called by waitForInput when its wait was not cut short.
void countCompletedWait();

}  // namespace orb
