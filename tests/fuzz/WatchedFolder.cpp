#include "WatchedFolder.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "FuzzSupport.h"

namespace fs = std::filesystem;

namespace FuzzSupport {

namespace {

constexpr const char* kSentinelText = "sentinel: nothing may touch this file\n";

std::string Describe(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status)) return "link to " + fs::read_symlink(path, ec).string();
    if (fs::is_directory(status)) return "folder";
    std::ifstream in(path, std::ios::binary);
    return "file " + std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

WatchedFolder::WatchedFolder(const uint8_t* archive, size_t size, bool plantLinks) {
    static unsigned long counter = 0;
    Area = ScratchFolder() / ("area" + std::to_string(++counter));
    // Nested, so names with a few ".." components still land inside the watched area.
    TargetPath = Area / "a" / "b" / "target";
    fs::create_directories(TargetPath);
    std::ofstream(Area / "a" / "b" / "sentinel.txt") << kSentinelText;
    std::ofstream(Area / "outside.txt") << kSentinelText;
    std::ofstream(ArchivePath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(archive), std::streamsize(size));
    if (plantLinks) {
        std::error_code ec;
        fs::create_directory_symlink("..", TargetPath / "up", ec);
        fs::create_directory_symlink(Area, TargetPath / "area", ec);
        fs::create_symlink(Area / "a" / "b" / "sentinel.txt", TargetPath / "sentinel.txt", ec);
        fs::create_symlink(Area / "a" / "b" / "new.txt", TargetPath / "dangling.txt", ec);
    }
    Before = Snapshot();
}

WatchedFolder::~WatchedFolder() {
    std::error_code ignored;
    fs::remove_all(Area, ignored);
}

std::string WatchedFolder::Target() const {
    return TargetPath.string() + "/";
}

std::string WatchedFolder::ArchivePath() const {
    return (Area / "a" / "archive.pak").string();
}

std::map<std::string, std::string> WatchedFolder::Snapshot() const {
    std::map<std::string, std::string> files;
    std::error_code ec;
    // Links are listed, never followed. What happens inside the target is its own business,
    // the links planted there included.
    for (fs::recursive_directory_iterator it(Area, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (path == TargetPath) {
            it.disable_recursion_pending();
            continue;
        }
        files[path.string()] = Describe(path);
    }
    return files;
}

void WatchedFolder::Check() const {
    const std::map<std::string, std::string> after = Snapshot();
    if (after == Before) return;
    for (const auto& [path, what] : after) {
        auto it = Before.find(path);
        if (it == Before.end()) {
            std::fprintf(stderr, "written outside the target: %s\n", path.c_str());
        } else if (it->second != what) {
            std::fprintf(stderr, "changed outside the target: %s\n", path.c_str());
        }
    }
    for (const auto& [path, what] : Before) {
        if (after.count(path) == 0) std::fprintf(stderr, "removed: %s\n", path.c_str());
    }
    std::abort();
}

}  // namespace FuzzSupport
