// Throughput of the software rasterizer on the renderer's bread and butter: 10,000
// alpha-blended, point-sampled 32x32 textured quads into a 1024x768 target, drawn as indexed
// triangle lists of 1,000 quads, with the diffuse colour modulating the texture's alpha. The
// reference is pixman compositing the same image OVER the same target at the same places
// through a solid mask of the same alpha. Both run on one thread in the same process; the
// closing lines give megapixels per second for each and their ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftRaster.h"

#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kQuadSize = 32;
constexpr int kQuads = 10000;
constexpr int kQuadsPerDraw = 1000;
constexpr uint32_t kModulation = 0xC0FFFFFF;  // white, three-quarters alpha
constexpr uint32_t kBackground = 0xFF336699;

struct Scene {
    Scene() : texture(kQuadSize * kQuadSize), places(kQuads) {
        // Varied colours and alphas, including fully transparent and opaque texels.
        for (int y = 0; y < kQuadSize; ++y)
            for (int x = 0; x < kQuadSize; ++x) {
                const uint32_t a = (x * 8 + y * 3) & 0xFF;
                texture[y * kQuadSize + x] =
                    (a << 24) | ((x * 8u) << 16) | ((y * 8u) << 8) | uint32_t((x ^ y) * 8 & 0xFF);
            }
        uint32_t seed = 12345;
        for (auto& p : places) {
            seed = seed * 1664525u + 1013904223u;
            p.first = int((seed >> 8) % (kWidth - kQuadSize + 1));
            seed = seed * 1664525u + 1013904223u;
            p.second = int((seed >> 8) % (kHeight - kQuadSize + 1));
        }
        // One vertex block and one index list per batch, as a vertex buffer would hold them.
        for (int q = 0; q < kQuads; ++q) {
            const float x0 = places[q].first - 0.5f, y0 = places[q].second - 0.5f;
            const float x1 = x0 + kQuadSize, y1 = y0 + kQuadSize;
            vertices.push_back({x0, y0, 0, 1, kModulation, 0, 0});
            vertices.push_back({x1, y0, 0, 1, kModulation, 1, 0});
            vertices.push_back({x0, y1, 0, 1, kModulation, 0, 1});
            vertices.push_back({x1, y1, 0, 1, kModulation, 1, 1});
        }
        for (int q = 0; q < kQuadsPerDraw; ++q) {
            const uint16_t b = uint16_t(4 * q);
            indices.insert(indices.end(), {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 2),
                                           uint16_t(b + 1), uint16_t(b + 3)});
        }
    }
    std::vector<uint32_t> texture;  // ARGB, straight alpha
    std::vector<std::pair<int, int>> places;
    std::vector<SoftRaster::Vertex> vertices;
    std::vector<uint16_t> indices;
};

const Scene& GetScene() {
    static const Scene scene;
    return scene;
}

std::map<std::string, double>& Rates() {
    static std::map<std::string, double> rates;
    return rates;
}

struct RasterSetup {
    explicit RasterSetup(bool rendererStates) : target(size_t(kWidth) * kHeight, kBackground) {
        const Scene& s = GetScene();
        tex.Levels = 1;
        tex.Level[0] = {reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(s.texture.data())),
                        kQuadSize * 4, kQuadSize, kQuadSize, PixelFormats::kA8R8G8B8};
        surface = {reinterpret_cast<uint8_t*>(target.data()), kWidth * 4, kWidth, kHeight,
                   PixelFormats::kA8R8G8B8};
        state.Viewport = {0, 0, kWidth, kHeight};
        state.Tex = &tex;
        state.AlphaBlend = true;
        state.SrcBlend = 5;   // source alpha
        state.DestBlend = 6;  // inverse source alpha
        if (rendererStates) {
            // What the renderer sets by default: discard alpha 0, accumulate target alpha.
            state.AlphaTest = true;
            state.AlphaFunc = 5;
            state.SeparateAlphaBlend = true;
            state.SrcBlendAlpha = 5;
            state.DestBlendAlpha = 2;
        }
    }
    void DrawAll() {
        const Scene& s = GetScene();
        for (int first = 0; first < kQuads; first += kQuadsPerDraw)
            SoftRaster::Draw(surface, state, SoftRaster::kTriangleList, &s.vertices[4 * first],
                             s.indices.data(), false, 2 * kQuadsPerDraw);
    }
    std::vector<uint32_t> target;
    SoftRaster::Texture tex;
    SoftRaster::Surface surface;
    SoftRaster::State state;
};

template <typename DrawFn>
void Measure(benchmark::State& state, const char* name, DrawFn&& draw) {
    // Processor time, like the benchmark's own rate: the machine may be shared.
    const std::clock_t start = std::clock();
    int64_t frames = 0;
    for (auto _ : state) {
        draw();
        ++frames;
    }
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    const double pixels = double(frames) * kQuads * kQuadSize * kQuadSize;
    state.counters["Mpix/s"] = benchmark::Counter(pixels * 1e-6, benchmark::Counter::kIsRate);
    if (seconds > 0) Rates()[name] = pixels * 1e-6 / seconds;
}

void BM_SoftRaster(benchmark::State& state) {
    RasterSetup r(false);
    Measure(state, "SoftRaster", [&] { r.DrawAll(); });
}
BENCHMARK(BM_SoftRaster)->Unit(benchmark::kMillisecond);

void BM_SoftRasterRendererStates(benchmark::State& state) {
    RasterSetup r(true);
    Measure(state, "SoftRasterRendererStates", [&] { r.DrawAll(); });
}
BENCHMARK(BM_SoftRasterRendererStates)->Unit(benchmark::kMillisecond);

#ifdef HAVE_PIXMAN
struct PixmanSetup {
    PixmanSetup() : target(size_t(kWidth) * kHeight, kBackground), source(kQuadSize * kQuadSize) {
        // pixman works on premultiplied colour.
        const Scene& s = GetScene();
        for (size_t i = 0; i < source.size(); ++i) {
            const uint32_t c = s.texture[i], a = c >> 24;
            uint32_t p = a << 24;
            for (int sh = 0; sh < 24; sh += 8) p |= ((((c >> sh) & 0xFF) * a + 127) / 255) << sh;
            source[i] = p;
        }
        src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kQuadSize, kQuadSize, source.data(),
                                       kQuadSize * 4);
        dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, target.data(), kWidth * 4);
        const uint16_t alpha = uint16_t((kModulation >> 24) * 0x101);
        const pixman_color_t maskColor = {alpha, alpha, alpha, alpha};
        mask = pixman_image_create_solid_fill(&maskColor);
    }
    ~PixmanSetup() {
        pixman_image_unref(src);
        pixman_image_unref(dst);
        pixman_image_unref(mask);
    }
    void DrawAll() {
        for (const auto& p : GetScene().places)
            pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, p.first, p.second,
                                     kQuadSize, kQuadSize);
    }
    std::vector<uint32_t> target, source;
    pixman_image_t* src = nullptr;
    pixman_image_t* dst = nullptr;
    pixman_image_t* mask = nullptr;
};

void BM_Pixman(benchmark::State& state) {
    PixmanSetup p;
    Measure(state, "Pixman", [&] { p.DrawAll(); });
}
BENCHMARK(BM_Pixman)->Unit(benchmark::kMillisecond);

// Both draw the same picture: one pass of each, colour channels compared. (Alpha differs by
// design: the device blends target alpha like colour, pixman accumulates coverage.)
int LargestDifference() {
    RasterSetup r(false);
    PixmanSetup p;
    r.DrawAll();
    p.DrawAll();
    int worst = 0;
    for (size_t i = 0; i < r.target.size(); ++i)
        for (int sh = 0; sh < 24; sh += 8) {
            const int d = int((r.target[i] >> sh) & 0xFF) - int((p.target[i] >> sh) & 0xFF);
            worst = std::max(worst, std::abs(d));
        }
    return worst;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& r : Rates()) std::printf("%s: %.1f Mpix/s\n", r.first.c_str(), r.second);
#ifdef HAVE_PIXMAN
    std::printf("largest channel difference between the two pictures: %d\n", LargestDifference());
    const auto& rates = Rates();
    const auto pix = rates.find("Pixman");
    if (pix != rates.end() && pix->second > 0)
        for (const auto& r : rates)
            if (r.first != "Pixman")
                std::printf("ratio %s / Pixman: %.2f\n", r.first.c_str(), r.second / pix->second);
#else
    std::printf("pixman not found at build time: no reference figures\n");
#endif
    return 0;
}
