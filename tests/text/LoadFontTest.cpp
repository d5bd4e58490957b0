// Fonts loaded by folder and name through the descriptor fontbake writes: the grid comes from
// the descriptor, and a descriptor that disagrees with its texture or width files is refused
// with one log line rather than drawn as scattered fragments.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TextFixture.h"
#include "text/FontDescriptor.h"

namespace {

using TextTest::kCell;
using TextTest::kFontName;
using TextTest::TextFixture;

namespace fs = std::filesystem;

std::string Descriptor(const std::string& texture, const std::string& cell,
                       const std::string& rows = "16", const std::string& size = "12") {
    return "[font]\ntexture = " + texture + "\ncell = " + cell + "\nsize = " + size +
           "\nrows = " + rows + "\ncolumns = 16\n";
}

// Every line of the .txt width file the baker would write for the synthetic widths.
std::string WidthText(int lines = 256) {
    std::string text;
    for (int g = 0; g < lines; g++)
        text += std::to_string(g) + "," + static_cast<char>(GlyphTable[g]) + "," +
                std::to_string(TextTest::Width(g)) + "\n";
    return text;
}

std::string Dat() {
    return std::string("fonts/data/fonts/") + kFontName + ".dat";
}
std::string Txt() {
    return std::string("fonts/data/fonts/") + kFontName + ".txt";
}

class LoadFontTest : public TextFixture {
protected:
    // The synthetic font as fontbake would leave it in fonts/: descriptor and widths (its
    // texture is already registered under its name).
    void WriteFont() {
        fs::create_directories("fonts/data/fonts");
        TestSupport::WriteFile("fonts/synthetic.ini", Descriptor(kFontName, "16"));
        TestSupport::WriteFile(Dat(), TextTest::DatBytes());
    }
    // Whether one line logged since the mark starts with prefix and holds part.
    bool LoggedPart(const std::string& part, const std::string& prefix = "") const {
        for (const std::string& m : Messages())
            if (m.compare(0, prefix.size(), prefix) == 0 && m.find(part) != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(LoadFontTest, LoadsTheGridItsDescriptorStates) {
    WriteFont();
    // An override in the text file wins, as it does for AddFont.
    std::string widths = WidthText();
    widths.replace(0, widths.find('\n'), "0,!,2");
    TestSupport::WriteFile(Txt(), widths);

    LibFont* loaded = text().LoadFont("fonts", "synthetic");
    ASSERT_NE(loaded, nullptr) << (Messages().empty() ? "" : Messages().back());
    EXPECT_EQ(loaded->TextureName, kFontName);
    EXPECT_EQ(loaded->CellSize, kCell);
    EXPECT_EQ(loaded->NativeSize, kCell);
    EXPECT_EQ(loaded->Widths[0], 2);
    for (int g = 1; g < 256; g++) ASSERT_EQ(loaded->Widths[g], TextTest::Width(g)) << g;
    EXPECT_FLOAT_EQ(loaded->TexU[17][0], 1.0f / 16);
    EXPECT_FLOAT_EQ(loaded->TexV[17][2], 2.0f / 16);
    EXPECT_NE(loaded->Texture.GetTexture(), nullptr);

    // Laid out like the same font added by hand, whose pixels the other tests check.
    const std::string line = "Hello, fonts";
    text().AddText(line, 10.0f, 20.0f, 0xFFFFFFFF, 0.0f, 0);
    std::vector<ScreenVertex> byHand(text().GetPendingVerts(),
                                     text().GetPendingVerts() + text().GetPendingCount());
    text().ResetPending();
    loaded->Widths[0] = TextTest::Width(0);
    ASSERT_TRUE(text().SetFont(kFontName));  // the first font of the name: the fixture's
    ASSERT_TRUE(text().SetFont(loaded->TextureName));
    text().AddText(line, 10.0f, 20.0f, 0xFFFFFFFF, 0.0f, 0);
    ASSERT_EQ(static_cast<size_t>(text().GetPendingCount()), byHand.size());
    EXPECT_EQ(
        std::memcmp(text().GetPendingVerts(), byHand.data(), byHand.size() * sizeof(ScreenVertex)),
        0);
    text().ResetPending();
}

struct Refusal {
    const char* Name;
    std::function<void()> Damage;
    const char* Reason;
};

class LoadFontRefusalTest : public LoadFontTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(LoadFontRefusalTest, RefusesWithOneLogLine) {
    WriteFont();
    GetParam().Damage();
    Mark();
    EXPECT_EQ(text().LoadFont("fonts", "synthetic"), nullptr);
    EXPECT_TRUE(LoggedPart(GetParam().Reason, "Font synthetic in fonts refused: "))
        << ::testing::PrintToString(Messages());
    // The fixture's own font is still the one in use.
    EXPECT_EQ(text().GetCurrentFont(), font);
}

void WriteDescriptor(const std::string& text) {
    TestSupport::WriteFile("fonts/synthetic.ini", text);
}

std::string DatOf(int count, int firstWidth = 3) {
    std::string bytes = TextTest::DatBytes().substr(0, static_cast<size_t>(count) * 4);
    bytes[0] = static_cast<char>(firstWidth);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Descriptors, LoadFontRefusalTest,
    ::testing::Values(
        Refusal{"Missing", [] { fs::remove("fonts/synthetic.ini"); }, "no font descriptor"},
        Refusal{"NoSection", [] { WriteDescriptor("texture = x.tex\n"); }, "no [font] section"},
        Refusal{"NoColumns",
                [] {
                    WriteDescriptor(
                        "[font]\ntexture = synthetic.tex\ncell = 16\nsize = 12\nrows = 16\n");
                },
                "the descriptor does not give the columns"},
        Refusal{"CellNotANumber", [] { WriteDescriptor(Descriptor(kFontName, "16px")); },
                "the grid is not one the engine can hold"},
        Refusal{"TooManyCells", [] { WriteDescriptor(Descriptor(kFontName, "16", "17")); },
                "the grid is not one the engine can hold"},
        Refusal{"GlyphLargerThanCell",
                [] { WriteDescriptor(Descriptor(kFontName, "16", "16", "17")); },
                "the grid is not one the engine can hold"},
        Refusal{"TextureInAnotherFolder",
                [] { WriteDescriptor(Descriptor("../synthetic.tex", "16")); },
                "the texture must be a file name beside the descriptor"},
        Refusal{"TextureMissing",
                [] {
                    WriteDescriptor(Descriptor("absent.tex", "16"));
                    TestSupport::WriteFile("fonts/data/fonts/absent.tex.dat", TextTest::DatBytes());
                },
                "the texture absent.tex cannot be loaded from fonts"},
        Refusal{"CellOfAnotherBake", [] { WriteDescriptor(Descriptor(kFontName, "32")); },
                "the texture synthetic.tex is 256 x 256 texels, but 16 x 16 cells of 32 need "
                "512 x 512"},
        Refusal{"WidthFileMissing", [] { fs::remove(Dat()); }, "no width file"},
        Refusal{"WidthFileShort", [] { TestSupport::WriteFile(Dat(), DatOf(255)); },
                "holds 255 widths for a grid of 256 cells"},
        Refusal{"WidthWiderThanCell", [] { TestSupport::WriteFile(Dat(), DatOf(256, 17)); },
                "gives glyph 0 a width of 17, beyond a cell of 16"},
        Refusal{"WidthTextShort", [] { TestSupport::WriteFile(Txt(), WidthText(10)); },
                "gives 10 widths for a grid of 256 cells"},
        Refusal{"WidthTextOutOfOrder",
                [] {
                    std::string widths = WidthText();
                    widths.replace(widths.find("4,%"), 1, "5");
                    TestSupport::WriteFile(Txt(), widths);
                },
                "line 5 of"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.Name); });

TEST_F(LoadFontTest, FontsNeedAnInitialisedManagerAndAPlainName) {
    WriteFont();
    EXPECT_EQ(text().LoadFont("fonts", "../fonts/synthetic"), nullptr);
    EXPECT_TRUE(LoggedPart("refused: a font name is a file name without folders"));

    // Init forgets the fonts it finds, so none may be added before it.
    text().Release();
    Mark();
    EXPECT_EQ(text().LoadFont("fonts", "synthetic"), nullptr);
    EXPECT_EQ(text().AddFont("synthetic.dat", kFontName, kCell, kCell, 16, 16), nullptr);
    EXPECT_EQ(RenderTest::CountOf(Messages(),
                                  "Font synthetic not added: the text manager is not initialised "
                                  "(TextManager::Init first, and again after a restore)"),
              1u);
    EXPECT_TRUE(LoggedPart("Font synthetic.tex not added"));
}

#ifdef SAMPLE_FONT_DIR

// Fonts baked at three cell sizes, each drawn at its native size: every pixel of a glyph's
// quad shows the alpha of the texel the baker wrote at that place of the glyph's cell.
TEST_F(LoadFontTest, FontsBakedAtEveryCellSizeDrawTheirGlyphs) {
    const std::string kText = "Hg_Wj";
    fs::create_directories("baked");
    for (int cell : {16, 32, 64}) {
        SCOPED_TRACE(cell);
        const std::string name = "dejavu" + std::to_string(cell);
        const TestSupport::RunResult baked =
            TestSupport::Run(std::string(BIN_DIR) + "/fontbake",
                             {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", name, "--cell",
                              std::to_string(cell), "--out", "baked"},
                             temp.Path());
        ASSERT_EQ(baked.ExitCode, 0) << baked.Err;
        LibFont* loaded = text().LoadFont("baked", name);
        ASSERT_NE(loaded, nullptr) << (Messages().empty() ? "" : Messages().back());
        ASSERT_TRUE(text().SetFont(loaded->TextureName));
        text().SetSize(static_cast<float>(cell));

        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        const int step = cell + 8;
        for (size_t k = 0; k < kText.size(); k++)
            text().AddText(kText.substr(k, 1), 4.0f + k * step, 4.0f, 0xFFFFFFFF, 0.0f, 0);
        text().Render(-1);
        const std::vector<uint32_t> pixels = BackBuffer();

        // The texture: a 128-byte header, then A8L8 texels with A in the high byte.
        const std::string dds = TestSupport::ReadFile(temp.Path() / "baked" / (name + ".dds"));
        const int side = cell * 16;
        ASSERT_EQ(dds.size(), 128u + static_cast<size_t>(side) * side * 2);
        for (size_t k = 0; k < kText.size(); k++) {
            const int g = LibFont::GetGlyphIndex(kText[k]);
            int inked = 0;
            for (int y = 0; y < cell; y++) {
                for (int x = 0; x < cell; x++) {
                    const size_t texel =
                        static_cast<size_t>((g / 16) * cell + y) * side + (g % 16) * cell + x;
                    const int alpha = static_cast<uint8_t>(dds[128 + texel * 2 + 1]);
                    const uint32_t pixel = Pixel(pixels, 4 + static_cast<int>(k) * step + x, 4 + y);
                    // White ink blended over black by its alpha; blending may round by one.
                    ASSERT_NEAR(static_cast<int>(pixel & 0xFF), alpha, 1)
                        << kText[k] << " at " << x << ", " << y;
                    ASSERT_EQ(pixel >> 16, pixel & 0xFF);
                    inked += alpha >= 128;
                }
            }
            EXPECT_GE(inked, cell / 4) << kText[k];  // no glyph is blank at any size
        }
    }
}

#endif

}  // namespace
