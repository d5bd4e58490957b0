// The pak tool's commands. Each returns the process exit status: 0 success, 1 when the
// archive is damaged, some entries or files were left out, or a name matched nothing, 2 when
// the work could not be done at all (a file that cannot be opened or written, a bad argument).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace PakCommands {

constexpr int kOk = 0;
constexpr int kIncomplete = 1;
constexpr int kFailed = 2;

enum class ListFormat {
    Plain,  // name, size and offset, tab-separated
    Long,   // a header row, then the source path too
    Json,   // one array of objects, for scripts
    Nul,    // the names alone, each ended by a NUL byte
};

int List(const std::string& archive, ListFormat format);
// The entries that names select, their bytes one after another on standard output.
int Cat(const std::string& archive, const std::vector<std::string>& names);
// The entries that names select (all without names) into dest.
int Extract(const std::string& archive, const std::vector<std::string>& names,
            const std::string& dest, bool destGiven);
int Verify(const std::string& archive);

struct CreateOptions {
    bool Flat = false;   // bare file names instead of paths below the folder
    std::string Prefix;  // put before every stored name; empty for none
};
int Create(const std::string& folder, const std::string& archive, const CreateOptions& options);
// Adds files and folders, replacing entries of the same name where they stand; storedAs
// names the one path's entry (or the folder its files go below).
int Add(const std::string& archive, const std::vector<std::string>& paths,
        const std::optional<std::string>& storedAs);
int Remove(const std::string& archive, const std::vector<std::string>& names);

}  // namespace PakCommands
