#include "tests/dialogs/terminal/tmux_session.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace orb::test {

namespace {

// Runs a program with these arguments; its exit status (-1 when it could not
// run), standard output into *output.
//
// Without `output`, standard output goes to /dev/null: a command that starts
// the tmux server must not hand it the pipe, which would then never end.
int runProgram(const std::vector<std::string>& argv, std::string* output) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (spawned == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool TmuxSession::available() { return runProgram({"tmux", "-V"}, nullptr) == 0; }

TmuxSession::~TmuxSession() {
    if (started_) tmux({"kill-server"});
    if (!socket_.empty()) unlink(socket_.c_str());
    if (!directory_.empty()) rmdir(directory_.c_str());
}

int TmuxSession::tmux(const std::vector<std::string>& arguments, std::string* output) {
    // -u: UTF-8 in and out (send-keys, capture-pane) whatever the test's locale.
    std::vector<std::string> argv = {"tmux", "-u", "-S", socket_, "-f", "/dev/null"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram(argv, output);
}

bool TmuxSession::start(int width, int height) {
    char pattern[] = "/tmp/orb-terminal-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    directory_ = pattern;
    socket_ = directory_ + "/tmux.sock";
    std::string shell = "env -u DISPLAY -u WAYLAND_DISPLAY -u LC_ALL LANG=C.UTF-8 TERM=xterm PS1='$ ' ENV= sh";
    if (tmux({"new-session", "-d", "-s", "orb", "-x", std::to_string(width), "-y", std::to_string(height), shell}) != 0)
        return false;
    started_ = true;
    // A window as large as asked, whatever size a client would like.
    tmux({"set-option", "-t", "orb", "window-size", "manual"});
    tmux({"resize-window", "-t", "orb", "-x", std::to_string(width), "-y", std::to_string(height)});
    return waitForText("$", 5000);
}

bool TmuxSession::type(const std::string& text) { return tmux({"send-keys", "-t", "orb", "-l", text}) == 0; }

bool TmuxSession::press(const std::vector<std::string>& keys) {
    std::vector<std::string> arguments = {"send-keys", "-t", "orb"};
    arguments.insert(arguments.end(), keys.begin(), keys.end());
    return tmux(arguments) == 0;
}

std::string TmuxSession::history() {
    std::string output;
    tmux({"capture-pane", "-p", "-S", "-", "-t", "orb"}, &output);
    return output;
}

std::string TmuxSession::screen() {
    std::string output;
    tmux({"capture-pane", "-p", "-t", "orb"}, &output);
    // Trailing spaces of each row, and the empty rows at the bottom.
    std::string out;
    size_t at = 0;
    while (at < output.size()) {
        size_t end = output.find('\n', at);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(at, end - at);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
        at = end + 1;
    }
    while (out.size() >= 2 && out[out.size() - 1] == '\n' && out[out.size() - 2] == '\n') out.pop_back();
    lastScreen_ = out;
    return out;
}

void TmuxSession::clearScreen() {
    tmux({"send-keys", "-R", "-t", "orb"});
    tmux({"clear-history", "-t", "orb"});
    waitForScreen([](const std::string& s) { return s.find("EXIT=") == std::string::npos; }, 2000);
}

std::string TmuxSession::panePid() {
    std::string output;
    tmux({"display-message", "-p", "-t", "orb", "#{pane_pid}"}, &output);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) output.pop_back();
    return output;
}

bool TmuxSession::waitForScreen(const std::function<bool(const std::string&)>& condition, int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition(screen())) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool TmuxSession::waitForText(const std::string& needle, int timeoutMs) {
    return waitForScreen([&](const std::string& s) { return s.find(needle) != std::string::npos; }, timeoutMs);
}

}  // namespace orb::test
