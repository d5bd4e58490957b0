// Throughput of the software device on the renderer's bread and butter: 10,000 alpha-blended,
// point-sampled 32x32 A8R8G8B8 sprites whose diffuse colour modulates the texture, drawn into
// a 1024x768 back buffer through the public device API as the renderer draws them: a dynamic
// vertex buffer locked with D3DLOCK_DISCARD per batch, and indexed triangle lists of 1,000
// quads. The reference is pixman compositing the same image OVER the same target at the same
// places through a solid mask of the same alpha.
//
// The same sprites turned by a different angle each are the other case: pixman then composites
// each sprite's bounding box with a rotation set on the source image and nearest filtering,
// which is how it draws a turned image. Both count the sprites' own 32x32 pixels.
//
// Both cases again with linear filtering, the renderer's default: the device's sampler set to
// linear, pixman's source to its bilinear filter.
//
// Ours is drawn on one thread, as pixman draws, and on two, the device's worker threads each
// drawing their own rows; a frame ends when the device has drawn it all. Each iteration draws
// one frame of each of the three, each iteration starting with the next, so all see the same
// machine; the figures are medians over every frame, in wall-clock time (two threads make
// processor time meaningless), so they are only meaningful on a quiet machine. The closing lines
// print them with their ratios: one thread's to pixman's, and two threads' to one's.
#include <benchmark/benchmark.h>
#include <d3d9.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftD3D.h"
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
constexpr double kFramePixels = double(kQuads) * kQuadSize * kQuadSize;
constexpr double kPi = 3.14159265358979323846;

struct Scene {
    Scene() : texture(kQuadSize * kQuadSize), places(kQuads), angles(kQuads) {
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
        for (double& a : angles) {
            seed = seed * 1664525u + 1013904223u;
            a = double((seed >> 8) % 3600) * kPi / 1800;
        }
        for (int q = 0; q < kQuads; ++q) {
            const float x0 = places[q].first - 0.5f, y0 = places[q].second - 0.5f;
            const float x1 = x0 + kQuadSize, y1 = y0 + kQuadSize;
            vertices.push_back({x0, y0, 0, 1, kModulation, 0, 0});
            vertices.push_back({x1, y0, 0, 1, kModulation, 1, 0});
            vertices.push_back({x0, y1, 0, 1, kModulation, 0, 1});
            vertices.push_back({x1, y1, 0, 1, kModulation, 1, 1});
            // Turned about the sprite's centre; pixel centres lie half a pixel off pixman's.
            const double c = std::cos(angles[q]), s = std::sin(angles[q]);
            const double cx = places[q].first + kQuadSize / 2.0 - 0.5;
            const double cy = places[q].second + kQuadSize / 2.0 - 0.5;
            for (int k = 0; k < 4; ++k) {
                const double lx = (k & 1 ? 0.5 : -0.5) * kQuadSize;
                const double ly = (k & 2 ? 0.5 : -0.5) * kQuadSize;
                rotated.push_back({float(cx + c * lx - s * ly), float(cy + s * lx + c * ly), 0, 1,
                                   kModulation, float(k & 1), float(k >> 1)});
            }
        }
        for (int q = 0; q < kQuadsPerDraw; ++q) {
            const uint16_t b = uint16_t(4 * q);
            indices.insert(indices.end(), {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 2),
                                           uint16_t(b + 1), uint16_t(b + 3)});
        }
    }
    std::vector<uint32_t> texture;  // ARGB, straight alpha
    std::vector<std::pair<int, int>> places;
    std::vector<double> angles;  // radians, clockwise on screen
    std::vector<SoftRaster::Vertex> vertices, rotated;
    std::vector<uint16_t> indices;
};

const Scene& GetScene() {
    static const Scene scene;
    return scene;
}

// The scene through the device's public interface, drawn with the given number of threads.
class DeviceSetup {
public:
    explicit DeviceSetup(int threads = 1) {
        SoftD3D::SetThreadCount(threads);
        window_ = SoftD3D::CreateHeadlessWindow(kWidth, kHeight);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window_;
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        pp.BackBufferCount = 1;
        // The frames are read back from the back buffer to compare them with pixman's.
        pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        if (d3d_ == nullptr ||
            d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                               D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device_) != D3D_OK)
            return;
        SoftD3D::SetThreadCount(0);
        const Scene& s = GetScene();
        const UINT vbBytes = UINT(4 * kQuadsPerDraw * sizeof(SoftRaster::Vertex));
        const UINT ibBytes = UINT(s.indices.size() * sizeof(uint16_t));
        void* data = nullptr;
        if (device_->CreateVertexBuffer(vbBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                        D3DPOOL_DEFAULT, &vb_, nullptr) != D3D_OK ||
            device_->CreateIndexBuffer(ibBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                       &ib_, nullptr) != D3D_OK ||
            device_->CreateTexture(kQuadSize, kQuadSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                   &texture_, nullptr) != D3D_OK ||
            ib_->Lock(0, 0, &data, 0) != D3D_OK)
            return;
        std::memcpy(data, s.indices.data(), ibBytes);
        ib_->Unlock();
        D3DLOCKED_RECT lr;
        if (texture_->LockRect(0, &lr, nullptr, 0) != D3D_OK) return;
        for (int y = 0; y < kQuadSize; ++y)
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, &s.texture[y * kQuadSize],
                        kQuadSize * 4);
        texture_->UnlockRect(0);

        device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        device_->SetStreamSource(0, vb_, 0, sizeof(SoftRaster::Vertex));
        device_->SetIndices(ib_);
        device_->SetTexture(0, texture_);
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0);
        ready_ = true;
    }
    ~DeviceSetup() {
        if (texture_ != nullptr) texture_->Release();
        if (ib_ != nullptr) ib_->Release();
        if (vb_ != nullptr) vb_->Release();
        if (device_ != nullptr) device_->Release();
        if (d3d_ != nullptr) d3d_->Release();
        SoftD3D::DestroyHeadlessWindow(window_);
    }
    bool Ready() const { return ready_; }

    void SetLinear(bool linear) {
        const DWORD filter = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    }

    bool DrawAll(bool turned = false) {
        const Scene& s = GetScene();
        const std::vector<SoftRaster::Vertex>& vertices = turned ? s.rotated : s.vertices;
        const UINT bytes = UINT(4 * kQuadsPerDraw * sizeof(SoftRaster::Vertex));
        bool ok = device_->BeginScene() == D3D_OK;
        for (int first = 0; first < kQuads && ok; first += kQuadsPerDraw) {
            void* data = nullptr;
            ok = vb_->Lock(0, bytes, &data, D3DLOCK_DISCARD) == D3D_OK;
            if (!ok) break;
            std::memcpy(data, &vertices[4 * size_t(first)], bytes);
            vb_->Unlock();
            ok = device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4 * kQuadsPerDraw, 0,
                                               2 * kQuadsPerDraw) == D3D_OK;
        }
        ok = device_->EndScene() == D3D_OK && ok;
        // The frame is drawn once a lock of the back buffer may see it.
        IDirect3DSurface9* back = nullptr;
        if (device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK) return false;
        D3DLOCKED_RECT lr;
        ok = back->LockRect(&lr, nullptr, D3DLOCK_READONLY) == D3D_OK && ok;
        back->UnlockRect();
        back->Release();
        return ok;
    }

    // The back buffer's pixels, ARGB.
    std::vector<uint32_t> Pixels() {
        std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
        IDirect3DSurface9* back = nullptr;
        if (device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK) return pixels;
        D3DLOCKED_RECT lr;
        if (back->LockRect(&lr, nullptr, D3DLOCK_READONLY) == D3D_OK) {
            for (int y = 0; y < kHeight; ++y)
                std::memcpy(&pixels[size_t(y) * kWidth],
                            static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, kWidth * 4);
            back->UnlockRect();
        }
        back->Release();
        return pixels;
    }

    // One draw of one quad that lies outside the target: the per-call cost alone.
    bool DrawNothing() {
        return device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2) == D3D_OK;
    }
    IDirect3DDevice9* Device() { return device_; }
    IDirect3DVertexBuffer9* Buffer() { return vb_; }

private:
    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DTexture9* texture_ = nullptr;
    bool ready_ = false;
};

// The same scene handed straight to the rasterizer, without the device around it.
struct RasterSetup {
    RasterSetup() : target(size_t(kWidth) * kHeight, kBackground) {
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
    }
    bool DrawAll() {
        const Scene& s = GetScene();
        bool ok = true;
        for (int first = 0; first < kQuads; first += kQuadsPerDraw)
            ok = SoftRaster::Draw(surface, state, SoftRaster::kTriangleList, &s.vertices[4 * first],
                                  s.indices.data(), false, 2 * kQuadsPerDraw) &&
                 ok;
        return ok;
    }
    std::vector<uint32_t> target;
    SoftRaster::Texture tex;
    SoftRaster::Surface surface;
    SoftRaster::State state;
};

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
    bool DrawAll(bool turned = false, bool linear = false) {
        const Scene& s = GetScene();
        pixman_image_set_filter(src, linear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                                nullptr, 0);
        if (!turned) {
            pixman_image_set_transform(src, nullptr);
            for (const auto& p : s.places)
                pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, p.first,
                                         p.second, kQuadSize, kQuadSize);
            return true;
        }
        for (int q = 0; q < kQuads; ++q) {
            // Destination to source: turned back about the sprite's centre.
            const double c = std::cos(s.angles[q]), sn = std::sin(s.angles[q]);
            const double cx = s.places[q].first + kQuadSize / 2.0;
            const double cy = s.places[q].second + kQuadSize / 2.0;
            const double half = kQuadSize / 2.0;
            pixman_transform_t t;
            pixman_transform_init_identity(&t);
            t.matrix[0][0] = pixman_double_to_fixed(c);
            t.matrix[0][1] = pixman_double_to_fixed(sn);
            t.matrix[0][2] = pixman_double_to_fixed(half - (c * cx + sn * cy));
            t.matrix[1][0] = pixman_double_to_fixed(-sn);
            t.matrix[1][1] = pixman_double_to_fixed(c);
            t.matrix[1][2] = pixman_double_to_fixed(half - (-sn * cx + c * cy));
            if (!pixman_image_set_transform(src, &t)) return false;
            // The turned square's bounding box.
            const double reach = half * (std::fabs(c) + std::fabs(sn));
            const int x0 = int(std::floor(cx - reach)), y0 = int(std::floor(cy - reach));
            const int x1 = int(std::ceil(cx + reach)), y1 = int(std::ceil(cy + reach));
            pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, x0, y0, 0, 0, x0, y0, x1 - x0,
                                     y1 - y0);
        }
        return true;
    }
    std::vector<uint32_t> target, source;
    pixman_image_t* src = nullptr;
    pixman_image_t* dst = nullptr;
    pixman_image_t* mask = nullptr;
};
#endif

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Wall-clock seconds of one call.
double Seconds(const std::function<bool()>& run, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = run() && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Ours on one thread and on two, and the reference, in Mpix/s (medians).
struct Figure {
    double Ours = 0, OursTwo = 0, Reference = 0;
};
std::map<std::string, Figure>& Figures() {
    static std::map<std::string, Figure> figures;
    return figures;
}

// Draws a frame of each in turn, each iteration starting with the next one, and records the
// medians of their rates in Mpix/s. A null draw is left out.
void Rotate(benchmark::State& state, const std::string& name, const std::function<bool()>& ours,
            const std::function<bool()>& oursTwo, const std::function<bool()>& reference) {
    const std::function<bool()>* draws[3] = {&ours, &oursTwo, &reference};
    std::vector<double> rates[3];
    bool ok = true;
    int first = 0;
    for (auto _ : state) {
        for (int k = 0; k < 3; ++k) {
            const int i = (first + k) % 3;
            if (!*draws[i]) continue;
            const double seconds = Seconds(*draws[i], ok);
            if (seconds > 0) rates[i].push_back(kFramePixels * 1e-6 / seconds);
            if (i == 0) state.SetIterationTime(seconds);
        }
        first = (first + 1) % 3;
    }
    if (!ok) {
        state.SkipWithError("a draw failed");
        return;
    }
    Figure f{Median(rates[0]), Median(rates[1]), Median(rates[2])};
    state.counters["ours_Mpix/s"] = f.Ours;
    if (oursTwo) state.counters["ours_2t_Mpix/s"] = f.OursTwo;
    if (reference) state.counters["ref_Mpix/s"] = f.Reference;
    state.counters["ratio"] = f.Reference > 0 ? f.Ours / f.Reference : 0;
    Figures()[name] = f;
}

#ifdef HAVE_PIXMAN
// The sprites as they stand, or turned. The argument limits the vector path (0 scalar, 1 SSE2,
// 2 AVX2, 3 AVX-512), to show what each one gives; paths this processor lacks are skipped.
void DeviceVsPixman(benchmark::State& state, bool turned, bool linear = false) {
    static const char* const kPaths[] = {"scalar", "SSE2", "AVX2", "AVX-512"};
    const auto path = SoftRaster::VectorPath(state.range(0));
    if (path > SoftRaster::WidestVectorPath()) {
        state.SkipWithError("vector path not available here");
        return;
    }
    DeviceSetup device, deviceTwo(2);
    if (!device.Ready() || !deviceTwo.Ready()) {
        state.SkipWithError("no device");
        return;
    }
    PixmanSetup pixman;
    device.SetLinear(linear);
    deviceTwo.SetLinear(linear);
    SoftRaster::LimitVectorPath(path);
    Rotate(
        state,
        std::string(linear ? "bilinear, " : "") + (turned ? "turned, " : "") + "device API, " +
            kPaths[state.range(0)] + " / pixman",
        [&] { return device.DrawAll(turned); }, [&] { return deviceTwo.DrawAll(turned); },
        [&] { return pixman.DrawAll(turned, linear); });
    SoftRaster::LimitVectorPath(SoftRaster::VectorPath::kAvx512);
}

// Once per vector path, timed by the frames' own clock.
void PerPath(benchmark::internal::Benchmark* b) {
    b->DenseRange(0, 3)->ArgName("path")->UseManualTime()->Iterations(60)->Unit(
        benchmark::kMillisecond);
}

void BM_DeviceVsPixman(benchmark::State& state) {
    DeviceVsPixman(state, false);
}
void BM_TurnedVsPixman(benchmark::State& state) {
    DeviceVsPixman(state, true);
}
void BM_BilinearVsPixman(benchmark::State& state) {
    DeviceVsPixman(state, false, true);
}
void BM_BilinearTurnedVsPixman(benchmark::State& state) {
    DeviceVsPixman(state, true, true);
}
BENCHMARK(BM_DeviceVsPixman)->Apply(PerPath);
BENCHMARK(BM_TurnedVsPixman)->Apply(PerPath);

BENCHMARK(BM_BilinearVsPixman)->Apply(PerPath);
BENCHMARK(BM_BilinearTurnedVsPixman)->Apply(PerPath);

void BM_RasterizerVsPixman(benchmark::State& state) {
    RasterSetup raster;
    PixmanSetup pixman;
    Rotate(
        state, "rasterizer / pixman", [&] { return raster.DrawAll(); }, nullptr,
        [&] { return pixman.DrawAll(); });
}
BENCHMARK(BM_RasterizerVsPixman)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);
#endif

// The fixed cost of one draw call that lights no pixel, with no hook armed and with a failure
// armed for another method: the two should cost the same. With two threads, the call's cost
// to the caller, who hands it to them.
void BM_EmptyDrawCall(benchmark::State& state) {
    DeviceSetup device(int(state.range(1)));
    if (!device.Ready()) {
        state.SkipWithError("no device");
        return;
    }
    void* data = nullptr;
    device.Buffer()->Lock(0, 0, &data, D3DLOCK_DISCARD);
    const SoftRaster::Vertex off[4] = {{-64, -64, 0, 1, kModulation, 0, 0},
                                       {-32, -64, 0, 1, kModulation, 1, 0},
                                       {-64, -32, 0, 1, kModulation, 0, 1},
                                       {-32, -32, 0, 1, kModulation, 1, 1}};
    std::memcpy(data, off, sizeof(off));
    device.Buffer()->Unlock();
    SoftD3D::ResetHooks();
    if (state.range(0) != 0) SoftD3D::FailNextCall("IDirect3DDevice9::Present", E_FAIL);
    device.Device()->BeginScene();
    bool ok = true;
    for (auto _ : state) ok = device.DrawNothing() && ok;
    device.Device()->EndScene();
    SoftD3D::ResetHooks();
    if (!ok) state.SkipWithError("a draw failed");
}
BENCHMARK(BM_EmptyDrawCall)->ArgsProduct({{0, 1}, {1, 2}})->ArgNames({"armed", "threads"});

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
#ifdef HAVE_PIXMAN
    for (const auto& f : Figures()) {
        std::printf("%s: %.1f / %.1f Mpix/s (medians), ratio %.2f", f.first.c_str(), f.second.Ours,
                    f.second.Reference,
                    f.second.Reference > 0 ? f.second.Ours / f.second.Reference : 0);
        if (f.second.OursTwo > 0)
            std::printf("; two threads %.1f Mpix/s, %.2f times one", f.second.OursTwo,
                        f.second.Ours > 0 ? f.second.OursTwo / f.second.Ours : 0);
        std::printf("\n");
    }
    // Both draw the same picture: colour channels compared after one frame each. (Alpha
    // differs by design: the device blends target alpha like colour, pixman accumulates
    // coverage.) Turned, the two round texel and edge positions their own ways, so pixels
    // along edges and texel boundaries may take a neighbouring texel. Filtered, pixman blends
    // the sprite's outer texels with transparent ones beyond it where the device clamps, and
    // weighs texels to fewer bits.
    for (int c = 0; c < 4; ++c) {
        const bool turned = c & 1, linear = c & 2;
        DeviceSetup device;
        PixmanSetup pixman;
        if (!device.Ready()) continue;
        device.SetLinear(linear);
        if (!device.DrawAll(turned) || !pixman.DrawAll(turned, linear)) continue;
        const std::vector<uint32_t> ours = device.Pixels();
        int worst = 0;
        size_t differing = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            int most = 0;
            for (int sh = 0; sh < 24; sh += 8) {
                const int d = int((ours[i] >> sh) & 0xFF) - int((pixman.target[i] >> sh) & 0xFF);
                most = std::max(most, std::abs(d));
            }
            worst = std::max(worst, most);
            differing += most > 1;
        }
        std::printf(
            "%s%s: largest channel difference between the two pictures %d, pixels off by "
            "more than 1: %.2f%%\n",
            linear ? "bilinear, " : "", turned ? "turned" : "axis-aligned", worst,
            100.0 * differing / ours.size());
    }
#else
    std::printf("pixman not found at build time: no reference figures\n");
#endif
    return 0;
}
