#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/self_spawn.h"
#include "platform/win32/run_start_win32.h"
#include "platform/win32/stop_request_win32.h"

namespace orb {

// A run's standard input: this process writes the anonymous pipe's other end,
// which only this process holds (never inherited by a run).
namespace {

std::mutex lock;
int nextInputId = 0;
std::map<int, HANDLE> inputs;  // by SpawnedProcess::inputFd
std::atomic<void (*)()> inputEndHandler{nullptr};

std::string runSecret;  // what each new run gets (setRunSecret)

// A pipe that holds the secret and is at its end: the run reads it whole.
// Only the read end is inheritable, and only the run gets it (startRun).
HANDLE secretPipe() {
    if (runSecret.empty()) return nullptr;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return nullptr;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    DWORD written = 0;
    // At most 126 bytes: the pipe's buffer takes them without a reader.
    bool whole = WriteFile(writeEnd, runSecret.data(), static_cast<DWORD>(runSecret.size()), &written, nullptr) &&
                 written == runSecret.size();
    CloseHandle(writeEnd);
    if (!whole) {
        CloseHandle(readEnd);
        return nullptr;
    }
    return readEnd;
}

HANDLE inputOf(const SpawnedProcess& process) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = inputs.find(process.inputFd);
    return found == inputs.end() ? nullptr : found->second;
}

}  // namespace

// Windows has no fork: the program's own file starts again, and its main
// reaches the same entry through the arguments.
bool spawnSelf(const std::vector<std::string>& args, const std::vector<std::string>& environment, SelfEntry,
               SpawnedProcess* process) {
    process->shortOfResources = false;
    std::string program = ownProgramPath();
    if (program.empty()) return false;
    SECURITY_ATTRIBUTES plain{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &plain, 0)) {
        process->shortOfResources = isShortOfResources(GetLastError());
        return false;
    }
    // Only the run's end may be inherited, and only by the run (startRun).
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    HANDLE secret = secretPipe();
    if (secret == nullptr && !runSecret.empty()) {
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return false;
    }
    bool started = startRun(program, program, args, environment, readEnd, secret, process);
    // The run holds its own copy: this one would keep the pipe from breaking
    // when the run ends, and the runner's writes from failing then.
    CloseHandle(readEnd);
    if (secret != nullptr) CloseHandle(secret);
    if (!started) {
        CloseHandle(writeEnd);
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    process->inputFd = nextInputId++;
    inputs[process->inputFd] = writeEnd;
    return true;
}

void setRunSecret(const std::string& secret) { runSecret = secret; }

std::string takeRunSecret() {
    HANDLE pipe = takeInheritedHandle(kSecretVariable);
    if (pipe == nullptr) return {};
    std::string secret;
    char bytes[256];
    DWORD got = 0;
    while (ReadFile(pipe, bytes, sizeof bytes, &got, nullptr) && got > 0) secret.append(bytes, got);
    CloseHandle(pipe);
    return secret;
}

bool writeProcessInput(const SpawnedProcess& process, const char* bytes, size_t size) {
    HANDLE input = inputOf(process);
    if (input == nullptr) return false;
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(input, bytes, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

void closeProcessInput(SpawnedProcess* process) {
    HANDLE input = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = inputs.find(process->inputFd);
        if (found != inputs.end()) {
            input = found->second;
            inputs.erase(found);
        }
    }
    if (input != nullptr) CloseHandle(input);
    process->inputFd = -1;
}

// ReadFile, not the C runtime's read: no text-mode translation, and it reads
// an anonymous pipe as it comes. A broken pipe (the writer closed its end or
// ended) is the end.
long readStandardInput(char* buffer, size_t size) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD got = 0;
    bool read = input != nullptr && input != INVALID_HANDLE_VALUE &&
                ReadFile(input, buffer, static_cast<DWORD>(size), &got, nullptr);
    if (read && got > 0) return static_cast<long>(got);
    if (void (*handler)() = inputEndHandler.exchange(nullptr)) handler();
    return 0;
}

void setStandardInputEndHandler(void (*handler)()) { inputEndHandler = handler; }

}  // namespace orb
