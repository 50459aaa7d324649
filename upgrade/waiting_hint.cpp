#include "upgrade/waiting_hint.h"

#include <cstdio>

#include "platform/clock.h"
#include "base/ipv4_text.h"
#include "upgrade/run_observer.h"

namespace orb {

bool isWaitingHintDue(uint32_t startMs, uint32_t nowMs) { return nowMs - startMs >= kWaitingHintDelayMs; }

bool noteIgnoredRequester(IgnoredRequesters* requesters, uint32_t address) {
    for (int i = 0; i < requesters->count; ++i)
        if (requesters->hosts[i] == address) return false;
    if (requesters->count < kTrackedRequesters) {
        requesters->hosts[requesters->count++] = address;
        return true;
    }
    bool changed = !requesters->overflowed;
    requesters->overflowed = true;
    return changed;
}

void formatWaitingHint(char* text, size_t size, uint16_t port, uint32_t pcAddress, const IgnoredRequesters* ignored) {
    int length =
        std::snprintf(text, size,
                      "No request from the adapter yet: a firewall on this computer may block UDP port %u, and the "
                      "adapter must reach the chosen PC address %s.",
                      static_cast<unsigned>(port), formatIPv4(pcAddress).c_str());
    if (ignored == nullptr || ignored->count == 0 || length < 0 || static_cast<size_t>(length) >= size) return;
    uint32_t first = ignored->hosts[0];
    char more[32] = "";
    if (ignored->count > 1 || ignored->overflowed)
        std::snprintf(more, sizeof more, " and %s%d more", ignored->overflowed ? "at least " : "",
                      ignored->count - 1 + (ignored->overflowed ? 1 : 0));
    std::snprintf(text + length, size - static_cast<size_t>(length),
                  " (read requests from other hosts were ignored: %s%s)", formatIPv4(first).c_str(), more);
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

void updateWaitingHint(WaitingHint* hint, WindowHandle window, uint16_t port, uint32_t pcAddress,
                       const IgnoredRequesters& ignored) {
    if (window == nullptr) return;
    if (hint->shown) {
        if (hint->shownRequesters == ignored.count && hint->shownOverflow == ignored.overflowed) return;
    } else if (!isWaitingHintDue(hint->startMs, readMilliseconds())) {
        return;
    }
    char text[320];
    formatWaitingHint(text, sizeof text, port, pcAddress, &ignored);
    setWindowHint(window, text);
    hint->shown = true;
    hint->shownRequesters = ignored.count;
    hint->shownOverflow = ignored.overflowed;
    if (RunObserver* observer = runObserver()) observer->hintShown(text);
}

}  // namespace orb
