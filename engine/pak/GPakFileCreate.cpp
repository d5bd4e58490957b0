// Writing a pak archive: from the files below one folder (Create), or from a list of files and
// entries carried over from existing archives (Write, which add and remove build on). The
// archive is written to a hidden file beside the target and moved over it only when complete,
// so a failure never leaves a damaged archive or harms the old one. Files that cannot be
// stored faithfully are left out with a log line rather than stored under a cut-off name or
// with the wrong bytes.
//
// Each file is opened once: its bytes go out right after the room kept for the table, and
// the table is written last, at the front. A file that cannot be read whole changes the
// table's size, so the archive is then written again without it.
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <vector>

#include "diagnostics/GDebugLog.h"
#include "pak/GFileList.h"
#include "pak/GPakFile.h"
#include "platform/Platform.h"

namespace {

constexpr int64_t kMaxPosition = 0x7FFFFFFF;  // positions are signed 32-bit in the format
// Files up to this size are read whole; larger ones are copied in pieces (or by the kernel).
constexpr size_t kWholeReadLimit = 1u << 20;
// Small files gather until a write of at least this size is worth making.
constexpr size_t kGatherSize = 64u << 10;

// Records a file left out of the archive, and logs it.
void LeaveOut(std::vector<GPakProblem>& leftOut, const std::string& path, GPakReason why) {
    GPakProblem problem;
    problem.Source = path;
    problem.Reason = why;
    leftOut.push_back(problem);
    char temp[512];
    snprintf(temp, sizeof temp, "Not packing [%s]: %s", path.c_str(), GPakFile::ReasonText(why));
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

std::string BareName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The size of a file the walk listed, or -1 when it cannot be opened.
int64_t MeasureFile(const std::string& path) {
    FILE* source = Platform::OpenStream(path, "rb");
    if (!source) return -1;
    const int64_t size = Platform::StreamSize(source);
    fclose(source);
    return size;
}

void FillEntry(GPakEntry& entry, const GPakSource& file, int64_t offset, int64_t size) {
    memset(&entry, 0, sizeof entry);
    memcpy(entry.Name, file.Name.c_str(), file.Name.size());
    memcpy(entry.SourcePath, file.SourcePath.c_str(), file.SourcePath.size());
    entry.Offset = static_cast<int32_t>(offset);
    entry.Size = static_cast<uint32_t>(size);
}

// Archive data on its way out. Files are read straight into the free space behind what is
// waiting, so their bytes are never copied in memory; the waiting bytes go out in writes of
// kGatherSize or more.
class DataBuffer {
public:
    static constexpr size_t kReadSize = kWholeReadLimit + 1;  // one more tells "larger"

    DataBuffer() : Bytes(new char[kGatherSize + kReadSize]) {}
    char* Free() { return Bytes.get() + Fill; }
    void Keep(size_t count) { Fill += count; }
    bool FlushIfFull(FILE* out) { return Fill < kGatherSize || Flush(out); }
    bool Flush(FILE* out) {
        const bool ok = Fill == 0 || fwrite(Bytes.get(), 1, Fill, out) == Fill;
        if (!ok) Platform::KeepStreamError();
        Fill = 0;
        return ok;
    }
    void Drop() { Fill = 0; }

private:
    std::unique_ptr<char[]> Bytes;  // not cleared: only what was read is ever written
    size_t Fill = 0;
};

// Why a source could not be opened: gone, something other than a plain file, or locked.
GPakReason OpenFailureReason(const std::string& source) {
    if (Platform::IsOpenableFile(source)) return GPakReason::CannotOpen;
    const uint32_t error = Platform::GetLastError();
    return error == Platform::kErrorFileNotFound || error == Platform::kErrorPathNotFound
               ? GPakReason::CannotOpen
               : GPakReason::NotARegularFile;
}

// The archives that entries are carried over from, each opened once per attempt and closed
// before the new archive takes an old one's place (Windows renames nothing over an open file).
class CarriedArchives {
public:
    CarriedArchives() = default;
    ~CarriedArchives() {
        for (const auto& open : Streams) fclose(open.second);
    }
    CarriedArchives(const CarriedArchives&) = delete;
    CarriedArchives& operator=(const CarriedArchives&) = delete;

    // The archive at path, opened on first use; null (with the last error) when it cannot be.
    FILE* Get(const std::string& path) {
        const auto found = Streams.find(path);
        if (found != Streams.end()) return found->second;
        FILE* stream = Platform::OpenStream(path, "rb");
        if (stream) Streams.emplace(path, stream);
        return stream;
    }

private:
    std::map<std::string, FILE*> Streams;
};

struct WriteOutcome {
    enum { Done, LeaveOut, Failed } Result = Failed;
    // The files to leave out (in list order), and why.
    std::vector<std::pair<size_t, GPakReason>> LeftOut;
    // A carried-over entry that could not be read whole (Index its place in the list).
    GPakProblem Failure;
};

// Copies the bytes of a carried-over entry into the archive: GPakReason::None, or why they
// could not be read whole (false in written when the archive itself could not be written).
GPakReason CopyCarried(const GPakSource& file, CarriedArchives& carried, int64_t running,
                       DataBuffer& data, FILE* out, bool& written) {
    FILE* from = carried.Get(file.Archive);
    if (!from) return GPakReason::CannotOpen;
    const int64_t size = file.Size;
    if (file.Offset < 0 || Platform::StreamSize(from) < file.Offset + size) {
        return GPakReason::DataPastEnd;
    }
    if (running + size > kMaxPosition) return GPakReason::ArchiveTooLarge;
    if (size <= static_cast<int64_t>(kWholeReadLimit)) {
        if (fseek(from, file.Offset, SEEK_SET) != 0 ||
            fread(data.Free(), 1, file.Size, from) != file.Size) {
            return GPakReason::CannotRead;
        }
        data.Keep(file.Size);
        written = data.FlushIfFull(out);
        return GPakReason::None;
    }
    written = data.Flush(out);
    if (written && !Platform::CopyStreamRange(from, file.Offset, file.Size, out)) {
        return Platform::GetLastError() == Platform::kErrorHandleEof ? GPakReason::DataPastEnd
                                                                     : GPakReason::CannotRead;
    }
    return GPakReason::None;
}

// Writes the archive of files into out, filling entries (one per file) on the way.
WriteOutcome WriteArchive(FILE* out, const std::vector<const GPakSource*>& files,
                          GPakEntry* entries, DataBuffer& data) {
    WriteOutcome outcome;
    data.Drop();
    const int64_t dataStart =
        4 + int64_t{GPakFile::kRecordSize} * static_cast<int64_t>(files.size());
    auto streamFailed = [&outcome] {
        Platform::KeepStreamError();
        return outcome;
    };
    if (dataStart > kMaxPosition) return outcome;
    if (fseek(out, static_cast<long>(dataStart), SEEK_SET) != 0) return streamFailed();
    // Once a file must be left out, this attempt is lost; the files after it are only
    // checked for opening, so that one more attempt usually does without all of them.
    auto leaveOut = [&outcome, &files](size_t index, GPakReason why) {
        outcome.Result = WriteOutcome::LeaveOut;
        outcome.LeftOut.emplace_back(index, why);
        for (size_t i = index + 1; i < files.size(); ++i) {
            if (!files[i]->Archive.empty()) continue;
            if (FILE* probe = Platform::OpenStream(files[i]->SourcePath, "rb")) {
                fclose(probe);
            } else {
                outcome.LeftOut.emplace_back(i, OpenFailureReason(files[i]->SourcePath));
            }
        }
        return outcome;
    };

    int64_t running = dataStart;
    Platform::SmallFileReader reader;
    CarriedArchives carried;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->Archive.empty()) {
            bool written = true;
            const GPakReason problem = CopyCarried(*files[i], carried, running, data, out, written);
            if (problem != GPakReason::None) {
                outcome.Failure.Index = static_cast<int32_t>(i);
                outcome.Failure.Source = files[i]->Archive;
                outcome.Failure.Reason = problem;
                outcome.Failure.SystemError = Platform::GetLastError();
                return outcome;
            }
            if (!written) return outcome;
            FillEntry(entries[i], *files[i], running, files[i]->Size);
            running += files[i]->Size;
            continue;
        }
        // Small files, the common case, are read straight into the outgoing buffer, so their
        // bytes are never copied in memory. Folders, pipes and devices are refused unread.
        const std::string& source = files[i]->SourcePath;
        const int64_t got = reader.Read(source, data.Free(), DataBuffer::kReadSize);
        if (got == Platform::kReadNotOpened) return leaveOut(i, OpenFailureReason(source));
        if (got == Platform::kReadFailed) return leaveOut(i, GPakReason::CannotRead);
        int64_t size = got;
        GPakReason problem = GPakReason::None;
        bool copied = true;
        if (got == static_cast<int64_t>(DataBuffer::kReadSize)) {
            // Larger files go across in pieces (or by the kernel).
            FILE* pathname = Platform::OpenStream(source, "rb");
            if (!pathname) return leaveOut(i, OpenFailureReason(source));
            size = Platform::StreamSize(pathname);
            if (size > kMaxPosition) {
                problem = GPakReason::TooLarge;
            } else if (running + size > kMaxPosition) {
                problem = GPakReason::ArchiveTooLarge;
            } else {
                copied = data.Flush(out) &&
                         Platform::CopyStreamRange(pathname, 0, static_cast<uint64_t>(size), out);
                // Shorter or longer than when it was measured: the bytes would mix versions.
                if (!copied && Platform::GetLastError() == Platform::kErrorHandleEof) {
                    problem = GPakReason::ChangedWhileRead;
                    copied = true;
                } else if (copied && Platform::StreamSize(pathname) != size) {
                    problem = GPakReason::ChangedWhileRead;
                }
            }
            fclose(pathname);
        } else if (running + size > kMaxPosition) {
            problem = GPakReason::ArchiveTooLarge;
        } else {
            data.Keep(static_cast<size_t>(got));
            copied = data.FlushIfFull(out);
        }
        if (problem != GPakReason::None) return leaveOut(i, problem);
        if (!copied) return outcome;
        FillEntry(entries[i], *files[i], running, size);
        running += size;
    }

    if (!data.Flush(out)) return outcome;
    const uint32_t n = static_cast<uint32_t>(files.size());
    const unsigned char countBytes[4] = {
        static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
        static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    if (fseek(out, 0, SEEK_SET) != 0 || fwrite(countBytes, 1, 4, out) != 4) return streamFailed();
    if (n > 0 && fwrite(entries, GPakFile::kRecordSize, n, out) != n) return streamFailed();
    if (fflush(out) != 0) return streamFailed();
    outcome.Result = WriteOutcome::Done;
    return outcome;
}

// Why a source cannot be stored as it is, seen from its name and path alone, or None.
GPakReason UnfitSource(const GPakSource& source, const std::string& archiveName,
                       const std::string& archiveKey) {
    if (source.Archive.empty() && BareName(source.SourcePath) == archiveName &&
        LexicalKey(source.SourcePath) == archiveKey) {
        return GPakReason::IsTheArchive;
    }
    if (source.Name.size() >= sizeof(GPakEntry::Name)) return GPakReason::StoredNameTooLong;
    if (source.SourcePath.size() >= sizeof(GPakEntry::SourcePath)) {
        return GPakReason::SourcePathTooLong;
    }
    return GPakReason::None;
}

}  // namespace

GPakReason GPakFile::CheckSource(const GPakSource& source, const std::string& archivePath) {
    const GPakReason problem = UnfitSource(source, BareName(archivePath), LexicalKey(archivePath));
    if (problem != GPakReason::None || !source.Archive.empty()) return problem;
    return Platform::IsOpenableFile(source.SourcePath) ? GPakReason::None
                                                       : OpenFailureReason(source.SourcePath);
}

std::vector<GPakSource> GPakFile::GatherFolder(const std::string& searchPath,
                                               std::vector<GPakProblem>& leftOut) {
    GFileList file_list;
    file_list.SetKeepRoot();
    file_list.AddFiles(searchPath);
    for (const std::string& link : file_list.FolderLinks) {
        LeaveOut(leftOut, link, GPakReason::LinkToFolder);
    }
    for (const std::string& path : file_list.BackslashNames) {
        LeaveOut(leftOut, path, GPakReason::NameHoldsBackslash);
    }

    // Names below the folder start after its separator; a search path without one walks
    // the working folder, where the whole gathered path is the relative part.
    const size_t cut = searchPath.find_last_of("\\/");
    const size_t relativeStart = cut == std::string::npos ? 0 : cut + 1;
    std::vector<GPakSource> sources(file_list.Files.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        const std::string& filename = file_list.Files[i];
        sources[i].SourcePath = filename;
        sources[i].Name =
            filename.size() >= relativeStart ? filename.substr(relativeStart) : filename;
    }
    return sources;
}

void GPakFile::Create(std::string searchPath, std::string archivePath, int prefixed,
                      std::string prefix) {
    std::vector<GPakProblem> leftOut;
    std::vector<GPakSource> sources = GatherFolder(searchPath, leftOut);
    for (GPakSource& source : sources) {
        source.Name = prefixed ? prefix + "/" + source.Name : BareName(source.SourcePath);
    }
    Write(sources, archivePath);
    CreateResult.LeftOut.insert(CreateResult.LeftOut.begin(), leftOut.begin(), leftOut.end());
}

void GPakFile::Write(const std::vector<GPakSource>& sources, std::string archivePath) {
    // The object describes the archive it writes; an earlier table or stream would only
    // mislead readers about it.
    Release();
    CreateResult = GPakCreateResult();

    const std::string archiveName = BareName(archivePath);
    const std::string archiveKey = LexicalKey(archivePath);
    std::vector<const GPakSource*> files;
    files.reserve(sources.size());
    for (const GPakSource& source : sources) {
        const GPakReason problem = UnfitSource(source, archiveName, archiveKey);
        if (problem == GPakReason::None) {
            files.push_back(&source);
        } else if (source.Archive.empty()) {
            LeaveOut(CreateResult.LeftOut, source.SourcePath, problem);
        } else if (CreateResult.Failure.Reason == GPakReason::None) {
            // Leaving out an entry of an old archive would lose it.
            CreateResult.Failure.Index = static_cast<int32_t>(&source - sources.data());
            CreateResult.Failure.Source = source.Archive;
            CreateResult.Failure.Reason = problem;
        }
    }

    auto allocateTable = [this](size_t count) {
        delete[] Entries;
        Entries = new GPakEntry[count];
        NumEntries = static_cast<int32_t>(count);
        DataStart = 4 + kRecordSize * NumEntries;
        Damage.assign(count, GPakReason::None);
        StoredOffsets.assign(count, 0);
    };

    DataBuffer data;
    std::string tempPath;
    FILE* out = nullptr;
    uint32_t writeError = Platform::kErrorSuccess;
    // A read-only archive is kept, as the engine never deletes a read-only file.
    Platform::FileAttributes existing;
    if (CreateResult.Failure.Reason != GPakReason::None) {
        writeError = Platform::kErrorInvalidData;
    } else if (Platform::GetAttributes(archivePath, existing) && existing.ReadOnly &&
               !existing.Folder) {
        writeError = Platform::kErrorAccessDenied;
    } else {
        out = OpenTempBeside(archivePath, tempPath);
        if (!out) writeError = Platform::GetLastError();
    }
    bool tableFilled = false;
    bool written = false;
    while (out) {
        // DataBuffer does the gathering; a stream buffer would only copy everything again.
        setvbuf(out, nullptr, _IONBF, 0);
        allocateTable(files.size());
        WriteOutcome outcome = WriteArchive(out, files, Entries, data);
        if (outcome.Result != WriteOutcome::LeaveOut) {
            const bool closed = fclose(out) == 0;
            if (!closed) Platform::KeepStreamError();
            out = nullptr;
            tableFilled = outcome.Result == WriteOutcome::Done;
            written = tableFilled && closed && Platform::MoveFileReplacing(tempPath, archivePath);
            if (!written) writeError = Platform::GetLastError();
            if (outcome.Failure.Reason != GPakReason::None) {
                CreateResult.Failure = outcome.Failure;
                CreateResult.Failure.Index = static_cast<int32_t>(
                    files[static_cast<size_t>(outcome.Failure.Index)] - sources.data());
                writeError = outcome.Failure.SystemError;
            }
            break;
        }
        for (const auto& left : outcome.LeftOut) {
            LeaveOut(CreateResult.LeftOut, files[left.first]->SourcePath, left.second);
        }
        // Back to front, so the indexes still point at the right files.
        for (auto it = outcome.LeftOut.rbegin(); it != outcome.LeftOut.rend(); ++it) {
            files.erase(files.begin() + static_cast<std::ptrdiff_t>(it->first));
        }
        fclose(out);
        out = Platform::OpenStream(tempPath, "wb");
        if (!out) writeError = Platform::GetLastError();
    }
    CreateResult.Written = written;
    if (written) return;
    CreateResult.SystemError = writeError;

    if (!tempPath.empty()) Platform::RemoveFile(tempPath);
    GetDebugLog().Log("Failed to create pak file");
    if (tableFilled) return;
    // Nothing complete was written; the object still describes what was meant to be.
    std::vector<int64_t> sizes;
    std::vector<const GPakSource*> measured;
    for (const GPakSource* file : files) {
        const int64_t size = file->Archive.empty() ? MeasureFile(file->SourcePath) : file->Size;
        if (size < 0 || size > kMaxPosition) continue;
        measured.push_back(file);
        sizes.push_back(size);
    }
    // Offsets must stay below 2 GiB: keep as many files as fit behind the table.
    size_t fits = measured.size();
    int64_t total = 4 + int64_t{kRecordSize} * static_cast<int64_t>(fits);
    for (size_t i = 0; i < measured.size(); ++i) {
        total += sizes[i];
        if (total > kMaxPosition) {
            fits = i;
            break;
        }
    }
    allocateTable(fits);
    int64_t running = DataStart;
    for (size_t i = 0; i < fits; ++i) {
        FillEntry(Entries[i], *measured[i], running, sizes[i]);
        running += sizes[i];
    }
}
