/// @file
/// A pak archive: a 32-bit entry count, a table of 392-byte GPakEntry records, and the
/// entries' bytes back to back. GPakFile reads the table, finds entries, hands clients the
/// open stream for their own seek-and-read, extracts everything to a folder, and writes new
/// archives from a folder (Create, in GPakFileCreate.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

/// The on-disk table record, identical in memory.
struct GPakEntry {
    char SourcePath[256];  ///< where the writer read the file from; informational
    char Name[128];        ///< lookup key and relative output path
    int32_t Offset;        ///< derived from the sizes on load; stored values are ignored
    uint32_t Size;
};
static_assert(sizeof(GPakEntry) == 392, "GPakEntry is a fixed 392-byte file record");

/// Why an entry was not read or written, or a file not packed. GPakFile::ReasonText gives
/// each its wording, the same words the debug log shows.
enum class GPakReason {
    None = 0,
    /// A damaged record, refused when the table is read.
    NameNotTerminated,
    SourceNotTerminated,
    DataPastTwoGiB,
    DataPastEnd,
    /// A name that would leave the target folder.
    NameEmpty,
    NameStartsWithSeparator,
    NameHasDriveLetter,
    NameEndsInSeparator,
    NameClimbsOut,
    /// Writing an entry below the target.
    LinkOnTheWay,
    PathBlocked,
    CannotCreate,
    CannotCopy,
    /// Packing a file.
    IsTheArchive,
    StoredNameTooLong,
    SourcePathTooLong,
    CannotOpen,
    NotARegularFile,
    LinkToFolder,
    NameHoldsBackslash,
    CannotRead,
    TooLarge,
    ChangedWhileRead,
    ArchiveTooLarge,
};

/// One entry that was refused, or one file left out of a new archive.
struct GPakProblem {
    int32_t Index = -1;  ///< the entry's place in the table (-1 for a file being packed)
    std::string Source;  ///< the file's path, for a file being packed
    GPakReason Reason = GPakReason::None;
    uint32_t SystemError = 0;  ///< the system's error code (Win32 numbering) where it had one
    const char* Text() const;
};

enum class GPakLoadStatus {
    NotLoaded,   ///< no Load yet
    Loaded,      ///< the table is read; single entries may still be damaged (see LoadProblems)
    CannotOpen,  ///< the file could not be opened (SystemError says why)
    Damaged,     ///< the count or table cannot be right (Damage says how); nothing is loaded
};

struct GPakLoadResult {
    GPakLoadStatus Status = GPakLoadStatus::NotLoaded;
    uint32_t SystemError = 0;
    const char* Damage = nullptr;
    std::vector<GPakProblem> Problems;  ///< damaged records, in table order
};

enum class GPakExtractStatus {
    Done,       ///< every entry was tried; Problems lists those not written
    NoArchive,  ///< the archive could not be opened again (SystemError says why)
    NoTarget,   ///< the target folder could not be made or opened (SystemError says why)
};

struct GPakExtractResult {
    GPakExtractStatus Status = GPakExtractStatus::Done;
    uint32_t SystemError = 0;
    int32_t Written = 0;
    std::vector<GPakProblem> Problems;  ///< in the order the entries were tried
};

struct GPakCreateResult {
    bool Written = false;              ///< the archive is complete at its path
    uint32_t SystemError = 0;          ///< why it could not be written
    std::vector<GPakProblem> LeftOut;  ///< files not packed (the archive itself included)
    /// The entry carried over from an archive (GPakFile::Write) whose bytes could not be read
    /// whole, which stopped the write: Index its place among the sources, None when none did.
    GPakProblem Failure;
};

/// One entry of an archive being written: its stored name and source path, and where its
/// bytes come from. Without Archive they are the whole file at SourcePath; with it, Size bytes
/// at Offset of the file Archive, an entry carried over from an existing archive.
struct GPakSource {
    std::string Name;
    std::string SourcePath;
    std::string Archive;
    int32_t Offset = 0;
    uint32_t Size = 0;
};

class GPakFile {
public:
    static constexpr int32_t kRecordSize = 392;

    GPakFile() = default;
    virtual ~GPakFile();
    GPakFile(const GPakFile&) = delete;
    GPakFile& operator=(const GPakFile&) = delete;

    /// Opens the archive and loads its table. A file that cannot be opened, or a damaged
    /// table, leaves an empty archive and one debug-log line; GetLoadResult says which.
    void Load(std::string path);
    /// The first entry whose name equals name byte for byte, or null.
    GPakEntry* Find(const std::string& name);
    /// The open archive stream, or null. Shared: seek before every read.
    FILE* GetHandle() { return Handle; }
    /// Writes every entry to folder + Name, creating folders on the way. Entries whose data
    /// lies outside the file, whose name would leave the folder, or whose way meets a link
    /// below the folder are skipped with a log line; GetExtractResult says what happened.
    void ExtractAll(std::string folder);
    /// The extraction behind ExtractAll, for the entries at indexes (in that order). Each
    /// entry's output path is folder + Name, as in ExtractAll; the folder's own path may lead
    /// through links, nothing below it ever does. Many entries may be written by two threads;
    /// what the result and the log say is as if they were written one by one, in order.
    /// progress, when set, hears of each entry before it is written, one call at a time, not
    /// always on the calling thread.
    using ExtractProgress = std::function<void(int32_t index)>;
    GPakExtractResult ExtractEntries(const std::string& folder, const std::vector<int32_t>& indexes,
                                     const ExtractProgress& progress = nullptr);
    /// Packs the files that searchPath (a folder, a separator and a pattern) selects into a
    /// new archive at archivePath. With prefixed non-zero each name is prefix + "/" + the path
    /// below the folder; otherwise the bare file name.
    void Create(std::string searchPath, std::string archivePath, int prefixed, std::string prefix);
    /// Writes a new archive of sources, in their order, at archivePath (the archive may be one
    /// of the sources' Archive). As with Create, it is written beside the target and replaces
    /// it only when complete; a read-only target is kept. A file that cannot be packed is left
    /// out (GetCreateResult lists it), but an entry carried over that cannot be read whole
    /// fails the whole write, so nothing of an old archive is ever lost.
    void Write(const std::vector<GPakSource>& sources, std::string archivePath);
    /// Why Write would leave a file source out without reading a byte of it (it is the
    /// archive, its name or path does not fit its field, it cannot be opened as a plain file),
    /// or None. Callers that replace an entry by a file check here first, to keep the entry
    /// when the file cannot take its place.
    static GPakReason CheckSource(const GPakSource& source, const std::string& archivePath);
    /// The files that searchPath selects, as Create would gather them: SourcePath the path
    /// found, Name the path below the folder with its levels joined by "/". Links to folders
    /// and names holding a backslash (which no path can name) are added to leftOut.
    static std::vector<GPakSource> GatherFolder(const std::string& searchPath,
                                                std::vector<GPakProblem>& leftOut);

    int32_t GetNumEntries() const { return NumEntries; }
    int32_t GetDataStart() const { return DataStart; }
    const GPakEntry* GetEntries() const { return Entries; }
    const std::string& GetPakPath() const { return PakPath; }
    /// The Offset field as the file stored it, which readers otherwise ignore.
    int32_t GetStoredOffset(int32_t index) const {
        return StoredOffsets[static_cast<size_t>(index)];
    }
    /// False for a damaged record that Load refused (it stays in the table for inspection).
    bool IsEntryUsable(int32_t index) const;
    /// Why the entry cannot be read or extracted safely (damage first, then its name), or
    /// None. Shared by the extractor and by tools that check archives.
    GPakReason CheckEntry(int32_t index) const;

    const GPakLoadResult& GetLoadResult() const { return LoadResult; }
    const GPakExtractResult& GetExtractResult() const { return ExtractResult; }
    const GPakCreateResult& GetCreateResult() const { return CreateResult; }

    /// Why an entry's name would leave the target folder (or its text fields are
    /// unterminated), or None.
    static GPakReason CheckName(const GPakEntry& entry);
    /// The same as text, or null when the name is safe.
    static const char* UnsafeNameReason(const GPakEntry& entry);
    static const char* ReasonText(GPakReason reason);
    /// The file a name lands in when extracted, as Windows compares paths: either separator,
    /// no empty or "." parts, letters without case. Equal keys are one file.
    static std::string PathKey(const std::string& name);

private:
    void Release();
    /// One debug-log line for an entry that is not read or written.
    static void LogEntryProblem(int32_t index, const GPakEntry& entry, GPakReason reason);

    GPakEntry* Entries = nullptr;
    int32_t NumEntries = 0;
    FILE* Handle = nullptr;
    int32_t DataStart = 0;
    std::string PakPath;
    /// Per entry: why the record is damaged (unterminated text, data past the end of the
    /// file or past 2 GiB), or None; a damaged entry is never found, read or extracted.
    std::vector<GPakReason> Damage;
    std::vector<int32_t> StoredOffsets;
    GPakLoadResult LoadResult;
    GPakExtractResult ExtractResult;
    GPakCreateResult CreateResult;
};
