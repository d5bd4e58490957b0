// A target folder for extraction fuzzing, inside a watched area: a sentinel file sits beside
// the target, and every file outside the target is recorded before the run. Check aborts the
// process (so the fuzzer reports the input) when the sentinel changed or anything outside the
// target appeared, vanished or changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace FuzzSupport {

class WatchedFolder {
public:
    // Writes the archive beside the target. Links planted in the target lead out of it: to the
    // folder above, to the sentinel, and through a dangling name, so an extraction that
    // follows links writes where it must not.
    WatchedFolder(const uint8_t* archive, size_t size, bool plantLinks);
    ~WatchedFolder();
    WatchedFolder(const WatchedFolder&) = delete;
    WatchedFolder& operator=(const WatchedFolder&) = delete;

    // The target, with a trailing separator, as the extractors take it.
    std::string Target() const;
    // The archive, in the watched area outside the target.
    std::string ArchivePath() const;
    // Aborts with a message on standard error when anything outside the target changed.
    void Check() const;

private:
    std::map<std::string, std::string> Snapshot() const;

    std::filesystem::path Area;
    std::filesystem::path TargetPath;
    std::map<std::string, std::string> Before;
};

}  // namespace FuzzSupport
