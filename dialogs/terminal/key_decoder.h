// Turns the bytes that a terminal in raw mode sends into keys: characters
// (UTF-8), control keys, and the VT100/xterm escape sequences of the cursor
// keys. A lone Escape is told apart from the start of a sequence by time: an
// ESC that nothing follows within the escape time-out is the Escape key. A
// UTF-8 character that has come in part waits for its rest the same way; a
// byte that is not UTF-8 (a Latin-1 terminal) is the Latin-1 character of
// that byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orb::dialogs::terminal {

enum class KeyCode {
    Char,   // a character to type: its code point in Key::ch
    Enter,  // CR or LF
    Escape,
    Tab,
    BackTab,  // Shift-Tab: ESC [ Z
    Up,
    Down,
    Right,
    Left,
    Home,
    End,
    Delete,
    Backspace,  // DEL (0x7f) or Ctrl-H
    CtrlC,
    CtrlU,    // clear the field
    CtrlL,    // draw everything again
    Unknown,  // a sequence or control byte without a meaning here
};

struct Key {
    KeyCode code = KeyCode::Unknown;
    char32_t ch = 0;
    bool operator==(const Key& other) const { return code == other.code && ch == other.ch; }
};

// Readable name of a key, for tests and traces: "Enter", "Char(a)", "Char(é)"
// (UTF-8).
std::string keyName(const Key& key);

class KeyDecoder {
public:
    static constexpr int kDefaultEscapeTimeoutMs = 50;
    explicit KeyDecoder(int escapeTimeoutMs = kDefaultEscapeTimeoutMs) : escapeTimeoutMs_(escapeTimeoutMs) {}

    // Decodes what can be decoded now; an unfinished escape sequence or UTF-8
    // character waits for more bytes or for its time-out.
    void feed(const char* data, size_t size, int64_t nowMs, std::vector<Key>* keys);
    // Milliseconds until waiting bytes count as they are (an ESC as the Escape
    // key; 0: now), or -1 when nothing is waiting.
    int pendingMs(int64_t nowMs) const;
    // Gives the keys of an unfinished sequence whose time-out has passed.
    void flush(int64_t nowMs, std::vector<Key>* keys);

private:
    // Decodes from pending_; stops at an unfinished sequence unless `force`.
    // Returns the number of bytes consumed.
    size_t decode(std::vector<Key>* keys, bool force);

    int escapeTimeoutMs_;
    std::string pending_;
    int64_t waitingSinceMs_ = 0;
};

}  // namespace orb::dialogs::terminal
