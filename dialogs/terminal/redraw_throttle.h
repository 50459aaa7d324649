// When the terminal view draws: as soon as something changed, but at most once
// per interval (50 ms: 20 frames a second), however often the model changes.
#pragma once

#include <cstdint>

namespace orb::dialogs::terminal {

class RedrawThrottle {
public:
    static constexpr int kDefaultIntervalMs = 50;
    explicit RedrawThrottle(int intervalMs = kDefaultIntervalMs) : intervalMs_(intervalMs) {}

    void markDirty() { dirty_ = true; }
    bool dirty() const { return dirty_; }
    // Milliseconds until the next frame is due: -1 when nothing changed, 0 when
    // it is due now.
    int waitMs(int64_t nowMs) const {
        if (!dirty_) return -1;
        if (!drawn_) return 0;
        int64_t left = lastDrawMs_ + intervalMs_ - nowMs;
        return left <= 0 ? 0 : static_cast<int>(left);
    }
    bool due(int64_t nowMs) const { return waitMs(nowMs) == 0; }
    // A frame was drawn now: changes before it are shown.
    void drew(int64_t nowMs) {
        dirty_ = false;
        drawn_ = true;
        lastDrawMs_ = nowMs;
    }

private:
    int intervalMs_;
    bool dirty_ = false;
    bool drawn_ = false;
    int64_t lastDrawMs_ = 0;
};

}  // namespace orb::dialogs::terminal
