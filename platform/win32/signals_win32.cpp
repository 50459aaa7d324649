#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "platform/process.h"
#include "platform/signals.h"
#include "platform/win32/stop_request_win32.h"

namespace orb {

// A console program's stop requests: Ctrl-C (as SIGINT), Ctrl-Break (as
// SIGTERM), the console window closed, the user logging off or the system
// shutting down (as SIGHUP), and the stop event of a run whose parent was
// asked to stop (spawned_process_win32.cpp).
namespace {

std::atomic<int> pendingSignal{static_cast<int>(StopSignal::None)};
HANDLE noted = nullptr;  // auto-reset: set with each request
// What asked for each kind of stop, the latest time: by StopSignal.
std::atomic<const char*> askedBy[4] = {"", "Ctrl-C", "Ctrl-Break", "console closed"};

void note(StopSignal signal, const char* name) {
    askedBy[static_cast<int>(signal)] = name;
    pendingSignal = static_cast<int>(signal);
    if (noted != nullptr) SetEvent(noted);
    wakeProcessOutputWait();
}

// The threads that the system made to deliver Ctrl-C and Ctrl-Break. The
// process waits for them before it ends: under Wine, a thread that the
// process's end kills while it is ending by itself can take the loader's lock
// with it, and the process then hangs until wineserver kills it (status 137).
constexpr int kMaxConsoleThreads = 8;
std::atomic<HANDLE> consoleThreads[kMaxConsoleThreads];
std::atomic<int> consoleThreadCount{0};

// No allocation, no lock: the hold runs before the C runtime has started.
void keepConsoleThread() {
    int slot = consoleThreadCount.fetch_add(1);
    if (slot >= kMaxConsoleThreads) return;
    HANDLE thread = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0))
        consoleThreads[slot] = thread;
}

// A process-end hook: the delivering threads end within moments of their
// handler's return; a bound keeps a stuck one from holding the end.
void waitForConsoleThreads() {
    for (std::atomic<HANDLE>& slot : consoleThreads)
        if (HANDLE thread = slot.load(); thread != nullptr && GetThreadId(thread) != GetCurrentThreadId())
            WaitForSingleObject(thread, 2000);
}

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
            keepConsoleThread();
            note(StopSignal::Interrupt, "Ctrl-C");
            return TRUE;
        case CTRL_BREAK_EVENT:
            keepConsoleThread();
            note(StopSignal::Terminate, "Ctrl-Break");
            return TRUE;
        default:
            // The console is going away: Windows ends the process when this
            // returns (or 5 s after the close), so the runs get that long to
            // cancel and report; the process ends by itself before.
            note(StopSignal::HangUp, type == CTRL_LOGOFF_EVENT     ? "logoff"
                                     : type == CTRL_SHUTDOWN_EVENT ? "shutdown"
                                                                   : "console closed");
            Sleep(INFINITE);
            return TRUE;
    }
}

DWORD WINAPI waitForParentStop(void* event) {
    // A number that names no event fails the wait at once: no stop then.
    if (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0)
        note(StopSignal::Terminate, "stop request");
    return 0;
}

// The first console event that came before catchStopSignals, plus one (0:
// none yet; CTRL_C_EVENT is 0).
std::atomic<DWORD> heldEvent{0};

// Before the C runtime has started: no allocation, no lock, only a note.
BOOL WINAPI holdConsoleControl(DWORD type) {
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) keepConsoleThread();
    DWORD none = 0;
    heldEvent.compare_exchange_strong(none, type + 1);
    return TRUE;
}

}  // namespace

void holdStopSignalsUntilCaught() { SetConsoleCtrlHandler(holdConsoleControl, TRUE); }

void catchStopSignals() {
    static bool caught = false;
    if (caught) return;
    caught = true;
    noted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    addProcessEndHook(waitForConsoleThreads);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // Ctrl-C in the program's first moments asks for the same as later.
    if (DWORD held = heldEvent.load(); held != 0) {
        DWORD type = held - 1;
        if (type == CTRL_C_EVENT)
            note(StopSignal::Interrupt, "Ctrl-C");
        else if (type == CTRL_BREAK_EVENT)
            note(StopSignal::Terminate, "Ctrl-Break");
        else
            note(StopSignal::HangUp, "console closed");
    }
    if (HANDLE event = takeInheritedHandle(kStopEventVariable); event != nullptr)
        CloseHandle(
            CreateThread(nullptr, 64 * 1024, waitForParentStop, event, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

HANDLE takeInheritedHandle(const char* variable) {
    char text[32] = {};
    DWORD length = GetEnvironmentVariableA(variable, text, sizeof text);
    if (length == 0 || length >= sizeof text) return nullptr;
    SetEnvironmentVariableA(variable, nullptr);
    char* end = nullptr;
    unsigned long long number = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || number == 0) return nullptr;
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(number));
}

StopSignal takeStopSignal() {
    return static_cast<StopSignal>(pendingSignal.exchange(static_cast<int>(StopSignal::None)));
}

void waitForStopSignal() {
    while (pendingSignal.load() == static_cast<int>(StopSignal::None)) {
        if (noted == nullptr) return;  // no event: nothing could ever wake this wait
        WaitForSingleObject(noted, INFINITE);
    }
}

const char* describeStopSignal(StopSignal signal) { return askedBy[static_cast<int>(signal)].load(); }

// A write to a closed pipe fails with an error on Windows: nothing to change.
void ignoreBrokenPipes() {}

}  // namespace orb
