// Colour of the rasterizer's pixels: texture stage, alpha test and blending, pixel for pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "RasterTestImage.h"
#include "support/TestSupport.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

using namespace RasterTest;
using RasterTest::Draw;
using SoftRaster::State;
using SoftRaster::Vertex;

namespace {

// Seven pixels wide so that both the four-pixel groups and the leftover pixels are checked.
constexpr int kRow = 7;

struct BlendCase {
    const char* Name;
    uint32_t Src, Dest, Op;
    uint32_t Expected;
};

class BlendFactors : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendFactors, OnKnownColours) {
    const BlendCase& c = GetParam();
    Image target(kRow, 2, PixelFormats::kA8R8G8B8, 0xFF204060);
    State st = StateFor(target);
    st.AlphaBlend = true;
    st.SrcBlend = c.Src;
    st.DestBlend = c.Dest;
    st.BlendOp = c.Op;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 1.5f, 0x80FF8040)));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < kRow; ++x)
            ASSERT_EQ(target.Get(x, y), c.Expected) << std::hex << target.Get(x, y) << " at " << x;
}

// Source 0x80FF8040 over destination 0xFF204060; every channel rounds to nearest.
INSTANTIATE_TEST_SUITE_P(Cases, BlendFactors,
                         ::testing::Values(BlendCase{"SrcAlphaInvSrcAlpha", 5, 6, 1, 0xBF906050},
                                           BlendCase{"OneOneSaturates", 2, 2, 1, 0xFFFFC0A0},
                                           BlendCase{"OneZeroCopies", 2, 1, 1, 0x80FF8040},
                                           BlendCase{"ZeroSrcAlpha", 1, 5, 1, 0x80102030},
                                           BlendCase{"BothSrcAlpha", 12, 1, 1, 0xBF906050},
                                           BlendCase{"DestColorZero", 9, 1, 1, 0x80202018},
                                           BlendCase{"SrcColorInvSrcColor", 3, 4, 1, 0xBFFF6058},
                                           BlendCase{"DestAlphaInvDestAlpha", 7, 8, 1, 0x80FF8040},
                                           BlendCase{"InvDestColorOne", 10, 2, 1, 0xFFFFA088},
                                           BlendCase{"Subtract", 2, 2, 2, 0x00DF4000},
                                           BlendCase{"RevSubtract", 2, 2, 3, 0x7F000020},
                                           BlendCase{"Min", 2, 2, 4, 0x80204040},
                                           BlendCase{"Max", 2, 2, 5, 0xFFFF8060}),
                         [](const ::testing::TestParamInfo<BlendCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(RasterBlend, SeparateAlphaBlendingKeepsItsOwnFactors) {
    // The renderer's default: colour source-over, alpha accumulated.
    Image target(kRow, 1, PixelFormats::kA8R8G8B8, 0x40204060);
    State st = StateFor(target);
    st.AlphaBlend = true;
    st.SrcBlend = 5;
    st.DestBlend = 6;
    st.SeparateAlphaBlend = true;
    st.SrcBlendAlpha = 5;
    st.DestBlendAlpha = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0x80FF8040)));
    for (int x = 0; x < kRow; ++x) EXPECT_EQ(target.Get(x, 0), 0x80906050u) << x;
}

TEST(RasterBlend, TargetWithoutAlphaReadsAsOpaqueAndStaysOpaque) {
    Image target(kRow, 1, PixelFormats::kX8R8G8B8, 0x00204060);
    State st = StateFor(target);
    st.AlphaBlend = true;
    st.SrcBlend = 7;   // dest alpha: 1 on a target without alpha
    st.DestBlend = 1;  // zero
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0x10FF8040)));
    for (int x = 0; x < kRow; ++x) EXPECT_EQ(target.Get(x, 0), 0xFFFF8040u) << x;
    st.SrcBlend = 5;
    st.DestBlend = 6;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0x00000000)));
    for (int x = 0; x < kRow; ++x)
        EXPECT_EQ(PixelFormats::Codec::Load32(target.At(x, 0)), 0xFFFF8040u) << x;
}

TEST(RasterBlend, ColourWriteMaskKeepsMaskedChannels) {
    Image target(kRow, 1, PixelFormats::kA8R8G8B8, 0x11223344);
    State st = StateFor(target);
    st.ColorWriteMask = 0x1 | 0x8;  // red and alpha
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0xAABBCCDD)));
    for (int x = 0; x < kRow; ++x) EXPECT_EQ(target.Get(x, 0), 0xAABB3344u) << x;
}

class AlphaTest : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(AlphaTest, DropsPixelsWhoseAlphaFailsTheComparison) {
    const uint32_t func = std::get<0>(GetParam());
    const uint32_t alphas[10] = {0, 127, 128, 129, 255, 0, 127, 128, 129, 255};
    Image texImg(10, 1);
    for (int x = 0; x < 10; ++x) texImg.Set(x, 0, (alphas[x] << 24) | 0xFFFFFF);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(10, 1, std::get<1>(GetParam()), 0xFF000000);
    State st = StateFor(target);
    st.Tex = &tex;
    st.AlphaTest = true;
    st.AlphaFunc = func;
    st.AlphaRef = 128;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, 9.5f, 0.5f, 0xFFFFFFFF)));
    for (int x = 0; x < 10; ++x) {
        const uint32_t a = alphas[x];
        const bool pass[9] = {false,    false,    a<128, a == 128, a <= 128, a> 128,
                              a != 128, a >= 128, true};
        const uint32_t drawn =
            PixelFormats::HasAlpha(target.Format) ? (a << 24) | 0xFFFFFF : 0xFFFFFFFF;
        EXPECT_EQ(target.Get(x, 0), pass[func] ? drawn : 0xFF000000u) << "alpha " << a;
    }
}

INSTANTIATE_TEST_SUITE_P(FunctionsAndTargets, AlphaTest,
                         ::testing::Combine(::testing::Range(1u, 9u), ::testing::Values(21u, 23u)));

TEST(RasterBlend, DefaultAlphaTestDiscardsFullyTransparentTexels) {
    // Greater than 0 with blending on: a zero-alpha texel must not even darken the target.
    Image texImg(kRow, 1);
    for (int x = 0; x < kRow; ++x) texImg.Set(x, 0, x % 2 ? 0x01000000 : 0x00000000);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(kRow, 1, PixelFormats::kA8R8G8B8, 0xFFFFFFFF);
    State st = StateFor(target);
    st.Tex = &tex;
    st.AlphaTest = true;
    st.AlphaFunc = 5;
    st.AlphaBlend = true;
    st.SrcBlend = 2;   // one: an untested zero-alpha black texel would overwrite
    st.DestBlend = 1;  // zero
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0xFFFFFFFF)));
    for (int x = 0; x < kRow; ++x)
        EXPECT_EQ(target.Get(x, 0), x % 2 ? 0x01000000u : 0xFFFFFFFFu) << x;
    // The renderer's own blending: source-over colour, accumulated alpha.
    target = Image(kRow, 1, PixelFormats::kA8R8G8B8, 0xFFFFFFFF);
    st.SrcBlend = 5;
    st.DestBlend = 6;
    st.SeparateAlphaBlend = true;
    st.SrcBlendAlpha = 5;
    st.DestBlendAlpha = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0xFFFFFFFF)));
    for (int x = 0; x < kRow; ++x)
        EXPECT_EQ(target.Get(x, 0), x % 2 ? 0xFFFEFEFEu : 0xFFFFFFFFu) << x;
}

struct StageCase {
    const char* Name;
    uint32_t ColorOp, Arg1, Arg2;
    uint32_t Expected;
};

class TextureStage : public ::testing::TestWithParam<StageCase> {};

TEST_P(TextureStage, CombinesTextureAndDiffuse) {
    const StageCase& c = GetParam();
    Image texImg(1, 1, PixelFormats::kA8R8G8B8, 0xFF804020);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(kRow, 1);
    State st = StateFor(target);
    st.Tex = &tex;
    st.ColorOp = c.ColorOp;
    st.ColorArg1 = c.Arg1;
    st.ColorArg2 = c.Arg2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(-0.5f, -0.5f, kRow - 0.5f, 0.5f, 0x80FF8040)));
    for (int x = 0; x < kRow; ++x) EXPECT_EQ(target.Get(x, 0), c.Expected) << std::hex << x;
}

// Texture 0xFF804020, diffuse 0x80FF8040; alpha always modulates (0xFF x 0x80).
INSTANTIATE_TEST_SUITE_P(Ops, TextureStage,
                         ::testing::Values(StageCase{"Modulate", 4, 2, 0, 0x80802008},
                                           StageCase{"ModulateArgsSwapped", 4, 0, 2, 0x80802008},
                                           StageCase{"SelectTexture", 2, 2, 0, 0x80804020},
                                           StageCase{"SelectDiffuse", 3, 2, 0, 0x80FF8040},
                                           StageCase{"Add", 7, 2, 0, 0x80FFC060},
                                           StageCase{"Modulate2x", 5, 2, 0, 0x80FF4010},
                                           StageCase{"Disabled", 1, 2, 0, 0x80FF8040}),
                         [](const ::testing::TestParamInfo<StageCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST(RasterShading, DiffuseIsInterpolatedAcrossThePrimitive) {
    Image target(8, 1);
    State st = StateFor(target);
    st.ColorOp = 2;  // select texture: with no texture the diffuse colour is drawn
    std::vector<Vertex> q = Quad(-0.5f, -0.5f, 7.5f, 0.5f, 0xFF000000);
    q[1].Color = q[3].Color = 0xFFFFFFFF;
    ASSERT_TRUE(DrawQuad(target, st, q));
    const uint32_t want[8] = {16, 48, 80, 112, 143, 175, 207, 239};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.Get(x, 0), 0xFF000000u | want[x] * 0x010101u) << x;
    // Modulating a white texture must not change the interpolated colour.
    Image white(2, 2, PixelFormats::kA8R8G8B8, 0xFFFFFFFF);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = white.Surf();
    st.Tex = &tex;
    st.ColorOp = 4;
    target = Image(8, 1);
    ASSERT_TRUE(DrawQuad(target, st, q));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.Get(x, 0), 0xFF000000u | want[x] * 0x010101u) << x;
    st.ShadeMode = 1;  // flat: the first vertex's colour
    ASSERT_TRUE(DrawQuad(target, st, q));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(target.Get(x, 0), 0xFF000000u) << x;
}

TEST(RasterBlend, AnySpanLengthMatchesPerPixelSourceOver) {
    // Random texels over random destinations, in spans of every length up to past a chunk.
    std::mt19937 rng(5);
    Image texImg(70, 70);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x) texImg.Set(x, y, rng());
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(70, 70);
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x) target.Set(x, y, rng());
    Image before = target;
    State st = StateFor(target);
    st.Tex = &tex;
    st.AlphaBlend = true;
    st.SrcBlend = 5;
    st.DestBlend = 6;
    st.AlphaTest = true;
    st.AlphaFunc = 5;
    st.AlphaRef = 100;
    // Row y is drawn y + 1 pixels wide.
    for (int y = 0; y < 70; ++y)
        ASSERT_TRUE(DrawQuad(target, st,
                             Quad(-0.5f, y - 0.5f, y + 0.5f, y + 0.5f, 0xFFFFFFFF, 0, y / 70.0f,
                                  (y + 1) / 70.0f, (y + 1) / 70.0f)));
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 70; ++x) {
            const uint32_t s = texImg.Get(x, y), d = before.Get(x, y);
            const uint32_t sa = s >> 24;
            uint32_t want = d;
            if (x <= y && sa > 100) {
                want = 0;
                for (int c = 0; c < 32; c += 8) {
                    const double v =
                        (((s >> c) & 0xFF) * double(sa) + ((d >> c) & 0xFF) * double(255 - sa)) /
                        255.0;
                    want |= uint32_t(std::floor(v + 0.5)) << c;
                }
            }
            ASSERT_EQ(target.Get(x, y), want) << x << "," << y;
        }
}

TEST(RasterImage, SceneSavedAsPngReadsBackIdentical) {
    // A small scene of everything the renderer draws; SOFTRASTER_IMAGE_DIR keeps a copy to
    // look at.
    Image checker(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            checker.Set(x, y, ((x + y) % 2) ? 0xFFFFD040 : (x * 32u) << 24 | 0x2040FF);
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = checker.Surf();
    Image target(96, 64, PixelFormats::kX8R8G8B8);
    SoftRaster::Fill(target.Surf(), {0, 0, 96, 64}, 0xFF203040);
    State st = StateFor(target);
    st.AlphaBlend = true;
    st.SrcBlend = 5;
    st.DestBlend = 6;
    st.AlphaTest = true;
    st.AlphaFunc = 5;
    st.Tex = &tex;
    ASSERT_TRUE(DrawQuad(target, st, Quad(3.5f, 3.5f, 11.5f, 11.5f, 0xFFFFFFFF)));
    st.MinFilter = st.MagFilter = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(15.5f, 3.5f, 47.5f, 35.5f, 0xC0FFFFFF)));
    st.Tex = nullptr;
    std::vector<Vertex> tri = {Vert(52, 4, 0xFFFF0000), Vert(92, 20, 0xFF00FF00),
                               Vert(60, 40, 0x800000FF)};
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kTriangleList, tri.data(), nullptr, false, 1));
    st.FillMode = 2;
    ASSERT_TRUE(DrawQuad(target, st, Quad(4, 40, 28, 60, 0xFFFFFFFF)));
    std::vector<Vertex> circle;
    for (int i = 0; i <= 24; ++i) {
        const double a = i * 15.0 * 0.017453292;
        circle.push_back(
            Vert(float(70 + std::sin(a) * 14), float(48 - std::cos(a) * 14), 0xFFFFFF00));
    }
    ASSERT_TRUE(Draw(target.Surf(), st, SoftRaster::kLineStrip, circle.data(), nullptr, false, 24));

    std::vector<uint8_t> rgb;
    for (int y = 0; y < target.Height; ++y)
        for (int x = 0; x < target.Width; ++x) {
            const uint32_t c = target.Get(x, y);
            rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
        }
    TestSupport::TempDir dir;
    const std::string path = dir / "scene.png";
    ASSERT_NE(
        stbi_write_png(path.c_str(), target.Width, target.Height, 3, rgb.data(), target.Width * 3),
        0);
    if (const char* keep = std::getenv("SOFTRASTER_IMAGE_DIR"))
        std::filesystem::copy_file(path, std::filesystem::path(keep) / "scene.png",
                                   std::filesystem::copy_options::overwrite_existing);
    int w = 0, h = 0, n = 0;
    unsigned char* back = stbi_load(path.c_str(), &w, &h, &n, 3);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(w, target.Width);
    EXPECT_EQ(h, target.Height);
    EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), back));
    stbi_image_free(back);
}

}  // namespace
