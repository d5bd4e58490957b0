// The exporter against tar -xf on the same trees, alternating run by run so both see the
// same machine state. Reports both times, their ratio, and each one's peak memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include "BenchTrees.h"

namespace {

void ExtractBenchmark(benchmark::State& state, const std::vector<BenchTrees::TreeFile>& files) {
    namespace fs = std::filesystem;
    BenchTrees::Scratch scratch;
    const fs::path source = scratch.Path / "source";
    BenchTrees::WriteTree(source, files);
    BenchTrees::WritePak(scratch.Path / "tree.pak", files);
    BenchTrees::RunTimed(
        {"tar", "-cf", (scratch.Path / "tree.tar").string(), "-C", source.string(), "."},
        scratch.Path);
    fs::remove_all(source);
    const fs::path work = scratch.Path / "work";

    double exporterSeconds = 0, tarSeconds = 0;
    long exporterPeak = 0, tarPeak = 0;
    for (auto _ : state) {
        fs::create_directories(work);
        auto exporter =
            BenchTrees::RunTimed({BIN_DIR "/exporter", (scratch.Path / "tree.pak").string()}, work);
        fs::remove_all(work);
        fs::create_directories(work / "extracted");
        auto tar = BenchTrees::RunTimed(
            {"tar", "-xf", (scratch.Path / "tree.tar").string(), "-C", "extracted"}, work);
        fs::remove_all(work);
        if (exporter.ExitCode != 0 || tar.ExitCode != 0) {
            state.SkipWithError("a run failed");
            break;
        }
        state.SetIterationTime(exporter.Seconds);
        exporterSeconds += exporter.Seconds;
        tarSeconds += tar.Seconds;
        exporterPeak = std::max(exporterPeak, exporter.PeakRssKiB);
        tarPeak = std::max(tarPeak, tar.PeakRssKiB);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["exporter_ms"] = 1000 * exporterSeconds / n;
    state.counters["tar_ms"] = 1000 * tarSeconds / n;
    state.counters["ratio"] = exporterSeconds / tarSeconds;
    state.counters["exporter_peak_KiB"] = static_cast<double>(exporterPeak);
    state.counters["tar_peak_KiB"] = static_cast<double>(tarPeak);
}

void BM_Extract_4000SmallFiles(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::SmallFilesTree());
}
void BM_Extract_4LargeFiles(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::LargeFilesTree());
}

BENCHMARK(BM_Extract_4000SmallFiles)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract_4LargeFiles)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
