#include "pak/GPakFile.h"

#include <cstring>
#include <new>

#include "diagnostics/EnsureDirectoryExists.h"
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

void LogEntryProblem(int32_t index, const GPakEntry& entry, const char* what) {
    char temp[512];
    // The name may be unterminated: print at most its field.
    snprintf(temp, sizeof temp, "Skipped pak entry %d [%.*s]: %s", index,
             static_cast<int>(sizeof entry.Name), entry.Name, what);
    GetDebugLog().Log(temp);
}

}  // namespace

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
    Usable.clear();
}

bool GPakFile::IsEntryUsable(int32_t index) const {
    return index >= 0 && index < NumEntries && Usable[static_cast<size_t>(index)];
}

void GPakFile::Load(std::string path) {
    // A second load replaces the first archive rather than leaking it.
    Release();
    PakPath = path;
    Handle = Platform::OpenStream(path, "rb");
    if (!Handle) {
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
        LogPakProblem(damage, path);
        Release();
        return;
    }

    NumEntries = count;
    DataStart = 4 + kRecordSize * count;
    Usable.assign(static_cast<size_t>(count), true);
    // Offsets come from the sizes alone; whatever the file stored is overwritten.
    int64_t running = DataStart;
    for (int32_t i = 0; i < count; ++i) {
        GPakEntry& entry = Entries[i];
        entry.Size = ReadLe32(&entry.Size);
        entry.Offset = running <= kMaxPosition ? static_cast<int32_t>(running) : -1;
        const int64_t end = running + entry.Size;
        const char* problem = nullptr;
        if (memchr(entry.Name, '\0', sizeof entry.Name) == nullptr) {
            problem = "the name is not terminated";
        } else if (memchr(entry.SourcePath, '\0', sizeof entry.SourcePath) == nullptr) {
            problem = "the source path is not terminated";
        } else if (end > kMaxPosition) {
            problem = "the data runs past 2 GiB";
        } else if (fileSize >= 0 && end > fileSize) {
            problem = "the data runs past the end of the archive";
        }
        if (problem) {
            Usable[static_cast<size_t>(i)] = false;
            LogEntryProblem(i, entry, problem);
        }
        running = end;
    }
}

GPakEntry* GPakFile::Find(const std::string& name) {
    for (int32_t i = 0; i < NumEntries; ++i) {
        if (!Usable[static_cast<size_t>(i)]) continue;
        const char* stored = Entries[i].Name;
        const size_t length = strnlen(stored, sizeof Entries[i].Name);
        if (length == name.size() && memcmp(stored, name.data(), length) == 0) return &Entries[i];
    }
    return nullptr;
}

const char* GPakFile::UnsafeNameReason(const GPakEntry& entry) {
    const size_t length = strnlen(entry.Name, sizeof entry.Name);
    if (length == sizeof entry.Name) return "the name is not terminated";
    if (memchr(entry.SourcePath, '\0', sizeof entry.SourcePath) == nullptr) {
        return "the source path is not terminated";
    }
    const char* name = entry.Name;
    if (length == 0) return "the name is empty";
    if (IsSeparator(name[0])) return "the name starts with a separator";
    if (length >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return "the name starts with a drive letter";
    }
    if (IsSeparator(name[length - 1])) return "the name ends in a separator";
    for (size_t start = 0; start <= length;) {
        size_t end = start;
        while (end < length && !IsSeparator(name[end])) ++end;
        if (end - start == 2 && name[start] == '.' && name[start + 1] == '.') {
            return "the name climbs out of its folder with ..";
        }
        start = end + 1;
    }
    return nullptr;
}

void GPakFile::ExtractAll(std::string folder) {
    if (Handle) fclose(Handle);
    Handle = Platform::OpenStream(PakPath, "rb");
    if (!Handle) {
        if (NumEntries > 0) {
            char temp[256];
            snprintf(temp, sizeof temp, "Failed to open pak file: [%s]", PakPath.c_str());
            GetDebugLog().Log(temp);
        }
        return;
    }

    for (int32_t i = 0; i < NumEntries; ++i) {
        const GPakEntry& entry = Entries[i];
        if (!Usable[static_cast<size_t>(i)]) continue;  // reported when the table was read
        if (const char* reason = UnsafeNameReason(entry)) {
            LogEntryProblem(i, entry, reason);
            continue;
        }
        const std::string filename = entry.Name;
        const std::string checkstring = folder + filename;
        const size_t cut = checkstring.find_last_of("\\/");
        // A folder that cannot be made only costs this entry; an archive must never be able
        // to end the program.
        if (cut != std::string::npos && !TryEnsureDirectoryExists(checkstring.substr(0, cut))) {
            continue;
        }
        FILE* out = Platform::OpenStream(checkstring, "wb");
        if (!out) continue;
        // Data goes across in bounded pieces (or by the kernel), so memory does not grow
        // with the size of an entry.
        const bool copied = Platform::CopyStreamRange(Handle, entry.Offset, entry.Size, out);
        const bool closed = fclose(out) == 0;
        if (!copied || !closed) {
            // A partial file would pass for the real one; leave none.
            Platform::RemoveFile(checkstring);
            LogEntryProblem(i, entry, "its data could not be copied whole");
        }
    }
    fclose(Handle);
    Handle = nullptr;
}
