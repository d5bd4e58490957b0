// The demo's unattended run, headless and without waiting for the refresh, at 5,000 and 20,000
// sprites, on one thread and on two (ENGINE_RENDER_THREADS). Every combination runs once per
// iteration, each iteration starting with the next one; the counters give the medians of the
// frames per second the demo reports, so they are only meaningful on a quiet machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FrameTiming.h"

namespace {

constexpr int kFrames = 120;

// The frames per second the demo prints last, or 0 when it did not run.
double DemoFramesPerSecond(int sprites, int threads) {
    const std::string command = "ENGINE_RENDER_THREADS=" + std::to_string(threads) +
                                " " BIN_DIR "/demo --headless --immediate --sprites " +
                                std::to_string(sprites) + " --frames " + std::to_string(kFrames) +
                                " 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) return 0;
    double fps = 0;
    char line[512];
    while (std::fgets(line, sizeof(line), out) != nullptr) {
        long frames = 0;
        double seconds = 0, rate = 0;
        if (std::sscanf(line, "%ld frames in %lf s: %lf frames per second", &frames, &seconds,
                        &rate) == 3)
            fps = rate;
    }
    return pclose(out) == 0 ? fps : 0;
}

void BM_DemoFrames(benchmark::State& state) {
    struct Run {
        int Sprites, Threads;
        std::vector<double> Rates;
    };
    std::vector<Run> runs;
    for (int sprites : {5000, 20000})
        for (int threads : {1, 2}) runs.push_back({sprites, threads, {}});
    size_t first = 0;
    for (auto _ : state) {
        for (size_t k = 0; k < runs.size(); ++k) {
            Run& r = runs[(first + k) % runs.size()];
            const double fps = DemoFramesPerSecond(r.Sprites, r.Threads);
            if (fps <= 0) {
                state.SkipWithError("the demo did not run");
                return;
            }
            r.Rates.push_back(fps);
        }
        state.SetIterationTime(1.0 / runs.back().Rates.back());
        first = (first + 1) % runs.size();
    }
    for (const Run& r : runs)
        state.counters["fps_" + std::to_string(r.Sprites) + "_" + std::to_string(r.Threads) + "t"] =
            Median(r.Rates);
    for (int sprites : {5000, 20000}) {
        double one = 0, two = 0;
        for (const Run& r : runs)
            if (r.Sprites == sprites) (r.Threads == 1 ? one : two) = Median(r.Rates);
        state.counters["speedup_" + std::to_string(sprites)] = one > 0 ? two / one : 0;
    }
}
BENCHMARK(BM_DemoFrames)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
