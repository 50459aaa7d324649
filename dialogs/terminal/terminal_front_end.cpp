// runWithTerminalView: the terminal front-end of orb-upgrade for a Linux
// machine without a display. It puts the terminal into raw mode (or falls
// back to line mode), runs the program on a second thread and the view on
// this one, and gives the terminal back however the process ends: through
// endProcess from any thread (a process-end hook), a terminating signal, or a
// crash signal.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/process.h"
#include "platform/signals.h"
#include "dialogs/front_ends.h"
#include "dialogs/program_thread.h"
#include "dialogs/terminal/terminal_view.h"

namespace orb::dialogs {

namespace {

using terminal::TerminalMode;
using terminal::TerminalOptions;
using terminal::TerminalView;

termios savedMode{};
std::atomic<bool> modeSaved{false};
std::atomic<TerminalView*> activeView{nullptr};
std::atomic<bool> restored{false};

// Raw input (no line editing, no echo, no signals from keys: Ctrl-C comes as
// a key), output processing kept so that stray output still gets CR LF.
bool enterRawMode(int fd) {
    if (!modeSaved) return false;
    termios raw = savedMode;
    raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSAFLUSH, &raw) != 0) return false;
    termios check{};  // tcsetattr succeeds when any of the changes was made
    return tcgetattr(fd, &check) == 0 && (check.c_lflag & (ECHO | ICANON | ISIG)) == 0;
}

// Async-signal-safe: tcsetattr and write only.
void restoreModeOnly() {
    if (modeSaved) tcsetattr(STDIN_FILENO, TCSADRAIN, &savedMode);
}

// The process-end hook: the live region erased, the cursor shown, the mode
// back as it was.
void restoreTerminal() {
    if (restored.exchange(true)) return;
    if (TerminalView* view = activeView.load()) view->finish();
    restoreModeOnly();
}

struct SavedAction {
    int signal;
    struct sigaction action;
};
SavedAction savedActions[] = {{SIGTERM, {}}, {SIGHUP, {}}, {SIGQUIT, {}}, {SIGABRT, {}},
                              {SIGSEGV, {}}, {SIGBUS, {}}, {SIGFPE, {}},  {SIGILL, {}}};

// A signal that ends the process: the terminal back, then whatever was there
// before (the default action, or a sanitizer's handler) takes the signal.
void onFatalSignal(int signalNumber) {
    restoreModeOnly();
    static const char reset[] = "\x1b[0m\x1b[?25h\r\n";
    ssize_t ignored = ::write(STDOUT_FILENO, reset, sizeof reset - 1);
    (void)ignored;
    for (SavedAction& saved : savedActions) {
        if (saved.signal != signalNumber) continue;
        sigaction(signalNumber, &saved.action, nullptr);
    }
    bool fault = signalNumber == SIGSEGV || signalNumber == SIGBUS || signalNumber == SIGFPE || signalNumber == SIGILL;
    if (!fault) raise(signalNumber);  // a fault comes back by itself when the instruction runs again
}

void onInterrupt(int) {
    if (TerminalView* view = activeView.load()) view->signalInterrupt();
}
void onResize(int) {
    if (TerminalView* view = activeView.load()) view->signalResize();
}
void onContinue(int) {
    if (TerminalView* view = activeView.load()) view->signalContinue();
}

void installSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // An interrupt that the program was started with ignored (a shell's
    // background job) stays ignored, as the stop signals below do.
    struct sigaction interrupt {};
    sigaction(SIGINT, nullptr, &interrupt);
    action.sa_handler = onInterrupt;
    if (interrupt.sa_handler != SIG_IGN) sigaction(SIGINT, &action, nullptr);
    action.sa_handler = onResize;
    sigaction(SIGWINCH, &action, nullptr);
    action.sa_handler = onContinue;
    sigaction(SIGCONT, &action, nullptr);
    // A write to a connection that the adapter closed gives an error, as on
    // Windows, instead of ending the process without a word.
    ignoreBrokenPipes();
    for (SavedAction& saved : savedActions) {
        sigaction(saved.signal, nullptr, &saved.action);
        if (saved.action.sa_handler == SIG_IGN) continue;  // nohup and the like stay as they are
        action.sa_handler = onFatalSignal;
        action.sa_flags = SA_RESTART;
        sigaction(saved.signal, &action, nullptr);
    }
}

bool dumbTerminal() {
    const char* term = std::getenv("TERM");
    return term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0;
}

}  // namespace

void runWithTerminalView(const std::function<int()>& program) {
    TerminalOptions options;
    options.inputFd = STDIN_FILENO;
    options.outputFd = STDOUT_FILENO;
    if (tcgetattr(STDIN_FILENO, &savedMode) == 0) modeSaved = true;
    bool raw = !dumbTerminal() && enterRawMode(STDIN_FILENO);
    if (!raw) restoreModeOnly();  // a half-made change is undone
    options.mode = raw ? TerminalMode::Screen : TerminalMode::Lines;
    if (raw) options.onContinue = [] { enterRawMode(STDIN_FILENO); };

    // Never destroyed: the program's threads may notify it until _exit.
    auto* view = new TerminalView(options);
    activeView = view;
    addProcessEndHook(restoreTerminal);
    installSignalHandlers();
    installDialogView(view);
    if (!raw) {
        std::fputs(
            "orb-upgrade: line mode (this terminal offers no raw mode). Answer each prompt with a line:\n"
            "an empty line presses the button marked <...>, \"esc\" cancels, a number presses that button,\n"
            "a=TEXT fills field a. Ctrl-C cancels too.\n",
            stdout);
        std::fflush(stdout);
    }

    startProgramThread(program);
    view->run();
    // The input has ended (the terminal hung up, or Ctrl-D in line mode): no
    // one is left to answer the dialogs.
    restoreTerminal();
    std::fputs("orb-upgrade: the terminal's input has ended; stopping.\n", stderr);
    endProcess(1);
}

}  // namespace orb::dialogs
