// Text pieces of the terminal view that need no terminal: wrapping, masking,
// fitting to a width, the progress bar, and lines with attributes.
#pragma once

#include <string>
#include <vector>

namespace orb::dialogs::terminal {

// Splits `text` into lines of at most `width` characters. The line breaks of the
// text (\r\n, and a lone \n or \r) are kept; a line that is too long breaks at
// its last space that fits, and a word longer than the width is cut. Trailing
// spaces of a broken line are dropped; an empty text gives no line, "\r\n"
// alone gives two empty lines' worth of breaks (one empty line). Tabs become
// one space; other control characters are dropped.
std::vector<std::string> wrapText(const std::string& text, int width);

// What a password field shows: one '*' per character (UTF-8; a byte that is
// not counts as one).
std::string maskPassword(const std::string& text);

// Cuts a text to at most `width` characters; a cut text ends in "~".
std::string fitText(const std::string& text, int width);

// "[####      ]" with `width` characters in all (at least 3): the part of the
// cells between the brackets that `position` fills in low..high.
std::string progressBar(int low, int high, int position, int width);

// Only printable ASCII, so that nothing a dialog holds can move the cursor;
// each character beyond ASCII (UTF-8, or a byte that is not) shows as one '?'.
std::string printable(const std::string& text);

enum class Style { Plain, Bold, Reverse };

// One line of the screen: pieces of text, each with a style.
class StyledLine {
public:
    StyledLine() = default;
    explicit StyledLine(const std::string& text, Style style = Style::Plain) { add(text, style); }
    StyledLine& add(const std::string& text, Style style = Style::Plain);
    // Visible length.
    int length() const;
    // Cuts the line to `width` visible characters.
    void fit(int width);
    // The visible text, without attributes.
    std::string plain() const;
    // The text with the attributes as VT100 (SGR) sequences; ends with the
    // attributes reset when it used any.
    std::string render() const;
    bool operator==(const StyledLine& other) const { return render() == other.render(); }

private:
    struct Piece {
        std::string text;
        Style style;
    };
    std::vector<Piece> pieces_;
};

}  // namespace orb::dialogs::terminal
