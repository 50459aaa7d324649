// A real terminal for tests: a tmux server of the test's own (its own socket,
// no configuration file) with one window of a given size, keys sent as a
// person types them, and the screen read back as text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orb::test {

class TmuxSession {
public:
    // True when the tmux program can be run.
    static bool available();

    TmuxSession() = default;
    ~TmuxSession();  // ends the tmux server, and with it what runs in it
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    // Starts a shell (sh, prompt "$ ") in a window of width x height, without
    // DISPLAY or WAYLAND_DISPLAY and with TERM=xterm and LANG=C.UTF-8. False on
    // failure.
    bool start(int width = 80, int height = 24);
    // Types the text as it is (no key names), and presses named keys
    // ("Enter", "Tab", "Right", "Escape", "C-c").
    bool type(const std::string& text);
    bool press(const std::vector<std::string>& keys);
    // Resets the terminal (an empty screen) and forgets its history.
    void clearScreen();
    // The visible screen, one line per row, trailing spaces removed.
    std::string screen();
    // The scrollback and the screen, as tmux keeps them.
    std::string history();
    // Polls the screen until `condition` holds for it; false after timeoutMs.
    bool waitForScreen(const std::function<bool(const std::string&)>& condition, int timeoutMs);
    bool waitForText(const std::string& needle, int timeoutMs);
    // The pid of the shell in the window.
    std::string panePid();
    // The last screen read, for failure messages.
    const std::string& lastScreen() const { return lastScreen_; }

private:
    int tmux(const std::vector<std::string>& arguments, std::string* output = nullptr);

    std::string directory_;
    std::string socket_;
    bool started_ = false;
    std::string lastScreen_;
};

}  // namespace orb::test
