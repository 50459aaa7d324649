#include "dialogs/terminal/key_decoder.h"

#include <string_view>

#include "base/utf8.h"

namespace orb::dialogs::terminal {

namespace {

constexpr char kEsc = 0x1b;
constexpr size_t kLongestSequence = 16;

Key key(KeyCode code, char32_t ch = 0) { return Key{code, ch}; }

// The key of an ASCII byte other than ESC.
Key controlKey(unsigned char c) {
    switch (c) {
        case '\r':
        case '\n': return key(KeyCode::Enter);
        case '\t': return key(KeyCode::Tab);
        case 0x7f:
        case 0x08: return key(KeyCode::Backspace);
        case 0x03: return key(KeyCode::CtrlC);
        case 0x15: return key(KeyCode::CtrlU);
        case 0x0c: return key(KeyCode::CtrlL);
        default: break;
    }
    if (c >= 0x20 && c < 0x7f) return key(KeyCode::Char, c);
    return key(KeyCode::Unknown);
}

// The key of the character that starts `bytes` with a byte of 0x80 or above,
// and its size in bytes; 0 while the rest of a UTF-8 sequence may still come.
size_t characterKey(std::string_view bytes, bool force, Key* out) {
    utf8::Decoded d = utf8::decode(bytes);
    if (d.status == utf8::Status::Incomplete && !force) return 0;
    if (d.status != utf8::Status::Valid) {
        // Not UTF-8: a Latin-1 terminal's character, kept rather than dropped.
        *out = key(KeyCode::Char, static_cast<unsigned char>(bytes[0]));
        return 1;
    }
    // U+0080..U+009F are control codes (C1), not characters to type.
    *out = d.codePoint < 0xa0 ? key(KeyCode::Unknown) : key(KeyCode::Char, d.codePoint);
    return d.size;
}

// The key of a complete CSI (ESC [ params final) or SS3 (ESC O final) sequence.
Key sequenceKey(const std::string& params, char final) {
    switch (final) {
        case 'A': return key(KeyCode::Up);
        case 'B': return key(KeyCode::Down);
        case 'C': return key(KeyCode::Right);
        case 'D': return key(KeyCode::Left);
        case 'H': return key(KeyCode::Home);
        case 'F': return key(KeyCode::End);
        case 'Z': return key(KeyCode::BackTab);
        case '~': {
            std::string first = params.substr(0, params.find(';'));
            if (first == "1" || first == "7") return key(KeyCode::Home);
            if (first == "4" || first == "8") return key(KeyCode::End);
            if (first == "3") return key(KeyCode::Delete);
            return key(KeyCode::Unknown);
        }
        default: return key(KeyCode::Unknown);
    }
}

// Where the sequence that starts with ESC [ or ESC O at `at` ends. CSI:
// parameter and intermediate bytes 0x20-0x3f, then a final byte 0x40-0x7e;
// SS3: one final byte. Complete: the final byte's index. Otherwise the end of
// the bytes (wait for more) or the byte that cannot belong to a sequence.
size_t sequenceEnd(const std::string& bytes, size_t at, bool* complete) {
    size_t end = at + 2;
    if (bytes[at + 1] == 'O') {
        *complete = end < bytes.size();
        return end;
    }
    for (; end < bytes.size(); ++end) {
        auto b = static_cast<unsigned char>(bytes[end]);
        if (b >= 0x40 && b <= 0x7e) {
            *complete = true;
            return end;
        }
        if (b < 0x20 || b > 0x3f || end - at >= kLongestSequence) return end;  // not a sequence after all
    }
    return end;
}

}  // namespace

std::string keyName(const Key& k) {
    switch (k.code) {
        case KeyCode::Char: return "Char(" + utf8::encode(k.ch) + ")";
        case KeyCode::Enter: return "Enter";
        case KeyCode::Escape: return "Escape";
        case KeyCode::Tab: return "Tab";
        case KeyCode::BackTab: return "BackTab";
        case KeyCode::Up: return "Up";
        case KeyCode::Down: return "Down";
        case KeyCode::Right: return "Right";
        case KeyCode::Left: return "Left";
        case KeyCode::Home: return "Home";
        case KeyCode::End: return "End";
        case KeyCode::Delete: return "Delete";
        case KeyCode::Backspace: return "Backspace";
        case KeyCode::CtrlC: return "CtrlC";
        case KeyCode::CtrlU: return "CtrlU";
        case KeyCode::CtrlL: return "CtrlL";
        case KeyCode::Unknown: return "Unknown";
    }
    return "?";
}

void KeyDecoder::feed(const char* data, size_t size, int64_t nowMs, std::vector<Key>* keys) {
    size_t waiting = pending_.size();
    pending_.append(data, size);
    size_t consumed = decode(keys, false);
    // The time-out counts from the arrival of the first waiting byte (an ESC,
    // a UTF-8 lead byte), not from later bytes: it starts again only when
    // that byte is one of these new bytes.
    if (!pending_.empty() && consumed >= waiting) waitingSinceMs_ = nowMs;
}

int KeyDecoder::pendingMs(int64_t nowMs) const {
    if (pending_.empty()) return -1;
    int64_t left = waitingSinceMs_ + escapeTimeoutMs_ - nowMs;
    return left < 0 ? 0 : static_cast<int>(left);
}

void KeyDecoder::flush(int64_t nowMs, std::vector<Key>* keys) {
    if (pending_.empty() || pendingMs(nowMs) > 0) return;
    decode(keys, true);
}

size_t KeyDecoder::decode(std::vector<Key>* keys, bool force) {
    size_t at = 0;
    while (at < pending_.size()) {
        auto c = static_cast<unsigned char>(pending_[at]);
        if (c >= 0x80) {
            Key k;
            size_t size = characterKey(std::string_view(pending_).substr(at), force, &k);
            if (size == 0) break;  // wait: the rest may come
            keys->push_back(k);
            at += size;
            continue;
        }
        if (c != kEsc) {
            keys->push_back(controlKey(c));
            ++at;
            continue;
        }
        // ESC: a sequence, or the Escape key.
        if (at + 1 >= pending_.size()) {
            if (!force) break;  // wait: more may come
            keys->push_back(key(KeyCode::Escape));
            ++at;
            continue;
        }
        char second = pending_[at + 1];
        if (second == '[' || second == 'O') {
            bool complete = false;
            size_t end = sequenceEnd(pending_, at, &complete);
            if (complete) {
                std::string params = second == '[' ? pending_.substr(at + 2, end - at - 2) : std::string();
                keys->push_back(sequenceKey(params, pending_[end]));
                at = end + 1;
                continue;
            }
            bool broken = end < pending_.size();  // a byte that cannot be part of it
            if (!broken && !force) break;         // wait for the rest
            // Not a sequence: the Escape key, then the bytes as they are.
            keys->push_back(key(KeyCode::Escape));
            ++at;
            continue;
        }
        // ESC ESC, or ESC and a character (Alt-key): the Escape key first.
        keys->push_back(key(KeyCode::Escape));
        ++at;
    }
    pending_.erase(0, at);
    return at;
}

}  // namespace orb::dialogs::terminal
