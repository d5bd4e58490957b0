#include "PakCommands.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "Escape.h"
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

// Messages carry names and paths from archives and folders: one message, one line.
void Complain(const std::string& text) {
    ProgressBar::MakeRoomForMessage();
    fprintf(stderr, "pak: %s\n", Printable(text).c_str());
}

std::string SystemReason(uint32_t error) {
    std::string text = Platform::ErrorMessage(error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

// Loads an archive for reading. On failure says why on standard error and gives the exit
// status; damaged records inside a readable table are left to the caller.
int Open(GPakFile& pak, const std::string& archive) {
    std::error_code ec;
    if (fs::is_directory(archive, ec)) {
        Complain(archive + ": is a folder, not an archive");
        return kFailed;
    }
    pak.Load(archive);
    const GPakLoadResult& loaded = pak.GetLoadResult();
    switch (loaded.Status) {
        case GPakLoadStatus::Loaded:
            return kOk;
        case GPakLoadStatus::Damaged:
            Complain(archive + ": damaged: " + loaded.Damage);
            return kIncomplete;
        default:
            Complain("cannot open " + archive + ": " + SystemReason(loaded.SystemError));
            return kFailed;
    }
}

std::string EntryLabel(int32_t index, const GPakEntry& entry) {
    return "entry " + std::to_string(index) + " [" + NameOf(entry) + "]";
}

}  // namespace

int List(const std::string& archive, bool longFormat) {
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
    int status = kOk;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        if (!pak.IsEntryUsable(i)) {
            Complain(archive + ": " + EntryLabel(i, entry) + ": " +
                     GPakFile::ReasonText(pak.CheckEntry(i)));
            status = kIncomplete;
            continue;
        }
        printf("%s\t%u\t%d", Printable(NameOf(entry)).c_str(), entry.Size, entry.Offset);
        if (longFormat) printf("\t%s", Printable(SourceOf(entry)).c_str());
        putchar('\n');
    }
    return status;
}

int Extract(const std::string& archive, const std::string& dest,
            const std::vector<std::string>& names) {
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
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

    uint64_t total = 0;
    for (int32_t i : chosen) total += pak.GetEntries()[i].Size + 1;
    ProgressBar progress(total, chosen.size() >= 256 || total >= (uint64_t{32} << 20));
    std::string folder = dest;
    if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
    const GPakExtractResult result = pak.ExtractEntries(
        folder, chosen, [&](int32_t i) { progress.Advance(pak.GetEntries()[i].Size + 1); });

    for (const GPakProblem& problem : result.Problems) {
        std::string text = problem.Text();
        if (problem.SystemError != 0) text += ": " + SystemReason(problem.SystemError);
        Complain(archive + ": skipping " +
                 EntryLabel(problem.Index, pak.GetEntries()[problem.Index]) + ": " + text);
        status = kIncomplete;
    }
    if (result.Status == GPakExtractStatus::NoTarget) {
        Complain("cannot create " + dest + ": " + SystemReason(result.SystemError));
        return kFailed;
    }
    if (result.Status == GPakExtractStatus::NoArchive) {
        Complain("cannot open " + archive + ": " + SystemReason(result.SystemError));
        return kFailed;
    }
    return status;
}

int Create(const std::string& folder, const std::string& archive, bool prefixed,
           const std::string& prefix) {
    // Through the platform layer, where a backslash separates folders as the engine's walk
    // will read it.
    Platform::FileAttributes attributes;
    if (!Platform::GetAttributes(folder, attributes) || !attributes.Folder) {
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

    GPakFile pak;
    pak.Create(searchPath, archive, prefixed ? 1 : 0, prefix);

    const GPakCreateResult& result = pak.GetCreateResult();
    if (!result.Written) {
        Complain("cannot write " + archive +
                 (result.SystemError ? ": " + SystemReason(result.SystemError) : ""));
        return kFailed;
    }
    int status = kOk;
    for (const GPakProblem& left : result.LeftOut) {
        // The archive inside the folder it packs is not a file the user wants packed.
        if (left.Reason == GPakReason::IsTheArchive) continue;
        Complain("left out [" + left.Source + "]: " + left.Text());
        status = kIncomplete;
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
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
    const int64_t fileSize = Platform::StreamSize(pak.GetHandle());
    int status = kOk;
    int64_t end = pak.GetDataStart();
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        end += entry.Size;
        const GPakReason problem = pak.CheckEntry(i);
        if (problem != GPakReason::None) {
            const std::string line =
                archive + ": " + EntryLabel(i, entry) + ": " + GPakFile::ReasonText(problem);
            printf("%s\n", Printable(line).c_str());
            status = kIncomplete;
        }
    }
    // An empty file is a valid archive; otherwise the data must end where the file does.
    if (fileSize > 0 && end < fileSize) {
        printf("%s: %lld bytes after the last entry's data\n", Printable(archive).c_str(),
               static_cast<long long>(fileSize - end));
        status = kIncomplete;
    }
    return status;
}

}  // namespace PakCommands
