// text_demo and the demo draw with a font baked at any cell size: each is run with DejaVu Sans
// baked at cells 16, 32 and 64, and a line of its text is checked against the layout and
// filtering rules worked out here from the baked texture and widths. A pixel whose texture
// footprint is all solid ink shows the text's colour; one whose footprint is all clear, under
// every glyph covering it, shows the background.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/DeviceSupport.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const char* const kTtf = HOST_ROOT "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// The glyph order's first 95 cells: '!' to '?', the space, 'A' to '_', 'a' to '~'.
const std::string kOrder =
    "!\"#$%&'()*+,-./0123456789:;<=>? ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_abcdefghijklmnopqrstuvwxyz"
    "{|}~";

// What fontbake wrote for one cell size.
struct BakedFont {
    int Cell = 0;
    int Side = 0;
    std::vector<uint8_t> Alpha;  // Side x Side
    std::vector<int32_t> Widths;

    bool Read(const fs::path& folder) {
        const std::string dds = TestSupport::ReadFile(folder / "dejavu.dds");
        const std::string dat = TestSupport::ReadFile(folder / "data/fonts/dejavu.dds.dat");
        Side = Cell * 16;
        if (dds.size() != 128u + size_t(Side) * Side * 2 || dat.size() != 256 * 4) return false;
        for (size_t i = 0; i < size_t(Side) * Side; i++)
            Alpha.push_back(static_cast<uint8_t>(dds[128 + 2 * i + 1]));
        for (size_t i = 0; i < 256; i++) {
            const auto* b = reinterpret_cast<const uint8_t*>(dat.data() + 4 * i);
            Widths.push_back(
                static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24));
        }
        return true;
    }
    int Glyph(char c) const { return static_cast<int>(kOrder.find(c)); }
};

// A frame the example saved, as ARGB.
struct Image {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;
};

// The default kerning pairs, in texels.
float Kerning(char previous, char c) {
    if (previous == 'f')
        return c == 'f' ? -2.0f : (c == 'o' || c == 'e' || c == 'a' || c == 'u') ? -1.0f : 0.0f;
    return previous == 'o' && c == 'w' ? -1.0f : 0.0f;
}

// Filtering allows for this much in alpha between implementations (their weights are of
// limited precision).
constexpr int kFilterTolerance = 4;

int AlphaAt(const BakedFont& font, int x, int y) {
    return font.Alpha[size_t(std::clamp(y, 0, font.Side - 1)) * font.Side +
                      size_t(std::clamp(x, 0, font.Side - 1))];
}

// The range of alpha the sampler may give at texture coordinate (tx, ty), in texels. Linear
// filtering weighs the two texels either side of t - 0.5 on each axis by its fraction; point
// filtering takes the texel under t, either of two where t lies within a 32nd of a texel of
// their boundary, where implementations may round either way.
void SampledAlpha(const BakedFont& font, float tx, float ty, bool point, int& low, int& high) {
    if (point) {
        const float e = 1.0f / 32;
        low = 255;
        high = 0;
        for (float dy : {-e, e})
            for (float dx : {-e, e}) {
                const int a = AlphaAt(font, static_cast<int>(std::floor(tx + dx)),
                                      static_cast<int>(std::floor(ty + dy)));
                low = std::min(low, a);
                high = std::max(high, a);
            }
        return;
    }
    const float cx = tx - 0.5f, cy = ty - 0.5f;
    const int x0 = static_cast<int>(std::floor(cx)), y0 = static_cast<int>(std::floor(cy));
    const float fx = cx - x0, fy = cy - y0;
    const float top = AlphaAt(font, x0, y0) * (1 - fx) + AlphaAt(font, x0 + 1, y0) * fx;
    const float bottom = AlphaAt(font, x0, y0 + 1) * (1 - fx) + AlphaAt(font, x0 + 1, y0 + 1) * fx;
    const float a = top * (1 - fy) + bottom * fy;
    low = std::max(0, static_cast<int>(std::floor(a)) - kFilterTolerance);
    high = std::min(255, static_cast<int>(std::ceil(a)) + kFilterTolerance);
    // A texel of no ink stays clear: it fails the alpha test and draws nothing.
    if (a == 0.0f) low = high = 0;
}

// One channel of colour blended over background by alpha a.
int Blend(uint32_t colour, uint32_t background, int shift, int a) {
    const int c = int(colour >> shift & 0xFF), b = int(background >> shift & 0xFF);
    return (c * a + b * (255 - a) + 127) / 255;
}

// Checks one line drawn by AddText(text, x, y, colour, 0, 0) at size, and rendered while the
// size was renderSize, over a background of one colour. Every pixel of the line's band that only
// one glyph inks lies between the colour blended by the least and by the most alpha the sampler may
// give (and 2 more for the rounding of the modulation and the blend); every pixel no glyph inks
// shows the background. Pixels on a quad's edge, whose coverage is the rasteriser's to decide, and
// pixels two glyphs ink are left out. Returns the pixels checked that show at least half-covered
// ink.
int CheckLine(const Image& image, const BakedFont& font, const std::string& text, int x, int y,
              float size, float renderSize, uint32_t colour, uint32_t background) {
    const float s = size / static_cast<float>(font.Cell);
    struct Quad {
        int Glyph;
        float Left;  // the quad runs from here to Left + size; its pen is Left + 0.5
    };
    std::vector<Quad> quads;
    float pen = static_cast<float>(x);
    char previous = 0;
    for (char c : text) {
        if (c == ' ') {
            pen += std::trunc(size * 0.25f);
            previous = 0;
            continue;
        }
        if (previous != 0) pen += Kerning(previous, c) * s;
        const int g = font.Glyph(c);
        quads.push_back({g, pen - 0.5f});
        pen += static_cast<float>(font.Widths[g]) * s;
        previous = c;
    }
    // The text manager samples by point when the size at the time it renders is the font's
    // native size, its cell; the quads keep the size they were laid out at.
    const bool point = renderSize == static_cast<float>(font.Cell);
    const float texelsPerPixel = static_cast<float>(font.Cell) / size;
    const float top = y - 0.5f;
    int inked = 0;
    for (int py = y + 1; py < y + static_cast<int>(size) - 1; py++) {
        for (int px = x - 4; px < static_cast<int>(pen + size) + 4; px++) {
            bool edge = false;
            int inking = 0, low = 0, high = 0;
            for (const Quad& q : quads) {
                if (px < q.Left - 1 || px > q.Left + size + 1) continue;
                if (px < q.Left + 1 || px > q.Left + size - 1) {
                    edge = true;
                    continue;
                }
                const float tx = (q.Glyph % 16) * font.Cell + (px - q.Left) * texelsPerPixel;
                const float ty = (q.Glyph / 16) * font.Cell + (py - top) * texelsPerPixel;
                int l = 0, h = 0;
                SampledAlpha(font, tx, ty, point, l, h);
                if (h > 0) {
                    inking++;
                    low = l;
                    high = h;
                }
            }
            if (edge || inking > 1) continue;
            const uint32_t pixel = image.Pixels[size_t(py) * image.Width + px];
            for (int shift : {0, 8, 16}) {
                const int got = int(pixel >> shift & 0xFF);
                const int a = Blend(colour, background, shift, low);
                const int b = Blend(colour, background, shift, high);
                EXPECT_GE(got, std::min(a, b) - 2) << px << ", " << py << " in \"" << text << "\"";
                EXPECT_LE(got, std::max(a, b) + 2) << px << ", " << py << " in \"" << text << "\"";
            }
            inked += inking == 1 && low >= 128;
            if (::testing::Test::HasFailure()) return inked;
        }
    }
    return inked;
}

class ExampleFonts : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        SKIP_WITHOUT_DEVICE();
        const TestSupport::RunResult bake = TestSupport::Run(
            std::string(BIN_DIR) + "/fontbake",
            {kTtf, "dejavu", "--cell", std::to_string(GetParam()), "--out", "font"}, dir.Path());
        ASSERT_EQ(bake.ExitCode, 0) << bake.Err;
        font.Cell = GetParam();
        ASSERT_TRUE(font.Read(dir.Path() / "font"));
    }
    Image Run(const std::string& program, const std::vector<std::string>& args) {
        const TestSupport::RunResult run =
            TestSupport::Run(std::string(BIN_DIR) + "/" + program, args, dir.Path());
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Err.find("no text"), std::string::npos) << run.Err;
        Image image;
        EXPECT_TRUE(TestSupport::ReadImageFile((dir.Path() / "shot.png").string(), image.Width,
                                               image.Height, image.Pixels));
        return image;
    }
    TestSupport::TempDir dir;
    BakedFont font;
};

TEST_P(ExampleFonts, TextDemoDrawsTheTitle) {
    const Image image = Run("text_demo", {"font", "shot.png"});
    ASSERT_EQ(image.Width, 640);
    // The title, laid out at size 32 in its colour over the clear colour, and rendered with the
    // rest of the frame's text at size 16.
    EXPECT_GT(
        CheckLine(image, font, "fontbake: office offer", 16, 10, 32.0f, 16.0f, 0xF4D03F, 0x1C2833),
        300);
}

TEST_P(ExampleFonts, DemoDrawsTheKeys) {
    const Image image =
        Run("demo", {"--headless", "--width", "640", "--height", "480", "--sprites", "0",
                     "--frames", "1", "--screenshot", "shot.png", "--font", "font"});
    ASSERT_EQ(image.Width, 640);
    // The reminder of the keys, at size 14 over the status panel, whose fill shows left of it.
    const uint32_t panel = image.Pixels[size_t(145) * image.Width + 12];
    EXPECT_GT(CheckLine(image, font, "W wireframe, B batching, + and - sprites", 16, 138, 14.0f,
                        14.0f, 0xB0B8C8, panel),
              40);
}

INSTANTIATE_TEST_SUITE_P(Cells, ExampleFonts, ::testing::Values(16, 32, 64),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Cell" + std::to_string(info.param);
                         });

}  // namespace
