// A frame of 20,000 turning, tinted 32x32 sprites from 8 textures into a 1024x768 target on
// the software device, drawn through a sorted TexturedSpriteList and GlobalVB.
//
// Frame: positioning, sorting, batching and drawing, with point sampling (argument 0) or
// linear filtering (1), on one thread, on two, and on the device's default count where that is
// more. The reference draws the same sprites one device call each, with the same positioning:
// what a host without batching would do. Every variant draws one frame per iteration, each
// iteration starting with the next one, so that all see the same machine; the counters give
// the medians of their wall-clock times (the frame runs on several threads), and so are only
// meaningful on a quiet machine.
//
// Batching: the same frame with every triangle culled, so the rasterizer has nothing to fill;
// the rest is positioning and batching, on one thread. Its reference is the least a batched
// renderer must do: the same positioning written straight into per-texture vertex blocks,
// copied into the device buffer and drawn in the same number of calls. The two alternate
// iteration by iteration, timed in processor time (the machine may be shared). The hand-made
// reference also times its device calls alone, which are the same calls ours makes: the
// batching figures per sprite are each frame's time without them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "FrameTiming.h"
#include "SpriteField.h"

namespace {

using namespace SpriteField;

// The thread counts frames are drawn with: one, two, and the device's default where it is more.
std::vector<int> ThreadCounts() {
    std::vector<int> counts{1, 2};
    if (SoftD3D::ThreadCount() > 2) counts.push_back(SoftD3D::ThreadCount());
    return counts;
}

struct Variant {
    std::string Name;
    int Threads = 1;
    std::function<void(Field&)> Draw;
    std::vector<double> Times;
};

void BM_SpriteFrame(benchmark::State& state) {
    Field field;
    GD3D9& engine = GetD3DEngine();
    if (state.range(0) != 0) engine.SetLinearFiltering();
    std::vector<Variant> variants;
    for (int threads : ThreadCounts())
        variants.push_back({"batched_" + std::to_string(threads) + "t",
                            threads,
                            [](Field& f) { f.Batched(); },
                            {}});
    for (int threads : ThreadCounts())
        variants.push_back({"one_call_each_" + std::to_string(threads) + "t",
                            threads,
                            [](Field& f) { f.OneCallEach(); },
                            {}});
    size_t first = 0;
    for (auto _ : state) {
        for (size_t k = 0; k < variants.size(); ++k) {
            Variant& v = variants[(first + k) % variants.size()];
            SoftD3D::SetDeviceThreadCount(engine.PDevice, v.Threads);
            v.Times.push_back(FrameWallSeconds([&] { v.Draw(field); }));
        }
        state.SetIterationTime(variants[0].Times.back());
        first = (first + 1) % variants.size();
    }
    SoftD3D::SetDeviceThreadCount(engine.PDevice, 0);
    for (const Variant& v : variants) {
        const double seconds = Median(v.Times);
        state.counters[v.Name + "_ms"] = 1000 * seconds;
        state.counters[v.Name + "_fps"] = seconds > 0 ? 1 / seconds : 0;
    }
    // Each count's speed-up over one thread, batched.
    for (size_t i = 1; i < ThreadCounts().size(); ++i) {
        const double many = Median(variants[i].Times);
        state.counters["speedup_" + std::to_string(variants[i].Threads) + "t"] =
            many > 0 ? Median(variants[0].Times) / many : 0;
    }
}

// Ours and the reference alternate, each pair starting with the other one.
void Compare(benchmark::State& state, bool culled, const std::function<void(Field&)>& ours,
             const std::function<void(Field&)>& reference) {
    Field field;
    // The host's own work is measured: culling happens on the calling thread.
    SoftD3D::SetDeviceThreadCount(GetD3DEngine().PDevice, 1);
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

void BM_SpriteBatching(benchmark::State& state) {
    Compare(
        state, true, [](Field& f) { f.Batched(); }, [](Field& f) { f.HandBatched(); });
}

}  // namespace

BENCHMARK(BM_SpriteFrame)
    ->ArgName("linear")
    ->DenseRange(0, 1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
BENCHMARK(BM_SpriteBatching)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);

BENCHMARK_MAIN();
