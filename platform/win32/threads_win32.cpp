#include <windows.h>

#include <new>

#include "platform/threads.h"

namespace orb {

struct ThreadHandle {
    HANDLE thread;
    ThreadEntry entry;
    void* argument;
};

static DWORD WINAPI runThreadEntry(LPVOID raw) {
    auto* handle = static_cast<ThreadHandle*>(raw);
    return static_cast<DWORD>(handle->entry(handle->argument));
}

ThreadHandle* startThread(ThreadEntry entry, void* argument) {
    auto* handle = new (std::nothrow) ThreadHandle{nullptr, entry, argument};
    if (handle == nullptr) return nullptr;
    handle->thread = CreateThread(nullptr, 0, runThreadEntry, handle, 0, nullptr);
    if (handle->thread == nullptr) {
        delete handle;
        return nullptr;
    }
    return handle;
}

// The thread object is signalled when the thread has ended; its exit code
// cannot tell, since a result of 259 equals STILL_ACTIVE.
bool hasThreadFinished(ThreadHandle* thread) { return WaitForSingleObject(thread->thread, 0) == WAIT_OBJECT_0; }

int32_t readThreadResult(ThreadHandle* thread) {
    DWORD code = 0;
    GetExitCodeThread(thread->thread, &code);
    return static_cast<int32_t>(code);
}

void releaseThread(ThreadHandle* thread) {
    CloseHandle(thread->thread);
    delete thread;
}

void addForkHandlers(void (*)(), void (*)(), void (*)()) {}

}  // namespace orb
