#include "dialogs/terminal/terminal_text.h"

#include <algorithm>
#include <string_view>

#include "base/utf8.h"

namespace orb::dialogs::terminal {

namespace {

// Breaks one paragraph (no line breaks in it) into lines of at most `width`.
void wrapParagraph(const std::string& paragraph, int width, std::vector<std::string>* lines) {
    size_t limit = static_cast<size_t>(width);
    std::string rest = paragraph;
    while (rest.size() > limit) {
        // The last space at or before the limit: the line ends before it.
        size_t cut = rest.rfind(' ', limit);
        size_t next;
        if (cut == std::string::npos || cut == 0) {
            cut = limit;  // one long word: cut it
            next = limit;
        } else {
            next = cut + 1;
        }
        std::string line = rest.substr(0, cut);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines->push_back(line);
        rest = rest.substr(next);
        // Spaces at the start of a continued line are the break's.
        size_t first = rest.find_first_not_of(' ');
        rest = first == std::string::npos ? std::string() : rest.substr(first);
    }
    lines->push_back(rest);
}

}  // namespace

std::string printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::string_view rest(text);
    while (!rest.empty()) {
        char c = rest.front();
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            // One '?' for a whole UTF-8 character (or a byte that is none): a
            // sign that something is there, one column wide as the view counts.
            out += '?';
            rest.remove_prefix(utf8::characterSize(rest));
            continue;
        }
        if (c == '\t') {
            out += ' ';
        } else if (u >= 0x20 && u < 0x7f) {
            out += c;
        }
        rest.remove_prefix(1);
    }
    return out;
}

std::vector<std::string> wrapText(const std::string& text, int width) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    if (width < 1) width = 1;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        std::string paragraph = printable(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        wrapParagraph(paragraph, width, &lines);
        if (end == std::string::npos) break;
        // \r\n is one break; a lone \r or \n is one too.
        at = end + 1;
        if (text[end] == '\r' && at < text.size() && text[at] == '\n') ++at;
        if (at == text.size()) break;  // a break at the very end adds no empty line
    }
    return lines;
}

std::string maskPassword(const std::string& text) { return std::string(utf8::countCharacters(text), '*'); }

std::string fitText(const std::string& text, int width) {
    if (width <= 0) return std::string();
    if (static_cast<int>(text.size()) <= width) return text;
    return text.substr(0, static_cast<size_t>(width - 1)) + "~";
}

// Low, high and position, as PBM_SETRANGE and PBM_SETPOS give them.
// NOLINTNEXTLINE(bugprone-easily-swappable-parameters)
std::string progressBar(int low, int high, int position, int width) {
    if (width < 3) width = 3;
    int cells = width - 2;
    int filled = 0;
    if (high > low) {
        long long span = static_cast<long long>(high) - low;
        long long done = std::clamp(static_cast<long long>(position) - low, 0LL, span);
        filled = static_cast<int>(done * cells / span);
    }
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(cells - filled), '.') +
           "]";
}

StyledLine& StyledLine::add(const std::string& text, Style style) {
    if (text.empty()) return *this;
    if (!pieces_.empty() && pieces_.back().style == style) {
        pieces_.back().text += text;
    } else {
        pieces_.push_back({text, style});
    }
    return *this;
}

int StyledLine::length() const {
    int n = 0;
    for (const Piece& p : pieces_) n += static_cast<int>(p.text.size());
    return n;
}

void StyledLine::fit(int width) {
    int left = std::max(width, 0);
    std::vector<Piece> kept;
    for (Piece& p : pieces_) {
        if (left == 0) break;
        if (static_cast<int>(p.text.size()) > left) p.text.resize(static_cast<size_t>(left));
        left -= static_cast<int>(p.text.size());
        kept.push_back(p);
    }
    pieces_ = std::move(kept);
}

std::string StyledLine::plain() const {
    std::string out;
    for (const Piece& p : pieces_) out += p.text;
    return out;
}

std::string StyledLine::render() const {
    std::string out;
    bool styled = false;
    for (const Piece& p : pieces_) {
        switch (p.style) {
            case Style::Plain:
                if (styled) out += "\x1b[0m";
                styled = false;
                break;
            case Style::Bold:
                out += styled ? "\x1b[0;1m" : "\x1b[1m";
                styled = true;
                break;
            case Style::Reverse:
                out += styled ? "\x1b[0;7m" : "\x1b[7m";
                styled = true;
                break;
        }
        out += p.text;
    }
    if (styled) out += "\x1b[0m";
    return out;
}

}  // namespace orb::dialogs::terminal
