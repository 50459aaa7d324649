#include <pthread.h>

#include <atomic>
#include <new>

#include "platform/threads.h"

namespace orb {

struct ThreadHandle {
    pthread_t thread;
    ThreadEntry entry;
    void* argument;
    std::atomic<int32_t> result{0};
    std::atomic<bool> finished{false};
};

static void* runThreadEntry(void* raw) {
    auto* handle = static_cast<ThreadHandle*>(raw);
    handle->result.store(handle->entry(handle->argument));
    handle->finished.store(true, std::memory_order_release);
    return nullptr;
}

ThreadHandle* startThread(ThreadEntry entry, void* argument) {
    auto* handle = new (std::nothrow) ThreadHandle;
    if (handle == nullptr) return nullptr;
    handle->entry = entry;
    handle->argument = argument;
    if (pthread_create(&handle->thread, nullptr, runThreadEntry, handle) != 0) {
        delete handle;
        return nullptr;
    }
    return handle;
}

bool hasThreadFinished(ThreadHandle* thread) { return thread->finished.load(std::memory_order_acquire); }

int32_t readThreadResult(ThreadHandle* thread) { return thread->result.load(); }

void releaseThread(ThreadHandle* thread) {
    pthread_join(thread->thread, nullptr);
    delete thread;
}

void addForkHandlers(void (*prepare)(), void (*parent)(), void (*child)()) { pthread_atfork(prepare, parent, child); }

}  // namespace orb
