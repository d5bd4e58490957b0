#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/IniLoader.h"
#include "misc/Random.h"
#include "support/TestSupport.h"

using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

using Records = std::vector<std::pair<std::string, std::string>>;

Records AllRecords(IniLoader& ini) {
    Records records;
    char key[4096];
    char value[4096];
    while (ini.NextKeyValue(key, sizeof(key), value, sizeof(value)))
        records.emplace_back(key, value);
    return records;
}

// Writes the text to a fresh file and loads one section of it.
struct LoadedIni {
    LoadedIni(const std::string& text, const std::string& section) {
        WriteFile(dir.Path() / "test.ini", text);
        Result = Ini.Load(section, dir / "test.ini");
    }
    TempDir dir;
    IniLoader Ini;
    bool Result = false;
};

struct SectionCase {
    const char* Name;
    std::string File;
    std::string Section;
    Records Expected;
};

void PrintTo(const SectionCase& c, std::ostream* os) {
    *os << c.Name;
}

class IniSections : public ::testing::TestWithParam<SectionCase> {};

}  // namespace

TEST_P(IniSections, LoadYieldsTheRecordsInFileOrder) {
    const SectionCase& c = GetParam();
    TestSupport::LogCapture log;
    LoadedIni loaded(c.File, c.Section);
    EXPECT_EQ(AllRecords(loaded.Ini), c.Expected);
    EXPECT_EQ(loaded.Result, !c.Expected.empty());
    EXPECT_EQ(log.Contains("ini section empty " + c.Section), c.Expected.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniSections,
    ::testing::Values(
        SectionCase{"BlanksQuotesCommentsAndBareKeys",
                    "[Scaling]\n  width = 640  \ntitle = \"  Hello \"\n//old = 3\nflag\n",
                    "Scaling",
                    {{"width", "640"}, {"title", "  Hello "}, {"flag", ""}}},
        SectionCase{"HeaderComparisonIsCaseSensitive", "[Scaling]\nwidth = 640\n", "scaling", {}},
        SectionCase{"RepeatedHeaderIsCollectedInOrder",
                    "[A]\nx=1\n[B]\ny=2\n[A]\nz=3\n",
                    "A",
                    {{"x", "1"}, {"z", "3"}}},
        SectionCase{
            "OtherSectionOfTheSameFile", "[A]\nx=1\n[B]\ny=2\n[A]\nz=3\n", "B", {{"y", "2"}}},
        SectionCase{"HeaderTrailingWhitespaceIgnored", "[A]  \t\r\nk=v\r\n", "A", {{"k", "v"}}},
        SectionCase{"SemicolonIsNoComment", "[S]\n; note\n", "S", {{"; note", ""}}},
        SectionCase{"LinesBeforeTheSectionIgnored", "a=1\n[S]\nb=2\n", "S", {{"b", "2"}}},
        SectionCase{"AnyHeaderClosesTheSection", "[A]\nx=1\n[A]\ny=2\n", "A", {{"x", "1"}}},
        SectionCase{"IndentedHeaderIsARecord", "[A]\n  [B]\nx=1\n", "A", {{"[B]", ""}, {"x", "1"}}},
        SectionCase{"EmptyKeysAddNothing", "[A]\n\n   \n=5\n \t= 6\nk=\n", "A", {{"k", ""}}},
        SectionCase{"FurtherEqualsBelongToTheValue", "[A]\na = b = c\n", "A", {{"a", "b = c"}}},
        SectionCase{"TabsAreWhitespace", "[A]\n\tkey\t=\tvalue\t\n", "A", {{"key", "value"}}},
        SectionCase{"BareKeyKeepsTrailingWhitespace", "[A]\n  flag  \n", "A", {{"flag  ", ""}}},
        SectionCase{"UnclosedQuoteKeepsTheRest", "[A]\nq = \"abc\n", "A", {{"q", "abc"}}},
        SectionCase{"QuoteCutAtTheLastQuote", "[A]\nq = \"a\"b\"c\n", "A", {{"q", "a\"b"}}},
        SectionCase{"SlashKeyAfterBlanksIsAComment", "[A]\n   /x=1\ny=2\n", "A", {{"y", "2"}}},
        SectionCase{"RepeatedKeysAllKept", "[A]\nk=1\nk=2\n", "A", {{"k", "1"}, {"k", "2"}}},
        SectionCase{"MissingSection", "[A]\nk=1\n", "B", {}}),
    [](const ::testing::TestParamInfo<SectionCase>& info) { return info.param.Name; });

TEST(IniLoader, MissingFileGivesFalseAndNothing) {
    TestSupport::LogCapture log;
    TempDir dir;
    IniLoader ini;
    EXPECT_FALSE(ini.Load("A", dir / "missing.ini"));
    EXPECT_EQ(ini.GetCount(), 0u);
    EXPECT_STREQ(ini.GetValue("x"), "");
    EXPECT_EQ(ini.GetInt("x"), 0);
    EXPECT_TRUE(log.Contains("ini section empty A"));
}

TEST(IniLoader, LoadAgainServesTheCachedFileFromItsStart) {
    TempDir dir;
    WriteFile(dir.Path() / "t.ini", "[A]\nx=1\n[B]\ny=2\n");
    IniLoader ini;
    ASSERT_TRUE(ini.Load("A", dir / "t.ini"));
    ASSERT_TRUE(ini.Load("B", dir / "t.ini"));
    EXPECT_EQ(AllRecords(ini), (Records{{"y", "2"}}));
    ASSERT_TRUE(ini.Load("A", dir / "t.ini"));
    EXPECT_EQ(AllRecords(ini), (Records{{"x", "1"}}));
}

TEST(IniLoader, LookupsFindTheFirstRecord) {
    LoadedIni loaded("[A]\nk=1\nk=2\n", "A");
    IniLoader& ini = loaded.Ini;
    EXPECT_STREQ(ini.GetValue("k"), "1");
    EXPECT_TRUE(ini.HasKey("k"));
    EXPECT_FALSE(ini.HasKey("K"));
    ini.SetInt("k", 5);
    EXPECT_EQ(AllRecords(ini), (Records{{"k", "2"}, {"k", "5"}}));
}

TEST(IniLoader, TypedGetters) {
    LoadedIni loaded(
        "[A]\nn = 12abc\nneg = -40\nf = 2.5\nc3 = 10,20,30\nc4 = 10,20,30,40\nr = 1, 2 ,3,4\n"
        "r2 = 5,6\nhuge = 99999999999999\n",
        "A");
    IniLoader& ini = loaded.Ini;
    EXPECT_EQ(ini.GetInt("n"), 12);
    EXPECT_EQ(ini.GetInt("neg"), -40);
    EXPECT_EQ(ini.GetInt("huge"), 2147483647);
    EXPECT_FLOAT_EQ(ini.GetFloat("f"), 2.5f);
    EXPECT_EQ(ini.GetFloat("missing"), 0.0f);

    int32_t r, g, b, a;
    ini.GetColor("c3", r, g, b, a);
    EXPECT_EQ(std::vector<int32_t>({r, g, b, a}), std::vector<int32_t>({10, 20, 30, 255}));
    ini.GetColor("c4", r, g, b, a);
    EXPECT_EQ(std::vector<int32_t>({r, g, b, a}), std::vector<int32_t>({10, 20, 30, 40}));

    int32_t x, y, w, h;
    ini.GetRect("r", x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({1, 2, 3, 4}));
    ini.GetRect("r2", x, y, w, h);
    EXPECT_EQ(std::vector<int32_t>({x, y, w, h}), std::vector<int32_t>({5, 6, 0, 0}));
}

TEST(IniLoader, AddFormatsAndRules) {
    IniLoader ini;
    ini.AddInt("i", -3);
    ini.AddFloat("f", 1.5f);
    ini.AddPair("p", 1.0f, 2.5f);
    ini.AddQuad("q", 1, 2, 3, 4);
    ini.AddString("s", "\"  padded \"");
    ini.AddKey("k");
    ini.AddKeyValue("/comment", "x");
    EXPECT_EQ(AllRecords(ini), (Records{{"i", "-3"},
                                        {"f", "1.5000"},
                                        {"p", "1.00,2.50"},
                                        {"q", "1,2,3,4"},
                                        {"s", "  padded "},
                                        {"k", ""}}));
}

TEST(IniLoader, WriteFormat) {
    TempDir dir;
    LoadedIni loaded("[A]\na = 1\nb\n", "A");
    loaded.Ini.Save(dir / "out.ini");
    EXPECT_EQ(TestSupport::ReadText(dir.Path() / "out.ini"), "[A]\na = 1\nb\n\n");
}

TEST(IniLoader, SaveAndAppendRoundTrip) {
    TempDir dir;
    IniLoader first;
    first.Load("Video", dir / "none.ini");
    first.AddInt("width", 640);
    first.AddString("title", "My Game");
    first.AddKey("fullscreen");
    first.AddQuad("rect", 0, 0, 640, 480);
    first.Save(dir / "settings.ini");

    IniLoader second;
    second.Load("Sound", dir / "none.ini");
    second.AddFloat("volume", 0.75f);
    second.Append(dir / "settings.ini");

    IniLoader reader;
    ASSERT_TRUE(reader.Load("Video", dir / "settings.ini"));
    EXPECT_EQ(AllRecords(reader), AllRecords(first));
    ASSERT_TRUE(reader.Load("Sound", dir / "settings.ini"));
    EXPECT_FLOAT_EQ(reader.GetFloat("volume"), 0.75f);

    reader.LoadSectionNames(dir / "settings.ini");
    EXPECT_EQ(reader.GetSections(), (std::vector<std::string>{"Video", "Sound"}));
}

TEST(IniLoader, SaveToAnUnwritablePlaceIsSkipped) {
    TempDir dir;
    IniLoader ini;
    ini.AddInt("a", 1);
    ini.Save(dir / "no/such/folder/x.ini");
    ini.Append(dir / "no/such/folder/x.ini");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "no"));
}

TEST(IniLoader, SectionNamesEndAtTheFirstBracket) {
    TempDir dir;
    WriteFile(dir.Path() / "t.ini", "[A] // the first\r\nx=1\n  [NotAHeader]\n[B]\n[C\n[]\n" +
                                        std::string(40000, 'z') + "[Tail]\n");
    IniLoader ini;
    ini.LoadSectionNames(dir / "t.ini");
    EXPECT_EQ(ini.GetSections(), (std::vector<std::string>{"A", "B", "C", ""}));
    EXPECT_TRUE(ini.HasSection("B"));
    EXPECT_FALSE(ini.HasSection("NotAHeader"));
    ini.LoadSectionNames(dir / "missing.ini");
    EXPECT_TRUE(ini.GetSections().empty());
}

TEST(IniLoader, IterationCopiesAreBoundedByTheBuffer) {
    IniLoader ini;
    ini.AddString("abcdef", "0123456789");
    ini.AddString("k", "v");
    char key[4];
    char value[6];
    ASSERT_TRUE(ini.NextKeyValue(key, sizeof(key), value, sizeof(value)));
    EXPECT_STREQ(key, "abc");
    EXPECT_STREQ(value, "01234");
    ASSERT_TRUE(ini.NextKey(key, sizeof(key)));
    EXPECT_STREQ(key, "k");
    EXPECT_FALSE(ini.NextValue(value, sizeof(value)));
    EXPECT_STREQ(value, "01234") << "the end leaves the buffer untouched";
    EXPECT_FALSE(ini.NextKeyValue(key, sizeof(key), value, sizeof(value)));
    EXPECT_STREQ(key, "");
    EXPECT_STREQ(value, "");
}

TEST(IniLoader, OverlongKeysAndLinesAreCutNotOverflowed) {
    TestSupport::LogCapture log;
    std::string longKey(400, 'k');
    std::string longValue(3000, 'v');
    LoadedIni loaded("[A]\n" + longKey + " = 1\nbig = " + longValue + "\nevil=1\nlast=2\n", "A");
    Records records = AllRecords(loaded.Ini);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].first, std::string(IniLoader::MAXKEY, 'k'));
    EXPECT_EQ(records[1].first, "big");
    EXPECT_EQ(records[1].second, std::string(2047 - 6, 'v'));
    EXPECT_EQ(records[2].first, "evil");
    EXPECT_EQ(records[3].first, "last");
}

TEST(IniLoader, TailOfAnOverlongLineIsNotReadAsALine) {
    TestSupport::LogCapture log;
    LoadedIni loaded("[A]\nbig = " + std::string(2100, 'v') + "injected=1\nok=2\n", "A");
    Records records = AllRecords(loaded.Ini);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1], (std::pair<std::string, std::string>{"ok", "2"}));
}

TEST(IniLoader, OverlongSectionNameIsSafe) {
    TestSupport::LogCapture log;
    std::string name(300, 's');
    LoadedIni loaded("[" + name + "]\nk=1\n", name);
    EXPECT_FALSE(loaded.Result);
}

TEST(IniLoader, RandomValueUsesThePortableGenerator) {
    IniLoader ini;
    EXPECT_EQ(ini.GetRandomValue(), "");
    for (int i = 0; i < 7; i++) ini.AddInt("k", i);
    SeedRand(99);
    std::vector<int> expected;
    for (int i = 0; i < 20; i++) expected.push_back(NextRand() % 7);
    SeedRand(99);
    for (int i = 0; i < 20; i++) EXPECT_EQ(ini.GetRandomValue(), std::to_string(expected[i]));
}

TEST(IniLoader, LoadValueListSkipsEmptyValues) {
    TempDir dir;
    WriteFile(dir.Path() / "t.ini", "[L]\na = one\nb\nc = two\n");
    IniLoader ini;
    std::vector<std::string> list{"zero"};
    ini.LoadValueList(list, "L", dir / "t.ini");
    EXPECT_EQ(list, (std::vector<std::string>{"zero", "one", "two"}));
}
