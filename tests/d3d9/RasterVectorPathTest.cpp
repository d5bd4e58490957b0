// The rasterizer's vector paths against its scalar path: every path must give the same pixels,
// bit for bit, for the blend setups that have vector code, for spans of every length, and for
// turned quads, whose texture coordinates change along each span.
#include <gtest/gtest.h>

#include <cmath>
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
    uint32_t TexFormat = PixelFormats::kA8R8G8B8;
};

// A square texture of random texels and a random target with a case's state, drawn through
// one path while the scene lasts.
struct PathScene {
    PathScene(const PathCase& c, VectorPath path, int side, int texSide, uint32_t seed)
        : Rng(seed), TexImg(texSide, texSide, c.TexFormat), Target(side, side, c.TargetFormat) {
        for (int y = 0; y < texSide; ++y)
            for (int x = 0; x < texSide; ++x) TexImg.Set(x, y, Rng());
        Tex.Levels = 1;
        Tex.Level[0] = TexImg.Surf();
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) Target.Set(x, y, Rng());
        St = StateFor(Target);
        St.Tex = &Tex;
        c.Setup(St);
        SoftRaster::LimitVectorPath(path);
    }
    ~PathScene() { SoftRaster::LimitVectorPath(VectorPath::kAvx512); }
    std::mt19937 Rng;
    Image TexImg;
    SoftRaster::Texture Tex;
    Image Target;
    State St;
};

// Row y drawn y + 1 pixels wide with a colour that differs per row.
Image DrawRows(const PathCase& c, VectorPath path) {
    PathScene s(c, path, kSize, kSize, 11);
    for (int y = 0; y < kSize; ++y) {
        const uint32_t color = s.Rng() | 0x01000000;
        const float u0 = 0, v0 = y / float(kSize), u1 = (y + 1) / float(kSize);
        const float v1 = (y + 1) / float(kSize);
        EXPECT_TRUE(DrawQuad(s.Target, s.St,
                             Quad(-0.5f, y - 0.5f, y + 0.5f, y + 0.5f, color, u0, v0, u1, v1)));
    }
    return s.Target;
}

// Turned quads from under a pixel to wider than a chunk across, at random angles, with a
// power-of-two texture. Their texture coordinates run over the texture, many times over it
// (large steps), around 512 texels, where 16.16 coordinates pass 2^31 within a span, and far
// beyond, where they never fit 32 bits. The last one has a colour per corner.
Image DrawTurned(const PathCase& c, VectorPath path) {
    constexpr int kSide = 96, kQuads = 64;
    PathScene s(c, path, kSide, 64, 13);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int q = 0; q < kQuads; ++q) {
        const double side = 0.5 + q * 1.5, degrees = unit(s.Rng) * 360;
        const double cx = unit(s.Rng) * kSide, cy = unit(s.Rng) * kSide;
        const double origins[] = {0.0, unit(s.Rng) * 4 - 2, 511.5 + unit(s.Rng) / 64, 40000.0};
        const double reach = q % 4 == 1 ? 5.0 : 1.0;  // texture repeats across the quad
        std::vector<SoftRaster::Vertex> quad =
            TurnedSquare(cx, cy, side, degrees, s.Rng() | 0x01000000, origins[q % 4],
                         origins[(q + q / 4) % 4], reach);
        if (q + 1 == kQuads)
            for (SoftRaster::Vertex& v : quad) v.Color = s.Rng();
        EXPECT_TRUE(DrawQuad(s.Target, s.St, quad));
    }
    return s.Target;
}

class VectorPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(VectorPaths, GiveTheScalarPathsPixels) {
    for (auto draw : {&DrawRows, &DrawTurned}) {
        const Image want = draw(GetParam(), VectorPath::kScalar);
        for (VectorPath path : {VectorPath::kSse2, VectorPath::kAvx2, VectorPath::kAvx512}) {
            if (path > SoftRaster::WidestVectorPath()) break;
            Image got = draw(GetParam(), path);
            ASSERT_EQ(got.Bits, want.Bits)
                << (draw == &DrawRows ? "rows" : "turned quads") << ", path " << int(path);
        }
    }
}

void SourceOver(State& st) {
    st.AlphaBlend = true;
    st.SrcBlend = 5;
    st.DestBlend = 6;
}

// Source-over with linear filtering and the given addressing per axis.
template <uint32_t kAddressU, uint32_t kAddressV>
void Linear(State& st) {
    SourceOver(st);
    st.MinFilter = st.MagFilter = 2;
    st.AddressU = kAddressU;
    st.AddressV = kAddressV;
    st.BorderColor = 0x80C04020;
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
                               }},
                      PathCase{"WrapAddressing", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.AddressU = st.AddressV = 1;
                               }},
                      PathCase{"WrapAcrossClampDown", PixelFormats::kX8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.AddressU = 1;
                               }},
                      PathCase{"MirrorAddressing", PixelFormats::kA8R8G8B8,
                               [](State& st) {
                                   SourceOver(st);
                                   st.AddressU = st.AddressV = 2;
                               }},
                      PathCase{"LinearFilter", PixelFormats::kA8R8G8B8, Linear<3, 3>},
                      PathCase{"LinearWrap", PixelFormats::kA8R8G8B8, Linear<1, 1>},
                      PathCase{"LinearWrapUClampV", PixelFormats::kX8R8G8B8, Linear<1, 3>},
                      PathCase{"LinearClampUWrapV", PixelFormats::kA8R8G8B8, Linear<3, 1>},
                      PathCase{"LinearBorder", PixelFormats::kA8R8G8B8, Linear<4, 4>},
                      PathCase{"LinearMirror", PixelFormats::kA8R8G8B8, Linear<2, 2>},
                      PathCase{"LinearLuminanceAlpha", PixelFormats::kA8R8G8B8, Linear<3, 3>,
                               PixelFormats::kA8L8},
                      PathCase{"LinearLuminanceAlphaWrap", PixelFormats::kA8R8G8B8, Linear<1, 1>,
                               PixelFormats::kA8L8},
                      PathCase{"LinearLuminanceAlphaWrapUClampV", PixelFormats::kA8R8G8B8,
                               Linear<1, 3>, PixelFormats::kA8L8}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.Name); });

}  // namespace
