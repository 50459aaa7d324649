#include "platform/process.h"

#include <atomic>
#include <cstdio>

#include "platform/system_calls.h"

namespace orb {

namespace {

constexpr int kMaxHooks = 8;
std::atomic<void (*)()> hooks[kMaxHooks];
std::atomic<int> hookCount{0};
std::atomic<bool> ending{false};

}  // namespace

void addProcessEndHook(void (*hook)()) {
    int slot = hookCount.fetch_add(1);
    if (slot >= kMaxHooks) return;
    hooks[slot].store(hook);
}

void endProcess(int exitCode) {
    // One end per process: a second thread that gets here while the first
    // runs the hooks (a front-end's last word, say) waits for the exit, so
    // nothing is said twice.
    if (ending.exchange(true)) waitUntilProcessEnds();
    int count = hookCount.load();
    if (count > kMaxHooks) count = kMaxHooks;
    for (int i = count - 1; i >= 0; --i) {
        void (*hook)() = hooks[i].load();
        if (hook != nullptr) hook();
    }
    std::fflush(nullptr);
    exitProcessNow(exitCode);
}

}  // namespace orb
