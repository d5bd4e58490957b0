// The pak tool's commands. Each returns the process exit status: 0 success, 1 when the
// archive is damaged or some entries or files were left out, 2 when the work could not be
// done at all (a file that cannot be opened or written, a bad argument).
#pragma once

#include <string>
#include <vector>

namespace PakCommands {

constexpr int kOk = 0;
constexpr int kIncomplete = 1;
constexpr int kFailed = 2;

int List(const std::string& archive, bool longFormat);
int Extract(const std::string& archive, const std::string& dest,
            const std::vector<std::string>& names);
int Create(const std::string& folder, const std::string& archive, bool prefixed,
           const std::string& prefix);
int Verify(const std::string& archive);

}  // namespace PakCommands
