#include "CommandSupport.h"

#include <cstdio>
#include <cstring>

#include "EntryPattern.h"
#include "Escape.h"
#include "PakCommands.h"
#include "ProgressBar.h"
#include "platform/Platform.h"

namespace CommandSupport {

std::string NameOf(const GPakEntry& entry) {
    return std::string(entry.Name, strnlen(entry.Name, sizeof entry.Name));
}

std::string SourceOf(const GPakEntry& entry) {
    return std::string(entry.SourcePath, strnlen(entry.SourcePath, sizeof entry.SourcePath));
}

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

std::string Quoted(const std::string& name) {
    return "'" + Slashed(name) + "'";
}

std::string EntryLabel(int32_t index, const GPakEntry& entry) {
    return "entry " + std::to_string(index) + " " + Quoted(NameOf(entry));
}

bool UsableEntry(const GPakFile& pak, const std::string& archive, int32_t index,
                 const char* doing) {
    if (pak.IsEntryUsable(index)) return true;
    Complain(archive + ": " + doing + EntryLabel(index, pak.GetEntries()[index]) + ": " +
             GPakFile::ReasonText(pak.CheckEntry(index)));
    return false;
}

bool RefuseFolder(const std::string& path) {
    Platform::FileAttributes attributes;
    if (!Platform::GetAttributes(path, attributes) || !attributes.Folder) return false;
    Complain(path + " is a folder");
    return true;
}

int Open(GPakFile& pak, const std::string& archive) {
    if (RefuseFolder(archive)) return PakCommands::kFailed;
    pak.Load(archive);
    const GPakLoadResult& loaded = pak.GetLoadResult();
    switch (loaded.Status) {
        case GPakLoadStatus::Loaded:
            return PakCommands::kOk;
        case GPakLoadStatus::Damaged:
            Complain(archive + ": damaged: " + loaded.Damage);
            return PakCommands::kIncomplete;
        default:
            Complain("cannot open " + archive + ": " + SystemReason(loaded.SystemError));
            return PakCommands::kFailed;
    }
}

std::vector<int32_t> Select(const GPakFile& pak, const std::vector<std::string>& names,
                            int& status) {
    std::vector<bool> chosen(static_cast<size_t>(pak.GetNumEntries()), false);
    for (const std::string& name : names) {
        const EntryPattern pattern(name);
        bool matched = false;
        for (int32_t i = 0; i < pak.GetNumEntries(); ++i) {
            if (!pattern.Matches(NameOf(pak.GetEntries()[i]))) continue;
            chosen[static_cast<size_t>(i)] = true;
            matched = true;
        }
        if (!matched) {
            Complain("no entry matches " + Quoted(name));
            status = PakCommands::kIncomplete;
        }
    }
    std::vector<int32_t> indexes;
    for (size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i]) indexes.push_back(static_cast<int32_t>(i));
    }
    return indexes;
}

}  // namespace CommandSupport
