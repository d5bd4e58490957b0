// Extraction: the one routine that writes archive entries to disk, for the exporter and for
// every tool. Names come from untrusted archives and the target may hold links that someone
// planted, so every file is written through a Platform::WriteTree, which never follows a
// link below the target and never writes into an existing file.
#include "diagnostics/EnsureDirectoryExists.h"
#include "diagnostics/GDebugLog.h"
#include "pak/GPakFile.h"
#include "platform/Platform.h"

namespace {

GPakReason FromTreeWrite(Platform::TreeWrite outcome) {
    switch (outcome) {
        case Platform::TreeWrite::Written:
            return GPakReason::None;
        case Platform::TreeWrite::LinkOnTheWay:
            return GPakReason::LinkOnTheWay;
        case Platform::TreeWrite::Blocked:
            return GPakReason::PathBlocked;
        case Platform::TreeWrite::Refused:
            return GPakReason::CannotCreate;
        case Platform::TreeWrite::CopyFailed:
            break;
    }
    return GPakReason::CannotCopy;
}

}  // namespace

void GPakFile::ExtractAll(std::string folder) {
    std::vector<int32_t> all(static_cast<size_t>(NumEntries));
    for (int32_t i = 0; i < NumEntries; ++i) all[static_cast<size_t>(i)] = i;
    ExtractResult = ExtractEntries(folder, all);
    if (Handle) fclose(Handle);
    Handle = nullptr;
}

GPakExtractResult GPakFile::ExtractEntries(const std::string& folder,
                                           const std::vector<int32_t>& indexes,
                                           const ExtractProgress& progress) {
    GPakExtractResult result;
    // The archive is read afresh by its path, as a client may have moved the shared stream.
    if (Handle) fclose(Handle);
    Handle = Platform::OpenStream(PakPath, "rb");
    if (!Handle) {
        result.Status = GPakExtractStatus::NoArchive;
        result.SystemError = Platform::GetLastError();
        if (NumEntries > 0) {
            char temp[256];
            snprintf(temp, sizeof temp, "Failed to open pak file: [%s]", PakPath.c_str());
            GetDebugLog().Log(temp);
        }
        return result;
    }

    // Output paths are folder + Name. The folder's last component may be a name prefix
    // ("out" + "a.txt" is "outa.txt"), so the tree's root is the folder's own parent part:
    // what the caller chose, whose links are the caller's business.
    const size_t cut = folder.find_last_of("\\/");
    const std::string root = cut == std::string::npos ? std::string()
                             : cut == 0               ? folder.substr(0, 1)
                                                      : folder.substr(0, cut);
    const std::string lead = cut == std::string::npos ? folder : folder.substr(cut + 1);

    Platform::WriteTree tree;
    bool treeOpen = false;
    for (int32_t i : indexes) {
        if (i < 0 || i >= NumEntries) continue;
        if (progress) progress(i);
        const GPakEntry& entry = Entries[i];
        GPakProblem problem;
        problem.Index = i;
        problem.Reason = CheckEntry(i);
        if (problem.Reason != GPakReason::None) {
            // Damaged records were logged when the table was read.
            if (Damage[static_cast<size_t>(i)] == GPakReason::None) {
                LogEntryProblem(i, entry, problem.Reason);
            }
            result.Problems.push_back(problem);
            continue;
        }
        // The target is made only once there is something to put in it.
        if (!treeOpen) {
            if (!(root.empty() || TryEnsureDirectoryExists(root)) || !tree.Open(root)) {
                result.Status = GPakExtractStatus::NoTarget;
                result.SystemError = Platform::GetLastError();
                break;
            }
            treeOpen = true;
        }
        const Platform::TreeWrite outcome =
            tree.WriteFile(lead + entry.Name, Handle, entry.Offset, entry.Size);
        if (outcome == Platform::TreeWrite::Written) {
            ++result.Written;
            continue;
        }
        problem.Reason = FromTreeWrite(outcome);
        problem.SystemError = Platform::GetLastError();
        result.Problems.push_back(problem);
        // An entry whose file cannot be made is skipped quietly, as ever; a link on the way
        // or a cut-off copy is worth a line.
        if (problem.Reason != GPakReason::CannotCreate &&
            problem.Reason != GPakReason::PathBlocked) {
            LogEntryProblem(i, entry, problem.Reason);
        }
    }
    return result;
}
