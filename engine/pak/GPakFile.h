// A pak archive: a 32-bit entry count, a table of 392-byte GPakEntry records, and the
// entries' bytes back to back. GPakFile reads the table, finds entries, hands clients the
// open stream for their own seek-and-read, extracts everything to a folder, and writes new
// archives from a folder (Create, in GPakFileCreate.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The on-disk table record, identical in memory.
struct GPakEntry {
    char SourcePath[256];  // where the writer read the file from; informational
    char Name[128];        // lookup key and relative output path
    int32_t Offset;        // derived from the sizes on load; stored values are ignored
    uint32_t Size;
};
static_assert(sizeof(GPakEntry) == 392, "GPakEntry is a fixed 392-byte file record");

class GPakFile {
public:
    static constexpr int32_t kRecordSize = 392;

    GPakFile() = default;
    virtual ~GPakFile();
    GPakFile(const GPakFile&) = delete;
    GPakFile& operator=(const GPakFile&) = delete;

    // Opens the archive and loads its table. The outcome shows only in GetHandle and
    // NumEntries: a file that cannot be opened, or a damaged table, leaves an empty archive
    // and one debug-log line.
    void Load(std::string path);
    // The first entry whose name equals name byte for byte, or null.
    GPakEntry* Find(const std::string& name);
    // The open archive stream, or null. Shared: seek before every read.
    FILE* GetHandle() { return Handle; }
    // Writes every entry to folder + Name, creating folders on the way. Entries whose data
    // lies outside the file or whose name would leave the folder are skipped with a log line.
    void ExtractAll(std::string folder);
    // Packs the files that searchPath (a folder, a separator and a pattern) selects into a
    // new archive at archivePath. With prefixed non-zero each name is prefix + "/" + the path
    // below the folder; otherwise the bare file name.
    void Create(std::string searchPath, std::string archivePath, int prefixed, std::string prefix);

    int32_t GetNumEntries() const { return NumEntries; }
    int32_t GetDataStart() const { return DataStart; }
    const GPakEntry* GetEntries() const { return Entries; }
    const std::string& GetPakPath() const { return PakPath; }
    // False for a damaged record that Load refused (it stays in the table for inspection).
    bool IsEntryUsable(int32_t index) const;

    // Why an entry cannot be extracted safely, or null when it can. Shared by the extractor
    // and by tools that check archives, so both apply the same rules.
    static const char* UnsafeNameReason(const GPakEntry& entry);

private:
    void Release();

    GPakEntry* Entries = nullptr;
    int32_t NumEntries = 0;
    FILE* Handle = nullptr;
    int32_t DataStart = 0;
    std::string PakPath;
    // Per entry: false when the record is damaged (unterminated text, data past the end of
    // the file or past 2 GiB); such an entry is never found, read or extracted.
    std::vector<bool> Usable;
};
