#include "upgrade/waiting_hint.h"

#include <cstdio>

#include "platform/clock.h"
#include "upgrade/run_observer.h"

namespace orb {

bool isWaitingHintDue(uint32_t startMs, uint32_t nowMs) { return nowMs - startMs >= kWaitingHintDelayMs; }

void formatWaitingHint(char* text, size_t size, uint16_t port, uint32_t pcAddress) {
    std::snprintf(text, size,
                  "No request from the adapter yet: a firewall on this computer may block UDP port %u, and the "
                  "adapter must reach the chosen PC address %u.%u.%u.%u.",
                  static_cast<unsigned>(port), static_cast<unsigned>(pcAddress >> 24),
                  static_cast<unsigned>((pcAddress >> 16) & 0xff), static_cast<unsigned>((pcAddress >> 8) & 0xff),
                  static_cast<unsigned>(pcAddress & 0xff));
}

uint32_t readWaitingHintDelay(const WaitingHint& hint) {
    uint32_t passed = readMilliseconds() - hint.startMs;
    return hint.shown || passed >= kWaitingHintDelayMs ? 0 : kWaitingHintDelayMs - passed;
}

WaitingHint startWaitingHint() {
    WaitingHint hint;
    hint.startMs = readMilliseconds();
    return hint;
}

void updateWaitingHint(WaitingHint* hint, WindowHandle window, uint16_t port, uint32_t pcAddress) {
    if (hint->shown || window == nullptr || !isWaitingHintDue(hint->startMs, readMilliseconds())) return;
    char text[256];
    formatWaitingHint(text, sizeof text, port, pcAddress);
    setWindowHint(window, text);
    hint->shown = true;
    if (RunObserver* observer = runObserver()) observer->hintShown(text);
}

}  // namespace orb
