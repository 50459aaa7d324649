// The Windows console program's seam (platform/win32/): its runs with their
// output in pipes, their arguments and environment, more of them at once than
// one wait for handles can take, the stop requests that reach a run and end
// the runner's wait, a run's standard input in a pipe (spawnSelf), and the
// portable dialog manager's wake signal. The same
// program plays the runs: `console_seam_tests --child MODE ...`.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/self_spawn.h"
#include "platform/signals.h"
#include "platform/spawned_process.h"
#include "platform/standard_streams.h"
#include "platform/wake_signal.h"

namespace orb {
namespace {

// echo: each argument on a line of its own, then the variable ORB_SEAM_VALUE;
// exit 3. hold: "ready", then waits for a stop request; "stopped", exit 7.
// input: "got:BYTES" for each read of its standard input, "end" at its end;
// exit 5. input-once: the same for one read; exit 6.
int runChild(int argc, char** argv) {
    keepStandardOutputBytes();  // as a single-adapter run does
    std::string mode = argv[2];
    if (mode == "input" || mode == "input-once") {
        char bytes[64];
        long got;
        while ((got = readStandardInput(bytes, sizeof bytes)) > 0) {
            std::printf("got:%.*s\n", static_cast<int>(got), bytes);
            std::fflush(stdout);
            if (mode == "input-once") return 6;
        }
        std::printf("end\n");
        return 5;
    }
    if (mode == "secret") {
        std::string secret = takeRunSecret();
        int inEnvironment = 0;
        wchar_t* strings = GetEnvironmentStringsW();
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
            char narrow[4096] = {};
            WideCharToMultiByte(CP_UTF8, 0, entry, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
            inEnvironment += std::strstr(narrow, "cret-Zq") != nullptr ? 1 : 0;
        }
        FreeEnvironmentStringsW(strings);
        std::printf("secret:%s\nenv:%d\n", secret.c_str(), inEnvironment);
        return 4;
    }
    if (mode == "echo") {
        for (int i = 3; i < argc; ++i) std::printf("arg:%s\n", argv[i]);
        const char* value = std::getenv("ORB_SEAM_VALUE");
        std::printf("env:%s\n", value != nullptr ? value : "(none)");
        return 3;
    }
    catchStopSignals();
    std::printf("ready\n");
    std::fflush(stdout);
    waitForStopSignal();
    std::printf("stopped %d\n", static_cast<int>(takeStopSignal()));
    return 7;
}

// Everything the run writes until its output ends.
std::string readAll(SpawnedProcess* process) {
    std::string text;
    char buffer[256];
    long got;
    while ((got = readProcessOutput(*process, buffer, sizeof buffer)) != 0)
        if (got > 0) text.append(buffer, static_cast<size_t>(got));
    closeProcessOutput(process);
    return text;
}

// Reads until the output holds `wanted` (or ends).
bool readUntil(const SpawnedProcess& process, std::string* text, const std::string& wanted) {
    char buffer[256];
    while (text->find(wanted) == std::string::npos) {
        long got = readProcessOutput(process, buffer, sizeof buffer);
        if (got == 0) return false;
        if (got > 0) text->append(buffer, static_cast<size_t>(got));
    }
    return true;
}

// Arguments, then environment, as execve() and CreateProcess take them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
SpawnedProcess spawnChild(const std::vector<std::string>& args, const std::vector<std::string>& environment = {}) {
    SpawnedProcess process;
    std::vector<std::string> all = {"--child"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_TRUE(spawnProcess(ownProgramPath(), "console_seam_tests", all, environment, &process));
    return process;
}

TEST(ConsoleSeam, ArgumentsAndEnvironmentReachTheRunAsGiven) {
    SetEnvironmentVariableA("ORB_SEAM_VALUE", "this process's");
    const std::vector<std::string> arguments =
        {"plain", "with space", "quote\"inside", "back\\slash", "trail\\", "\\\\\"mixed\\\" end\\\\", "", "tab\there"};
    std::vector<std::string> args = {"echo"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    // Windows compares variable names without case: this one replaces it.
    SpawnedProcess child = spawnChild(args, {"orb_seam_value=the run's own"});
    std::string expected;
    for (const std::string& argument : arguments) expected += "arg:" + argument + "\n";
    expected += "env:the run's own\n";
    EXPECT_EQ(readAll(&child), expected);
    EXPECT_EQ(waitForProcess(child.id), 3);
}

// The ids of this process's threads.
std::set<DWORD> threadsOfThisProcess() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    CloseHandle(snapshot);
    return ids;
}

// The runner ends its process as soon as its last run's output is closed: no
// thread that read a run's output may still be on its way out then (Wine can
// leave the process hanging, killed without its exit status, when its end
// kills a thread that is ending by itself).
TEST(ConsoleSeam, NoReadingThreadOutlivesTheClosingOfARunsOutput) {
    const std::set<DWORD> before = threadsOfThisProcess();
    ASSERT_FALSE(before.empty());
    for (int round = 0; round < 20; ++round) {
        SpawnedProcess child = spawnChild({"echo"}, {"ORB_SEAM_VALUE=set"});
        EXPECT_EQ(readAll(&child), "env:set\n");
        std::set<DWORD> left = threadsOfThisProcess();
        for (DWORD id : before) left.erase(id);
        EXPECT_TRUE(left.empty()) << "round " << round << ": " << left.size() << " thread(s) still there";
        EXPECT_EQ(waitForProcess(child.id), 3);
    }
}

SpawnedProcess spawnSelfChild(const std::string& mode) {
    SpawnedProcess process;
    EXPECT_TRUE(spawnSelf({"--child", mode}, {}, nullptr, &process));
    return process;
}

// The port turns' answers: each byte reaches the run as it is written, and
// closing this end is the end of the run's input.
TEST(ConsoleSeam, BytesWrittenToARunsInputReachItAndClosingItEndsIt) {
    SpawnedProcess child = spawnSelfChild("input");
    std::string text;
    ASSERT_TRUE(writeProcessInput(child, "L", 1));
    ASSERT_TRUE(readUntil(child, &text, "got:L\n")) << text;
    ASSERT_TRUE(writeProcessInput(child, "HX", 2));
    ASSERT_TRUE(readUntil(child, &text, "got:HX\n")) << text;
    closeProcessInput(&child);
    EXPECT_EQ(child.inputFd, -1);
    text += readAll(&child);
    EXPECT_EQ(text, "got:L\ngot:HX\nend\n");
    EXPECT_EQ(waitForProcess(child.id), 5);
}

// The password reaches each run whole, through a pipe of its own, and is
// nowhere in its environment, where other programs could read it.
TEST(ConsoleSeam, ARunTakesItsSecretFromItsOwnPipeNotItsEnvironment) {
    setRunSecret(
        "s\xc3\xab"
        "cret-Zq");
    SpawnedProcess child = spawnSelfChild("secret");
    setRunSecret("");
    EXPECT_EQ(readAll(&child),
              "secret:s\xc3\xab"
              "cret-Zq\nenv:0\n");
    EXPECT_EQ(waitForProcess(child.id), 4);
    closeProcessInput(&child);
}

// The runner takes a turn back when the run it was for has gone: that needs
// the write to fail, so no end of the pipe but the run's may read it.
TEST(ConsoleSeam, AWriteToARunThatHasEndedFails) {
    SpawnedProcess child = spawnSelfChild("input-once");
    ASSERT_TRUE(writeProcessInput(child, "L", 1));
    EXPECT_EQ(readAll(&child), "got:L\n");
    EXPECT_EQ(waitForProcess(child.id), 6);
    EXPECT_FALSE(writeProcessInput(child, "H", 1));
    closeProcessInput(&child);
}

// A run inherits its own pipe ends and nothing else that this process may
// pass on: a pipe end it took along would keep that pipe from its end.
TEST(ConsoleSeam, ARunInheritsNoOtherInheritableHandle) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    SpawnedProcess child = spawnChild({"hold"});
    std::string text;
    ASSERT_TRUE(readUntil(child, &text, "ready\n"));
    CloseHandle(writeEnd);
    // The run is still running: only a copy of the write end there would
    // keep the pipe whole.
    DWORD available = 0;
    BOOL whole = PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr);
    DWORD error = GetLastError();
    EXPECT_FALSE(whole) << "the run holds this process's pipe";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
    CloseHandle(readEnd);
    signalProcess(child.id, false);
    readAll(&child);
    EXPECT_EQ(waitForProcess(child.id), 7);
}

TEST(ConsoleSeam, AStopRequestReachesTheRunWhichEndsByItself) {
    SpawnedProcess child = spawnChild({"hold"});
    std::string text;
    ASSERT_TRUE(readUntil(child, &text, "ready\n"));
    signalProcess(child.id, true);
    text += readAll(&child);
    EXPECT_EQ(text, "ready\nstopped " + std::to_string(static_cast<int>(StopSignal::Terminate)) + "\n");
    EXPECT_EQ(waitForProcess(child.id), 7);
}

// More runs than WaitForMultipleObjects takes handles (64): the wait for their
// output sees every one.
TEST(ConsoleSeam, TheWaitForOutputTakesMoreRunsThanAHandleWait) {
    constexpr int kRuns = 66;
    std::vector<SpawnedProcess> runs;
    for (int i = 0; i < kRuns; ++i) runs.push_back(spawnChild({"hold"}));
    std::vector<std::string> texts(kRuns);
    for (;;) {
        std::vector<int> pending;
        std::vector<const SpawnedProcess*> waiting;
        for (int i = 0; i < kRuns; ++i) {
            if (texts[i] == "ready\n") continue;
            pending.push_back(i);
            waiting.push_back(&runs[i]);
        }
        if (pending.empty()) break;
        std::vector<bool> ready;
        ASSERT_TRUE(waitForProcessOutput(waiting, &ready, 120000)) << pending.size() << " runs not ready";
        for (size_t k = 0; k < pending.size(); ++k) {
            if (!ready[k]) continue;
            char buffer[64];
            long got = readProcessOutput(runs[pending[k]], buffer, sizeof buffer);
            ASSERT_GT(got, 0) << "run " << pending[k] << " ended early";
            texts[pending[k]].append(buffer, static_cast<size_t>(got));
        }
    }
    for (SpawnedProcess& run : runs) signalProcess(run.id, false);
    for (SpawnedProcess& run : runs) {
        EXPECT_NE(readAll(&run).find("stopped"), std::string::npos);
        EXPECT_EQ(waitForProcess(run.id), 7);
    }
}

// The runner's own stop request (here its parent's event; Ctrl-C comes the
// same way) ends its wait for output at once, though no run has written.
TEST(ConsoleSeam, AStopRequestEndsTheWaitForOutput) {
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stop, nullptr);
    // As a run inherits it: its number in the environment.
    SetEnvironmentVariableA("ORB_STOP_HANDLE", std::to_string(reinterpret_cast<uintptr_t>(stop)).c_str());
    catchStopSignals();
    SpawnedProcess child = spawnChild({"hold"});
    std::string text;
    ASSERT_TRUE(readUntil(child, &text, "ready\n"));
    std::thread requester([stop] { SetEvent(stop); });
    std::vector<bool> ready;
    auto start = std::chrono::steady_clock::now();
    bool any = waitForProcessOutput({&child}, &ready, 120000);
    auto waited = std::chrono::steady_clock::now() - start;
    requester.join();
    EXPECT_FALSE(any);
    EXPECT_LT(waited, std::chrono::seconds(100)) << "the wait ran to its limit";
    EXPECT_EQ(takeStopSignal(), StopSignal::Terminate);
    signalProcess(child.id, false);
    readAll(&child);
    EXPECT_EQ(waitForProcess(child.id), 7);
    CloseHandle(stop);
}

TEST(ConsoleSeam, ARaisedWakeSignalEndsAWaitOnceAndStaysRaisedUntilThen) {
    WakeSignal* signal = createWakeSignal();
    ASSERT_NE(signal, nullptr);
    auto waitOnce = [signal] {
        auto start = std::chrono::steady_clock::now();
        waitForSocketOrSignal(kInvalidSocket, signal, 120000);
        return std::chrono::steady_clock::now() - start;
    };
    raiseWakeSignal(signal);
    raiseWakeSignal(signal);
    EXPECT_LT(waitOnce(), std::chrono::seconds(100)) << "raised before the wait";
    std::thread raiser([signal] { raiseWakeSignal(signal); });
    EXPECT_LT(waitOnce(), std::chrono::seconds(100)) << "raised from another thread";
    raiser.join();
    // Both raises were seen: nothing is left to end a short wait early.
    auto start = std::chrono::steady_clock::now();
    waitForSocketOrSignal(kInvalidSocket, signal, 50);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

}  // namespace
}  // namespace orb

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0) return orb::runChild(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
