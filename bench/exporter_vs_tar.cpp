// The exporter against tar -xf unpacking the same trees.
#include <benchmark/benchmark.h>

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
    const std::string pak = (scratch.Path / "tree.pak").string();
    const std::string tar = (scratch.Path / "tree.tar").string();

    BenchTrees::CompareRuns(
        state, "exporter",
        [&] {
            fs::create_directories(work);
            return BenchTrees::RunTimed({BIN_DIR "/exporter", pak}, work);
        },
        "tar",
        [&] {
            fs::create_directories(work / "extracted");
            return BenchTrees::RunTimed({"tar", "-xf", tar, "-C", "extracted"}, work);
        },
        [&] { fs::remove_all(work); });
}

// The floor for large entries: the tar file copied whole by cat, against tar unpacking it.
void BM_CatTar_4LargeFiles(benchmark::State& state) {
    namespace fs = std::filesystem;
    const std::vector<BenchTrees::TreeFile> files = BenchTrees::LargeFilesTree();
    BenchTrees::Scratch scratch;
    const fs::path source = scratch.Path / "source";
    BenchTrees::WriteTree(source, files);
    const std::string tar = (scratch.Path / "tree.tar").string();
    BenchTrees::RunTimed({"tar", "-cf", tar, "-C", source.string(), "."}, scratch.Path);
    fs::remove_all(source);
    const fs::path work = scratch.Path / "work";
    BenchTrees::CompareRuns(
        state, "cat",
        [&] {
            fs::create_directories(work);
            return BenchTrees::RunTimed({"sh", "-c", "cat \"$0\" > copy.tar", tar}, work);
        },
        "tar",
        [&] {
            fs::create_directories(work / "extracted");
            return BenchTrees::RunTimed({"tar", "-xf", tar, "-C", "extracted"}, work);
        },
        [&] { fs::remove_all(work); });
}

void BM_Extract_4000SmallFiles(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::SmallFilesTree());
}
void BM_Extract_4LargeFiles(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::LargeFilesTree());
}

BENCHMARK(BM_Extract_4000SmallFiles)
    ->UseManualTime()
    ->Iterations(21)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract_4LargeFiles)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatTar_4LargeFiles)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
