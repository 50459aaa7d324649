#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/spawned_process.h"
#include "platform/win32/run_start_win32.h"
#include "platform/win32/stop_request_win32.h"
#include "platform/win32/utf16_win32.h"

namespace orb {

// A run's standard output is an anonymous pipe, which WaitForMultipleObjects
// cannot wait for (and which would cap a wait at 64 handles): a thread per
// run reads its pipe into a buffer, and the runner waits on one condition for
// any of them, however many there are.
namespace {

struct OutputPipe {
    HANDLE read = nullptr;
    HANDLE reader = nullptr;  // the thread that reads it
    std::string buffered;
    bool ended = false;
};

struct Child {
    HANDLE process = nullptr;
    HANDLE stopEvent = nullptr;
};

std::mutex lock;
std::condition_variable changed;
bool stopWake = false;
int nextPipeId = 0;
std::map<int, std::shared_ptr<OutputPipe>> pipes;  // by SpawnedProcess::outputFd
std::map<int, Child> children;                     // by process id

DWORD WINAPI readPipe(void* context) {
    auto* held = static_cast<std::shared_ptr<OutputPipe>*>(context);
    std::shared_ptr<OutputPipe> pipe = *held;
    delete held;
    char bytes[4096];
    for (;;) {
        DWORD got = 0;
        bool ok = ReadFile(pipe->read, bytes, sizeof bytes, &got, nullptr) && got > 0;
        std::lock_guard<std::mutex> guard(lock);
        if (ok) {
            pipe->buffered.append(bytes, got);
        } else {
            pipe->ended = true;
        }
        changed.notify_all();
        if (!ok) break;
    }
    CloseHandle(pipe->read);
    return 0;
}

// The quoting that the C runtime's argument parser undoes: backslashes
// doubled only before a quote.
void appendQuoted(std::wstring* line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        *line += argument;
        return;
    }
    line->push_back(L'"');
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line->push_back(c);
    }
    line->append(backslashes * 2, L'\\');
    line->push_back(L'"');
}

std::wstring nameOf(const std::wstring& entry) {
    // "=C:=C:\dir" entries keep their leading '='.
    size_t equals = entry.find(L'=', 1);
    std::wstring name = entry.substr(0, equals);
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    return name;
}

// This process's environment with `additions` replacing variables of the same
// name (Windows compares names without case), as a wide block for
// CreateProcessW: a value with any letters reaches the run whole.
std::wstring environmentBlock(const std::vector<std::string>& additions) {
    std::vector<std::wstring> added;
    for (const std::string& addition : additions) added.push_back(toUtf16(addition));
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        bool replaced = false;
        for (const std::wstring& addition : added) replaced = replaced || nameOf(addition) == nameOf(entry);
        if (!replaced) block.append(entry).push_back(L'\0');
    }
    if (strings != nullptr) FreeEnvironmentStringsW(strings);
    for (const std::wstring& addition : added) block.append(addition).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// An inheritable copy of a standard handle of this process, or nullptr.
HANDLE inheritableCopy(DWORD which) {
    HANDLE original = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (original == nullptr || original == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

// A handle's number as the run reads it back (takeInheritedHandle).
std::string formatHandle(HANDLE handle) { return std::to_string(reinterpret_cast<uintptr_t>(handle)); }

void closeIfOpen(HANDLE handle) {
    if (handle != nullptr) CloseHandle(handle);
}

// The attribute that limits what a new process inherits to the given handles
// (each once; none of them nullptr). Not ready when it cannot be made: the
// run then inherits every inheritable handle, as before Windows Vista.
class InheritedHandles {
public:
    explicit InheritedHandles(std::initializer_list<HANDLE> given) {
        for (HANDLE handle : given)
            if (handle != nullptr && std::find(handles_.begin(), handles_.end(), handle) == handles_.end())
                handles_.push_back(handle);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
        initialized_ = true;
        ready_ =
            !handles_.empty() && UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                                           handles_.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~InheritedHandles() {
        if (initialized_) DeleteProcThreadAttributeList(list());
    }
    InheritedHandles(const InheritedHandles&) = delete;
    InheritedHandles& operator=(const InheritedHandles&) = delete;

    bool ready() const { return ready_; }
    LPPROC_THREAD_ATTRIBUTE_LIST list() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data()); }

private:
    std::vector<HANDLE> handles_;
    std::vector<char> storage_;
    bool initialized_ = false;
    bool ready_ = false;
};

}  // namespace

bool isShortOfResources(DWORD error) {
    switch (error) {
        case ERROR_TOO_MANY_OPEN_FILES:
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
        case ERROR_NO_SYSTEM_RESOURCES:
        case ERROR_NONPAGED_SYSTEM_RESOURCES:
        case ERROR_PAGED_SYSTEM_RESOURCES:
        case ERROR_COMMITMENT_LIMIT:
        case ERROR_NOT_ENOUGH_QUOTA: return true;
        default: return false;
    }
}

std::string ownProgramPath() {
    // Wide, so that a folder with any letters is found again.
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return length == 0 || length >= path.size() ? std::string() : toUtf8(path.data(), length);
}

namespace {

// The job of every run: when this process ends, however it ends (killed
// too), Windows ends whatever of its runs is left. Nullptr when no job can
// be made; the runs then only have their pipes to tell them.
HANDLE runsJob() {
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        if (made == nullptr) return made;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            return HANDLE{nullptr};
        }
        return made;
    }();
    return job;
}

// The thread that reads the pipe, holding it; null (GetLastError says why)
// when it could not start.
HANDLE startReader(const std::shared_ptr<OutputPipe>& pipe) {
    auto* held = new std::shared_ptr<OutputPipe>(pipe);
    HANDLE reader = CreateThread(nullptr, 64 * 1024, readPipe, held, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (reader == nullptr) {
        DWORD error = GetLastError();
        delete held;
        SetLastError(error);
    }
    return reader;
}

// The command line of a run: its name, then its arguments, each quoted as
// the run's C runtime reads them back.
std::wstring commandLineOf(const std::string& displayName, const std::vector<std::string>& args) {
    std::wstring commandLine;
    appendQuoted(&commandLine, toUtf16(displayName));
    for (const std::string& arg : args) {
        commandLine.push_back(L' ');
        appendQuoted(&commandLine, toUtf16(arg));
    }
    return commandLine;
}

// Keeps a started run's output pipe and process; the pipe's number.
int addRun(const std::shared_ptr<OutputPipe>& pipe, Child child, int processId) {
    std::lock_guard<std::mutex> guard(lock);
    int pipeId = nextPipeId++;
    pipes[pipeId] = pipe;
    children[processId] = child;
    return pipeId;
}

}  // namespace

// spawnProcess's parameters (a program, the name it shows, then what becomes
// CreateProcess's command line and environment), then the two pipe ends the
// run inherits: its standard input and the secret's.
// NOLINTBEGIN(bugprone-easily-swappable-parameters)
bool startRun(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, HANDLE input, HANDLE secret, SpawnedProcess* process) {
    // One run at a time: its pipe ends are inheritable only while it starts,
    // so that without the handle list no other run can take them along.
    static std::mutex spawning;
    std::lock_guard<std::mutex> one(spawning);
    process->shortOfResources = false;
    // No name: no other program can open it, make it first or set it. The run
    // inherits it, and learns its number from its environment.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE stopEvent = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
    if (stopEvent == nullptr) {
        process->shortOfResources = isShortOfResources(GetLastError());
        return false;
    }

    SECURITY_ATTRIBUTES plain{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &plain, 0)) {
        process->shortOfResources = isShortOfResources(GetLastError());
        CloseHandle(stopEvent);
        return false;
    }
    // The thread that reads the run's output comes first: a run whose output
    // nobody read would block on it for ever, and its batch with it.
    auto pipe = std::make_shared<OutputPipe>(OutputPipe{readEnd, nullptr, {}, false});
    HANDLE reader = startReader(pipe);
    if (reader == nullptr) {
        process->shortOfResources = isShortOfResources(GetLastError());
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        CloseHandle(stopEvent);
        return false;
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    HANDLE sharedInput = input == nullptr ? inheritableCopy(STD_INPUT_HANDLE) : nullptr;
    HANDLE error = inheritableCopy(STD_ERROR_HANDLE);

    std::wstring commandLine = commandLineOf(displayName, args);
    std::vector<std::string> additions = environment;
    additions.push_back(std::string(kStopEventVariable) + "=" + formatHandle(stopEvent));
    if (secret != nullptr) additions.push_back(std::string(kSecretVariable) + "=" + formatHandle(secret));
    std::wstring block = environmentBlock(additions);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input != nullptr ? input : sharedInput;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = error;
    // Every other inheritable handle of this process (its own standard
    // streams when they are pipes, whatever a library made) stays out of the
    // run: a pipe end held there would keep that pipe from its end.
    InheritedHandles inherited({startup.StartupInfo.hStdInput, writeEnd, error, stopEvent, secret});
    if (inherited.ready()) startup.lpAttributeList = inherited.list();
    PROCESS_INFORMATION started{};
    // No console of its own (a scheduled task would show one window a run);
    // suspended until it is in the job, so that no part of it runs outside.
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | CREATE_SUSPENDED |
                  (inherited.ready() ? EXTENDED_STARTUPINFO_PRESENT : 0);
    bool ok = CreateProcessW(toUtf16(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, block.data(),
                             nullptr, &startup.StartupInfo, &started);
    DWORD startError = ok ? 0 : GetLastError();
    CloseHandle(writeEnd);  // the reader sees the end once the run's copy goes too
    closeIfOpen(sharedInput);
    closeIfOpen(error);
    if (!ok) {
        process->shortOfResources = isShortOfResources(startError);
        WaitForSingleObject(reader, INFINITE);
        CloseHandle(reader);
        CloseHandle(stopEvent);
        return false;
    }
    if (HANDLE job = runsJob(); job != nullptr) AssignProcessToJobObject(job, started.hProcess);
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);

    pipe->reader = reader;
    process->id = static_cast<int>(started.dwProcessId);
    process->outputFd = addRun(pipe, Child{started.hProcess, stopEvent}, process->id);
    return true;
}
// NOLINTEND(bugprone-easily-swappable-parameters)

bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process) {
    return startRun(program, displayName, args, environment, nullptr, nullptr, process);
}

bool startDetachedProcess(const std::string& program) {
    std::wstring path = toUtf16(program);
    std::wstring commandLine;
    appendQuoted(&commandLine, path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

int waitForProcess(int id) {
    Child child;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = children.find(id);
        if (found == children.end()) return -1;
        child = found->second;
        children.erase(found);
    }
    DWORD status = static_cast<DWORD>(-1);
    WaitForSingleObject(child.process, INFINITE);
    GetExitCodeProcess(child.process, &status);
    CloseHandle(child.process);
    CloseHandle(child.stopEvent);
    return static_cast<int>(status);
}

// A run has no signals: its stop event asks it to stop, however it was asked.
void signalProcess(int id, bool) {
    std::lock_guard<std::mutex> guard(lock);
    auto found = children.find(id);
    if (found != children.end()) SetEvent(found->second.stopEvent);
}

void wakeProcessOutputWait() {
    std::lock_guard<std::mutex> guard(lock);
    stopWake = true;
    changed.notify_all();
}

bool waitForProcessOutput(const std::vector<const SpawnedProcess*>& processes, std::vector<bool>* ready,
                          int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock);
    auto anyReady = [&] {
        bool any = false;
        for (size_t i = 0; i < processes.size(); ++i) {
            auto found = pipes.find(processes[i]->outputFd);
            (*ready)[i] = found == pipes.end() || found->second->ended || !found->second->buffered.empty();
            any = any || (*ready)[i];
        }
        return any;
    };
    ready->assign(processes.size(), false);
    auto done = [&] { return anyReady() || stopWake; };
    if (timeoutMs < 0)
        changed.wait(guard, done);
    else
        changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), done);
    stopWake = false;
    return anyReady();
}

long readProcessOutput(const SpawnedProcess& process, char* buffer, size_t size) {
    std::unique_lock<std::mutex> guard(lock);
    auto found = pipes.find(process.outputFd);
    if (found == pipes.end()) return 0;
    std::shared_ptr<OutputPipe> pipe = found->second;
    changed.wait(guard, [&] { return pipe->ended || !pipe->buffered.empty(); });
    size_t count = std::min(size, pipe->buffered.size());
    std::copy_n(pipe->buffered.data(), count, buffer);
    pipe->buffered.erase(0, count);
    return static_cast<long>(count);
}

// The reading thread closes the pipe once the run's output has ended. Once it
// has, it is waited for here, so that no thread of this process is still on
// its way out when the runner ends the process: under Wine a thread that the
// process's end kills while it ends by itself can die holding the loader's
// lock, and the process then hangs until it is killed, losing its exit status.
void closeProcessOutput(SpawnedProcess* process) {
    HANDLE reader = nullptr;
    bool ended = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto found = pipes.find(process->outputFd);
        if (found != pipes.end()) {
            reader = found->second->reader;
            ended = found->second->ended;
            pipes.erase(found);
        }
        process->outputFd = -1;
    }
    if (reader == nullptr) return;
    if (ended) WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
}

}  // namespace orb
