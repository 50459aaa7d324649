// Key decoding: plain and control characters, UTF-8 characters (and the
// Latin-1 bytes of a terminal that sends no UTF-8), the cursor keys' escape
// sequences (CSI and SS3, also when they arrive in pieces), and a lone Escape
// or a cut UTF-8 character told apart from the rest by its time-out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/terminal/key_decoder.h"

namespace orb::dialogs::terminal {
namespace {

std::vector<std::string> names(const std::vector<Key>& keys) {
    std::vector<std::string> out;
    for (const Key& k : keys) out.push_back(keyName(k));
    return out;
}

std::vector<std::string> decode(KeyDecoder& decoder, const std::string& bytes, int64_t now = 0) {
    std::vector<Key> keys;
    decoder.feed(bytes.data(), bytes.size(), now, &keys);
    return names(keys);
}

using Names = std::vector<std::string>;

TEST(KeyDecoder, PlainCharactersAndControlKeys) {
    KeyDecoder d;
    EXPECT_EQ(decode(d, "a1.*"), (Names{"Char(a)", "Char(1)", "Char(.)", "Char(*)"}));
    EXPECT_EQ(decode(d, "\r\n\t"), (Names{"Enter", "Enter", "Tab"}));
    EXPECT_EQ(decode(d, "\x7f\x08\x03\x15\x0c"), (Names{"Backspace", "Backspace", "CtrlC", "CtrlU", "CtrlL"}));
    EXPECT_EQ(decode(d, "\x01\x1a"), (Names{"Unknown", "Unknown"}));
    EXPECT_EQ(d.pendingMs(0), -1);
}

TEST(KeyDecoder, CursorKeysInBothForms) {
    KeyDecoder d;
    EXPECT_EQ(decode(d, "\x1b[A\x1b[B\x1b[C\x1b[D"), (Names{"Up", "Down", "Right", "Left"}));
    EXPECT_EQ(decode(d, "\x1bOA\x1bOB\x1bOC\x1bOD"), (Names{"Up", "Down", "Right", "Left"}));
    EXPECT_EQ(decode(d, "\x1b[H\x1b[F\x1b[1~\x1b[4~\x1b[3~"), (Names{"Home", "End", "Home", "End", "Delete"}));
    EXPECT_EQ(decode(d, "\x1b[Z"), (Names{"BackTab"}));
    EXPECT_EQ(decode(d, "\x1b[1;5C"), (Names{"Right"}));   // Ctrl-Right: still Right
    EXPECT_EQ(decode(d, "\x1b[15~"), (Names{"Unknown"}));  // F5
    EXPECT_EQ(d.pendingMs(0), -1);
}

TEST(KeyDecoder, ALoneEscapeWaitsForItsTimeOut) {
    KeyDecoder d(50);
    EXPECT_EQ(decode(d, "\x1b", 1000), Names{});
    EXPECT_EQ(d.pendingMs(1000), 50);
    EXPECT_EQ(d.pendingMs(1030), 20);
    std::vector<Key> keys;
    d.flush(1030, &keys);
    EXPECT_TRUE(keys.empty());
    d.flush(1050, &keys);
    EXPECT_EQ(names(keys), Names{"Escape"});
    EXPECT_EQ(d.pendingMs(1050), -1);
}

TEST(KeyDecoder, ASequenceInPiecesIsOneKey) {
    KeyDecoder d(50);
    EXPECT_EQ(decode(d, "\x1b", 0), Names{});
    EXPECT_EQ(decode(d, "[", 10), Names{});
    EXPECT_EQ(d.pendingMs(10), 40);  // counted from the ESC
    EXPECT_EQ(decode(d, "A", 20), Names{"Up"});
    EXPECT_EQ(d.pendingMs(20), -1);
}

TEST(KeyDecoder, EscapeThenAnotherKeyAtOnce) {
    KeyDecoder d;
    EXPECT_EQ(decode(d, "\x1b\x1b"), Names{"Escape"});  // the second may start a sequence
    std::vector<Key> keys;
    d.flush(1000, &keys);
    EXPECT_EQ(names(keys), Names{"Escape"});
    EXPECT_EQ(decode(d, "\x1bx"), (Names{"Escape", "Char(x)"}));  // Alt-x
    EXPECT_EQ(decode(d, "\x1b\r"), (Names{"Escape", "Enter"}));
}

TEST(KeyDecoder, AnEscapeAfterOtherKeysStartsItsOwnTimeOut) {
    KeyDecoder d(50);
    EXPECT_EQ(decode(d, "ab\x1b", 100), (Names{"Char(a)", "Char(b)"}));
    EXPECT_EQ(d.pendingMs(100), 50);
    EXPECT_EQ(decode(d, "[B", 120), Names{"Down"});
    EXPECT_EQ(decode(d, "\x1b", 500), Names{});
    EXPECT_EQ(d.pendingMs(510), 40);
}

TEST(KeyDecoder, AnUnfinishedSequenceGivesItsBytesAfterTheTimeOut) {
    KeyDecoder d(50);
    EXPECT_EQ(decode(d, "\x1b[", 0), Names{});
    std::vector<Key> keys;
    d.flush(60, &keys);
    EXPECT_EQ(names(keys), (Names{"Escape", "Char([)"}));
}

TEST(KeyDecoder, ABrokenSequenceIsEscapeAndItsBytes) {
    KeyDecoder d;
    EXPECT_EQ(decode(d, "\x1b[\x01x"), (Names{"Escape", "Char([)", "Unknown", "Char(x)"}));
}

struct Typed {
    const char* bytes;
    Names keys;
};
void PrintTo(const Typed& typed, std::ostream* out) { *out << ::testing::PrintToString(std::string(typed.bytes)); }

class KeyDecoderUtf8 : public ::testing::TestWithParam<Typed> {};

// A byte that starts or continues no valid sequence is its Latin-1 character.
INSTANTIATE_TEST_SUITE_P(
    Bytes, KeyDecoderUtf8,
    ::testing::Values(Typed{"p\xc3\xa9", {"Char(p)", "Char(é)"}},
                      Typed{"\xe2\x82\xac\xf0\x9f\x94\x91", {"Char(€)", "Char(🔑)"}},
                      Typed{"\xe9t\xe9!", {"Char(é)", "Char(t)", "Char(é)", "Char(!)"}},
                      Typed{"\xc2\x85\xc2\x9b", {"Unknown", "Unknown"}},                   // C1 controls
                      Typed{"\xc0\xaf", {"Char(À)", "Char(¯)"}},                           // overlong '/'
                      Typed{"\xed\xa0\x80", {"Char(í)", "Char(\u00a0)", "Char(\u0080)"}},  // a surrogate
                      Typed{"\xf4\x90\x80\x80", {"Char(ô)", "Char(\u0090)", "Char(\u0080)", "Char(\u0080)"}}));

TEST_P(KeyDecoderUtf8, DecodesAtOnce) {
    KeyDecoder d;
    EXPECT_EQ(decode(d, GetParam().bytes), GetParam().keys);
    EXPECT_EQ(d.pendingMs(0), -1);
}

TEST(KeyDecoder, AUtf8CharacterInPiecesWaitsForItsRest) {
    KeyDecoder d(50);
    EXPECT_EQ(decode(d, "\xe2\x82", 0), Names{});
    EXPECT_EQ(decode(d, "\xac!", 10), (Names{"Char(€)", "Char(!)"}));
    // A lead byte that nothing follows: its Latin-1 character after the time-out.
    EXPECT_EQ(decode(d, "\xc3", 100), Names{});
    EXPECT_EQ(d.pendingMs(120), 30);
    std::vector<Key> keys;
    d.flush(149, &keys);
    EXPECT_TRUE(keys.empty());
    d.flush(150, &keys);
    EXPECT_EQ(names(keys), Names{"Char(Ã)"});
}

}  // namespace
}  // namespace orb::dialogs::terminal
