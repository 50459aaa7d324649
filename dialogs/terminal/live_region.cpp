#include "dialogs/terminal/live_region.h"

namespace orb::dialogs::terminal {

namespace {

constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kShowCursor = "\x1b[?25h";
constexpr const char* kEraseLineRight = "\x1b[K";
constexpr const char* kEraseDown = "\x1b[J";
constexpr const char* kResetAttributes = "\x1b[0m";

std::string moveRows(int from, int to) {
    if (to < from) return cursorUp(from - to);
    if (to > from) return cursorDown(to - from);
    return std::string();
}

}  // namespace

std::string cursorUp(int n) { return n <= 0 ? std::string() : "\x1b[" + std::to_string(n) + "A"; }
std::string cursorDown(int n) { return n <= 0 ? std::string() : "\x1b[" + std::to_string(n) + "B"; }
std::string cursorRight(int n) { return n <= 0 ? std::string() : "\x1b[" + std::to_string(n) + "C"; }

std::string LiveRegion::update(const std::vector<std::string>& transcript, const std::vector<StyledLine>& lines,
                               Cursor cursor) {
    std::vector<std::string> rendered;
    rendered.reserve(lines.size());
    for (const StyledLine& line : lines) rendered.push_back(line.render());
    if (cursor.line >= static_cast<int>(rendered.size())) cursor.line = -1;
    bool sameCursor = cursor.line == cursor_.line && (cursor.line < 0 || cursor.column == cursor_.column);
    if (transcript.empty() && rendered == shown_ && sameCursor && (cursor.line >= 0) == cursorShown_) {
        return std::string();
    }

    std::string out;
    if (cursorShown_) out += kHideCursor;
    int row = row_;
    if (!transcript.empty() || rendered.size() != shown_.size()) {
        // Everything again from the region's start.
        out += "\r" + cursorUp(row) + kEraseDown;
        for (const std::string& line : transcript) out += line + "\r\n";
        for (size_t i = 0; i < rendered.size(); ++i) {
            out += rendered[i];
            if (i + 1 < rendered.size()) out += "\r\n";
        }
        row = rendered.empty() ? 0 : static_cast<int>(rendered.size()) - 1;
    } else {
        for (size_t i = 0; i < rendered.size(); ++i) {
            if (rendered[i] == shown_[i]) continue;
            out += moveRows(row, static_cast<int>(i)) + "\r" + rendered[i] + kEraseLineRight;
            row = static_cast<int>(i);
        }
    }
    if (cursor.line >= 0) {
        out += moveRows(row, cursor.line) + "\r" + cursorRight(cursor.column) + kShowCursor;
        row = cursor.line;
    }
    cursorShown_ = cursor.line >= 0;
    shown_ = std::move(rendered);
    row_ = row;
    cursor_ = cursor;
    return out;
}

std::string LiveRegion::erase() {
    std::string out = "\r" + cursorUp(row_) + kResetAttributes + kEraseDown + kShowCursor;
    shown_.clear();
    row_ = 0;
    cursor_ = Cursor{};
    cursorShown_ = true;
    return out;
}

void LiveRegion::forget() {
    shown_.clear();
    row_ = 0;
    cursor_ = Cursor{};
}

}  // namespace orb::dialogs::terminal
