#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "diagnostics/StringHelpers.h"

namespace {

struct TrimCase {
    std::string Text;
    std::string Expected;
};

void PrintTo(const TrimCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.Text);
}

class TrimTrailingWhitespaceCases : public ::testing::TestWithParam<TrimCase> {};

}  // namespace

TEST_P(TrimTrailingWhitespaceCases, RemovesBlanksCarriageReturnsAndLineFeedsOnly) {
    EXPECT_EQ(TrimTrailingWhitespace(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TrimTrailingWhitespaceCases,
                         ::testing::Values(TrimCase{"ab \r\n", "ab"}, TrimCase{" ", ""},
                                           TrimCase{"  ", ""}, TrimCase{"", ""},
                                           TrimCase{"a\t", "a\t"}, TrimCase{"a\t \n", "a\t"},
                                           TrimCase{" a b ", " a b"}, TrimCase{"\n\r\n\r", ""}));

TEST(StringHelpers, TrimTrailingWhitespace_TrimsTextsOfAnyLength) {
    std::string text(5000, 'x');
    EXPECT_EQ(TrimTrailingWhitespace(text + "   \r\n"), text);
    EXPECT_EQ(TrimTrailingWhitespace(std::string(1024, 'y') + " "), std::string(1024, 'y'));
}

TEST(StringHelpers, CaseChangesTouchAsciiLettersOnly) {
    const std::string mixed = "aZ09 _\xe9\xc9!";
    EXPECT_EQ(ToUpper(mixed), "AZ09 _\xe9\xc9!");
    EXPECT_EQ(ToLower(mixed), "az09 _\xe9\xc9!");
}

TEST(StringHelpers, MakeSafeNameKeepsLettersAndDigits) {
    EXPECT_EQ(MakeSafeName("my file-1.txt"), "my_file_1_txt");
    EXPECT_EQ(MakeSafeName(std::string("a\xff\0b", 4)), "a__b");
}

TEST(StringHelpers, RemoveSpacesAndChars) {
    EXPECT_EQ(RemoveSpaces(" a b\tc "), "ab\tc");
    EXPECT_EQ(RemoveChars("1, 2,3 ,, 4", ", "), "1234");
    EXPECT_EQ(RemoveChars("abc", ""), "abc");
    EXPECT_EQ(RemoveChars("a\xff"
                          "b",
                          "\xff"),
              "ab");
}

TEST(StringHelpers, TruncateTextAddsAnEllipsisOnlyWhenCut) {
    EXPECT_EQ(TruncateText("Hello", 3), "Hel...");
    EXPECT_EQ(TruncateText("Hello", 5), "Hello");
    EXPECT_EQ(TruncateText("Hello", 0), "...");
    EXPECT_EQ(TruncateText("", 0), "");
}

namespace {

struct CommasCase {
    int32_t Value;
    const char* Expected;
};

void PrintTo(const CommasCase& c, std::ostream* os) {
    *os << c.Value;
}

class FormatWithCommasCases : public ::testing::TestWithParam<CommasCase> {};

}  // namespace

TEST_P(FormatWithCommasCases, GroupsDigitsInThrees) {
    char buffer[15];
    memset(buffer, 'X', sizeof(buffer));
    FormatWithCommas(GetParam().Value, buffer);
    EXPECT_STREQ(buffer, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatWithCommasCases,
    ::testing::Values(CommasCase{0, "0"}, CommasCase{7, "7"}, CommasCase{999, "999"},
                      CommasCase{1000, "1,000"}, CommasCase{1234567, "1,234,567"},
                      CommasCase{1000000, "1,000,000"}, CommasCase{2147483647, "2,147,483,647"},
                      CommasCase{-5, "-5"}, CommasCase{-1000, "-1,000"},
                      CommasCase{-1234567, "-1,234,567"}, CommasCase{INT_MIN, "-2,147,483,648"}));

TEST(StringHelpers, FormatWithCommas_BoundedFormNeverWritesPastTheBuffer) {
    char buffer[8];
    memset(buffer, 'X', sizeof(buffer));
    FormatWithCommas(1234567, buffer, 6);
    EXPECT_STREQ(buffer, "1,234");
    EXPECT_EQ(buffer[6], 'X');
}

TEST(StringHelpers, TwoDigitsPadsSingleDigitsWithOneSign) {
    EXPECT_EQ(TwoDigits(5), "05");
    EXPECT_EQ(TwoDigits(0), "00");
    EXPECT_EQ(TwoDigits(12), "12");
    EXPECT_EQ(TwoDigits(123), "123");
    EXPECT_EQ(TwoDigits(-5), "-05");
    EXPECT_EQ(TwoDigits(-12), "-12");
    EXPECT_EQ(TwoDigits(INT_MIN), "-2147483648");
}

TEST(StringHelpers, RoundToIntRoundsHalvesUpward) {
    EXPECT_EQ(RoundToInt(2.5f), 3);
    EXPECT_EQ(RoundToInt(-2.5f), -2);
    EXPECT_EQ(RoundToInt(2.49f), 2);
    EXPECT_EQ(RoundToInt(-2.51f), -3);
    EXPECT_EQ(RoundToInt(0.0f), 0);
    EXPECT_EQ(RoundToInt(1e20f), INT_MAX);
    EXPECT_EQ(RoundToInt(-1e20f), INT_MIN);
}
