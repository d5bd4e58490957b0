#include "PakCommands.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "EngineMessages.h"
#include "ProgressBar.h"
#include "pak/GPakFile.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;

namespace PakCommands {
namespace {

// Entry names may be damaged: never read past their field.
std::string NameOf(const GPakEntry& entry) {
    return std::string(entry.Name, strnlen(entry.Name, sizeof entry.Name));
}

std::string SourceOf(const GPakEntry& entry) {
    return std::string(entry.SourcePath, strnlen(entry.SourcePath, sizeof entry.SourcePath));
}

std::string SystemReason() {
    std::string text = Platform::ErrorMessage(Platform::GetLastError());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

void Complain(const std::string& text) {
    ProgressBar::MakeRoomForMessage();
    fprintf(stderr, "pak: %s\n", text.c_str());
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// Loads an archive for reading. On failure says why on standard error and gives the exit
// status; damaged records inside a readable table are left to the caller.
int Open(GPakFile& pak, const std::string& archive, EngineMessages& messages) {
    std::error_code ec;
    if (fs::is_directory(archive, ec)) {
        Complain(archive + ": is a folder, not an archive");
        return kFailed;
    }
    pak.Load(archive);
    if (pak.GetHandle()) {
        messages.Take();  // per-entry damage is reported by the commands themselves
        return kOk;
    }
    if (FILE* probe = Platform::OpenStream(archive, "rb")) {
        fclose(probe);
    } else {
        Complain("cannot open " + archive + ": " + SystemReason());
        return kFailed;
    }
    for (const std::string& line : messages.Take()) {
        const size_t reason = line.find("]: ");
        if (StartsWith(line, "Damaged pak file") && reason != std::string::npos) {
            Complain(archive + ": damaged: " + line.substr(reason + 3));
        }
    }
    return kIncomplete;
}

// Why an entry cannot be read or extracted safely, or null.
const char* EntryProblem(const GPakFile& pak, int32_t index, int64_t fileSize) {
    const GPakEntry& entry = pak.GetEntries()[index];
    if (const char* reason = GPakFile::UnsafeNameReason(entry)) return reason;
    if (entry.Offset < 0 || entry.Offset + int64_t{entry.Size} > fileSize) {
        return "its data runs past the end of the archive";
    }
    if (!pak.IsEntryUsable(index)) return "the record is damaged";
    return nullptr;
}

std::string EntryLabel(int32_t index, const GPakEntry& entry) {
    return "entry " + std::to_string(index) + " [" + NameOf(entry) + "]";
}

// Where an entry goes below dest, or empty (with a complaint) when it must not be written:
// folders on the way may be links that lead elsewhere, and the file itself may be one. The
// check comes before any folder is made, so not even an empty folder appears outside.
fs::path OutputPath(const fs::path& destCanonical, const fs::path& dest, const std::string& name) {
    std::string relative = name;
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    const fs::path target = dest / relative;
    std::error_code ec;
    fs::path existing = target.parent_path();
    while (!fs::exists(existing, ec) && existing.has_relative_path()) {
        existing = existing.parent_path();
    }
    const fs::path inside = fs::canonical(existing, ec).lexically_relative(destCanonical);
    if (ec || inside.empty() || *inside.begin() == "..") {
        Complain("skipping [" + name + "]: its folder leads outside " + dest.string());
        return {};
    }
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        Complain("cannot create " + target.parent_path().string() + ": " + ec.message());
        return {};
    }
    if (fs::is_symlink(target, ec)) {
        Complain("skipping [" + name + "]: " + target.string() + " is a link");
        return {};
    }
    return target;
}

}  // namespace

int List(const std::string& archive, bool longFormat) {
    EngineMessages messages;
    GPakFile pak;
    if (int status = Open(pak, archive, messages)) return status;
    const int64_t fileSize = Platform::StreamSize(pak.GetHandle());
    int status = kOk;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        if (!pak.IsEntryUsable(i)) {
            Complain(archive + ": " + EntryLabel(i, entry) + ": " + EntryProblem(pak, i, fileSize));
            status = kIncomplete;
            continue;
        }
        printf("%s\t%u\t%d", NameOf(entry).c_str(), entry.Size, entry.Offset);
        if (longFormat) printf("\t%s", SourceOf(entry).c_str());
        putchar('\n');
    }
    return status;
}

int Extract(const std::string& archive, const std::string& dest,
            const std::vector<std::string>& names) {
    EngineMessages messages;
    GPakFile pak;
    if (int status = Open(pak, archive, messages)) return status;
    const int64_t fileSize = Platform::StreamSize(pak.GetHandle());
    int status = kOk;

    std::vector<int32_t> chosen;
    if (names.empty()) {
        for (int32_t i = 0; i < pak.GetNumEntries(); ++i) chosen.push_back(i);
    } else {
        for (const std::string& name : names) {
            if (const GPakEntry* entry = pak.Find(name)) {
                chosen.push_back(static_cast<int32_t>(entry - pak.GetEntries()));
            } else {
                Complain(archive + ": no entry named [" + name + "]");
                status = kIncomplete;
            }
        }
    }

    std::error_code ec;
    fs::create_directories(dest, ec);
    const fs::path destCanonical = fs::canonical(dest, ec);
    if (ec) {
        Complain("cannot create " + dest + ": " + ec.message());
        return kFailed;
    }

    uint64_t total = 0;
    for (int32_t i : chosen) total += pak.GetEntries()[i].Size + 1;
    ProgressBar progress(total, chosen.size() >= 256 || total >= (uint64_t{32} << 20));
    for (int32_t i : chosen) {
        const GPakEntry& entry = pak.GetEntries()[i];
        progress.Advance(entry.Size + 1);
        if (const char* problem = EntryProblem(pak, i, fileSize)) {
            Complain(archive + ": skipping " + EntryLabel(i, entry) + ": " + problem);
            status = kIncomplete;
            continue;
        }
        const fs::path target = OutputPath(destCanonical, dest, NameOf(entry));
        if (target.empty()) {
            status = kIncomplete;
            continue;
        }
        FILE* out = Platform::OpenStream(target.string(), "wb");
        if (!out) {
            Complain("cannot write " + target.string() + ": " + SystemReason());
            status = kIncomplete;
            continue;
        }
        const bool copied =
            Platform::CopyStreamRange(pak.GetHandle(), entry.Offset, entry.Size, out);
        const std::string reason = copied ? std::string() : SystemReason();
        if (fclose(out) != 0 || !copied) {
            // A cut-off file would pass for the real one; leave none.
            fs::remove(target, ec);
            Complain("cannot write " + target.string() + (copied ? "" : ": " + reason));
            status = kIncomplete;
        }
    }
    return status;
}

int Create(const std::string& folder, const std::string& archive, bool prefixed,
           const std::string& prefix) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        Complain(folder + ": no such folder");
        return kFailed;
    }
    if (prefixed) {
        GPakEntry probe{};
        snprintf(probe.Name, sizeof probe.Name, "%s/x", prefix.c_str());
        if (prefix.size() + 2 >= sizeof probe.Name) {
            Complain("the prefix is too long for stored names");
            return kFailed;
        }
        if (const char* reason = GPakFile::UnsafeNameReason(probe)) {
            Complain("the prefix [" + prefix + "] cannot be extracted safely: " + reason);
            return kFailed;
        }
    }
    std::string searchPath = folder;
    while (searchPath.size() > 1 && (searchPath.back() == '/' || searchPath.back() == '\\')) {
        searchPath.pop_back();
    }
    searchPath += "/*.*";

    EngineMessages messages;
    GPakFile pak;
    pak.Create(searchPath, archive, prefixed ? 1 : 0, prefix);

    if (!messages.Active() && !fs::is_regular_file(archive, ec)) {
        Complain("cannot write " + archive);
        return kFailed;
    }
    int status = kOk;
    for (const std::string& line : messages.Take()) {
        if (line == "Failed to create pak file") {
            Complain("cannot write " + archive);
            return kFailed;
        }
        if (StartsWith(line, "Not packing") &&
            line.find("it is the archive being written") == std::string::npos) {
            Complain("left out " + line.substr(strlen("Not packing ")));
            status = kIncomplete;
        }
    }
    // Not wrong, but worth knowing: only the first of equal names can be looked up, and
    // extraction keeps the last.
    std::map<std::string, int> seen;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) ++seen[NameOf(pak.GetEntries()[i])];
    for (const auto& name : seen) {
        if (name.second > 1) {
            Complain("warning: " + std::to_string(name.second) + " files stored as [" + name.first +
                     "]");
        }
    }
    return status;
}

int Verify(const std::string& archive) {
    EngineMessages messages;
    GPakFile pak;
    if (int status = Open(pak, archive, messages)) return status;
    const int64_t fileSize = Platform::StreamSize(pak.GetHandle());
    int status = kOk;
    int64_t end = pak.GetDataStart();
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        end += entry.Size;
        if (const char* problem = EntryProblem(pak, i, fileSize)) {
            printf("%s: %s: %s\n", archive.c_str(), EntryLabel(i, entry).c_str(), problem);
            status = kIncomplete;
        }
    }
    // An empty file is a valid archive; otherwise the data must end where the file does.
    if (fileSize > 0 && end < fileSize) {
        printf("%s: %lld bytes after the last entry's data\n", archive.c_str(),
               static_cast<long long>(fileSize - end));
        status = kIncomplete;
    }
    return status;
}

}  // namespace PakCommands
