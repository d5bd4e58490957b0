// The commands that write archives: create, add and remove. Each writes the new archive beside
// the old one and replaces it only when complete, so an interrupted run leaves the old archive
// as it was. Folders inside archives are separated by '\', whatever was typed.
#include <algorithm>
#include <cstring>
#include <map>

#include "CommandSupport.h"
#include "EntryPattern.h"
#include "PakCommands.h"
#include "platform/Platform.h"

using namespace CommandSupport;

namespace PakCommands {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string Backslashed(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

std::string BareName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A path typed on the command line as a stored name: its levels joined by '\', without empty
// and "." levels. False, with why, for one that would leave the folder it is unpacked into.
bool StoredPath(const std::string& typed, std::string& stored, std::string& why) {
    stored.clear();
    if (!typed.empty() && IsSeparator(typed[0])) {
        why = "it starts with a separator";
        return false;
    }
    if (typed.size() >= 2 && typed[1] == ':' &&
        ((typed[0] >= 'A' && typed[0] <= 'Z') || (typed[0] >= 'a' && typed[0] <= 'z'))) {
        why = "it starts with a drive letter";
        return false;
    }
    for (size_t start = 0; start <= typed.size();) {
        size_t end = start;
        while (end < typed.size() && !IsSeparator(typed[end])) ++end;
        const std::string level = typed.substr(start, end - start);
        if (level == "..") {
            why = "it climbs out of its folder with ..";
            return false;
        }
        if (!level.empty() && level != ".") stored += (stored.empty() ? "" : "\\") + level;
        start = end + 1;
    }
    return true;
}

// What a file left out is, as "left out: PATH" goes on.
std::string Predicate(GPakReason reason) {
    const char* text = GPakFile::ReasonText(reason);
    return strncmp(text, "it ", 3) == 0 ? text + 3 : text;
}

void ReportLeftOut(const GPakProblem& problem) {
    Complain("left out: " + problem.Source + " " + Predicate(problem.Reason));
}

// Says what a write of sources left out or why it failed; the exit status. A walk always
// meets the archive inside the folder it packs: that is no news unless the user named it.
int ReportWrite(const GPakFile& pak, const std::string& archive,
                const std::vector<GPakSource>& sources, const std::vector<GPakProblem>& gathered,
                const std::vector<std::string>& named) {
    const GPakCreateResult& result = pak.GetCreateResult();
    int status = kOk;
    for (const std::vector<GPakProblem>* list : {&gathered, &result.LeftOut}) {
        for (const GPakProblem& left : *list) {
            if (left.Reason == GPakReason::IsTheArchive &&
                std::find(named.begin(), named.end(), left.Source) == named.end()) {
                continue;
            }
            ReportLeftOut(left);
            status = kIncomplete;
        }
    }
    if (result.Written) return status;
    const GPakProblem& failure = result.Failure;
    if (failure.Reason != GPakReason::None) {
        const GPakSource& source = sources[static_cast<size_t>(failure.Index)];
        Complain("cannot write " + archive + ": its entry " + Quoted(source.Name) + ": " +
                 GPakFile::ReasonText(failure.Reason));
    } else {
        Complain("cannot write " + archive +
                 (result.SystemError ? ": " + SystemReason(result.SystemError) : ""));
    }
    return kFailed;
}

// Reads an archive that is to be rewritten, as the sources of its entries. A missing archive
// is an empty one where mayBeMissing; a damaged one is refused, since rewriting it would lose
// what cannot be read.
int LoadForRewrite(GPakFile& pak, const std::string& archive, bool mayBeMissing,
                   std::vector<GPakSource>& entries) {
    if (RefuseFolder(archive)) return kFailed;
    if (mayBeMissing && !Platform::EntryExists(archive)) return kOk;
    int status = Open(pak, archive);
    if (status == kFailed) return status;
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        if (!UsableEntry(pak, archive, i)) status = kIncomplete;
    }
    if (status != kOk) {
        Complain(archive + " is damaged, so it is left as it is");
        return status;
    }
    for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
        const GPakEntry& entry = pak.GetEntries()[i];
        entries.push_back({NameOf(entry), SourceOf(entry), archive, entry.Offset, entry.Size});
    }
    return kOk;
}

// The files below folder, as the walk finds them, named by their paths below it.
std::vector<GPakSource> GatherBelow(std::string folder, std::vector<GPakProblem>& leftOut) {
    while (folder.size() > 1 && IsSeparator(folder.back())) folder.pop_back();
    std::vector<GPakSource> sources = GPakFile::GatherFolder(folder + "/*.*", leftOut);
    for (GPakSource& source : sources) source.Name = Backslashed(source.Name);
    return sources;
}

}  // namespace

int Create(const std::string& folder, const std::string& archive, const CreateOptions& options) {
    Platform::FileAttributes attributes;
    if (!Platform::GetAttributes(folder, attributes) || !attributes.Folder) {
        Complain(folder + ": no such folder");
        return kFailed;
    }
    if (RefuseFolder(archive)) return kFailed;
    std::string prefix;
    std::string why;
    if (!StoredPath(options.Prefix, prefix, why)) {
        Complain("the prefix " + Quoted(options.Prefix) + " cannot be stored: " + why);
        return kFailed;
    }
    if (prefix.size() + 2 >= sizeof(GPakEntry::Name)) {
        Complain("the prefix is too long for stored names");
        return kFailed;
    }

    std::vector<GPakProblem> leftOut;
    std::vector<GPakSource> sources = GatherBelow(folder, leftOut);
    std::map<std::string, const GPakSource*> flat;
    int status = kOk;
    for (GPakSource& source : sources) {
        if (options.Flat) source.Name = BareName(source.SourcePath);
        // Without their folders, two files would share one name and only one could be had.
        if (options.Flat && !flat.emplace(source.Name, &source).second) {
            Complain(flat[source.Name]->SourcePath + " and " + source.SourcePath +
                     " would both be stored as " + Quoted(source.Name));
            status = kIncomplete;
        }
        if (!prefix.empty()) source.Name = prefix + "\\" + source.Name;
    }
    if (status != kOk) return status;

    GPakFile pak;
    pak.Write(sources, archive);
    return ReportWrite(pak, archive, sources, leftOut, {});
}

int Add(const std::string& archive, const std::vector<std::string>& paths,
        const std::optional<std::string>& storedAs) {
    if (storedAs && paths.size() != 1) {
        Complain("--as names the entry of one PATH, not of " + std::to_string(paths.size()));
        return kFailed;
    }
    std::vector<GPakSource> entries;
    {
        GPakFile old;  // closed before the new archive takes its place
        if (int status = LoadForRewrite(old, archive, true, entries)) return status;
    }

    std::vector<GPakProblem> leftOut;
    std::vector<GPakSource> added;
    for (const std::string& path : paths) {
        Platform::FileAttributes attributes;
        if (!Platform::GetAttributes(path, attributes)) {
            Complain("cannot add " + path + ": " + SystemReason(Platform::GetLastError()));
            return kFailed;
        }
        std::string base;
        std::string why;
        if (!StoredPath(storedAs ? *storedAs : path, base, why)) {
            Complain("cannot store " + (storedAs ? *storedAs : path) + " as a name: " + why +
                     (storedAs ? "" : "; name its entry with --as"));
            return kFailed;
        }
        if (!attributes.Folder && base.empty()) {
            Complain("cannot add " + path + " under an empty name");
            return kFailed;
        }
        if (!attributes.Folder) {
            added.push_back({base, path, "", 0, 0});
            continue;
        }
        for (GPakSource& source : GatherBelow(path, leftOut)) {
            if (!base.empty()) source.Name = base + "\\" + source.Name;
            added.push_back(std::move(source));
        }
    }

    for (GPakSource& source : added) {
        auto same = [&source](const GPakSource& entry) {
            return SameEntryName(entry.Name, source.Name);
        };
        const auto at = std::find_if(entries.begin(), entries.end(), same);
        if (at == entries.end()) {
            entries.push_back(source);
            continue;
        }
        // A file that cannot take the entry's place leaves the entry as it was.
        const GPakReason problem = GPakFile::CheckSource(source, archive);
        if (problem != GPakReason::None) {
            leftOut.push_back({-1, source.SourcePath, problem, 0});
            continue;
        }
        // In place, under the name as the archive spells it, which lookups compare exactly.
        source.Name = at->Name;
        *at = source;
        // A later entry of the same name would be unpacked over the new one.
        entries.erase(std::remove_if(at + 1, entries.end(), same), entries.end());
    }

    GPakFile pak;
    pak.Write(entries, archive);
    return ReportWrite(pak, archive, entries, leftOut, paths);
}

int Remove(const std::string& archive, const std::vector<std::string>& names) {
    std::vector<GPakSource> entries;
    std::vector<int32_t> chosen;
    int status = kOk;
    {
        GPakFile old;  // closed before the new archive takes its place
        if (int loaded = LoadForRewrite(old, archive, false, entries)) return loaded;
        chosen = Select(old, names, status);
    }
    if (chosen.empty()) return status;
    // Back to front, so the indexes still point at the right entries.
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        entries.erase(entries.begin() + *it);
    }
    GPakFile pak;
    pak.Write(entries, archive);
    return std::max(status, ReportWrite(pak, archive, entries, {}, {}));
}

}  // namespace PakCommands
