// `pak create` against `tar -cf` packing the same trees.
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

    BenchTrees::CompareRuns(
        state, "pak",
        // As a user runs it: from the folder that holds the tree.
        [&] {
            return BenchTrees::RunTimed(
                {BIN_DIR "/pak", "create", "source", "tree.pak", "--prefix", "tree"}, scratch.Path);
        },
        "tar",
        [&] {
            return BenchTrees::RunTimed({"tar", "-cf", tarPath, "-C", source.string(), "."},
                                        scratch.Path);
        },
        [&] {
            fs::remove(pakPath);
            fs::remove(tarPath);
        });
}

void BM_PakCreate_4000SmallFiles(benchmark::State& state) {
    CreateBenchmark(state, BenchTrees::SmallFilesTree());
}
void BM_PakCreate_4LargeFiles(benchmark::State& state) {
    CreateBenchmark(state, BenchTrees::LargeFilesTree());
}

BENCHMARK(BM_PakCreate_4000SmallFiles)
    ->UseManualTime()
    ->Iterations(21)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PakCreate_4LargeFiles)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
