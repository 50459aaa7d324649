#include <windows.h>

#include "platform/process.h"
#include "platform/system_calls.h"

namespace orb {

void exitProcessNow(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

void waitUntilProcessEnds() {
    for (;;) Sleep(10);
}

void disableCrashDialogs() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Windows Error Reporting's own dialog (Vista on): asked for by name, so
    // that a system without it still starts the program.
    using SetFlags = HRESULT(WINAPI*)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll"); kernel != nullptr)
        if (auto setFlags = reinterpret_cast<SetFlags>(reinterpret_cast<void*>(GetProcAddress(kernel, "WerSetFlags"))))
            setFlags(4);  // WER_FAULT_REPORTING_NO_UI
}

uint32_t currentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

}  // namespace orb
