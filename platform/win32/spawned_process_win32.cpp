#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/spawned_process.h"
#include "platform/win32/run_start_win32.h"
#include "platform/win32/stop_request_win32.h"

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
void appendQuoted(std::string* line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        *line += argument;
        return;
    }
    line->push_back('"');
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line->append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line->push_back(c);
    }
    line->append(backslashes * 2, '\\');
    line->push_back('"');
}

std::string nameOf(const std::string& entry) {
    // "=C:=C:\dir" entries keep their leading '='.
    size_t equals = entry.find('=', 1);
    std::string name = entry.substr(0, equals);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// This process's environment with `additions` replacing variables of the same
// name (Windows compares names without case), as a block for CreateProcess.
std::string environmentBlock(const std::vector<std::string>& additions) {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry != nullptr && *entry != '\0'; entry += std::strlen(entry) + 1) {
        bool replaced = false;
        for (const std::string& addition : additions) replaced = replaced || nameOf(addition) == nameOf(entry);
        if (!replaced) block.append(entry).push_back('\0');
    }
    if (strings != nullptr) FreeEnvironmentStringsA(strings);
    for (const std::string& addition : additions) block.append(addition).push_back('\0');
    block.push_back('\0');
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
    char path[MAX_PATH * 4] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length == 0 || length >= sizeof path ? std::string() : std::string(path, length);
}

bool startRun(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
              const std::vector<std::string>& environment, HANDLE input, SpawnedProcess* process) {
    // One run at a time: its pipe ends are inheritable only while it starts,
    // so that without the handle list no other run can take them along.
    static std::mutex spawning;
    std::lock_guard<std::mutex> one(spawning);
    process->shortOfResources = false;
    static unsigned serial = 0;
    std::string stopName = "orb-upgrade-stop-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, stopName.c_str());
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
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    HANDLE sharedInput = input == nullptr ? inheritableCopy(STD_INPUT_HANDLE) : nullptr;
    HANDLE error = inheritableCopy(STD_ERROR_HANDLE);

    std::string commandLine;
    appendQuoted(&commandLine, displayName);
    for (const std::string& arg : args) {
        commandLine.push_back(' ');
        appendQuoted(&commandLine, arg);
    }
    std::vector<std::string> additions = environment;
    additions.push_back(std::string(kStopEventVariable) + "=" + stopName);
    std::string block = environmentBlock(additions);

    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input != nullptr ? input : sharedInput;
    startup.StartupInfo.hStdOutput = writeEnd;
    startup.StartupInfo.hStdError = error;
    // Every other inheritable handle of this process (its own standard
    // streams when they are pipes, whatever a library made) stays out of the
    // run: a pipe end held there would keep that pipe from its end.
    InheritedHandles inherited({startup.StartupInfo.hStdInput, writeEnd, error});
    if (inherited.ready()) startup.lpAttributeList = inherited.list();
    PROCESS_INFORMATION started{};
    bool ok = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             inherited.ready() ? EXTENDED_STARTUPINFO_PRESENT : 0, block.data(), nullptr,
                             &startup.StartupInfo, &started);
    DWORD startError = ok ? 0 : GetLastError();
    CloseHandle(writeEnd);
    closeIfOpen(sharedInput);
    closeIfOpen(error);
    if (!ok) {
        process->shortOfResources = isShortOfResources(startError);
        CloseHandle(readEnd);
        CloseHandle(stopEvent);
        return false;
    }
    CloseHandle(started.hThread);

    auto pipe = std::make_shared<OutputPipe>();
    pipe->read = readEnd;
    int pipeId;
    {
        std::lock_guard<std::mutex> guard(lock);
        pipeId = nextPipeId++;
        pipes[pipeId] = pipe;
        children[static_cast<int>(started.dwProcessId)] = {started.hProcess, stopEvent};
    }
    HANDLE reader = CreateThread(nullptr, 64 * 1024, readPipe, new std::shared_ptr<OutputPipe>(pipe),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    {
        std::lock_guard<std::mutex> guard(lock);
        pipe->reader = reader;
        // Nothing would ever read the pipe: the run's output ends here.
        if (reader == nullptr) pipe->ended = true;
    }
    process->id = static_cast<int>(started.dwProcessId);
    process->outputFd = pipeId;
    return true;
}

bool spawnProcess(const std::string& program, const std::string& displayName, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment, SpawnedProcess* process) {
    return startRun(program, displayName, args, environment, nullptr, process);
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
    std::memcpy(buffer, pipe->buffered.data(), count);
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
