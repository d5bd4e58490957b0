// `pak create` against `tar -cf` packing the same trees, alternating run by run (and which of
// the two goes first) so both see the same machine state. Reports both times, their ratio,
// and each one's peak memory.
#include <benchmark/benchmark.h>

#include "BenchTrees.h"

namespace {

void CreateBenchmark(benchmark::State& state, const std::vector<BenchTrees::TreeFile>& files) {
    namespace fs = std::filesystem;
    BenchTrees::Scratch scratch;
    const fs::path source = scratch.Path / "source";
    BenchTrees::WriteTree(source, files);
    const std::string pakPath = (scratch.Path / "tree.pak").string();
    const std::string tarPath = (scratch.Path / "tree.tar").string();

    double pakSeconds = 0, tarSeconds = 0;
    long pakPeak = 0, tarPeak = 0;
    bool pakFirst = true;
    for (auto _ : state) {
        BenchTrees::RunStats pak, tar;
        auto runPak = [&] {
            // As a user runs it: from the folder that holds the tree.
            pak = BenchTrees::RunTimed(
                {BIN_DIR "/pak", "create", "source", "tree.pak", "--prefix", "tree"}, scratch.Path);
        };
        auto runTar = [&] {
            tar = BenchTrees::RunTimed({"tar", "-cf", tarPath, "-C", source.string(), "."},
                                       scratch.Path);
        };
        if (pakFirst) {
            runPak();
            runTar();
        } else {
            runTar();
            runPak();
        }
        pakFirst = !pakFirst;
        fs::remove(pakPath);
        fs::remove(tarPath);
        if (pak.ExitCode != 0 || tar.ExitCode != 0) {
            state.SkipWithError("a run failed");
            break;
        }
        state.SetIterationTime(pak.Seconds);
        pakSeconds += pak.Seconds;
        tarSeconds += tar.Seconds;
        pakPeak = std::max(pakPeak, pak.PeakRssKiB);
        tarPeak = std::max(tarPeak, tar.PeakRssKiB);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["pak_ms"] = 1000 * pakSeconds / n;
    state.counters["tar_ms"] = 1000 * tarSeconds / n;
    state.counters["ratio"] = pakSeconds / tarSeconds;
    state.counters["pak_peak_KiB"] = static_cast<double>(pakPeak);
    state.counters["tar_peak_KiB"] = static_cast<double>(tarPeak);
}

void BM_PakCreate_4000SmallFiles(benchmark::State& state) {
    CreateBenchmark(state, BenchTrees::SmallFilesTree());
}
void BM_PakCreate_4LargeFiles(benchmark::State& state) {
    CreateBenchmark(state, BenchTrees::LargeFilesTree());
}

BENCHMARK(BM_PakCreate_4000SmallFiles)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PakCreate_4LargeFiles)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
