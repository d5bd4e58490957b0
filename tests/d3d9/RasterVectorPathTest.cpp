// The rasterizer's vector paths against its scalar path: every path must give the same pixels,
// bit for bit, for the blend setups that have vector code and for spans of every length.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "RasterTestImage.h"

using namespace RasterTest;
using SoftRaster::State;
using SoftRaster::VectorPath;

namespace {

constexpr int kSize = 70;  // spans from one pixel to past a 64-pixel chunk

struct PathCase {
    const char* Name;
    uint32_t TargetFormat;
    std::function<void(State&)> Setup;
};

// Random texels over a random target, row y drawn y + 1 pixels wide with a colour that
// differs per row, through the given path.
Image DrawRows(const PathCase& c, VectorPath path) {
    std::mt19937 rng(11);
    Image texImg(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) texImg.Set(x, y, rng());
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    Image target(kSize, kSize, c.TargetFormat);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) target.Set(x, y, rng());
    State st = StateFor(target);
    st.Tex = &tex;
    c.Setup(st);
    SoftRaster::LimitVectorPath(path);
    for (int y = 0; y < kSize; ++y) {
        const uint32_t color = rng() | 0x01000000;
        const float u0 = 0, v0 = y / float(kSize), u1 = (y + 1) / float(kSize);
        const float v1 = (y + 1) / float(kSize);
        EXPECT_TRUE(
            DrawQuad(target, st, Quad(-0.5f, y - 0.5f, y + 0.5f, y + 0.5f, color, u0, v0, u1, v1)));
    }
    SoftRaster::LimitVectorPath(VectorPath::kAvx512);
    return target;
}

class VectorPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(VectorPaths, GiveTheScalarPathsPixels) {
    const Image want = DrawRows(GetParam(), VectorPath::kScalar);
    for (VectorPath path : {VectorPath::kSse2, VectorPath::kAvx2, VectorPath::kAvx512}) {
        if (path > SoftRaster::WidestVectorPath()) break;
        Image got = DrawRows(GetParam(), path);
        ASSERT_EQ(got.Bits, want.Bits) << "path " << int(path);
    }
}

void SourceOver(State& st) {
    st.AlphaBlend = true;
    st.SrcBlend = 5;
    st.DestBlend = 6;
}

INSTANTIATE_TEST_SUITE_P(
    Setups, VectorPaths,
    ::testing::Values(PathCase{"SourceOver", PixelFormats::kA8R8G8B8, SourceOver},
                      PathCase{"SourceOverOnXrgb", PixelFormats::kX8R8G8B8, SourceOver},
                      PathCase{"RendererDefaults", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.AlphaTest = true;
                                   st.AlphaFunc = 5;
                                   st.SeparateAlphaBlend = true;
                                   st.SrcBlendAlpha = 5;
                                   st.DestBlendAlpha = 2;
                               }},
                      PathCase{"AlphaTestLessEqual", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.AlphaTest = true;
                                   st.AlphaFunc = 4;
                                   st.AlphaRef = 0x90;
                               }},
                      PathCase{"Additive", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   st.AlphaBlend = true;
                                   st.SrcBlend = 5;
                                   st.DestBlend = 2;
                               }},
                      PathCase{"InverseFactors", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   st.AlphaBlend = true;
                                   st.SrcBlend = 6;
                                   st.DestBlend = 5;
                               }},
                      PathCase{"TextureOnlyMasked", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.ColorOp = st.AlphaOp = 2;  // select the texture
                                   st.ColorWriteMask = 0x5;      // red and blue
                               }},
                      PathCase{"NoBlendAlphaTestGreater", PixelFormats::kX8R8G8B8,
                               [](State& st) {
                                   st.AlphaTest = true;
                                   st.AlphaFunc = 5;
                                   st.AlphaRef = 0x40;
                               }}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.Name); });

}  // namespace
