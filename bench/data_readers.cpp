// Ini and CSV reading against the same work done with the C library alone (fgets, strtok_r,
// strtol), in the same run. The ini file holds one 5,000-key section between two others; the
// CSV file holds 100,000 lines of three integers, a float, a name and a flag.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "data/CSV.h"
#include "data/GBufferedFile.h"
#include "data/IniLoader.h"

namespace fs = std::filesystem;

namespace {

const int kIniKeys = 5000;
const int kCsvLines = 100000;

struct Files {
    Files() {
        folder = fs::temp_directory_path() / ("bench_data_readers_" + std::to_string(rand()));
        fs::create_directories(folder);
        ini = (folder / "settings.ini").string();
        FILE* file = fopen(ini.c_str(), "wb");
        fprintf(file, "[Before]\nx = 1\ny = 2\n\n[Big]\n");
        for (int i = 0; i < kIniKeys; i++) {
            fprintf(file, "  setting_%d = value number %d  \n", i, i * 7);
        }
        fprintf(file, "\n[After]\nz = 3\n");
        fclose(file);

        csv = (folder / "table.csv").string();
        file = fopen(csv.c_str(), "wb");
        for (int i = 0; i < kCsvLines; i++) {
            fprintf(file, "%d,%d,%d,%d.25,name_%d,%d\n", i, i * 3, -i, i % 100, i, i & 1);
        }
        fclose(file);

        for (int i = 0; i < GBufferedFileManager::MAXFILES; i++) {
            fillers.push_back((folder / ("filler" + std::to_string(i) + ".ini")).string());
            file = fopen(fillers.back().c_str(), "wb");
            fprintf(file, "[F]\nf = 1\n");
            fclose(file);
        }
    }
    ~Files() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
    std::string ini;
    std::string csv;
    std::vector<std::string> fillers;
};

Files& TestFiles() {
    static Files files;
    return files;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char* TrimBoth(char* text) {
    while (IsBlank(*text)) text++;
    size_t length = strlen(text);
    while (length > 0 && IsBlank(text[length - 1])) text[--length] = '\0';
    return text;
}

void BM_IniLoad_Cached(benchmark::State& state) {
    Files& files = TestFiles();
    IniLoader ini;
    for (auto _ : state) {
        bool loaded = ini.Load("Big", files.ini);
        benchmark::DoNotOptimize(loaded);
    }
    if (ini.GetCount() != static_cast<size_t>(kIniKeys)) state.SkipWithError("wrong key count");
    state.SetItemsProcessed(state.iterations() * kIniKeys);
}

// Every load reads the file from disk: a filler file takes slot 0 back between iterations.
void BM_IniLoad_FromDisk(benchmark::State& state) {
    Files& files = TestFiles();
    for (const std::string& filler : files.fillers) GetBufferedFileManager().GetFile(filler);
    IniLoader ini;
    for (auto _ : state) {
        bool loaded = ini.Load("Big", files.ini);
        benchmark::DoNotOptimize(loaded);
        state.PauseTiming();
        GetBufferedFileManager().GetFile(files.fillers[0]);
        state.ResumeTiming();
    }
    if (ini.GetCount() != static_cast<size_t>(kIniKeys)) state.SkipWithError("wrong key count");
    state.SetItemsProcessed(state.iterations() * kIniKeys);
}

void BM_IniLoad_PlainC(benchmark::State& state) {
    Files& files = TestFiles();
    std::vector<char*> keys;
    std::vector<char*> values;
    keys.reserve(kIniKeys);
    values.reserve(kIniKeys);
    char line[2048];
    for (auto _ : state) {
        FILE* file = fopen(files.ini.c_str(), "rb");
        bool inSection = false;
        while (fgets(line, sizeof(line), file) != nullptr) {
            if (line[0] == '[') {
                inSection = strcmp(TrimBoth(line), "[Big]") == 0;
                continue;
            }
            if (!inSection) continue;
            char* save = nullptr;
            char* key = strtok_r(line, "=", &save);
            char* value = strtok_r(nullptr, "\n", &save);
            if (key == nullptr) continue;
            key = TrimBoth(key);
            if (*key == '\0') continue;
            keys.push_back(strdup(key));
            values.push_back(strdup(value != nullptr ? TrimBoth(value) : ""));
        }
        fclose(file);
        if (keys.size() != static_cast<size_t>(kIniKeys)) state.SkipWithError("wrong key count");
        for (char* key : keys) free(key);
        for (char* value : values) free(value);
        keys.clear();
        values.clear();
    }
    state.SetItemsProcessed(state.iterations() * kIniKeys);
}

void BM_CsvSplit(benchmark::State& state) {
    Files& files = TestFiles();
    char line[2048];
    CSV reader;
    for (auto _ : state) {
        FILE* file = fopen(files.csv.c_str(), "rb");
        long long sum = 0;
        size_t names = 0;
        while (fgets(line, sizeof(line), file) != nullptr) {
            reader.SetLine(line, ',');
            sum += reader.GetNextInt();
            sum += reader.GetNextInt();
            sum += reader.GetNextInt();
            sum += static_cast<long long>(reader.GetNextFloat());
            names += reader.GetNextString().size();
            sum += reader.GetNextBool() ? 1 : 0;
        }
        fclose(file);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(names);
    }
    state.SetItemsProcessed(state.iterations() * kCsvLines);
}

void BM_CsvSplit_PlainC(benchmark::State& state) {
    Files& files = TestFiles();
    char line[2048];
    char name[64];
    for (auto _ : state) {
        FILE* file = fopen(files.csv.c_str(), "rb");
        long long sum = 0;
        size_t names = 0;
        while (fgets(line, sizeof(line), file) != nullptr) {
            char* save = nullptr;
            sum += strtol(strtok_r(line, ",", &save), nullptr, 10);
            sum += strtol(strtok_r(nullptr, ",", &save), nullptr, 10);
            sum += strtol(strtok_r(nullptr, ",", &save), nullptr, 10);
            sum += static_cast<long long>(strtof(strtok_r(nullptr, ",", &save), nullptr));
            const char* field = strtok_r(nullptr, ",", &save);
            size_t length = strnlen(field, sizeof(name) - 1);
            memcpy(name, field, length);
            name[length] = '\0';
            names += length;
            sum += strtol(strtok_r(nullptr, ",\r\n", &save), nullptr, 10) != 0 ? 1 : 0;
        }
        fclose(file);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(names);
        benchmark::DoNotOptimize(name);
    }
    state.SetItemsProcessed(state.iterations() * kCsvLines);
}

}  // namespace

BENCHMARK(BM_IniLoad_Cached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IniLoad_FromDisk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IniLoad_PlainC)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CsvSplit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvSplit_PlainC)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
