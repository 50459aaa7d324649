#include "upgrade/restart_wait.h"

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "upgrade/dialog_ids.h"
#include "upgrade/run_observer.h"

namespace orb {

static uint32_t readClockUnits() { return readMilliseconds() >> 5; }

void runRestartWait(WindowHandle window, const char* deviceAddressText) {
    constexpr uint32_t kUnitsPerClockWrap = 1u << 27;  // 2^32 ms in units of 32 ms
    uint32_t start = readClockUnits();
    char title[128];
    std::snprintf(title, sizeof title, "Updating Firmware to ORB@%s", deviceAddressText);
    if (window != nullptr) {
        setProgressRange(window, kProgressBarId, 0, static_cast<int>(kRestartWaitUnits));
        setProgressPosition(window, kProgressBarId, 0);
        setWindowTitle(window, title);
    }
    RunObserver* observer = runObserver();
    uint32_t reportedSecond = ~0u;
    for (;;) {
        uint32_t now = readClockUnits();
        if (now < start) now += kUnitsPerClockWrap;
        uint32_t elapsedMs = std::min(now - start, kRestartWaitUnits) << 5;
        // Once a second is plenty for someone who reads it.
        if (observer != nullptr && elapsedMs / 1000 != reportedSecond) {
            reportedSecond = elapsedMs / 1000;
            observer->restartWaitProgress(elapsedMs, kRestartWaitUnits << 5);
        }
        if (window != nullptr) {
            setProgressPosition(window, kProgressBarId, static_cast<int>(now - start));
            pumpAllMessages(window);
        }
        if (now >= start + kRestartWaitUnits) break;
        // Cancel wakes the wait at once where the views' messages can. A view
        // that shows no bar lets it sleep longer, never past the end.
        int remainingMs = static_cast<int>((start + kRestartWaitUnits - now) << 5);
        int idleMs = std::max(static_cast<int>(kRestartWaitSleepMs), std::min(readProgressFrameMs(), remainingMs));
        waitForInput(window, kInvalidSocket, kRestartWaitSleepMs, idleMs);
    }
}

}  // namespace orb
