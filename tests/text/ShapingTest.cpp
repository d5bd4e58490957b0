// Shaping text to a width: line splitting, wrapped paragraphs, justification, and the ways
// of shortening a string.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "TextFixture.h"
#include "misc/Random.h"
#include "text/TextFitting.h"

namespace {

using TextTest::TextFixture;
using TextTest::Width;

struct SplitCase {
    const char* input;
    const char* wrapPrefix;  // the first prefix whose width reaches the wrap value
    int wrap;                // used when wrapPrefix is null
    const char* line;
    const char* rest;
};
void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << "\"" << c.input << "\"";
}

class SplitLineTest : public TextFixture, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitLineTest, CutsTheFirstLineThatFits) {
    const SplitCase& c = GetParam();
    const int wrap = c.wrapPrefix ? text().GetStringLength(c.wrapPrefix) : c.wrap;
    std::string line = c.input;
    std::string rest = "stale";
    text().SplitLine(wrap, line, rest);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(rest, c.rest);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitLineTest,
    ::testing::Values(
        // The space before the word that did not fit belongs to neither part.
        SplitCase{"hello world", "hello wor", 0, "hello", "world"},
        // Of a run of spaces only the last is dropped.
        SplitCase{"hello   world", "hello   wor", 0, "hello  ", "world"},
        SplitCase{"hello world", nullptr, 1000, "hello world", ""},
        SplitCase{"", nullptr, 10, "", ""},
        // A word wider than the line is broken before the byte that made it too wide.
        SplitCase{"abcdefghij", "abcd", 0, "abc", "defghij"},
        SplitCase{"abcdefghij klm", "abcd", 0, "abc", "defghij klm"},
        // At least one byte per line, whatever the width.
        SplitCase{"abc", nullptr, 0, "a", "bc"}, SplitCase{"abc", nullptr, -5, "a", "bc"},
        // The text ends at a zero byte.
        SplitCase{"ab\0cd", nullptr, 1000, "ab", ""}));

TEST_F(TextFixture, SplittingUsesUpALongParagraphWithoutLosingAByte) {
    // Words of 1 to 60 letters: the longest are wider than the wrap width.
    std::string paragraph;
    for (int i = 0; paragraph.size() < 10000; i++) {
        if (!paragraph.empty()) paragraph += ' ';
        paragraph += std::string(1 + (i * 37) % 60, static_cast<char>('a' + i % 26));
    }
    const int wrap = 300;
    std::string left = paragraph;
    int lines = 0;
    while (!left.empty()) {
        std::string line = left;
        std::string rest;
        text().SplitLine(wrap, line, rest);
        ASSERT_TRUE(left == line + rest || left == line + " " + rest) << lines;
        ASSERT_LT(rest.size(), left.size());
        EXPECT_LT(text().GetStringLength(line), wrap);
        left = rest;
        lines++;
    }
    EXPECT_GT(lines, 10000 * 3 / wrap);
    EXPECT_EQ(text().GetWrappedHeight(paragraph, wrap), lines * 16.0f);
}

TEST_F(TextFixture, WrappedTextLinesHeightsAndLongestLine) {
    font->LineSpacing = 3;
    const std::string paragraph = "aaa bb cccc d eeeeee ff";
    const float wrap = static_cast<float>(text().GetStringLength("aaa bb c"));
    // Lines: "aaa bb", "cccc d", "eeeeee", "ff".
    EXPECT_EQ(text().GetFirstLine(static_cast<int>(wrap), paragraph), "aaa bb");
    EXPECT_EQ(text().GetWrappedHeight(paragraph, wrap), 4 * 19.0f);
    EXPECT_EQ(text().GetLongestWrappedLine(paragraph, wrap), 6.0f);
    EXPECT_EQ(text().GetLongestWrappedLine("", wrap), -1.0f);
    EXPECT_EQ(text().GetWrappedHeight("", wrap), 0.0f);

    EXPECT_EQ(text().AddWrappedText(paragraph, 0.0f, 10.0f, wrap, 0xFFFFFFFF, -1), 10.0f + 76.0f);
    EXPECT_EQ(text().GetPendingCount(), 4 * 18);  // the glyphs, without the spaces
    text().ResetPending();
    EXPECT_EQ(text().AddWrappedText(paragraph, 0.0f, 10.0f, wrap, 0xFFFFFFFF, 1), 29.0f);
    EXPECT_EQ(text().GetPendingCount(), 4 * 5);
    text().ResetPending();
    LibTextObject source;
    source.Text = paragraph;
    EXPECT_EQ(text().AddWrappedText(&source, 0.0f, 0.0f, wrap, 0xFFFFFFFF, 2), 38.0f);

    // Any length wraps: no chunk limit.
    text().ResetPending();
    EXPECT_EQ(text().GetWrappedHeight(std::string(3000, 'a'), 2000.0f), 5 * 19.0f);
}

// x of the first glyph of each word, as the justified layout must place them.
std::vector<float> WordStarts() {
    std::vector<float> starts;
    const ScreenVertex* v = GetTextManager().GetPendingVerts();
    for (int i = 0; i < GetTextManager().GetPendingCount(); i += 4) starts.push_back(v[i].X + 0.5f);
    return starts;
}

TEST_F(TextFixture, JustifiedGapsAndTheirFallback) {
    const float ab = static_cast<float>(Width(G('a')) + Width(G('b')));
    const float cd = static_cast<float>(Width(G('c')) + Width(G('d')));
    const float natural = ab + 4 + cd + 4 + ab;  // "ab cd ab", spaces of 4 pixels
    struct Case {
        const char* text;
        float extra;
        float gap;  // 0: drawn unjustified
    };
    const Case cases[] = {
        {"ab cd ab", 0.0f, 4.0f},      // already the width: normal spaces
        {"  ab cd ab  ", 4.0f, 6.0f},  // ends trimmed; (2 x 4 + 4) / 2
        {"ab cd ab", 8.0f, 8.0f},      // exactly double
        {"ab cd ab", 9.0f, 0.0f},      // more than double
        {"ab cd ab", -1.0f, 0.0f},     // wider than the width
    };
    for (const Case& c : cases) {
        text().ResetPending();
        text().AddJustifiedText(c.text, 5.0f, 0.0f, natural + c.extra, 0xFFFFFFFF);
        const std::vector<float> x = WordStarts();
        ASSERT_EQ(x.size(), 6u) << c.text;
        const float gap = c.gap > 0 ? c.gap : 4.0f;
        EXPECT_FLOAT_EQ(x[0], 5.0f) << c.text;
        EXPECT_FLOAT_EQ(x[2], static_cast<float>(static_cast<int>(5.0f + ab + gap))) << c.text;
        EXPECT_FLOAT_EQ(x[4], static_cast<float>(static_cast<int>(5.0f + ab + gap + cd + gap)))
            << c.text;
    }
    // Two spaces count twice but make one gap: the line ends one gap short.
    text().ResetPending();
    text().AddJustifiedText("ab  cd", 0.0f, 0.0f, ab + 8 + cd + 4, 0xFFFFFFFF);
    EXPECT_FLOAT_EQ(WordStarts()[2], ab + 6.0f);
    // Spaces only: nothing; a single word: at x; any length stays inside the pending limit.
    text().ResetPending();
    text().AddJustifiedText("    ", 0.0f, 0.0f, 100.0f, 0xFFFFFFFF);
    EXPECT_EQ(text().GetPendingCount(), 0);
    text().AddJustifiedText("abcd", 7.0f, 0.0f, 100.0f, 0xFFFFFFFF);
    EXPECT_FLOAT_EQ(WordStarts()[0], 7.0f);
    text().ResetPending();
    text().AddJustifiedText(std::string(5000, 'a') + " b", 0.0f, 0.0f, 1e9f, 0xFFFFFFFF);
    EXPECT_LE(text().GetPendingCount(), TextManager::MAXPENDING);
}

TEST_F(TextFixture, ShorteningAtItsEdges) {
    const std::string abc = "abcabc";
    const int full = text().GetStringLength(abc);
    const int dots = text().GetStringLength("...");
    const int ab = Width(G('a')) + Width(G('b'));

    EXPECT_EQ(text().TruncateWithEllipsis(full, abc), abc);
    EXPECT_EQ(text().TruncateWithEllipsis(full - 1, abc),
              text().TruncateToWidth(full - 1 - dots, abc) + "...");
    EXPECT_EQ(text().TruncateToWidth(0, abc), "");
    EXPECT_EQ(text().TruncateToWidth(ab, abc), "a");  // strictly narrower than the width
    EXPECT_EQ(text().TruncateToWidth(ab + 1, abc), "ab");

    EXPECT_EQ(text().ClipWithDots(1000, abc), abc);
    // Narrower than the dots: the dots alone, never a cut beyond the text's start.
    EXPECT_EQ(text().ClipWithDots(1, abc), "...");
    EXPECT_EQ(text().ClipWithDots(-100, abc), "...");
    const std::string clipped = text().ClipWithDots(150, std::string(5000, 'a'));
    EXPECT_EQ(clipped.substr(clipped.size() - 3), "...");
    EXPECT_LT(text().GetStringLength(clipped), 150);

    EXPECT_EQ(FitTextToWidth(abc, 1000.0f), abc);
    EXPECT_EQ(FitTextToWidth(abc, 1.0f), "...");
    EXPECT_EQ(FitTextToWidth("", 1.0f), "");
    const std::string fitted = FitTextToWidth(abc, static_cast<float>(dots + ab + 1));
    EXPECT_EQ(fitted, "ab...");
}

TEST(RandomDigitsTest, ThirtyOneDigitsFromThirtyTwoDraws) {
    InitRandom(64, 7);
    const std::string digits = RandomDigits();
    ASSERT_EQ(digits.size(), 31u);
    for (char c : digits) EXPECT_TRUE(c >= '0' && c <= '8') << c;
    const int next = RandomInt(1000);

    InitRandom(64, 7);
    std::string expected;
    for (int i = 0; i < 32; i++) expected += static_cast<char>('0' + RandomInt(9));
    EXPECT_EQ(digits, expected.substr(0, 31));
    EXPECT_EQ(RandomInt(1000), next);
    FreeRandom();
}

}  // namespace
