// Running the pak tool as a user runs it, and the archives and trees its tests start from.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "pak/GPakFile.h"
#include "support/PakBuilder.h"
#include "support/TestSupport.h"

namespace PakToolTest {

namespace fs = std::filesystem;
using TestSupport::PakBuilder;
using TestSupport::ReadFile;
using TestSupport::RunResult;
using TestSupport::TempDir;
using TestSupport::WriteFile;

inline TestSupport::RunResult Pak(const std::vector<std::string>& args,
                                  const std::filesystem::path& cwd) {
    return TestSupport::Run(BIN_DIR "/pak", args, cwd);
}

// Standard output exactly as written, for binary output.
inline std::string PakBytes(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                            int& status) {
    TestSupport::TempDir scratch;
    TestSupport::WriteFile(scratch.Path() / "in", "");
    status = TestSupport::RunWithFiles(BIN_DIR "/pak", args, cwd, scratch / "in", scratch / "out",
                                       scratch / "err");
    return TestSupport::ReadFile(scratch.Path() / "out");
}

// Every entry of an archive in table order: stored name and bytes, read by the engine.
inline std::vector<std::pair<std::string, std::string>> Entries(const std::filesystem::path& pak) {
    GPakFile file;
    file.Load(pak.string());
    std::vector<std::pair<std::string, std::string>> entries;
    for (int32_t i = 0; i < file.GetNumEntries(); ++i) {
        const GPakEntry& entry = file.GetEntries()[i];
        std::string data(entry.Size, '\0');
        fseek(file.GetHandle(), entry.Offset, SEEK_SET);
        if (entry.Size && fread(&data[0], 1, entry.Size, file.GetHandle()) != entry.Size) {
            data = "<cut short>";
        }
        entries.emplace_back(entry.Name, data);
    }
    return entries;
}

using EntryList = std::vector<std::pair<std::string, std::string>>;

// The sample layout modders meet: folders stored with either separator.
inline std::string GameArchive() {
    TestSupport::PakBuilder b;
    b.Add("readme.txt", "read me")
        .Add("levels/one/map.txt", "map one")
        .Add("levels\\two\\map.txt", "map two")
        .Add("docs\\credits.txt", "credits")
        .Add("data/empty.dat", "");
    return b.BytesWithDerivedOffsets();
}

}  // namespace PakToolTest
