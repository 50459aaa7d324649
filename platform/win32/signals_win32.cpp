#include <windows.h>

#include <atomic>
#include <cstdlib>

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

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT: note(StopSignal::Interrupt, "Ctrl-C"); return TRUE;
        case CTRL_BREAK_EVENT: note(StopSignal::Terminate, "Ctrl-Break"); return TRUE;
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

// The console's event that came before catchStopSignals (0: none).
std::atomic<DWORD> heldEvent{0};
std::atomic<bool> heldAny{false};

// Before the C runtime has started: no allocation, no lock, only a note.
BOOL WINAPI holdConsoleControl(DWORD type) {
    if (!heldAny.exchange(true)) heldEvent = type;
    return TRUE;
}

}  // namespace

void holdStopSignalsUntilCaught() { SetConsoleCtrlHandler(holdConsoleControl, TRUE); }

void catchStopSignals() {
    static bool caught = false;
    if (caught) return;
    caught = true;
    noted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // Ctrl-C in the program's first moments asks for the same as later.
    if (heldAny.load()) {
        DWORD type = heldEvent.load();
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
