#include "upgrade/restart_wait.h"

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
    uint32_t reported = ~0u;
    for (;;) {
        uint32_t now = readClockUnits();
        if (now < start) now += kUnitsPerClockWrap;
        if (observer != nullptr && now - start != reported && now - start <= kRestartWaitUnits) {
            reported = now - start;
            observer->restartWaitProgress(reported << 5, kRestartWaitUnits << 5);
        }
        if (window != nullptr) {
            setProgressPosition(window, kProgressBarId, static_cast<int>(now - start));
            pumpAllMessages(window);
        }
        if (now >= start + kRestartWaitUnits) break;
        // Cancel wakes the wait at once where the views' messages can.
        waitForInput(window, kInvalidSocket, kRestartWaitSleepMs, kRestartWaitSleepMs);
    }
}

}  // namespace orb
