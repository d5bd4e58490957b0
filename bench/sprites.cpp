// A frame of 20,000 turning, tinted 32x32 sprites from 8 textures into a 1024x768 target on
// the software device, drawn through a sorted TexturedSpriteList and GlobalVB.
//
// Frame: positioning, sorting, batching and drawing. The reference draws the same sprites
// one device call each, with the same positioning: what a host without batching would do.
// Batching: the same frame with every triangle culled, so the rasterizer has nothing to fill;
// the rest is positioning and batching. Its reference is the least a batched renderer must do:
// the same positioning written straight into per-texture vertex blocks, copied into the
// device buffer and drawn in the same number of calls.
//
// Ours and the reference alternate iteration by iteration, timed in processor time (the
// machine is shared); the counters give medians. The hand-made reference also times its
// device calls alone, which are the same calls ours makes: the batching figures per sprite
// are each frame's time without them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

#include "FrameTiming.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/CTexturedSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kSprites = 20000;
constexpr int kTextures = 8;
constexpr int kSide = 32;

// A sprite with its place and the index of its texture.
struct Placed {
    CTexturedSprite Sprite;
    float X = 0, Y = 0;
    int TextureIndex = 0;
};

struct Field {
    Field() {
        window = SoftD3D::CreateHeadlessWindow(kWidth, kHeight);
        GD3D9& engine = GetD3DEngine();
        engine.Init(window, kWidth, kHeight, true);
        ScreenWidth = kWidth;
        ScreenHeight = kHeight;
        FillSinCosTables();
        GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
        // The sprites are drawn at their textures' own size.
        engine.SetPointFiltering();
        for (int t = 0; t < kTextures; t++) {
            IDirect3DTexture9* texture = nullptr;
            engine.PDevice->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          &texture, nullptr);
            D3DLOCKED_RECT lr;
            texture->LockRect(0, &lr, nullptr, 0);
            for (int y = 0; y < kSide; y++) {
                uint32_t* row =
                    reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
                for (int x = 0; x < kSide; x++) {
                    const int dx = x - kSide / 2, dy = y - kSide / 2;
                    const bool inside = dx * dx + dy * dy < (kSide / 2) * (kSide / 2);
                    row[x] = inside ? 0xFF000000u | (t * 32u) << 16 | (x * 8u) << 8 | y * 8u : 0;
                }
            }
            texture->UnlockRect(0);
            textures.push_back(texture);
            refs[t].SetFromTexture(texture);
        }
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        sprites.resize(kSprites);
        for (Placed& s : sprites) {
            s.X = static_cast<float>(next() % kWidth);
            s.Y = static_cast<float>(next() % kHeight);
            s.Sprite.Width = s.Sprite.Height = kSide;
            s.Sprite.Angle = static_cast<float>(next() % 360);
            s.Sprite.SetColour(0xFF000000u | next());
            s.TextureIndex = static_cast<int>(next() % kTextures);
            s.Sprite.Texture = refs[s.TextureIndex];
        }
    }

    ~Field() {
        GlobalVB.Release();
        for (IDirect3DTexture9* t : textures) t->Release();
        GetD3DEngine().Release();
        SoftD3D::DestroyHeadlessWindow(window);
    }

    void Turn(Placed& s) {
        s.Sprite.Rotate(1.0f);
        s.Sprite.SetPositionFast(s.X, s.Y);
    }

    void Batched() {
        for (Placed& s : sprites) {
            Turn(s);
            list.Add(&s.Sprite);
        }
        list.SortByTexture();
        list.Render(true);
    }

    void OneCallEach() {
        for (Placed& s : sprites) {
            Turn(s);
            s.Sprite.DrawTextured();
        }
    }

    // The floor for batching: quads written straight into per-texture blocks and copied into
    // the device buffer in chunks of its capacity.
    void HandBatched() {
        for (auto& block : blocks) block.clear();
        for (Placed& s : sprites) {
            s.Sprite.Rotate(1.0f);
            std::vector<ScreenVertex>& block = blocks[s.TextureIndex];
            const size_t at = block.size();
            block.resize(at + 4);
            std::memcpy(&block[at], s.Sprite.Verts, sizeof(s.Sprite.Verts));
            BaseSprite::PositionQuadFast(kSide, kSide, s.X, s.Y, s.Sprite.Angle, &block[at]);
        }
        IDirect3DDevice9* device = GetD3DEngine().PDevice;
        const std::clock_t start = std::clock();
        for (int t = 0; t < kTextures; t++) {
            refs[t].Set();
            const std::vector<ScreenVertex>& block = blocks[t];
            for (size_t first = 0; first < block.size(); first += GVertexBuffer::MAXVERTS) {
                const int n = static_cast<int>(
                    std::min<size_t>(GVertexBuffer::MAXVERTS, block.size() - first));
                void* mem = nullptr;
                GlobalVB.VertexBuffer->Lock(0, n * sizeof(ScreenVertex), &mem, D3DLOCK_DISCARD);
                std::memcpy(mem, &block[first], n * sizeof(ScreenVertex));
                GlobalVB.VertexBuffer->Unlock();
                device->SetStreamSource(0, GlobalVB.VertexBuffer, 0, sizeof(ScreenVertex));
                device->SetIndices(GlobalVB.IndexBuffer);
                device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, n, 0, n / 2);
            }
        }
        deviceSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }

    HWND window = nullptr;
    std::vector<IDirect3DTexture9*> textures;
    CTextureRef refs[kTextures];
    std::vector<Placed> sprites;
    std::vector<ScreenVertex> blocks[kTextures];
    TexturedSpriteList list;
    double deviceSeconds = 0;
};

// Ours and the reference alternate, each pair starting with the other one.
void Compare(benchmark::State& state, bool culled, const std::function<void(Field&)>& ours,
             const std::function<void(Field&)>& reference) {
    Field field;
    GetD3DEngine().PDevice->SetRenderState(D3DRS_CULLMODE, culled ? D3DCULL_CW : D3DCULL_CCW);
    std::vector<double> ourTimes, refTimes, deviceTimes;
    uint64_t draws = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        double a = 0, b = 0;
        const uint64_t before = SoftD3D::CallCount("DrawIndexedPrimitive");
        if (oursFirst) {
            a = FrameSeconds([&] { ours(field); });
            draws = SoftD3D::CallCount("DrawIndexedPrimitive") - before;
            b = FrameSeconds([&] { reference(field); });
        } else {
            b = FrameSeconds([&] { reference(field); });
            const uint64_t mid = SoftD3D::CallCount("DrawIndexedPrimitive");
            a = FrameSeconds([&] { ours(field); });
            draws = SoftD3D::CallCount("DrawIndexedPrimitive") - mid;
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(a);
        ourTimes.push_back(a);
        refTimes.push_back(b);
        deviceTimes.push_back(field.deviceSeconds);
    }
    const double ours_s = Median(ourTimes), ref_s = Median(refTimes);
    state.counters["ours_ms"] = 1000 * ours_s;
    state.counters["ref_ms"] = 1000 * ref_s;
    state.counters["ratio"] = ref_s > 0 ? ours_s / ref_s : 0;
    state.counters["ours_fps"] = ours_s > 0 ? 1 / ours_s : 0;
    state.counters["ref_fps"] = ref_s > 0 ? 1 / ref_s : 0;
    state.counters["ours_ns_per_sprite"] = 1e9 * ours_s / kSprites;
    state.counters["ref_ns_per_sprite"] = 1e9 * ref_s / kSprites;
    state.counters["draws_per_frame"] = static_cast<double>(draws);
    if (culled) {
        const double device_s = Median(deviceTimes);
        state.counters["device_ms"] = 1000 * device_s;
        state.counters["ours_batching_ns_per_sprite"] = 1e9 * (ours_s - device_s) / kSprites;
        state.counters["ref_batching_ns_per_sprite"] = 1e9 * (ref_s - device_s) / kSprites;
    }
}

void BM_SpriteFrame(benchmark::State& state) {
    Compare(
        state, false, [](Field& f) { f.Batched(); }, [](Field& f) { f.OneCallEach(); });
}

void BM_SpriteBatching(benchmark::State& state) {
    Compare(
        state, true, [](Field& f) { f.Batched(); }, [](Field& f) { f.HandBatched(); });
}

}  // namespace

BENCHMARK(BM_SpriteFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(11);
BENCHMARK(BM_SpriteBatching)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);

BENCHMARK_MAIN();
