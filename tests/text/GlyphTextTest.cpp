// UTF-8 host text turned into glyph-order bytes: what has a cell keeps it, everything else,
// malformed input included, becomes one stated replacement.
#include <gtest/gtest.h>

#include <string>

#include "text/GlyphText.h"

namespace {

struct Case {
    const char* Utf8;
    std::string Glyphs;
    int32_t Replaced;
};

class GlyphTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(GlyphTextTest, ConvertsToTheGlyphOrder) {
    int32_t replaced = -1;
    EXPECT_EQ(Utf8ToGlyphText(GetParam().Utf8, &replaced), GetParam().Glyphs);
    EXPECT_EQ(replaced, GetParam().Replaced);
}

INSTANTIATE_TEST_SUITE_P(
    Text, GlyphTextTest,
    ::testing::Values(
        // What the order holds, a literal question mark and the layout's space and tab.
        Case{"Hello, world?", "Hello, world?", 0}, Case{"tab\tand space", "tab\tand space", 0},
        Case{"\xE2\x82\xAC"
             "5, \xC5\x92uvre \xC5\x93il",
             "\x80"
             "5, \x8Cuvre \x9Cil",
             0},
        Case{"caf\xC3\xA9 \xC3\x80 \xC3\xBF", "caf\xE9 \xC0 \xFF", 0},
        Case{"it\xE2\x80\x99s", "it's", 0},
        // Characters without a cell: the at sign, the grave accent, controls, Latin-1
        // symbols, other Windows-1252 punctuation, anything beyond.
        Case{"a@b`c", "a?b?c", 2}, Case{"line\nbreak", "line?break", 1},
        Case{"\xC2\xA9\xC2\xA0", "??", 2}, Case{"\xE2\x80\x9Cq\xE2\x80\x9D", "?q?", 2},
        Case{"\xE6\x97\xA5\xF0\x9F\x98\x80", "??", 2},
        // Malformed sequences: the longest valid start of one is one replacement.
        Case{"\xC3", "?", 1},
        Case{"\xE2\x82"
             "A",
             "?A", 1},
        Case{"\xF0\x9F\x98", "?", 1}, Case{"\x80\xBF", "??", 2}, Case{"\xC0\xAF", "??", 2},
        Case{"\xED\xA0\x80", "???", 3}, Case{"\xF4\x90\x80\x80", "????", 4}, Case{"\xFF", "?", 1}));

TEST(GlyphText, KeepsEmbeddedZeroBytesOutOfTheGlyphs) {
    int32_t replaced = 0;
    EXPECT_EQ(Utf8ToGlyphText(std::string("a\0b", 3), &replaced), "a?b");
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(Utf8ToGlyphText(""), "");
}

}  // namespace
