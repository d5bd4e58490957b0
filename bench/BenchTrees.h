// Shared by the archive benchmarks: the two trees they measure on, written once per run into
// a scratch folder, and a way to run a program and time it with its peak memory.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace BenchTrees {

namespace fs = std::filesystem;

struct TreeFile {
    std::string Name;  // relative, '/' separated
    uint64_t Size;
};

// (a) 4,000 files of 1-16 KiB in 40 folders; (b) 4 files of 32 MiB.
inline std::vector<TreeFile> SmallFilesTree() {
    std::vector<TreeFile> files;
    std::mt19937 rng(42);
    std::uniform_int_distribution<uint64_t> size(1024, 16 * 1024);
    for (int i = 0; i < 4000; ++i) {
        files.push_back(
            {"dir" + std::to_string(i % 40) + "/file" + std::to_string(i) + ".dat", size(rng)});
    }
    return files;
}

inline std::vector<TreeFile> LargeFilesTree() {
    std::vector<TreeFile> files;
    for (int i = 0; i < 4; ++i) files.push_back({"big" + std::to_string(i) + ".bin", 32u << 20});
    return files;
}

// Bytes that do not compress to nothing, the same for every run.
inline void FillBytes(std::vector<char>& buffer, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    for (char& c : buffer) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
}

// Writes the files below root.
inline void WriteTree(const fs::path& root, const std::vector<TreeFile>& files) {
    std::vector<char> buffer;
    uint32_t seed = 1;
    for (const TreeFile& f : files) {
        fs::create_directories((root / f.Name).parent_path());
        buffer.resize(f.Size);
        FillBytes(buffer, seed++);
        std::ofstream out(root / f.Name, std::ios::binary);
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }
}

// Writes the tree straight into a pak archive at path: count, table, data.
inline void WritePak(const fs::path& path, const std::vector<TreeFile>& files) {
    std::ofstream out(path, std::ios::binary);
    auto le32 = [&out](uint32_t v) {
        char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
        out.write(b, 4);
    };
    le32(static_cast<uint32_t>(files.size()));
    uint64_t offset = 4 + 392 * files.size();
    for (const TreeFile& f : files) {
        char source[256] = {};
        char name[128] = {};
        f.Name.copy(source, sizeof source - 1);
        f.Name.copy(name, sizeof name - 1);
        out.write(source, sizeof source);
        out.write(name, sizeof name);
        le32(static_cast<uint32_t>(offset));
        le32(static_cast<uint32_t>(f.Size));
        offset += f.Size;
    }
    std::vector<char> buffer;
    uint32_t seed = 1;
    for (const TreeFile& f : files) {
        buffer.resize(f.Size);
        FillBytes(buffer, seed++);
        out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }
}

struct RunStats {
    double Seconds = 0;
    double CpuSeconds = 0;  // user and system time of the child: what load on the machine hides
    long PeakRssKiB = 0;
    int ExitCode = -1;
};

// Runs a program (no shell) in a working folder with output discarded, timing it. A plain
// fork, not a spawn that shares our memory, so the child's peak memory is its own.
inline RunStats RunTimed(const std::vector<std::string>& argv, const fs::path& workingFolder) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    RunStats stats;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(workingFolder.c_str()) != 0) _exit(126);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid > 0) {
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        stats.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        stats.PeakRssKiB = usage.ru_maxrss;
        stats.CpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    }
    stats.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return stats;
}

// A scratch folder for one benchmark run, removed afterwards.
struct Scratch {
    Scratch() {
        Path =
            fs::temp_directory_path() / ("engine-bench-" + std::to_string(std::random_device{}()));
        fs::create_directories(Path);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(Path, ec);
    }
    fs::path Path;
};

// The median of a list of times (the mean of the middle two for an even count).
inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Times ours against a reference, alternating run by run (and which of the two goes first)
// so both see the same machine state. cleanUp runs after each pair, untimed. Reports the
// median wall and CPU time of each, the ratios of the medians and each one's peak memory as
// counters named after the two: medians, because other work on a shared machine only ever
// adds time.
inline void CompareRuns(benchmark::State& state, const std::string& ourName,
                        const std::function<RunStats()>& ours, const std::string& refName,
                        const std::function<RunStats()>& reference,
                        const std::function<void()>& cleanUp) {
    std::vector<double> ourSeconds, refSeconds, ourCpu, refCpu;
    long ourPeak = 0, refPeak = 0;
    bool oursFirst = true;
    for (auto _ : state) {
        RunStats a, b;
        if (oursFirst) {
            a = ours();
            cleanUp();
            b = reference();
        } else {
            b = reference();
            cleanUp();
            a = ours();
        }
        cleanUp();
        oursFirst = !oursFirst;
        if (a.ExitCode != 0 || b.ExitCode != 0) {
            state.SkipWithError("a run failed");
            break;
        }
        state.SetIterationTime(a.Seconds);
        ourSeconds.push_back(a.Seconds);
        refSeconds.push_back(b.Seconds);
        ourCpu.push_back(a.CpuSeconds);
        refCpu.push_back(b.CpuSeconds);
        ourPeak = std::max(ourPeak, a.PeakRssKiB);
        refPeak = std::max(refPeak, b.PeakRssKiB);
    }
    const double ourMedian = Median(ourSeconds);
    const double refMedian = Median(refSeconds);
    state.counters[ourName + "_ms"] = 1000 * ourMedian;
    state.counters[refName + "_ms"] = 1000 * refMedian;
    state.counters["ratio"] = refMedian > 0 ? ourMedian / refMedian : 0;
    // CPU time (mostly the kernel's, for file work) is steadier than wall time on a busy machine.
    const double ourCpuMedian = Median(ourCpu);
    const double refCpuMedian = Median(refCpu);
    state.counters[ourName + "_cpu_ms"] = 1000 * ourCpuMedian;
    state.counters[refName + "_cpu_ms"] = 1000 * refCpuMedian;
    state.counters["cpu_ratio"] = refCpuMedian > 0 ? ourCpuMedian / refCpuMedian : 0;
    state.counters[ourName + "_peak_KiB"] = static_cast<double>(ourPeak);
    state.counters[refName + "_peak_KiB"] = static_cast<double>(refPeak);
}

}  // namespace BenchTrees
