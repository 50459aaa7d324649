#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/posix/stop_signal_wake.h"
#include "platform/signals.h"

namespace orb {

namespace {

std::atomic<int> pendingSignal{0};
int wakeFds[2] = {-1, -1};
pid_t wakeOwner = 0;  // the process that made the pipe: a forked child makes its own

// Async-signal-safe: an atomic store and a write.
void onStopSignal(int signalNumber) {
    pendingSignal = signalNumber;
    char byte = 1;
    ssize_t ignored = ::write(wakeFds[1], &byte, 1);
    (void)ignored;
}

// A signal that the program was started with ignored (nohup, a shell's
// background job) stays ignored: whoever ignored it wants the program to
// outlive it.
void catchUnlessIgnored(int signalNumber, const struct sigaction& action) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

// Nothing to hold: a POSIX signal's default ends the process with that signal,
// never with status 0.
void holdStopSignalsUntilCaught() {}

void catchStopSignals() {
    // A pipe inherited through fork is shared with the parent, which would
    // drain this process's wake-ups.
    if (wakeFds[0] >= 0 && wakeOwner != ::getpid()) {
        ::close(wakeFds[0]);
        ::close(wakeFds[1]);
        wakeFds[0] = wakeFds[1] = -1;
    }
    if (wakeFds[0] < 0 && ::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) wakeFds[0] = wakeFds[1] = -1;
    wakeOwner = ::getpid();
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    action.sa_handler = onStopSignal;
    catchUnlessIgnored(SIGINT, action);
    catchUnlessIgnored(SIGTERM, action);
    catchUnlessIgnored(SIGHUP, action);
}

StopSignal takeStopSignal() {
    switch (pendingSignal.exchange(0)) {
        case 0: return StopSignal::None;
        case SIGINT: return StopSignal::Interrupt;
        case SIGHUP: return StopSignal::HangUp;
        default: return StopSignal::Terminate;
    }
}

const char* describeStopSignal(StopSignal signal) {
    switch (signal) {
        case StopSignal::Interrupt: return "SIGINT";
        case StopSignal::HangUp: return "SIGHUP";
        default: return "SIGTERM";
    }
}

void ignoreBrokenPipes() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
}

void waitForStopSignal() {
    for (;;) {
        if (pendingSignal.load() != 0) return;
        pollfd entry{wakeFds[0], POLLIN, 0};
        if (wakeFds[0] < 0) return;  // no pipe: nothing could ever wake this wait
        if (::poll(&entry, 1, -1) > 0) drainStopSignalWake();
    }
}

int stopSignalWakeFd() { return wakeFds[0]; }

void forgetStopSignalWake() {
    int read = wakeFds[0], write = wakeFds[1];
    wakeFds[0] = wakeFds[1] = -1;
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
}

void drainStopSignalWake() {
    char drain[64];
    while (wakeFds[0] >= 0 && ::read(wakeFds[0], drain, sizeof drain) > 0) {}
}

}  // namespace orb
