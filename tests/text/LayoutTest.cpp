// Measuring and laying out one line: advances, spaces, tabs, kerning, alignment, the pending
// limit and the render limits, and the text manager's life cycle.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "TextFixture.h"
#include "render/GVertexCache.h"
#include "text/TextEngine.h"

namespace {

using TextTest::TextFixture;
using TextTest::Width;

// x of the first pending vertex of glyph quad i: the pen position less the half-pixel offset.
float QuadX(int i) {
    return GetTextManager().GetPendingVerts()[i * 4].X;
}

TEST_F(TextFixture, CharWidthsAreExactWhileSpacesAdvanceByWholePixels) {
    text().SetSize(10.0f);
    const float s = 10.0f / TextTest::kCell;
    EXPECT_FLOAT_EQ(text().GetCharWidth(' '), 2.5f);
    EXPECT_FLOAT_EQ(text().GetCharWidth('\0'), 2.5f);
    EXPECT_FLOAT_EQ(text().GetCharWidth('A'), Width(G('A')) * s);
    // 0x92 measures as glyph 0 but is drawn as the apostrophe.
    EXPECT_FLOAT_EQ(text().GetCharWidth('\x92'), Width(0) * s);
    EXPECT_EQ(text().GetStringLength("AB"), static_cast<int>((Width(G('A')) + Width(G('B'))) * s));

    text().AddText(" ", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_FLOAT_EQ(text().LastX, 2.0f);
    text().AddText("\x92", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_FLOAT_EQ(text().GetPendingVerts()[0].U, font->TexU[G('\'')][0]);
    EXPECT_FLOAT_EQ(text().LastX, Width(G('\'')) * s);

    font->CharSpacing = 2;
    EXPECT_FLOAT_EQ(text().GetCharWidth('A'), (Width(G('A')) + 2) * s);
    text().FixedWidth = true;
    EXPECT_FLOAT_EQ(text().GetCharWidth('A'), 10.0f / 12.0f * 9.0f + 2 * s);
}

struct PenCase {
    const char* text;
    float x;
    float width;
    int align;
    float expected;  // pen x of the last glyph
};
void PrintTo(const PenCase& c, std::ostream* os) {
    std::string shown;
    for (const char* p = c.text; *p; p++)
        shown += *p == '\t' ? std::string("<tab>") : std::string(1, *p);
    *os << shown << " at " << c.x << " align " << c.align;
}

class PenTest : public TextFixture, public ::testing::WithParamInterface<PenCase> {};

TEST_P(PenTest, PlacesTheGlyphAtThePen) {
    const PenCase& c = GetParam();
    text().AddText(c.text, c.x, 7.9f, 0xFFFFFFFF, c.width, c.align);
    const int quads = text().GetPendingCount() / 4;
    ASSERT_GT(quads, 0);
    EXPECT_FLOAT_EQ(QuadX(quads - 1), c.expected - 0.5f);
    EXPECT_FLOAT_EQ(text().GetPendingVerts()[0].Y, 7.0f - 0.5f);
}

// "AB" is 10 + 6 = 16 pixels wide at the native size; 'f' is 10 and kerns -1 before 'o', -2
// before 'f'.
INSTANTIATE_TEST_SUITE_P(
    Table, PenTest,
    ::testing::Values(PenCase{"\tA", 0.0f, 0, 0, 80.0f}, PenCase{"\tA", 80.0f, 0, 0, 160.0f},
                      PenCase{"\tA", 95.0f, 0, 0, 160.0f}, PenCase{"A\tB", 60.0f, 0, 0, 80.0f},
                      PenCase{"A", 10.7f, 0, 0, 10.0f}, PenCase{"AB", 10.0f, 100.0f, 1, 104.0f},
                      PenCase{"AB", 10.0f, 100.0f, 2, 62.0f}, PenCase{"A", 50.0f, 100.0f, 3, 0.0f},
                      PenCase{"fo", 0.0f, 0, 0, 9.0f}, PenCase{"ff", 0.0f, 0, 0, 8.0f},
                      PenCase{"f o", 0.0f, 0, 0, 14.0f}, PenCase{"A  B", 0.0f, 0, 0, 18.0f}));

TEST_F(TextFixture, ALineStopsAt999PendingGlyphs) {
    text().AddText(std::string(1000, 'A'), 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_EQ(text().GetPendingCount(), TextManager::MAXPENDING);
    EXPECT_EQ(RenderTest::CountOf(Messages(), "ERROR - Text exceeds max characters"), 1u);
    // A line that might not fit is preceded by a render of what is pending.
    text().AddText("AB", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_EQ(text().GetPendingCount(), 8);
}

struct LimitCase {
    int maxquads;
    bool result;
    int drawn;
};
void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << "maxquads " << c.maxquads;
}

class RenderLimitTest : public TextFixture, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(RenderLimitTest, DrawsTheFirstQuadsAndDropsTheRest) {
    text().AddText("AAAAA", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_EQ(text().Render(GetParam().maxquads), GetParam().result);
    EXPECT_EQ(text().GetPendingCount(), 0);
    const std::vector<uint32_t> pixels = BackBuffer();
    for (int i = 0; i < 5; i++) {
        const uint32_t want = i < GetParam().drawn ? 0xFFFFFF : 0;
        EXPECT_EQ(Pixel(pixels, i * Width(G('A')) + 1, TextTest::kInkTop), want) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RenderLimitTest,
                         ::testing::Values(LimitCase{2, false, 2}, LimitCase{5, true, 5},
                                           LimitCase{-1, true, 5}, LimitCase{0, false, 0}));

TEST_F(TextFixture, PointFilteringOnlyWhileDrawingAtTheNativeSize) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    for (float size : {16.0f, 12.0f}) {
        text().SetSize(size);
        text().AddText("A", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
        SoftD3D::ResetCallCounts();
        text().Render(-1);
        EXPECT_EQ(SoftD3D::CallCount("SetSamplerState"), size == 16.0f ? 4u : 0u) << size;
        DWORD filter = 0;
        device->GetSamplerState(0, D3DSAMP_MAGFILTER, &filter);
        EXPECT_EQ(filter, static_cast<DWORD>(D3DTEXF_LINEAR));
    }
}

TEST_F(TextFixture, RenderToCacheHandsOverThePendingQuads) {
    GVertexCache cache(64);
    text().AddText("AB", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    text().RenderToCache(&cache);
    EXPECT_EQ(cache.Count, 8);
    EXPECT_EQ(text().GetPendingCount(), 0);
    EXPECT_FLOAT_EQ(cache.Verts[4].X, Width(G('A')) - 0.5f);
}

TEST_F(TextFixture, GlyphRectsCoverThePendingQuadsOnly) {
    text().AddText("AB", 3.0f, 5.0f, 0xFFFFFFFF, 0.0f, 0);
    RECT r = text().GetGlyphRect(1);
    EXPECT_EQ(r.left, 3 + Width(G('A')) - 1);  // 12.5 truncated
    EXPECT_EQ(r.top, 4);
    EXPECT_EQ(r.right, 3 + Width(G('A')) + 15);
    EXPECT_EQ(r.bottom, 20);
    for (int i : {-1, 2, 1000}) {
        r = text().GetGlyphRect(i);
        EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) << i;
    }
}

TEST_F(TextFixture, FontsAreSelectedByNameAndForgottenOnRelease) {
    text().AddText("A", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    EXPECT_FALSE(text().SetFont("nope"));
    EXPECT_TRUE(Logged("missing font: nope"));
    EXPECT_EQ(text().GetCurrentFont(), font);
    // The same font and size: the pending quads stay.
    text().SetFontAndSize(TextTest::kFontName, 16.0f);
    EXPECT_EQ(text().GetPendingCount(), 4);

    // A restore releases the manager: no font may be used afterwards.
    GetTextureManager().ReleaseForRestore();
    EXPECT_FALSE(text().IsInitialised());
    EXPECT_EQ(text().GetCurrentFont(), nullptr);
    EXPECT_EQ(text().GetPendingCount(), 0);
    Mark();
    text().DrawRotatedText("A", 10.0f, 10.0f, 90.0f, 0xFFFFFFFF);
    EXPECT_TRUE(Logged("TextNotInitialised"));
    EXPECT_EQ(text().GetStringLength("A"), 0);
    EXPECT_TRUE(Logged("Text Not Initialised"));
    EXPECT_TRUE(text().Render(-1));

    // Initialised again, without a font: measuring answers 0 and layout does nothing.
    text().Init();
    Mark();
    EXPECT_EQ(text().GetCharWidth('A'), 0.0f);
    EXPECT_EQ(text().GetStringLength("AB"), 0);
    text().AddText("AB", 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0);
    text().DrawRotatedText("AB", 0.0f, 0.0f, 90.0f, 0xFFFFFFFF);
    text().AddJustifiedText("A B", 0.0f, 0.0f, 50.0f, 0xFFFFFFFF);
    EXPECT_EQ(text().AddWrappedText("A B", 0.0f, 5.0f, 50.0f, 0xFFFFFFFF, -1), 5.0f);
    EXPECT_EQ(text().GetPendingCount(), 0);
    EXPECT_TRUE(Logged("No current font"));
}

}  // namespace
