// Writing a pak archive from the files below one folder. The archive is written to a hidden
// file beside the target and moved over it only when complete, so a failure never leaves a
// damaged archive or harms the old one. Files that cannot be stored faithfully are left out
// with a log line rather than stored under a cut-off name or with the wrong bytes.
#include <cstring>
#include <new>
#include <vector>

#include "diagnostics/GDebugLog.h"
#include "pak/GFileList.h"
#include "pak/GPakFile.h"
#include "platform/Platform.h"

namespace {

constexpr int64_t kMaxPosition = 0x7FFFFFFF;  // positions are signed 32-bit in the format

struct Candidate {
    std::string Source;
    std::string Name;
    uint32_t Size = 0;
};

void LogSkipped(const std::string& path, const char* why) {
    char temp[512];
    snprintf(temp, sizeof temp, "Not packing [%s]: %s", path.c_str(), why);
    GetDebugLog().Log(temp);
}

// A path with its separators unified and "." and ".." components folded, so that two
// spellings of one relative (or one absolute) path compare equal.
std::string LexicalKey(const std::string& path) {
    std::vector<std::string> parts;
    const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string key = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) key += (i ? "/" : "") + parts[i];
    return key;
}

// Opens a new hidden file in the target's folder; the leading dot also keeps it out of any
// folder walk. Returns null when no such file can be made.
FILE* OpenTempBeside(const std::string& target, std::string& tempPath) {
    const size_t cut = target.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
    const std::string base = cut == std::string::npos ? target : target.substr(cut + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = folder + "." + base + (attempt ? "." + std::to_string(attempt) : "") + ".tmp";
        // "x": never take over a file someone else is writing.
        if (FILE* out = Platform::OpenStream(tempPath, "wbx")) return out;
        const uint32_t error = Platform::GetLastError();
        if (error != Platform::kErrorAlreadyExists && error != Platform::kErrorFileExists) break;
    }
    tempPath.clear();  // not ours: never to be removed
    return nullptr;
}

enum class WriteResult { Done, SourceChanged, Failed };

// Writes count, table and data. A source whose size no longer matches the table stops the
// write with its index in changed, so the caller can leave it out and write again.
WriteResult WriteArchive(FILE* out, const GPakEntry* entries, int32_t count, int32_t& changed) {
    const uint32_t n = static_cast<uint32_t>(count);
    const unsigned char countBytes[4] = {
        static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
        static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    if (fwrite(countBytes, 1, 4, out) != 4) return WriteResult::Failed;
    if (count > 0 && fwrite(entries, GPakFile::kRecordSize, n, out) != n) {
        return WriteResult::Failed;
    }
    for (int32_t i = 0; i < count; ++i) {
        const GPakEntry& entry = entries[i];
        changed = i;
        FILE* pathname = Platform::OpenStream(entry.SourcePath, "rb");
        if (!pathname) return WriteResult::SourceChanged;
        if (Platform::StreamSize(pathname) != entry.Size) {
            fclose(pathname);
            return WriteResult::SourceChanged;
        }
        const bool copied = Platform::CopyStreamRange(pathname, 0, entry.Size, out);
        const uint32_t error = Platform::GetLastError();
        // Grown while it was being copied: the bytes would be a mix of two versions.
        const bool grew = copied && Platform::StreamSize(pathname) != entry.Size;
        fclose(pathname);
        if (grew || (!copied && error == Platform::kErrorHandleEof)) {
            return WriteResult::SourceChanged;
        }
        if (!copied) return WriteResult::Failed;
    }
    return fflush(out) == 0 ? WriteResult::Done : WriteResult::Failed;
}

}  // namespace

void GPakFile::Create(std::string searchPath, std::string archivePath, int prefixed,
                      std::string prefix) {
    // The object describes the archive it writes; an earlier table or stream would only
    // mislead readers about it.
    Release();

    GFileList file_list;
    file_list.SetKeepRoot();
    file_list.AddFiles(searchPath);

    // Names below the folder start after its separator; a search path without one walks
    // the working folder, where the whole gathered path is the relative part.
    const size_t cut = searchPath.find_last_of("\\/");
    const size_t relativeStart = cut == std::string::npos ? 0 : cut + 1;
    const std::string archiveKey = LexicalKey(archivePath);

    // First pass: name and measure every file, leaving out what cannot be stored as it is.
    std::vector<Candidate> candidates;
    candidates.reserve(file_list.Count());
    for (const std::string& filename : file_list.Files) {
        if (LexicalKey(filename) == archiveKey) {
            LogSkipped(filename, "it is the archive being written");
            continue;
        }
        Candidate candidate;
        candidate.Source = filename;
        if (prefixed) {
            const std::string relative =
                filename.size() >= relativeStart ? filename.substr(relativeStart) : filename;
            candidate.Name = prefix + "/" + relative;
        } else {
            const size_t slash = filename.find_last_of("\\/");
            candidate.Name = slash == std::string::npos ? filename : filename.substr(slash + 1);
        }
        if (candidate.Name.size() >= sizeof(GPakEntry::Name)) {
            LogSkipped(filename, "its stored name is longer than 127 bytes");
            continue;
        }
        if (candidate.Source.size() >= sizeof(GPakEntry::SourcePath)) {
            LogSkipped(filename, "its path is longer than 255 bytes");
            continue;
        }
        FILE* source = Platform::OpenStream(filename, "rb");
        if (!source) {
            LogSkipped(filename, "it cannot be opened");
            continue;
        }
        const int64_t size = Platform::StreamSize(source);
        fclose(source);
        if (size < 0 || size > kMaxPosition) {
            LogSkipped(filename, "it is 2 GiB or larger");
            continue;
        }
        candidate.Size = static_cast<uint32_t>(size);
        candidates.push_back(std::move(candidate));
    }

    // Whatever else fails, the object ends up holding the table of what was meant to be written.
    std::vector<bool> keep(candidates.size(), true);
    auto buildTable = [&]() {
        delete[] Entries;
        Entries = nullptr;
        int32_t count = 0;
        for (bool k : keep) count += k ? 1 : 0;
        // The table can only shrink while files are left out, so offsets checked against the
        // first, largest table stay in range.
        int64_t running = 4 + int64_t{kRecordSize} * count;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!keep[i]) continue;
            if (running + candidates[i].Size > kMaxPosition) {
                LogSkipped(candidates[i].Source, "the archive would pass 2 GiB");
                keep[i] = false;
                --count;
                continue;
            }
            running += candidates[i].Size;
        }
        Entries = new GPakEntry[static_cast<size_t>(count)];
        NumEntries = count;
        DataStart = 4 + kRecordSize * count;
        Usable.assign(static_cast<size_t>(count), true);
        int32_t record = 0;
        running = DataStart;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!keep[i]) continue;
            GPakEntry& entry = Entries[record++];
            memset(&entry, 0, sizeof entry);
            memcpy(entry.Name, candidates[i].Name.c_str(), candidates[i].Name.size());
            memcpy(entry.SourcePath, candidates[i].Source.c_str(), candidates[i].Source.size());
            entry.Size = candidates[i].Size;
            entry.Offset = static_cast<int32_t>(running);
            running += entry.Size;
        }
    };
    buildTable();

    std::string tempPath;
    FILE* out = OpenTempBeside(archivePath, tempPath);
    bool written = false;
    while (out) {
        int32_t changed = -1;
        const WriteResult result = WriteArchive(out, Entries, NumEntries, changed);
        if (result != WriteResult::SourceChanged) {
            const bool closed = fclose(out) == 0;
            out = nullptr;
            written = result == WriteResult::Done && closed &&
                      Platform::MoveFileReplacing(tempPath, archivePath);
            break;
        }
        // Leave the changed file out and write everything again: the table is written first,
        // so it cannot be patched once the count is on disk.
        const std::string source = Entries[changed].SourcePath;
        LogSkipped(source, "it changed or vanished while the archive was written");
        int32_t record = 0;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (keep[i] && record++ == changed) keep[i] = false;
        }
        buildTable();
        fclose(out);
        out = Platform::OpenStream(tempPath, "wb");
    }
    if (!written) {
        if (!tempPath.empty()) Platform::RemoveFile(tempPath);
        GetDebugLog().Log("Failed to create pak file");
    }
}
