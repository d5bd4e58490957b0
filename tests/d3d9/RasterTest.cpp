// Coverage, lines, clipping and texture sampling of the rasterizer, pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>

#include "RasterTestImage.h"

using namespace RasterTest;
using RasterTest::Draw;
using SoftRaster::State;
using SoftRaster::Vertex;

namespace {

// A texture whose texels are all different, stored in the given format.
struct TestTexture {
    TestTexture(int w, int h, uint32_t format, uint32_t seed = 7) : Img(w, h, format) {
        std::mt19937 rng(seed);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) Img.Set(x, y, rng());
        Tex.Levels = 1;
        Tex.Level[0] = Img.Surf();
    }
    Image Img;
    SoftRaster::Texture Tex;
};

// Additive blending of a small value shows how often each pixel was drawn.
State CountingState(const Image& target) {
    State st = StateFor(target);
    st.AlphaBlend = true;
    st.SrcBlend = 2;   // one
    st.DestBlend = 2;  // one
    return st;
}

std::set<std::pair<int, int>> Lit(Image& img) {
    std::set<std::pair<int, int>> lit;
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x)
            if (img.Get(x, y) != 0) lit.insert({x, y});
    return lit;
}

enum class Path { kIndexedList, kStrip, kFan, kSeparateTriangles };

bool DrawQuadAs(Path path, Image& target, const State& st, const std::vector<Vertex>& q) {
    using SoftRaster::kTriangleFan, SoftRaster::kTriangleList, SoftRaster::kTriangleStrip;
    switch (path) {
        case Path::kIndexedList:
            return DrawQuad(target, st, q);
        case Path::kStrip:
            return Draw(target.Surf(), st, kTriangleStrip, q.data(), nullptr, false, 2);
        case Path::kFan: {
            // A fan is never merged into a rectangle, so this takes the triangle path.
            const Vertex fan[4] = {q[0], q[1], q[3], q[2]};
            return Draw(target.Surf(), st, kTriangleFan, fan, nullptr, false, 2);
        }
        case Path::kSeparateTriangles: {
            const Vertex tris[6] = {q[0], q[1], q[2], q[2], q[1], q[3]};
            const State* s = &st;
            return Draw(target.Surf(), *s, kTriangleList, tris, nullptr, false, 1) &&
                   Draw(target.Surf(), *s, kTriangleList, tris + 3, nullptr, false, 1);
        }
    }
    return false;
}

class TexturedQuadByPath : public ::testing::TestWithParam<Path> {};

TEST_P(TexturedQuadByPath, PointSampledOneToOne_ReproducesTextureAndNothingElse) {
    TestTexture tex(7, 5, PixelFormats::kA8R8G8B8);
    Image target(16, 12, PixelFormats::kA8R8G8B8, 0xFF000000);
    State st = StateFor(target);
    st.Tex = &tex.Tex;
    ASSERT_TRUE(DrawQuadAs(GetParam(), target, st,
                           Quad(3 - 0.5f, 4 - 0.5f, 10 - 0.5f, 9 - 0.5f, 0xFFFFFFFF)));
    for (int y = 0; y < target.Height; ++y)
        for (int x = 0; x < target.Width; ++x) {
            const bool inside = x >= 3 && x < 10 && y >= 4 && y < 9;
            const uint32_t want = inside ? tex.Img.Get(x - 3, y - 4) : 0xFF000000;
            ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Paths, TexturedQuadByPath,
                         ::testing::Values(Path::kIndexedList, Path::kStrip, Path::kFan,
                                           Path::kSeparateTriangles));

class TexturedQuadByFormat : public ::testing::TestWithParam<uint32_t> {};

TEST_P(TexturedQuadByFormat, OneToOneWithDefaultLinearFilters_ReproducesTexels) {
    // Linear filters at exactly one texel per pixel sample texel centres, so nothing blurs.
    TestTexture tex(6, 4, GetParam(), 11);
    Image target(6, 4);
    State st = StateFor(target);
    st.Tex = &tex.Tex;
    st.MinFilter = st.MagFilter = st.MipFilter = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 5.5f, 3.5f, 0xFFFFFFFF)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            uint32_t want = tex.Img.Get(x, y);
            ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Formats, TexturedQuadByFormat,
                         ::testing::Values(21u, 22u, 23u, 24u, 25u, 26u, 28u, 50u, 51u));

struct SpanCase {
    float X0, X1;
    int First, Last;  // pixels covered, inclusive; Last < First for none
};

class RectangleEdges : public ::testing::TestWithParam<std::tuple<SpanCase, Path>> {};

TEST_P(RectangleEdges, CoverCentresFromLeftEdgeInclusiveToRightEdgeExclusive) {
    const SpanCase c = std::get<0>(GetParam());
    Image target(10, 10);
    State st = CountingState(target);
    // The same span horizontally and vertically checks the left and the top edge rule.
    ASSERT_TRUE(
        DrawQuadAs(std::get<1>(GetParam()), target, st, Quad(c.X0, c.X0, c.X1, c.X1, 0x01010101)));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool in = x >= c.First && x <= c.Last && y >= c.First && y <= c.Last;
            ASSERT_EQ(target.Get(x, y), in ? 0x01010101u : 0u) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Spans, RectangleEdges,
    ::testing::Combine(::testing::Values(SpanCase{1.5f, 4.5f, 2, 4}, SpanCase{2.0f, 4.0f, 2, 3},
                                         SpanCase{1.9f, 4.1f, 2, 4}, SpanCase{2.1f, 3.9f, 3, 3},
                                         SpanCase{2.2f, 2.8f, 1, 0}, SpanCase{-3.0f, 20.0f, 0, 9}),
                       ::testing::Values(Path::kIndexedList, Path::kFan)));

TEST(RasterCoverage, JitteredMeshOfTriangles_CoversEveryPixelExactlyOnce) {
    // A grid with irregular shared corners over more than the whole target: independent
    // triangles, no rectangles, and every pixel must be drawn once.
    const int n = 9;
    Image target(40, 30);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> jitter(-1.7f, 1.7f);
    std::vector<Vertex> grid;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            float x = -2.0f + i * 44.0f / n, y = -2.0f + j * 34.0f / n;
            if (i > 0 && i < n) x += jitter(rng);
            if (j > 0 && j < n) y += jitter(rng);
            grid.push_back(Vert(x, y, 0x01010101));
        }
    std::vector<uint16_t> indices;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const uint16_t a = uint16_t(j * (n + 1) + i), b = uint16_t(a + 1),
                           c = uint16_t(a + n + 1), d = uint16_t(c + 1);
            // Alternate the diagonal so both orientations of shared edges occur.
            if ((i + j) % 2)
                indices.insert(indices.end(), {a, b, c, c, b, d});
            else
                indices.insert(indices.end(), {a, b, d, a, d, c});
        }
    State st = CountingState(target);
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, grid.data(), indices.data(),
                     false, uint32_t(indices.size() / 3)));
    for (int y = 0; y < target.Height; ++y)
        for (int x = 0; x < target.Width; ++x)
            ASSERT_EQ(target.Get(x, y), 0x01010101u) << x << "," << y;
}

TEST(RasterCoverage, QuadsSharingFractionalEdges_CoverEveryPixelOnce) {
    Image target(12, 12);
    State st = CountingState(target);
    const float cuts[] = {-1.0f, 2.3f, 2.5f, 5.5f, 7.75f, 13.0f};
    for (int j = 0; j + 1 < 6; ++j)
        for (int i = 0; i + 1 < 6; ++i)
            ASSERT_TRUE(
                DrawQuad(target, st, Quad(cuts[i], cuts[j], cuts[i + 1], cuts[j + 1], 0x01010101)));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) ASSERT_EQ(target.Get(x, y), 0x01010101u) << x << "," << y;
}

// Two triangles of a list that make a convex quad may be drawn as one polygon; either way they
// light what they light one draw each: turned squares (some with edges through pixel centres)
// and random corners, which make convex, concave and crossed quads, in both windings.
TEST(RasterCoverage, QuadPairsLightWhatTheirTrianglesLightAlone) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 400; ++round) {
        std::vector<Vertex> q;
        if (round % 2 == 0) {
            // Whole-pixel centres and 45 degrees put corners and edges on pixel centres.
            const bool exact = round % 4 == 0;
            const double cx = exact ? 12 + round % 7 : unit(rng) * 24 + 4;
            const double cy = exact ? 11 + round % 5 : unit(rng) * 24 + 4;
            const double side = exact ? 2 * std::sqrt(2.0) * (1 + round % 9) : unit(rng) * 30;
            q = TurnedSquare(cx, cy, side, exact ? 45.0 * (round % 8) : unit(rng) * 360,
                             0x01010101);
        } else {
            for (int k = 0; k < 4; ++k)
                q.push_back(Vert(float(std::round(unit(rng) * 72) / 2 - 2),
                                 float(std::round(unit(rng) * 72) / 2 - 2), 0x01010101));
        }
        if (round % 3 == 0) std::swap(q[0], q[3]);  // the other winding
        Image merged(32, 32), alone(32, 32);
        State st = CountingState(merged);
        st.CullMode = round % 5 == 0 ? 3 : 1;  // counter-clockwise culled, or none
        ASSERT_TRUE(DrawQuadAs(Path::kIndexedList, merged, st, q));
        ASSERT_TRUE(DrawQuadAs(Path::kSeparateTriangles, alone, st, q));
        ASSERT_EQ(merged.Bits, alone.Bits) << "round " << round;
    }
}

TEST(RasterCoverage, CullModeDropsTrianglesOfTheCulledWinding) {
    Image target(8, 8);
    State st = StateFor(target);
    st.CullMode = 3;  // counter-clockwise culled
    // Clockwise on screen (y down): drawn.
    const Vertex cw[3] = {Vert(0, 0, 0xFFFF0000), Vert(8, 0, 0xFFFF0000), Vert(0, 8, 0xFFFF0000)};
    // Counter-clockwise: culled.
    const Vertex ccw[3] = {Vert(8, 8, 0xFF00FF00), Vert(8, 0, 0xFF00FF00), Vert(0, 8, 0xFF00FF00)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, cw, nullptr, false, 1));
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, ccw, nullptr, false, 1));
    EXPECT_EQ(target.Get(1, 1), 0xFFFF0000u);
    EXPECT_EQ(target.Get(7, 7), 0u);
    st.CullMode = 1;
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, ccw, nullptr, false, 1));
    EXPECT_EQ(target.Get(7, 7), 0xFF00FF00u);
}

struct LineCase {
    const char* Name;
    SoftRaster::Primitive Kind;
    std::vector<std::pair<float, float>> Points;
    std::set<std::pair<int, int>> Expected;
};

class Lines : public ::testing::TestWithParam<LineCase> {};

TEST_P(Lines, LightTheExpectedPixelsOnce) {
    const LineCase& c = GetParam();
    Image target(10, 10);
    State st = CountingState(target);
    std::vector<Vertex> v;
    for (auto& p : c.Points) v.push_back(Vert(p.first, p.second, 0x01010101));
    const uint32_t count =
        c.Kind == SoftRaster::kLineList ? uint32_t(v.size() / 2) : uint32_t(v.size() - 1);
    ASSERT_TRUE(Draw(target.Surf(), st, c.Kind, v.data(), nullptr, false, count));
    EXPECT_EQ(Lit(target), c.Expected);
    for (auto& p : Lit(target)) EXPECT_EQ(target.Get(p.first, p.second), 0x01010101u);
}

std::set<std::pair<int, int>> Row(int y, int x0, int x1) {
    std::set<std::pair<int, int>> s;
    for (int x = x0; x <= x1; ++x) s.insert({x, y});
    return s;
}

std::set<std::pair<int, int>> Outline(int x0, int y0, int x1, int y1) {
    std::set<std::pair<int, int>> s;
    for (int x = x0; x <= x1; ++x) s.insert({x, y0}), s.insert({x, y1});
    for (int y = y0; y <= y1; ++y) s.insert({x0, y}), s.insert({x1, y});
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Lines,
    ::testing::Values(
        LineCase{"HorizontalEndExcluded", SoftRaster::kLineList, {{1, 2}, {5, 2}}, Row(2, 1, 4)},
        LineCase{"RightToLeft", SoftRaster::kLineList, {{5, 2}, {1, 2}}, Row(2, 2, 5)},
        LineCase{"Vertical", SoftRaster::kLineList, {{3, 1}, {3, 4}}, {{3, 1}, {3, 2}, {3, 3}}},
        LineCase{
            "Diagonal", SoftRaster::kLineList, {{0, 0}, {4, 4}}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        LineCase{"ShallowRoundsMinorAxis",
                 SoftRaster::kLineList,
                 {{0, 0}, {8, 2}},
                 {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 2}}},
        LineCase{"TwoSegmentsOfAList",
                 SoftRaster::kLineList,
                 {{0, 0}, {3, 0}, {0, 5}, {0, 7}},
                 {{0, 0}, {1, 0}, {2, 0}, {0, 5}, {0, 6}}},
        LineCase{"ClosedStripLightsEachCornerOnce",
                 SoftRaster::kLineStrip,
                 {{2, 2}, {7, 2}, {7, 6}, {2, 6}, {2, 2}},
                 Outline(2, 2, 7, 6)},
        LineCase{"ShorterThanAPixel", SoftRaster::kLineList, {{3.1f, 3}, {3.4f, 3}}, {}},
        LineCase{"ClippedByTarget", SoftRaster::kLineList, {{-5, 9}, {20, 9}}, Row(9, 0, 9)}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.Name); });

TEST(RasterClipping, ViewportLimitsTrianglesLinesAndPoints) {
    Image target(10, 10);
    State st = StateFor(target);
    st.Viewport = {2, 3, 7, 6};
    ASSERT_TRUE(DrawQuad(target, st, Quad(-4, -4, 14, 14, 0xFF0000FF)));
    const Vertex line[2] = {Vert(0, 4, 0xFF00FF00), Vert(10, 4, 0xFF00FF00)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kLineList, line, nullptr, false, 1));
    const Vertex points[2] = {Vert(1, 1, 0xFFFF0000), Vert(2, 5, 0xFFFF0000)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kPointList, points, nullptr, false, 2));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            uint32_t want = 0;
            if (x >= 2 && x < 7 && y >= 3 && y < 6)
                want = (x == 2 && y == 5) ? 0xFFFF0000 : y == 4 ? 0xFF00FF00 : 0xFF0000FF;
            ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
        }
}

TEST(RasterClipping, HugeAndNonFiniteCoordinatesAreSafe) {
    Image target(8, 8);
    State st = CountingState(target);
    // A triangle far larger than any target still covers it exactly once.
    const Vertex huge[3] = {Vert(-1e7f, -1e7f, 0x01010101), Vert(3e7f, -1e7f, 0x01010101),
                            Vert(-1e7f, 3e7f, 0x01010101)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, huge, nullptr, false, 1));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Vertex bad[6] = {Vert(nan, 0, 0x01010101),   Vert(8, nan, 0x01010101),
                           Vert(inf, 0, 0x01010101),   Vert(0, -inf, 0x01010101),
                           Vert(nan, nan, 0x01010101), Vert(inf, inf, 0x01010101)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, bad, nullptr, false, 2));
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kLineStrip, bad, nullptr, false, 5));
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kPointList, bad, nullptr, false, 6));
    const Vertex wild[2] = {Vert(-3e9f, 2, 0x01010101), Vert(3e9f, 2.2f, 0x01010101)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kLineList, wild, nullptr, false, 1));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(target.Get(x, y), y == 2 ? 0x02020202u : 0x01010101u) << x << "," << y;
}

// A triangle reaching past about 2^40 pixels cannot be clipped exactly in double precision, so
// it is dropped whole rather than drawn as some arbitrary part of the target.
class FarTriangles : public ::testing::TestWithParam<float> {};

TEST_P(FarTriangles, CoverTheTargetOnceOrNotAtAll) {
    const float reach = GetParam();
    Image target(8, 8);
    State st = CountingState(target);
    const Vertex far[3] = {Vert(-reach, -reach, 0x01010101), Vert(3 * reach, -reach, 0x01010101),
                           Vert(-reach, 3 * reach, 0x01010101)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, far, nullptr, false, 1));
    const uint32_t want = reach < 1.0e12f ? 0x01010101u : 0u;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Reach, FarTriangles,
                         ::testing::Values(1.0e5f, 1.0e9f, 1.0e11f, 1.0e13f, 1.0e21f, 1.0e30f));

TEST(RasterDraw, CountedDrawRefusesIndicesPastTheVertices) {
    Image target(4, 4);
    State st = StateFor(target);
    const auto q = Quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xFFFFFFFF);
    const uint16_t bad[6] = {0, 1, 2, 2, 1, 4};
    EXPECT_FALSE(Draw(target.Surf(), st, SoftRaster::kTriangleList, q.data(), 4, bad, false, 2));
    EXPECT_FALSE(
        Draw(target.Surf(), st, SoftRaster::kTriangleStrip, q.data(), 3, nullptr, false, 2));
    EXPECT_EQ(Lit(target).size(), 0u);
    EXPECT_TRUE(
        Draw(target.Surf(), st, SoftRaster::kTriangleList, q.data(), 4, kQuadIndices, false, 2));
    EXPECT_EQ(Lit(target).size(), 16u);
    EXPECT_FALSE(Draw(target.Surf(), st, SoftRaster::Primitive(9), q.data(), nullptr, false, 1));
}

TEST(RasterFill, WireframeDrawsEachTrianglesEdges) {
    Image target(9, 9);
    State st = StateFor(target);
    st.FillMode = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(2, 2, 6, 6, 0xFFFFFFFF)));
    auto want = Outline(2, 2, 6, 6);
    want.insert({{3, 5}, {4, 4}, {5, 3}});  // the shared diagonal
    EXPECT_EQ(Lit(target), want);
}

TEST(RasterFill, FillConvertsTheColourAndClipsToTheTarget) {
    Image target(6, 4, PixelFormats::kR5G6B5);
    SoftRaster::Fill(target.Surf(), {-3, 1, 4, 9}, 0xFFFF8040);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            const uint8_t* p = target.At(x, y);
            const unsigned v = p[0] | (p[1] << 8);
            ASSERT_EQ(v, (y >= 1 && x < 4) ? 0xFC08u : 0u) << x << "," << y;
        }
}

TEST(RasterTexture, ClampAndWrapAddressingAtTheEdges) {
    // A 4x1 texture stretched over 12 pixels with u from -1 to 2.
    TestTexture tex(4, 1, PixelFormats::kA8R8G8B8);
    Image target(12, 1);
    State st = StateFor(target);
    st.Tex = &tex.Tex;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 11.5f, 0.5f, 0xFFFFFFFF, -1, 0, 2, 1)));
    for (int x = 0; x < 12; ++x) {
        const int texel = std::min(3, std::max(0, x - 4));
        EXPECT_EQ(target.Get(x, 0), tex.Img.Get(texel, 0)) << x;
    }
    st.AddressU = 1;  // wrap
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 11.5f, 0.5f, 0xFFFFFFFF, -1, 0, 2, 1)));
    for (int x = 0; x < 12; ++x) EXPECT_EQ(target.Get(x, 0), tex.Img.Get(x % 4, 0)) << x;
}

// A turned, point-sampled square shows at each pixel centre the texel found by turning that
// centre back into the texture; centres within a hair of an edge or texel boundary may go
// either way and are not checked.
class TurnedTexture : public ::testing::TestWithParam<double> {};

TEST_P(TurnedTexture, EachCentreShowsTheTexelUnderIt) {
    constexpr double kSide = 30, kCx = 20.3, kCy = 19.8, kHair = 0.01;
    constexpr uint32_t kBackground = 0xFF123456;
    TestTexture tex(4, 4, PixelFormats::kA8R8G8B8);
    Image target(40, 40, PixelFormats::kA8R8G8B8, kBackground);
    State st = StateFor(target);
    st.Tex = &tex.Tex;
    ASSERT_TRUE(DrawQuad(target, st, TurnedSquare(kCx, kCy, kSide, GetParam(), 0xFFFFFFFF)));
    const double a = GetParam() * 3.14159265358979323846 / 180;
    int checked = 0;
    for (int y = 0; y < target.Height; ++y)
        for (int x = 0; x < target.Width; ++x) {
            // The centre in the square's own frame, in texels from its corner.
            const double dx = x - kCx, dy = y - kCy;
            const double tu = (std::cos(a) * dx + std::sin(a) * dy) / kSide * 4 + 2;
            const double tv = (-std::sin(a) * dx + std::cos(a) * dy) / kSide * 4 + 2;
            auto nearLine = [&](double t) {
                return std::fabs(t - std::round(t)) < kHair * 4 / kSide;
            };
            if (nearLine(tu) || nearLine(tv)) continue;
            const bool inside = tu > 0 && tu < 4 && tv > 0 && tv < 4;
            const uint32_t want =
                inside ? tex.Img.Get(int(std::floor(tu)), int(std::floor(tv))) : kBackground;
            ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 1400);
}

INSTANTIATE_TEST_SUITE_P(Angles, TurnedTexture,
                         ::testing::Values(0.0, 17.0, 45.0, 90.0, 123.4, 200.0, 315.0, 359.5));

// A quad whose texture coordinates no one plane fits keeps the bend along its diagonal that its
// two triangles draw.
TEST(RasterTexture, QuadWithABentMappingDrawsAsItsTriangles) {
    TestTexture tex(8, 8, PixelFormats::kA8R8G8B8);
    std::vector<Vertex> q = TurnedSquare(16.2, 15.7, 24, 30, 0xFFFFFFFF);
    for (float shift : {0.3f, 0.01f}) {
        q[3].U = 1 + shift;
        Image merged(32, 32), alone(32, 32);
        State st = StateFor(merged);
        st.Tex = &tex.Tex;
        ASSERT_TRUE(DrawQuadAs(Path::kIndexedList, merged, st, q));
        ASSERT_TRUE(DrawQuadAs(Path::kSeparateTriangles, alone, st, q));
        EXPECT_EQ(merged.Bits, alone.Bits) << shift;
    }
}

TEST(RasterTexture, LinearMagnificationOfATwoTexelGradient) {
    Image texImg(2, 1, PixelFormats::kL8);
    texImg.Set(0, 0, 0xFF000000);
    texImg.Set(1, 0, 0xFFFFFFFF);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(8, 1);
    State st = StateFor(target);
    st.Tex = &tex;
    st.MagFilter = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 7.5f, 0.5f, 0xFFFFFFFF)));
    // Texel centres sit at pixels 1.5 and 5.5; clamping holds the ends.
    const uint32_t want[8] = {0, 0, 32, 96, 159, 223, 255, 255};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.Get(x, 0), 0xFF000000u | want[x] * 0x010101u) << x;
}

// An unscaled quad moved off the pixel grid by a fraction of a texel along each axis: each
// pixel weighs its texel and the next by the 8-bit fraction of its position, so shifts below
// 1/256 texel towards the origin reproduce the texels and any other shift blends them.
class LinearShift : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(LinearShift, WeighsNeighboursByTheEightBitFraction) {
    const double dx = GetParam().first, dy = GetParam().second;
    constexpr int kSide = 4;
    Image texImg(kSide, kSide, PixelFormats::kL8);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            texImg.Set(x, y, 0xFF000000u | ((x * 71 + y * 37) & 0xFF) * 0x010101u);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(kSide, kSide);
    State st = StateFor(target);
    st.Tex = &tex;
    st.MinFilter = st.MagFilter = 2;
    ASSERT_TRUE(DrawQuad(target, st,
                         Quad(float(dx - 0.5), float(dy - 0.5), float(dx + kSide - 0.5),
                              float(dy + kSide - 0.5), 0xFFFFFFFF)));
    // Texel index and 8-bit fraction of a pixel's sample point, texel corners at integers,
    // clamped to the texture.
    auto axis = [](int pixel, double shift, int& i0, int& i1, int& f) {
        const int64_t s = int64_t(std::llround((pixel - shift) * 65536.0));
        const int64_t k = s >> 16;
        f = int((s >> 8) & 0xFF);
        i0 = int(std::clamp<int64_t>(k, 0, kSide - 1));
        i1 = int(std::clamp<int64_t>(k + 1, 0, kSide - 1));
    };
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            if (x < dx || y < dy) continue;  // left of the quad or above it
            int u0, u1, fu, v0, v1, fv;
            axis(x, dx, u0, u1, fu);
            axis(y, dy, v0, v1, fv);
            auto l = [&](int u, int v) { return int(texImg.Get(u, v) & 0xFF); };
            const int top = l(u0, v0) * (256 - fu) + l(u1, v0) * fu;
            const int bottom = l(u0, v1) * (256 - fu) + l(u1, v1) * fu;
            const uint32_t want = uint32_t((top * (256 - fv) + bottom * fv + 32768) >> 16);
            EXPECT_EQ(target.Get(x, y), 0xFF000000u | want * 0x010101u)
                << x << "," << y << " shifted " << dx << "," << dy;
        }
}

INSTANTIATE_TEST_SUITE_P(Shifts, LinearShift,
                         ::testing::Values(std::make_pair(0.0, 0.0),
                                           std::make_pair(-1.0 / 512, -1.0 / 512),
                                           std::make_pair(1.0 / 512, 0.0),
                                           std::make_pair(0.0, 1.0 / 512),
                                           std::make_pair(0.25, 0.0), std::make_pair(0.0, 0.5),
                                           std::make_pair(0.75, 0.375)));

// Four mip levels of an 8x8 texture, each one flat colour.
struct MipTexture {
    MipTexture() {
        const uint32_t colors[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        for (int i = 0; i < 4; ++i) {
            levels.emplace_back(8 >> i, 8 >> i, PixelFormats::kA8R8G8B8, colors[i]);
        }
        Tex.Levels = 4;
        for (int i = 0; i < 4; ++i) Tex.Level[i] = levels[i].Surf();
    }
    std::vector<Image> levels;
    SoftRaster::Texture Tex;
};

struct MipCase {
    float Size;  // on-screen size of the 8x8 texture
    uint32_t MipFilter;
    uint32_t Expected;  // colour at the quad's first pixel
};

class MipSelection : public ::testing::TestWithParam<MipCase> {};

TEST_P(MipSelection, FollowsTheTexelRateOnScreen) {
    MipTexture mips;
    Image target(8, 8);
    State st = StateFor(target);
    st.Tex = &mips.Tex;
    st.MinFilter = st.MagFilter = 1;
    st.MipFilter = GetParam().MipFilter;
    ASSERT_TRUE(
        DrawQuad(target, st,
                 Quad(-0.5f, -0.5f, GetParam().Size - 0.5f, GetParam().Size - 0.5f, 0xFFFFFFFF)));
    EXPECT_EQ(target.Get(0, 0), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MipSelection,
                         ::testing::Values(MipCase{8, 1, 0xFFFF0000}, MipCase{4, 1, 0xFF00FF00},
                                           MipCase{2, 1, 0xFF0000FF}, MipCase{1, 1, 0xFFFFFFFF},
                                           MipCase{2, 0,
                                                   0xFFFF0000},  // no mip filter: the top level
                                           MipCase{4, 2, 0xFF00FF00},  // linear at a whole level
                                           // Halfway between levels 0 and 1 in rate: an even mix.
                                           MipCase{8 / std::sqrt(2.0f), 2, 0xFF808000}));

TEST(RasterTexture, MaxMipLevelAndBiasShiftTheLevel) {
    MipTexture mips;
    Image target(8, 8);
    State st = StateFor(target);
    st.Tex = &mips.Tex;
    st.MipFilter = 1;
    st.MaxMipLevel = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF)));
    EXPECT_EQ(target.Get(3, 3), 0xFF0000FFu);
    st.MaxMipLevel = 0;
    st.MipLodBias = 1.0f;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 7.5f, 7.5f, 0xFFFFFFFF)));
    EXPECT_EQ(target.Get(3, 3), 0xFF00FF00u);
}

}  // namespace
