#include "pak/GPakFile.h"

#include <cstring>
#include <new>

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

namespace {

constexpr int64_t kMaxPosition = 0x7FFFFFFF;  // positions are signed 32-bit in the format

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

uint32_t ReadLe32(const void* bytes) {
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void LogPakProblem(const char* what, const std::string& path) {
    char temp[512];
    snprintf(temp, sizeof temp, "Damaged pak file [%s]: %s", path.c_str(), what);
    GetDebugLog().Log(temp);
}

}  // namespace

void GPakFile::LogEntryProblem(int32_t index, const GPakEntry& entry, GPakReason reason) {
    char temp[512];
    // The name may be unterminated: print at most its field.
    snprintf(temp, sizeof temp, "Skipped pak entry %d [%.*s]: %s", index,
             static_cast<int>(sizeof entry.Name), entry.Name, GPakFile::ReasonText(reason));
    GetDebugLog().Log(temp);
}

const char* GPakProblem::Text() const {
    return GPakFile::ReasonText(Reason);
}

const char* GPakFile::ReasonText(GPakReason reason) {
    switch (reason) {
        case GPakReason::None:
            return "no problem";
        case GPakReason::NameNotTerminated:
            return "the name is not terminated";
        case GPakReason::SourceNotTerminated:
            return "the source path is not terminated";
        case GPakReason::DataPastTwoGiB:
            return "the data runs past 2 GiB";
        case GPakReason::DataPastEnd:
            return "the data runs past the end of the archive";
        case GPakReason::NameEmpty:
            return "the name is empty";
        case GPakReason::NameStartsWithSeparator:
            return "the name starts with a separator";
        case GPakReason::NameHasDriveLetter:
            return "the name starts with a drive letter";
        case GPakReason::NameEndsInSeparator:
            return "the name ends in a separator";
        case GPakReason::NameClimbsOut:
            return "the name climbs out of its folder with ..";
        case GPakReason::LinkOnTheWay:
            return "a link stands on its way below the target";
        case GPakReason::PathBlocked:
            return "a file or folder stands in its way";
        case GPakReason::CannotCreate:
            return "its file cannot be created";
        case GPakReason::CannotCopy:
            return "its data could not be copied whole";
        case GPakReason::IsTheArchive:
            return "it is the archive being written";
        case GPakReason::StoredNameTooLong:
            return "it would be stored under a name longer than 127 bytes";
        case GPakReason::SourcePathTooLong:
            return "it has a path longer than 255 bytes";
        case GPakReason::CannotOpen:
            return "it cannot be opened";
        case GPakReason::NotARegularFile:
            return "it is not a regular file";
        case GPakReason::LinkToFolder:
            return "it is a link to a folder";
        case GPakReason::NameHoldsBackslash:
            return "it holds a backslash, which archives use to separate folders";
        case GPakReason::CannotRead:
            return "it cannot be read";
        case GPakReason::TooLarge:
            return "it is 2 GiB or larger";
        case GPakReason::ChangedWhileRead:
            return "it changed while it was read";
        case GPakReason::ArchiveTooLarge:
            return "it would take the archive past 2 GiB";
    }
    return "unknown problem";
}

GPakFile::~GPakFile() {
    Release();
}

void GPakFile::Release() {
    if (Handle) {
        fclose(Handle);
        Handle = nullptr;
    }
    delete[] Entries;
    Entries = nullptr;
    NumEntries = 0;
    DataStart = 0;
    Damage.clear();
    StoredOffsets.clear();
}

bool GPakFile::IsEntryUsable(int32_t index) const {
    return index >= 0 && index < NumEntries &&
           Damage[static_cast<size_t>(index)] == GPakReason::None;
}

GPakReason GPakFile::CheckEntry(int32_t index) const {
    if (index < 0 || index >= NumEntries) return GPakReason::DataPastEnd;
    const GPakReason damage = Damage[static_cast<size_t>(index)];
    return damage != GPakReason::None ? damage : CheckName(Entries[index]);
}

void GPakFile::Load(std::string path) {
    // A second load replaces the first archive rather than leaking it.
    Release();
    LoadResult = GPakLoadResult();
    PakPath = path;
    Handle = Platform::OpenStream(path, "rb");
    if (!Handle) {
        LoadResult.Status = GPakLoadStatus::CannotOpen;
        LoadResult.SystemError = Platform::GetLastError();
        char temp[256];
        snprintf(temp, sizeof temp, "Failed to open pak file: [%s]", path.c_str());
        GetDebugLog().Log(temp);
        return;
    }

    // The archive is untrusted: the count must fit the file before anything is allocated.
    const int64_t fileSize = Platform::StreamSize(Handle);
    unsigned char countBytes[4] = {0, 0, 0, 0};
    const size_t got = fread(countBytes, 1, sizeof countBytes, Handle);
    if (got == 0) {
        DataStart = 4;  // an empty file is an archive with no entries
        LoadResult.Status = GPakLoadStatus::Loaded;
        return;
    }
    const int32_t count = static_cast<int32_t>(ReadLe32(countBytes));
    const char* damage = nullptr;
    if (got < sizeof countBytes) {
        damage = "the entry count is cut short";
    } else if (count < 0) {
        damage = "the entry count is negative";
    } else if (fileSize >= 0 && 4 + int64_t{kRecordSize} * count > fileSize) {
        damage = "the entry count is larger than the file can hold";
    } else if (4 + int64_t{kRecordSize} * count > kMaxPosition) {
        damage = "the table runs past 2 GiB";
    }
    if (!damage && count > 0) {
        Entries = new (std::nothrow) GPakEntry[static_cast<size_t>(count)];
        if (!Entries) {
            damage = "the table does not fit in memory";
        } else if (fread(Entries, kRecordSize, static_cast<size_t>(count), Handle) !=
                   static_cast<size_t>(count)) {
            damage = "the table cannot be read whole";
        }
    }
    if (damage) {
        LoadResult.Status = GPakLoadStatus::Damaged;
        LoadResult.Damage = damage;
        LogPakProblem(damage, path);
        Release();
        return;
    }

    LoadResult.Status = GPakLoadStatus::Loaded;
    NumEntries = count;
    DataStart = 4 + kRecordSize * count;
    Damage.assign(static_cast<size_t>(count), GPakReason::None);
    StoredOffsets.resize(static_cast<size_t>(count));
    // Offsets come from the sizes alone; whatever the file stored is overwritten.
    int64_t running = DataStart;
    for (int32_t i = 0; i < count; ++i) {
        GPakEntry& entry = Entries[i];
        entry.Size = ReadLe32(&entry.Size);
        StoredOffsets[static_cast<size_t>(i)] = static_cast<int32_t>(ReadLe32(&entry.Offset));
        entry.Offset = running <= kMaxPosition ? static_cast<int32_t>(running) : -1;
        const int64_t end = running + entry.Size;
        GPakReason problem = GPakReason::None;
        if (memchr(entry.Name, '\0', sizeof entry.Name) == nullptr) {
            problem = GPakReason::NameNotTerminated;
        } else if (memchr(entry.SourcePath, '\0', sizeof entry.SourcePath) == nullptr) {
            problem = GPakReason::SourceNotTerminated;
        } else if (end > kMaxPosition) {
            problem = GPakReason::DataPastTwoGiB;
        } else if (fileSize >= 0 && end > fileSize) {
            problem = GPakReason::DataPastEnd;
        }
        if (problem != GPakReason::None) {
            Damage[static_cast<size_t>(i)] = problem;
            GPakProblem report;
            report.Index = i;
            report.Reason = problem;
            LoadResult.Problems.push_back(report);
            LogEntryProblem(i, entry, problem);
        }
        running = end;
    }
}

GPakEntry* GPakFile::Find(const std::string& name) {
    for (int32_t i = 0; i < NumEntries; ++i) {
        if (Damage[static_cast<size_t>(i)] != GPakReason::None) continue;
        const char* stored = Entries[i].Name;
        const size_t length = strnlen(stored, sizeof Entries[i].Name);
        if (length == name.size() && memcmp(stored, name.data(), length) == 0) return &Entries[i];
    }
    return nullptr;
}

GPakReason GPakFile::CheckName(const GPakEntry& entry) {
    const size_t length = strnlen(entry.Name, sizeof entry.Name);
    if (length == sizeof entry.Name) return GPakReason::NameNotTerminated;
    if (memchr(entry.SourcePath, '\0', sizeof entry.SourcePath) == nullptr) {
        return GPakReason::SourceNotTerminated;
    }
    const char* name = entry.Name;
    if (length == 0) return GPakReason::NameEmpty;
    if (IsSeparator(name[0])) return GPakReason::NameStartsWithSeparator;
    if (length >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return GPakReason::NameHasDriveLetter;
    }
    if (IsSeparator(name[length - 1])) return GPakReason::NameEndsInSeparator;
    for (size_t start = 0; start <= length;) {
        size_t end = start;
        while (end < length && !IsSeparator(name[end])) ++end;
        if (end - start == 2 && name[start] == '.' && name[start + 1] == '.') {
            return GPakReason::NameClimbsOut;
        }
        start = end + 1;
    }
    return GPakReason::None;
}

const char* GPakFile::UnsafeNameReason(const GPakEntry& entry) {
    const GPakReason reason = CheckName(entry);
    return reason == GPakReason::None ? nullptr : ReasonText(reason);
}

std::string GPakFile::PathKey(const std::string& name) {
    std::string key;
    for (size_t start = 0; start <= name.size();) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        if (end > start && !(end == start + 1 && name[start] == '.')) {
            if (!key.empty()) key += '/';
            for (size_t i = start; i < end; ++i) {
                const char c = name[i];
                key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
            }
        }
        start = end + 1;
    }
    return key;
}
