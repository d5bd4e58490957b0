// The font baker: its texture loads on the device as A8L8, its widths match the rightmost
// ink column of each glyph as FreeType renders it, and it refuses bad arguments clearly.
#ifdef SAMPLE_FONT_DIR

#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "render/RenderTestSupport.h"
#include "text/LibFont.h"

namespace {

const std::string kFontBake = std::string(BIN_DIR) + "/fontbake";
const std::string kTtf = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kCell = 32;  // the sample font's bake
constexpr int kSize = 24;  // its default glyph size, three quarters of the cell

uint32_t CodePoint(unsigned char byte) {
    if (byte == 0x80) return 0x20AC;
    if (byte == 0x8C) return 0x0152;
    if (byte == 0x9C) return 0x0153;
    return byte;
}

std::vector<int32_t> ReadDat(const std::string& path) {
    const std::string bytes = TestSupport::ReadFile(path);
    std::vector<int32_t> widths;
    for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + i);
        widths.push_back(
            static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24));
    }
    return widths;
}

TEST(FontBakeTest, WidthsAreTheRightmostInkColumnOfEachGlyph) {
    const std::vector<int32_t> widths =
        ReadDat(std::string(SAMPLE_FONT_DIR) + "/data/fonts/dejavu.dds.dat");
    ASSERT_EQ(widths.size(), 256u);
    FT_Library lib;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&lib), 0);
    ASSERT_EQ(FT_New_Face(lib, kTtf.c_str(), 0, &face), 0);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, kSize), 0);
    const int baseline = static_cast<int>(face->size->metrics.ascender >> 6);
    FillGlyphTable();
    int inked = 0;
    for (int g = 0; g < 256; g++) {
        const uint32_t code = CodePoint(static_cast<unsigned char>(GlyphTable[g]));
        int rightmost = 0;
        if (FT_Get_Char_Index(face, code) != 0 && FT_Load_Char(face, code, FT_LOAD_RENDER) == 0) {
            const FT_Bitmap& bm = face->glyph->bitmap;
            const int left = std::max(0, static_cast<int>(face->glyph->bitmap_left));
            const int top = baseline - face->glyph->bitmap_top;
            for (unsigned r = 0; r < bm.rows; r++) {
                if (top + static_cast<int>(r) < 0 || top + static_cast<int>(r) >= kCell) continue;
                for (unsigned c = 0; c < bm.width; c++) {
                    if (bm.buffer[r * bm.pitch + c] != 0)
                        rightmost =
                            std::max(rightmost, std::min(kCell - 1, left + static_cast<int>(c)));
                }
            }
        }
        inked += rightmost > 0;
        EXPECT_NEAR(widths[g], rightmost, 1) << "glyph " << g;
    }
    EXPECT_GT(inked, 150);  // every glyph of the order but the space
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}

class FontBakeDeviceTest : public RenderTest::EngineFixture {};

TEST_F(FontBakeDeviceTest, TheTextureLoadsAsAnA8L8PowerOfTwoSquare) {
    ASSERT_TRUE(Start());
    GetTextureManager().AddTextureFolder(SAMPLE_FONT_DIR);
    IDirect3DTexture9* texture = GetTextureManager().GetTexture("dejavu.dds");
    ASSERT_NE(texture, nullptr);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A8L8);
    EXPECT_EQ(desc.Width, 16u * kCell);
    EXPECT_EQ(desc.Height, 16u * kCell);
    GetTextureManager().ReleaseTextures();
}

TEST(FontBakeToolTest, BakesIntoTheOutputFolderAndRefusesBadArguments) {
    TestSupport::TempDir temp;
    const auto run = [&](const std::vector<std::string>& args) {
        return TestSupport::Run(kFontBake, args, temp.Path());
    };
    TestSupport::RunResult r = run({"--help"});
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_NE(r.Out.find("--cell"), std::string::npos);

    r = run({kTtf, "small", "--cell", "8", "--out", "out/fonts"});  // made as needed
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(TestSupport::ListTree(temp / "out/fonts"),
              (std::vector<std::string>{"data/fonts/small.dds.dat", "data/fonts/small.dds.txt",
                                        "small.dds", "small.ini"}));
    EXPECT_EQ(std::filesystem::file_size(temp / "out/fonts/small.dds"), 128u + 128 * 128 * 2);
    EXPECT_EQ(TestSupport::ReadText(temp / "out/fonts/small.ini"),
              "[font]\ntexture = small.dds\ncell = 8\nsize = 6\nrows = 16\ncolumns = 16\n");

    TestSupport::WriteFile(temp / "notafont.ttf", "just text");
    struct Bad {
        std::vector<std::string> args;
        const char* message;
    };
    const Bad bad[] = {
        {{"missing.ttf", "x", "--cell", "32"}, "no font file at missing.ttf"},
        {{"notafont.ttf", "x", "--cell", "32"}, "not a font file"},
        {{kTtf, "x", "--cell", "24"}, "--cell must be a power of two"},
        {{kTtf, "x", "--cell", "1024"}, "--cell must be a power of two"},
        {{kTtf, "../x", "--cell", "32"}, "NAME must be a plain file name"},
        {{kTtf, "x"}, "--cell"},
        {{kTtf, "x", "--cell", "32", "--size", "0"}, "--size must be from 1 to the cell size"},
        {{kTtf, "x", "--cell", "32", "--size", "33"}, "--size must be from 1 to the cell size"},
    };
    for (const Bad& b : bad) {
        r = run(b.args);
        EXPECT_NE(r.ExitCode, 0) << b.message;
        EXPECT_NE(r.Err.find(b.message), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "x.dds"));
}

// At cell 64 and size 60 the descenders reach below the cell: each cut glyph is named once,
// and --strict turns the warning into a failure that writes nothing.
TEST(FontBakeToolTest, NamesGlyphsThatDoNotFitTheirCells) {
    TestSupport::TempDir temp;
    const auto run = [&](const std::vector<std::string>& args) {
        return TestSupport::Run(kFontBake, args, temp.Path());
    };
    TestSupport::RunResult r = run({kTtf, "big", "--cell", "64", "--out", "fits"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");

    r = run({kTtf, "big", "--cell", "64", "--size", "60", "--out", "cut"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    const std::string prefix = "fontbake: warning: at size 60, ";
    ASSERT_EQ(r.Err.compare(0, prefix.size(), prefix), 0) << r.Err;
    const std::string names = r.Err.substr(r.Err.find(": ", prefix.size()) + 1);
    for (const char* glyph : {" g ", " j ", " p ", " q ", " y ", " _ "})
        EXPECT_NE(names.find(glyph), std::string::npos) << glyph << " in " << r.Err;
    EXPECT_EQ(names.find(" a "), std::string::npos) << r.Err;
    EXPECT_TRUE(std::filesystem::exists(temp / "cut/big.ini"));

    r = run({kTtf, "big", "--cell", "64", "--size", "60", "--out", "strict", "--strict"});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Err.find("(nothing written; a smaller --size fits them)"), std::string::npos)
        << r.Err;
    EXPECT_FALSE(std::filesystem::exists(temp / "strict"));
}

TEST(TextDemoTest, DrawsAFrameWithTheSampleFont) {
    TestSupport::TempDir temp;
    const TestSupport::RunResult r = TestSupport::Run(std::string(BIN_DIR) + "/text_demo",
                                                      {SAMPLE_FONT_DIR, "shot.png"}, temp.Path());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(std::filesystem::exists(temp / "shot.png"));
}

}  // namespace

#endif
