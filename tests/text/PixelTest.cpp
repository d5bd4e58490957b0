// Drawn text on pixels. The expected image is built here from the synthetic font's widths and
// the layout rules (pen in whole pixels, spaces of a quarter of the size truncated, tab stops
// every 80 pixels, the default kerning pairs), never from a capture of the engine's output.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "TextFixture.h"
#include "render/FrameRecorder.h"

namespace {

using TextTest::TextFixture;
using TextTest::Width;

class Expected {
public:
    Expected(int width, int height) : w(width), h(height), ink(width * height, false) {}

    // Lays a line out at the native size (one texel per pixel) from pen (x, y).
    void Line(const std::string& text, int x, int y) {
        int pen = x;
        int prev = -1;
        for (char c : text) {
            if (c == '\t') {
                pen = (pen / 80 + 1) * 80;
                prev = -1;
                continue;
            }
            if (c == ' ') {
                pen += TextTest::kCell / 4;
                prev = -1;
                continue;
            }
            const int g = LibFont::GetGlyphIndex(c);
            pen += Kerning(prev, c);
            Glyph(g, pen, y);
            pen += Width(g);
            prev = c;
        }
    }
    // The cell of glyph g with its top-left corner on pixel (x, y).
    void Glyph(int g, int x, int y) {
        for (int ty = 0; ty < TextTest::kCell; ty++)
            for (int tx = 0; tx < TextTest::kCell; tx++)
                if (TextTest::IsInk(g, tx, ty)) Set(x + tx, y + ty);
    }
    void Set(int x, int y) {
        if (x >= 0 && y >= 0 && x < w && y < h) ink[y * w + x] = true;
    }
    bool At(int x, int y) const { return ink[y * w + x]; }

private:
    static int Kerning(int prev, char c) {
        if (prev == 'f')
            return c == 'f' ? -2 : (c == 'o' || c == 'e' || c == 'a' || c == 'u') ? -1 : 0;
        if (prev == 'o' && c == 'w') return -1;
        return 0;
    }
    int w, h;
    std::vector<bool> ink;
};

// Every pixel white where the expected image has ink, black elsewhere.
void ExpectImage(const std::vector<uint32_t>& pixels, const Expected& expected, int w, int h) {
    int wrong = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            const uint32_t want = expected.At(x, y) ? 0xFFFFFF : 0x000000;
            const uint32_t got = pixels[y * w + x] & 0xFFFFFF;
            if (got != want && wrong++ < 10)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(TextFixture, ALineDrawsEveryGlyphAtItsPen) {
    const std::string line = "Tofu ff, fox\tWow";
    text().AddText(line, 3.0f, 20.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_TRUE(text().Render(-1));
    Expected expected(kWidth, kHeight);
    expected.Line(line, 3, 20);
    ExpectImage(BackBuffer(), expected, kWidth, kHeight);
}

TEST_F(TextFixture, RotatedTextAtNinetyDegreesRunsAlongX) {
    // Glyph centres run along +x from (x, y): the first cell's corner is half a cell up-left.
    // Rotated text keeps the device's filter; point filtering makes texels exact here.
    engine().SetPointFiltering();
    text().DrawRotatedText("fox", 40.0f, 30.0f, 90.0f, 0xFFFFFFFF);
    EXPECT_EQ(text().GetPendingCount(), 0);
    Expected expected(kWidth, kHeight);
    expected.Line("fox", 40 - TextTest::kCell / 2, 30 - TextTest::kCell / 2);
    ExpectImage(BackBuffer(), expected, kWidth, kHeight);
}

// A panel clips text through the engine's viewport: laid out as if the panel went on, drawn
// only inside it, straight and rotated alike.
TEST_F(TextFixture, TextInANarrowedViewportShowsOnlyInsideIt) {
    const int left = 30, top = 25, right = 140, bottom = 45;
    engine().CliViewport(left, top, right, bottom);
    const std::string line = "Tofu ff, fox\tWow";
    text().AddText(line, 3.0f, 20.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_TRUE(text().Render(-1));
    engine().SetPointFiltering();  // Render went back to linear filtering
    text().DrawRotatedText("fox", 125.0f, 30.0f, 90.0f, 0xFFFFFFFF);  // across the right edge
    engine().RestoreViewport();

    Expected full(kWidth, kHeight);
    full.Line(line, 3, 20);
    full.Line("fox", 125 - TextTest::kCell / 2, 30 - TextTest::kCell / 2);
    Expected clipped(kWidth, kHeight);
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++)
            if (full.At(x, y)) clipped.Set(x, y);
    ExpectImage(BackBuffer(), clipped, kWidth, kHeight);
}

TEST_F(TextFixture, RotatedTextAtZeroDegreesRunsUpward) {
    engine().SetPointFiltering();
    text().DrawRotatedText("AA", 100.0f, 50.0f, 0.0f, 0xFFFFFFFF);
    // The cells are turned a quarter counter-clockwise: the ink rows of a cell become columns,
    // and the second glyph sits one advance higher.
    const std::vector<uint32_t> pixels = BackBuffer();
    const int a = Width(G('A'));
    const int left = 100 - TextTest::kCell / 2;
    for (int y : {50 - 1, 50 - a - 1}) {
        EXPECT_EQ(Pixel(pixels, left + TextTest::kInkTop, y), 0xFFFFFFu) << y;
        EXPECT_EQ(Pixel(pixels, left + TextTest::kInkTop - 2, y), 0u) << y;
    }
}

TEST_F(TextFixture, TextureUseNamesAreDrawnInColumns) {
    // Rows at y 42, 62, 82 and 102; the next would pass ScreenHeight - 20 and starts a new
    // column 200 pixels to the right.
    GTextureUseList& list = GetTextureUseList();
    list.Clear();
    for (int i = 0; i < 5; i++) list.AddTexture(nullptr);  // each appears as "null"
    list.DrawNames();
    list.Clear();
    EXPECT_EQ(text().GetPendingCount(), 0);
    const std::vector<uint32_t> pixels = BackBuffer();
    const int ink = TextTest::kInkTop;
    for (int y : {42, 62, 82, 102}) EXPECT_EQ(Pixel(pixels, 53, y + ink), 0xFFFFFFu) << y;
    EXPECT_EQ(Pixel(pixels, 253, 42 + ink), 0xFFFFFFu);
    EXPECT_NE(Pixel(pixels, 253, 62 + ink), 0xFFFFFFu);
}

}  // namespace
