// The exporter against tar -xf unpacking the same trees.
//
// Each run of the small-file tree unpacks into a folder of its own, and the trees are removed
// only at the end. Where ext4 runs without a journal, a new inode is not taken from those
// freed in the last minutes while others are free: each file created then first scans past
// every inode recently deleted in its block group. Removing 4,000 files after each run made
// the next run spend most of its time in that scan, whichever program it was, so that figure
// (kept as _AfterDeletes) measures the file system's memory of the last run more than either
// program. A quiet machine also means no one else deleting many files nearby in the minutes
// before.
#include <benchmark/benchmark.h>

#include "BenchTrees.h"

namespace {

namespace fs = std::filesystem;

enum class Between { KeepTrees, DeleteTrees };

void ExtractBenchmark(benchmark::State& state, const std::vector<BenchTrees::TreeFile>& files,
                      Between between) {
    BenchTrees::Scratch scratch;
    const fs::path source = scratch.Path / "source";
    BenchTrees::WriteTree(source, files);
    BenchTrees::WritePak(scratch.Path / "tree.pak", files);
    BenchTrees::RunTimed(
        {"tar", "-cf", (scratch.Path / "tree.tar").string(), "-C", source.string(), "."},
        scratch.Path);
    if (between == Between::DeleteTrees) fs::remove_all(source);
    const std::string pak = (scratch.Path / "tree.pak").string();
    const std::string tar = (scratch.Path / "tree.tar").string();
    int run = 0;
    auto work = [&] { return scratch.Path / ("work" + std::to_string(run)); };

    BenchTrees::CompareRuns(
        state, "exporter",
        [&] {
            fs::create_directories(work());
            return BenchTrees::RunTimed({BIN_DIR "/exporter", pak}, work());
        },
        "tar",
        [&] {
            fs::create_directories(work() / "extracted");
            return BenchTrees::RunTimed({"tar", "-xf", tar, "-C", "extracted"}, work());
        },
        [&] {
            if (between == Between::DeleteTrees) fs::remove_all(work());
            ++run;
        });
}

// The floor for large entries: the tar file copied whole by cat, against tar unpacking it.
void BM_CatTar_4LargeFiles(benchmark::State& state) {
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
    ExtractBenchmark(state, BenchTrees::SmallFilesTree(), Between::KeepTrees);
}
void BM_Extract_4000SmallFiles_AfterDeletes(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::SmallFilesTree(), Between::DeleteTrees);
}
// Four files cost the scan nothing, and 42 copies of 128 MiB would fill the disk.
void BM_Extract_4LargeFiles(benchmark::State& state) {
    ExtractBenchmark(state, BenchTrees::LargeFilesTree(), Between::DeleteTrees);
}

BENCHMARK(BM_Extract_4000SmallFiles)
    ->UseManualTime()
    ->Iterations(21)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract_4000SmallFiles_AfterDeletes)
    ->UseManualTime()
    ->Iterations(21)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract_4LargeFiles)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatTar_4LargeFiles)->UseManualTime()->Iterations(21)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
