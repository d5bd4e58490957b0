// Extraction: the one routine that writes archive entries to disk, for the exporter and for
// every tool. Names come from untrusted archives and the target may hold links that someone
// planted, so every file is written through a Platform::WriteTree, which never follows a
// link below the target and never writes into an existing file.
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <utility>

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

// An entry to be written, and how its writing went.
struct Job {
    int32_t Index = 0;
    Platform::TreeWrite Outcome = Platform::TreeWrite::Written;
    uint32_t SystemError = 0;
};

// True when the outcome of writing these paths depends on their order: the same file twice,
// or a file where another path needs a folder. Such a set is written in order, by one writer.
bool OrderMatters(const std::vector<std::string>& paths) {
    std::unordered_set<std::string> files;
    for (const std::string& path : paths) {
        if (!files.insert(GPakFile::PathKey(path)).second) return true;
    }
    for (const std::string& file : files) {
        for (size_t cut = file.find('/'); cut != std::string::npos; cut = file.find('/', cut + 1)) {
            if (files.count(file.substr(0, cut))) return true;
        }
    }
    return false;
}

// Two writers pay off once creating files, not starting a thread, is the cost: creating
// files in different folders, or copying two large entries, runs side by side in the kernel.
bool WorthTwoWriters(size_t jobs, uint64_t bytes) {
    return jobs >= 2 && (jobs >= 16 || bytes >= (uint64_t{8} << 20)) &&
           std::thread::hardware_concurrency() >= 2;
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

    // First what can be written; the rest is reported in its place among the others below.
    std::vector<std::pair<int32_t, GPakReason>> tried;  // each entry, and why it is refused
    std::vector<Job> jobs;
    std::vector<std::string> paths;
    uint64_t bytes = 0;
    for (int32_t i : indexes) {
        if (i < 0 || i >= NumEntries) continue;
        tried.emplace_back(i, CheckEntry(i));
        if (tried.back().second != GPakReason::None) {
            if (progress) progress(i);
            continue;
        }
        jobs.push_back({i});
        paths.push_back(lead + Entries[i].Name);
        bytes += Entries[i].Size;
    }

    // The target is made only once there is something to put in it.
    bool targetOpen = jobs.empty();
    Platform::WriteTree tree;
    if (!jobs.empty()) {
        targetOpen = (root.empty() || TryEnsureDirectoryExists(root)) && tree.Open(root);
        if (!targetOpen) result.SystemError = Platform::GetLastError();
    }
    if (targetOpen && !jobs.empty()) {
        // The jobs are shared out one at a time, the first writer taking them from the front
        // and the second from the back, so the two mostly work in different folders.
        std::mutex claims;
        size_t front = 0;
        size_t back = jobs.size();
        auto claim = [&](bool fromFront) -> Job* {
            std::lock_guard<std::mutex> hold(claims);
            if (front == back) return nullptr;
            Job* job = fromFront ? &jobs[front++] : &jobs[--back];
            if (progress) progress(job->Index);
            return job;
        };
        auto write = [&](Platform::WriteTree& writer, bool fromFront) {
            while (Job* job = claim(fromFront)) {
                const GPakEntry& entry = Entries[job->Index];
                job->Outcome =
                    writer.WriteFile(lead + entry.Name, Handle, entry.Offset, entry.Size);
                if (job->Outcome != Platform::TreeWrite::Written) {
                    job->SystemError = Platform::GetLastError();
                }
            }
        };
        std::thread second;
        Platform::WriteTree secondTree;
        if (WorthTwoWriters(jobs.size(), bytes) && !OrderMatters(paths) && secondTree.Open(root)) {
            try {
                second = std::thread(write, std::ref(secondTree), false);
            } catch (const std::system_error&) {
                // No thread to be had: one writer does it all.
            }
        }
        write(tree, true);
        if (second.joinable()) second.join();
    }

    // The outcomes, in the order the entries were asked for, as one writer would have met them.
    size_t next = 0;
    for (const auto& [i, refusal] : tried) {
        const GPakEntry& entry = Entries[i];
        GPakProblem problem;
        problem.Index = i;
        problem.Reason = refusal;
        if (problem.Reason != GPakReason::None) {
            // Damaged records were logged when the table was read.
            if (Damage[static_cast<size_t>(i)] == GPakReason::None) {
                LogEntryProblem(i, entry, problem.Reason);
            }
            result.Problems.push_back(problem);
            continue;
        }
        if (!targetOpen) {
            result.Status = GPakExtractStatus::NoTarget;
            break;
        }
        const Job& job = jobs[next++];
        if (job.Outcome == Platform::TreeWrite::Written) {
            ++result.Written;
            continue;
        }
        problem.Reason = FromTreeWrite(job.Outcome);
        problem.SystemError = job.SystemError;
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
