// Glyph lookups, kerning and the width files: measured from the texture, written, and read
// back for every glyph.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "TextFixture.h"
#include "text/LibFont.h"

namespace {

using TextTest::Width;

struct GlyphCase {
    unsigned char byte;
    int index;
};
void PrintTo(const GlyphCase& c, std::ostream* os) {
    *os << "byte " << int(c.byte);
}

class GlyphIndexTest : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(GlyphIndexTest, FindsTheFirstCellHoldingTheByte) {
    EXPECT_EQ(LibFont::GetGlyphIndex(static_cast<char>(GetParam().byte)), GetParam().index);
}

// The bytes above 0x7F are negative as signed chars; the table compares them as such.
INSTANTIATE_TEST_SUITE_P(
    Table, GlyphIndexTest,
    ::testing::Values(GlyphCase{'!', 0}, GlyphCase{'"', 1}, GlyphCase{'%', 4}, GlyphCase{',', 11},
                      GlyphCase{'?', 30}, GlyphCase{' ', 31}, GlyphCase{'A', 32},
                      GlyphCase{'_', 62}, GlyphCase{'a', 63}, GlyphCase{'~', 92},
                      GlyphCase{0x80, 93}, GlyphCase{0xC0, 94}, GlyphCase{0xFF, 157},
                      GlyphCase{0x8C, 158}, GlyphCase{0x9C, 159}, GlyphCase{'@', 0},
                      GlyphCase{'`', 0}, GlyphCase{'\t', 0}, GlyphCase{0x92, 0}));

TEST(LibFontTest, KerningHasTheDefaultPairsAndKeepsTheFirstOfADuplicate) {
    LibFont font;
    const auto k = [&font](char a, char b) {
        return font.GetKerning(LibFont::GetGlyphIndex(a), LibFont::GetGlyphIndex(b));
    };
    EXPECT_EQ(k('f', 'f'), -2.0f);
    EXPECT_EQ(k('f', 'o'), -1.0f);
    EXPECT_EQ(k('o', 'w'), -1.0f);
    EXPECT_EQ(k('o', 'f'), 0.0f);
    EXPECT_EQ(k('A', 'V'), 0.0f);
    font.AddKerning('A', 'V', -3.0f);
    font.AddKerning('A', 'V', -5.0f);
    EXPECT_EQ(k('A', 'V'), -3.0f);
    EXPECT_EQ(font.GetKerning(-1, 0), 0.0f);
    EXPECT_EQ(font.GetKerning(256, 0), 0.0f);
}

struct GridCase {
    int native, cell, rows, columns;
};
void PrintTo(const GridCase& c, std::ostream* os) {
    *os << c.rows << "x" << c.columns << " cells of " << c.cell << ", native " << c.native;
}

class GridRefusedTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(GridRefusedTest, InitRefusesAGridTheArraysCannotHold) {
    TestSupport::LogCapture log;
    LibFont font;
    const GridCase c = GetParam();
    EXPECT_FALSE(font.Init("none.dat", "none.tex", c.native, c.cell, c.rows, c.columns));
    EXPECT_EQ(font.Rows, 0);
    EXPECT_EQ(font.CellSize, 0);
    ASSERT_FALSE(log.Messages().empty());
    EXPECT_EQ(log.Messages().back().rfind("Font grid refused", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, GridRefusedTest,
                         ::testing::Values(GridCase{16, 16, 17, 16}, GridCase{16, 16, 1, 257},
                                           GridCase{16, 0, 16, 16}, GridCase{16, -4, 16, 16},
                                           GridCase{16, 16, 0, 16}, GridCase{16, 16, 16, -1},
                                           GridCase{0, 16, 16, 16},
                                           GridCase{16, 16, 65536, 65536}));

class WidthFileTest : public RenderTest::EngineFixture {
protected:
    void SetUp() override {
        RenderTest::EngineFixture::SetUp();
        cwd = std::make_unique<TestSupport::CwdGuard>(temp.Path());
        ASSERT_TRUE(Start());
    }
    void TearDown() override {
        GetTextureManager().ReleaseTextures();
        cwd.reset();
        RenderTest::EngineFixture::TearDown();
    }

    // A font of the synthetic texture with the whole grid and no width data yet.
    void Generate(LibFont& font) {
        ASSERT_TRUE(font.SetGrid("synthetic.tex", 16, TextTest::kCell, 16, 16));
        ASSERT_TRUE(font.GenerateFontWidthData());
    }

    TestSupport::TempDir temp;
    std::unique_ptr<TestSupport::CwdGuard> cwd;
};

TEST_F(WidthFileTest, WrittenFilesReadBackEveryWidthInBothFiles) {
    TextTest::MakeFontTexture(engine().PDevice, "synthetic.tex");
    std::filesystem::create_directories("data/fonts");
    LibFont written;
    Generate(written);
    for (int g = 0; g < 256; g++) ASSERT_EQ(written.Widths[g], Width(g)) << g;

    const std::vector<std::string> lines = TestSupport::ReadLines("data/fonts/synthetic.tex.txt");
    ASSERT_EQ(lines.size(), 256u);
    EXPECT_EQ(lines[1], "1,\"," + std::to_string(Width(1)));
    EXPECT_EQ(lines[11], "11,,," + std::to_string(Width(11)));
    EXPECT_EQ(std::filesystem::file_size("data/fonts/synthetic.tex.dat"), 1024u);

    // The .dat file alone.
    std::filesystem::rename("data/fonts/synthetic.tex.txt", "saved.txt");
    LibFont fromDat;
    ASSERT_TRUE(fromDat.Init("data/fonts/synthetic.tex.dat", "synthetic.tex", 16, 16, 16, 16));
    for (int g = 0; g < 256; g++) EXPECT_EQ(fromDat.Widths[g], Width(g)) << g;

    // The text file overrides: every glyph its written width, the double quote and the comma
    // included, over a .dat file of zeros.
    std::filesystem::rename("saved.txt", "data/fonts/synthetic.tex.txt");
    TestSupport::WriteFile("zeros.dat", std::string(1024, '\0'));
    LibFont fromText;
    ASSERT_TRUE(fromText.Init("zeros.dat", "synthetic.tex", 16, 16, 16, 16));
    for (int g = 0; g < 256; g++) EXPECT_EQ(fromText.Widths[g], Width(g)) << g;
    EXPECT_FLOAT_EQ(fromText.TexU[17][1], 2.0f / 16.0f);
    EXPECT_FLOAT_EQ(fromText.TexV[17][2], 2.0f / 16.0f);
    EXPECT_NE(fromText.Texture.GetTexture(), nullptr);
}

TEST_F(WidthFileTest, AShortOrDamagedOverrideKeepsTheDatWidthsOfTheLinesItLacks) {
    TextTest::MakeFontTexture(engine().PDevice, "synthetic.tex");
    std::filesystem::create_directories("data/fonts");
    TestSupport::WriteFile("w.dat", TextTest::DatBytes());
    const std::string longLine = "3,$," + std::string(100, '7') + "\n";
    TestSupport::WriteFile("data/fonts/synthetic.tex.txt",
                           "0,!,40\n1,\",41\ngarbage\n" + longLine + "4,%,44");
    LibFont font;
    ASSERT_TRUE(font.Init("w.dat", "synthetic.tex", 16, 16, 16, 16));
    EXPECT_EQ(font.Widths[0], 40);
    EXPECT_EQ(font.Widths[1], 41);
    EXPECT_EQ(font.Widths[2], Width(2));   // a line that does not parse
    EXPECT_EQ(font.Widths[3], INT32_MAX);  // an over-long number saturates
    EXPECT_EQ(font.Widths[4], 44);         // the rest of the long line was not a line
    for (int g = 5; g < 256; g++) EXPECT_EQ(font.Widths[g], Width(g)) << g;

    TestSupport::WriteFile("data/fonts/synthetic.tex.txt", "");
    LibFont empty;
    ASSERT_TRUE(empty.Init("w.dat", "synthetic.tex", 16, 16, 16, 16));
    for (int g = 0; g < 256; g++) EXPECT_EQ(empty.Widths[g], Width(g)) << g;
}

TEST_F(WidthFileTest, MeasuringTakesTheRightmostInkColumnOfEachCell) {
    const int cell = 8;
    std::vector<uint8_t> texels(cell * 3 * cell * 2, 0);
    const int pitch = cell * 3 * 2;
    auto ink = [&](int x, int y) { texels[y * pitch + x * 2 + 1] = 1; };
    ink(0, 3);         // cell 0: only its leftmost column
    ink(cell + 2, 0);  // cell 1: columns 2 and 7
    ink(cell + 7, 7);
    texels[5 * pitch + (2 * cell + 5) * 2] = 0xFF;  // cell 2: a low byte alone is no ink
    LibFont font;
    ASSERT_TRUE(font.SetGrid("x", 8, cell, 1, 3));
    EXPECT_EQ(font.MeasureCellWidth(0, 0, texels.data(), pitch), 0);
    EXPECT_EQ(font.MeasureCellWidth(0, cell, texels.data(), pitch), 7);
    EXPECT_EQ(font.MeasureCellWidth(0, 2 * cell, texels.data(), pitch), -2 * cell);
}

struct BadTexture {
    const char* what;
    D3DFORMAT format;
    int side;
};
void PrintTo(const BadTexture& c, std::ostream* os) {
    *os << c.what;
}

// The width files' folder is the modder's: a link planted at a width file's name must be
// replaced by the new file, and whatever it led to left as it was.
TEST_F(WidthFileTest, LinksAtTheWidthFilesNamesAreReplacedNotWrittenThrough) {
    TextTest::MakeFontTexture(engine().PDevice, "synthetic.tex");
    std::filesystem::create_directories("data/fonts");
    TestSupport::WriteFile("outside.txt", "untouched");
    const bool linked = TestSupport::MakeFileLink(std::filesystem::absolute("outside.txt"),
                                                  "data/fonts/synthetic.tex.dat") &&
                        TestSupport::MakeFileLink(std::filesystem::absolute("missing.txt"),
                                                  "data/fonts/synthetic.tex.txt");
    if (!linked && !TestSupport::kPosixFileSystem) GTEST_SKIP() << "no links to files here";
    ASSERT_TRUE(linked);
    LibFont font;
    Generate(font);
    EXPECT_EQ(TestSupport::ReadFile("outside.txt"), "untouched");
    EXPECT_FALSE(std::filesystem::exists("missing.txt"));
    EXPECT_FALSE(std::filesystem::is_symlink("data/fonts/synthetic.tex.dat"));
    EXPECT_EQ(std::filesystem::file_size("data/fonts/synthetic.tex.dat"), 1024u);
    EXPECT_EQ(TestSupport::ReadLines("data/fonts/synthetic.tex.txt").size(), 256u);
}

class UnmeasurableTextureTest : public WidthFileTest,
                                public ::testing::WithParamInterface<BadTexture> {};

TEST_P(UnmeasurableTextureTest, WritesNoFilesAndSaysSo) {
    TextTest::MakeFontTexture(engine().PDevice, "synthetic.tex", GetParam().format,
                              GetParam().side);
    std::filesystem::create_directories("data/fonts");
    LibFont font;
    ASSERT_TRUE(font.SetGrid("synthetic.tex", 16, TextTest::kCell, 16, 16));
    Mark();
    EXPECT_FALSE(font.GenerateFontWidthData());
    EXPECT_TRUE(TestSupport::ListTree("data").empty());
    EXPECT_FALSE(Messages().empty());
    for (int g = 0; g < 256; g++) EXPECT_EQ(font.Widths[g], 0);
}

INSTANTIATE_TEST_SUITE_P(Table, UnmeasurableTextureTest,
                         ::testing::Values(BadTexture{"32-bit", D3DFMT_A8R8G8B8, 256},
                                           BadTexture{"smaller than the grid", D3DFMT_A8L8, 128}),
                         [](const auto& info) { return info.index == 0 ? "Format" : "Size"; });

TEST_F(WidthFileTest, MissingPiecesAreLoggedAndStopped) {
    LibFont font;
    // No texture at all: nothing to measure, nothing written.
    Mark();
    EXPECT_FALSE(font.Init("missing.dat", "nothere.tex", 16, 16, 16, 16));
    EXPECT_TRUE(Logged("Error locating font width data"));
    EXPECT_TRUE(Logged("Font texture not found: nothere.tex"));
    EXPECT_FALSE(std::filesystem::exists("data"));

    // A texture, but no folder for the width files.
    TextTest::MakeFontTexture(engine().PDevice, "synthetic.tex");
    Mark();
    LibFont second;
    EXPECT_FALSE(second.Init("missing.dat", "synthetic.tex", 16, 16, 16, 16));
    EXPECT_TRUE(Logged("Cannot create font width files for synthetic.tex"));

    // With the folder, a missing .dat file generates both files; the next Init loads them.
    std::filesystem::create_directories("data/fonts");
    LibFont third;
    EXPECT_FALSE(third.Init("data/fonts/synthetic.tex.dat", "synthetic.tex", 16, 16, 16, 16));
    EXPECT_EQ(third.Texture.GetTarget(), nullptr);
    LibFont fourth;
    EXPECT_TRUE(fourth.Init("data/fonts/synthetic.tex.dat", "synthetic.tex", 16, 16, 16, 16));
    EXPECT_EQ(fourth.Widths[42], Width(42));

    // A texture name that would put the width files in another folder is refused.
    TextTest::MakeFontTexture(engine().PDevice, "../escape.tex");
    LibFont escape;
    ASSERT_TRUE(escape.SetGrid("../escape.tex", 16, 16, 16, 16));
    EXPECT_FALSE(escape.GenerateFontWidthData());
    EXPECT_FALSE(std::filesystem::exists("data/escape.tex.dat"));
}

}  // namespace
