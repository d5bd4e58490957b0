// The commands that read archives: list, cat, extract and verify.
#include "PakCommands.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "CommandSupport.h"
#include "EntryPattern.h"
#include "Escape.h"
#include "ProgressBar.h"
#include "platform/Platform.h"

using namespace CommandSupport;

namespace PakCommands {
namespace {

void PrintListed(const GPakEntry& entry, ListFormat format, bool first) {
    const std::string name = NameOf(entry);
    switch (format) {
        case ListFormat::Json:
            printf("%s{\"name\": %s, \"size\": %u, \"offset\": %d, \"source\": %s}",
                   first ? "\n" : ",\n", JsonString(name).c_str(), entry.Size, entry.Offset,
                   JsonString(SourceOf(entry)).c_str());
            return;
        case ListFormat::Nul:
            // Raw bytes are for programs; on a terminal they could drive it.
            if (Platform::IsTerminal(stdout)) {
                fputs(Printable(Slashed(name)).c_str(), stdout);
            } else {
                fwrite(name.data(), 1, name.size(), stdout);
            }
            putchar('\0');
            return;
        default:
            printf("%s\t%u\t%d", Printable(Slashed(name)).c_str(), entry.Size, entry.Offset);
            if (format == ListFormat::Long) {
                printf("\t%s", Printable(Slashed(SourceOf(entry))).c_str());
            }
            putchar('\n');
    }
}

}  // namespace

int List(const std::string& archive, ListFormat format) {
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
    if (format == ListFormat::Nul) Platform::SetBinaryMode(stdout);
    if (format == ListFormat::Long) printf("NAME\tSIZE\tOFFSET\tSOURCE\n");
    if (format == ListFormat::Json) putchar('[');
    int status = kOk;
    bool first = true;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        if (!UsableEntry(pak, archive, i)) {
            status = kIncomplete;
            continue;
        }
        PrintListed(entry, format, first);
        first = false;
    }
    if (format == ListFormat::Json) printf(first ? "]\n" : "\n]\n");
    return status;
}

int Cat(const std::string& archive, const std::vector<std::string>& names) {
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
    Platform::SetBinaryMode(stdout);
    int status = kOk;
    // In the order named, as cat takes its files; each name's entries in table order.
    for (const std::string& name : names) {
        const std::vector<int32_t> chosen = Select(pak, {name}, status);
        for (int32_t i : chosen) {
            const GPakEntry& entry = pak.GetEntries()[i];
            if (!UsableEntry(pak, archive, i, "skipping ")) {
                status = kIncomplete;
                continue;
            }
            if (!Platform::CopyStreamRange(pak.GetHandle(), entry.Offset, entry.Size, stdout)) {
                Complain("cannot copy " + EntryLabel(i, entry) +
                         " to standard output: " + SystemReason(Platform::GetLastError()));
                return kFailed;
            }
        }
    }
    if (fflush(stdout) != 0) {
        Complain("cannot write to standard output: " + SystemReason(Platform::GetLastError()));
        return kFailed;
    }
    return status;
}

int Extract(const std::string& archive, const std::vector<std::string>& names,
            const std::string& dest, bool destGiven) {
    GPakFile pak;
    if (int status = Open(pak, archive)) return status;
    int status = kOk;

    std::vector<int32_t> chosen;
    if (names.empty()) {
        for (int32_t i = 0; i < pak.GetNumEntries(); ++i) chosen.push_back(i);
    } else {
        chosen = Select(pak, names, status);
        // Where the destination once followed the archive, a lone plain word that matches
        // nothing is most likely a folder; a pattern, a folder name or a -C already given is not.
        if (chosen.empty() && names.size() == 1 && !destGiven &&
            names[0].find_first_of("*?/\\") == std::string::npos) {
            Complain("a folder to unpack into is given with -C FOLDER");
        }
        if (chosen.empty()) return status;
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

int Verify(const std::string& archive) {
    if (RefuseFolder(archive)) return kFailed;
    GPakFile pak;
    pak.Load(archive);
    const GPakLoadResult& loaded = pak.GetLoadResult();
    if (loaded.Status == GPakLoadStatus::CannotOpen || loaded.Status == GPakLoadStatus::NotLoaded) {
        Complain("cannot open " + archive + ": " + SystemReason(loaded.SystemError));
        return kFailed;
    }
    int status = kOk;
    auto report = [&](const std::string& problem) {
        printf("%s\n", Printable(archive + ": " + problem).c_str());
        status = kIncomplete;
    };
    if (loaded.Status == GPakLoadStatus::Damaged) {
        report(std::string("damaged: ") + loaded.Damage);
        return status;
    }
    const int64_t fileSize = Platform::StreamSize(pak.GetHandle());
    // The format reads an empty file as an archive without entries, but no writer makes one:
    // it is what is left of a copy or download that failed.
    if (fileSize == 0) report("the file is empty, too short for an entry count");

    const int32_t count = pak.GetNumEntries();
    const GPakEntry* entries = pak.GetEntries();
    int64_t end = pak.GetDataStart();
    std::map<std::string, int32_t> names;
    std::map<std::string, int32_t> files;
    // Nonempty entries by the offset the table stores, for overlaps.
    std::vector<std::pair<int64_t, int32_t>> stored;
    for (int32_t i = 0; i < count; ++i) {
        const GPakEntry& entry = entries[i];
        const std::string label = EntryLabel(i, entry);
        end += entry.Size;
        const GPakReason problem = pak.CheckEntry(i);
        if (problem != GPakReason::None) report(label + ": " + GPakFile::ReasonText(problem));
        if (!pak.IsEntryUsable(i)) continue;

        const std::string name = NameOf(entry);
        const auto named = names.emplace(name, i);
        const auto filed = files.emplace(GPakFile::PathKey(name), i);
        if (!named.second) {
            const int32_t first = named.first->second;
            report(label + " has the same name as " + EntryLabel(first, entries[first]));
        } else if (!filed.second) {
            const int32_t first = filed.first->second;
            report(label + " and " + EntryLabel(first, entries[first]) +
                   " are one file when unpacked on Windows");
        }
        const int32_t storedOffset = pak.GetStoredOffset(i);
        if (storedOffset != entry.Offset) {
            report(label + ": the table says its data starts at " + std::to_string(storedOffset) +
                   ", but it lies at " + std::to_string(entry.Offset));
        }
        if (entry.Size > 0) stored.emplace_back(storedOffset, i);
    }
    // Readers that trust the stored offsets would read these entries from shared bytes.
    std::sort(stored.begin(), stored.end());
    int64_t reach = 0;
    int32_t reacher = -1;  // the entry whose data reaches furthest so far
    for (const auto& [offset, i] : stored) {
        if (reacher >= 0 && offset < reach) {
            report(EntryLabel(reacher, entries[reacher]) + " and " + EntryLabel(i, entries[i]) +
                   ": their data overlap by the offsets the table stores");
        }
        const int64_t stop = offset + entries[i].Size;
        if (stop > reach) {
            reach = stop;
            reacher = i;
        }
    }
    if (fileSize > 0 && end < fileSize) {
        report(std::to_string(fileSize - end) + " bytes after the last entry's data");
    }
    return status;
}

}  // namespace PakCommands
