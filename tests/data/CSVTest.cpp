#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/CSV.h"

namespace {

std::vector<std::string> Fields(const std::string& line, char separator, int count) {
    CSV reader;
    reader.SetLine(line, separator);
    std::vector<std::string> fields;
    for (int i = 0; i < count; i++) fields.push_back(reader.GetNextString());
    return fields;
}

struct SplitCase {
    const char* Name;
    std::string Line;
    char Separator;
    std::vector<std::string> Expected;  // further calls give empty text
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << c.Name;
}

class CSVSplitting : public ::testing::TestWithParam<SplitCase> {};

}  // namespace

TEST_P(CSVSplitting, GivesTheFieldsInOrderThenEmptyText) {
    const SplitCase& c = GetParam();
    std::vector<std::string> expected = c.Expected;
    expected.insert(expected.end(), 3, std::string());
    EXPECT_EQ(Fields(c.Line, c.Separator, static_cast<int>(expected.size())), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CSVSplitting,
    ::testing::Values(
        SplitCase{"Simple", "1,2,3", ',', {"1", "2", "3"}},
        SplitCase{"EmptyMiddleField", "a,,b", ',', {"a", "", "b"}},
        SplitCase{"TrailingSeparatorGivesEmptyField", "a,b,", ',', {"a", "b", ""}},
        SplitCase{"QuotesProtectSeparators", "x,\"a,b\",y", ',', {"x", "a,b", "y"}},
        SplitCase{"BlankSeparator", "a b c", ' ', {"a", "b", "c"}},
        SplitCase{"DoubledQuotesVanish", "\"He said \"\"hi\"\"\",z", ',', {"He said hi", "z"}},
        SplitCase{"QuoteInsideUnquotedFieldVanishes", "ab\"c,d\"e,f", ',', {"abc,de", "f"}},
        SplitCase{"UnclosedQuoteRunsToTheEnd", "a,\"b,c", ',', {"a", "b,c"}},
        SplitCase{"LeadingBlanksStay", " a, b", ',', {" a", " b"}},
        SplitCase{"EmptyLineIsOneEmptyField", "", ',', {}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.Name; });

TEST(CSV, KeepQuotesCopiesTheQuoteCharacters) {
    CSV reader;
    reader.SetKeepQuotes(true);
    reader.SetLine("\"a,b\",c", ',');
    EXPECT_EQ(reader.GetNextString(), "\"a,b\"");
    EXPECT_EQ(reader.GetNextString(), "c");
}

TEST(CSV, AtEndAfterTheLastCharacterIsRead) {
    CSV reader;
    reader.SetLine("10,20,30", ',');
    for (int i = 0; i < 3; i++) reader.GetNextInt();
    EXPECT_TRUE(reader.AtEnd());
    reader.SetLine("10,20,30,40", ',');
    for (int i = 0; i < 3; i++) reader.GetNextInt();
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.GetNextInt(), 40);
    EXPECT_TRUE(reader.AtEnd());
}

TEST(CSV, TypedReadsTrimAndConvert) {
    CSV reader;
    reader.SetLine(" 42\r,  -7 ,1.5 \n,abc,2,0,yes,99999999999, x \r\n", ',');
    EXPECT_EQ(reader.GetNextInt(), 42);
    EXPECT_EQ(reader.GetNextInt(), -7);
    EXPECT_FLOAT_EQ(reader.GetNextFloat(), 1.5f);
    EXPECT_EQ(reader.GetNextInt(), 0);
    EXPECT_TRUE(reader.GetNextBool());
    EXPECT_FALSE(reader.GetNextBool());
    EXPECT_FALSE(reader.GetNextBool());
    EXPECT_EQ(reader.GetNextInt(), 2147483647) << "out-of-range numbers saturate";
    EXPECT_EQ(reader.GetNextTrimmedString(), " x");
    EXPECT_EQ(reader.GetNextInt(), 0);
    EXPECT_EQ(reader.GetNextFloat(), 0.0f);
    EXPECT_FALSE(reader.GetNextBool());
}

TEST(CSV, TrimmedStringKeepsTabs) {
    CSV reader;
    reader.SetLine("a\t \r", ';');
    EXPECT_EQ(reader.GetNextTrimmedString(), "a\t");
}

TEST(CSV, LinesOfAnyLengthAreRead) {
    std::string longField(40000, 'q');
    std::string line = "1," + longField + ",\"" + longField + "," + longField + "\",9";
    CSV reader;
    reader.SetLine(line, ',');
    EXPECT_EQ(reader.GetNextInt(), 1);
    EXPECT_EQ(reader.GetNextString(), longField);
    EXPECT_EQ(reader.GetNextString(), longField + "," + longField);
    EXPECT_EQ(reader.GetNextInt(), 9);
    EXPECT_TRUE(reader.AtEnd());
    // A shorter line afterwards is read on its own, with nothing left over from the long one.
    reader.SetLine("a,b", ',');
    EXPECT_EQ(reader.GetNextString(), "a");
    EXPECT_EQ(reader.GetNextString(), "b");
    EXPECT_EQ(reader.GetNextString(), "");
}
