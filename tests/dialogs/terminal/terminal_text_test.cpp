// The terminal view's text pieces: wrapping at the width with the dialogs' own
// \r\n line breaks kept, the password mask, fitting, the progress bar, styled
// lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/terminal/terminal_text.h"
#include "upgrade/dialog_texts.h"

namespace orb::dialogs::terminal {
namespace {

using Lines = std::vector<std::string>;

TEST(WrapText, KeepsTheTextsLineBreaks) {
    EXPECT_EQ(wrapText("This program will upgrade your ORB\r\nfirmware to:", 80),
              (Lines{"This program will upgrade your ORB", "firmware to:"}));
}

TEST(WrapText, AnEmptyLineBetweenTwoBreaksStays) {
    EXPECT_EQ(wrapText("one\r\n\r\ntwo", 80), (Lines{"one", "", "two"}));
    EXPECT_EQ(wrapText("a\nb\rc", 80), (Lines{"a", "b", "c"}));
}

TEST(WrapText, ABreakAtTheEndAddsNoLine) {
    EXPECT_EQ(wrapText("one\r\n", 80), (Lines{"one"}));
    EXPECT_EQ(wrapText("", 80), Lines{});
}

TEST(WrapText, BreaksALongLineAtTheLastSpaceThatFits) {
    EXPECT_EQ(wrapText("aaa bbb ccc", 7), (Lines{"aaa bbb", "ccc"}));
    EXPECT_EQ(wrapText("aaa bbb ccc", 8), (Lines{"aaa bbb", "ccc"}));
    EXPECT_EQ(wrapText("aaa bbb ccc", 6), (Lines{"aaa", "bbb", "ccc"}));
}

TEST(WrapText, CutsAWordLongerThanTheWidth) { EXPECT_EQ(wrapText("abcdefghij", 4), (Lines{"abcd", "efgh", "ij"})); }

TEST(WrapText, DropsTheSpacesOfABreak) { EXPECT_EQ(wrapText("service.  If your", 9), (Lines{"service.", "If your"})); }

TEST(WrapText, NoLineIsLongerThanTheWidth) {
    for (int width : {10, 20, 33, 45, 79}) {
        for (const char* text : {kWarningText, kPasswordText, kAddressInstructionText, kConfirmText}) {
            for (const std::string& line : wrapText(text, width)) EXPECT_LE(static_cast<int>(line.size()), width);
        }
    }
}

TEST(WrapText, TheWarningTextAtEightyColumnsKeepsItsLines) {
    // The widest line of the warning text has 55 characters: nothing to wrap,
    // every \r\n is one line.
    Lines lines = wrapText(kWarningText, 77);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines.front(), "WARNING: Forcing a firmware upgrade on your ORB");
    EXPECT_EQ(lines.back(), "any onus on the end user to upgrade manually.");
}

TEST(WrapText, TheCredentialsTextKeepsItsEmptyLines) {
    Lines lines = wrapText(kPasswordText, 77);
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[12], "");
    EXPECT_EQ(lines[13], "* * * * * * * * * * *  Warning  * * * * * * * * * * *");
}

TEST(WrapText, ANarrowTerminalWrapsEveryLineOfTheText) {
    Lines lines = wrapText("To proceed, please provide the IP address\r\nof your ORB.", 20);
    EXPECT_EQ(lines, (Lines{"To proceed, please", "provide the IP", "address", "of your ORB."}));
}

TEST(WrapText, ControlCharactersCannotReachTheTerminal) {
    EXPECT_EQ(wrapText("a\x1b[2Jb\tc", 80), (Lines{"a[2Jb c"}));
    // Beyond ASCII: one '?' per UTF-8 character, and per byte that is none.
    EXPECT_EQ(wrapText("caf\xc3\xa9 \xe9t\xe9", 80), (Lines{"caf? ?t?"}));
}

TEST(MaskPassword, OneStarPerCharacter) {
    EXPECT_EQ(maskPassword(""), "");
    EXPECT_EQ(maskPassword("secret"), "******");
    EXPECT_EQ(maskPassword("p w"), "***");
    EXPECT_EQ(maskPassword("Kiwi7-\xc3\xa9-secret"), std::string(14, '*'));
    EXPECT_EQ(maskPassword("\xc3\xa9\xe9"), "**");  // é, then a Latin-1 é
}

TEST(FitText, CutsWithAMark) {
    EXPECT_EQ(fitText("abcdef", 10), "abcdef");
    EXPECT_EQ(fitText("abcdef", 6), "abcdef");
    EXPECT_EQ(fitText("abcdef", 4), "abc~");
    EXPECT_EQ(fitText("abcdef", 0), "");
}

TEST(ProgressBar, FillsTheCellsOfThePosition) {
    EXPECT_EQ(progressBar(0, 100, 0, 12), "[..........]");
    EXPECT_EQ(progressBar(0, 100, 50, 12), "[#####.....]");
    EXPECT_EQ(progressBar(0, 100, 100, 12), "[##########]");
    EXPECT_EQ(progressBar(0, 100, 250, 12), "[##########]");
    EXPECT_EQ(progressBar(0, 0, 0, 6), "[....]");
    EXPECT_EQ(progressBar(0, 1562, 781, 6), "[##..]");
}

TEST(StyledLine, RendersAttributesAndResetsThem) {
    StyledLine line;
    line.add("> ", Style::Bold).add("[ OK ]", Style::Reverse).add(" x");
    EXPECT_EQ(line.plain(), "> [ OK ] x");
    EXPECT_EQ(line.length(), 10);
    EXPECT_EQ(line.render(), "\x1b[1m> \x1b[0;7m[ OK ]\x1b[0m x");
    EXPECT_EQ(StyledLine("plain").render(), "plain");
}

TEST(StyledLine, FitCutsAcrossPieces) {
    StyledLine line;
    line.add("abc", Style::Bold).add("defg");
    line.fit(5);
    EXPECT_EQ(line.plain(), "abcde");
    line.fit(2);
    EXPECT_EQ(line.render(), "\x1b[1mab\x1b[0m");
}

}  // namespace
}  // namespace orb::dialogs::terminal
