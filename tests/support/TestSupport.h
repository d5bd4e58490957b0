// Small helpers the test programs share: a scratch folder per test, whole-file reads and
// writes, and running a program of ours with its output captured.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace TestSupport {

// A fresh empty folder below the system's temporary folder, removed with everything in it
// when the object goes. The constructor does not change the working folder; CwdGuard does.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of a name below the folder, as a generic string with '/' separators.
    std::string operator/(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// Changes the working folder for the life of the object.
class CwdGuard {
public:
    explicit CwdGuard(const std::filesystem::path& folder);
    ~CwdGuard();
    CwdGuard(const CwdGuard&) = delete;
    CwdGuard& operator=(const CwdGuard&) = delete;

private:
    std::filesystem::path previous_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Every line of a text file, without line ends.
std::vector<std::string> ReadLines(const std::filesystem::path& path);
// Every regular file below a folder, as paths relative to it with '/' separators, sorted.
std::vector<std::string> ListTree(const std::filesystem::path& folder);

struct RunResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};
// Runs a program with arguments (no shell) in a working folder and captures its output.
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::filesystem::path& workingFolder, const std::string& input = "");

}  // namespace TestSupport

namespace TestSupport {

// Opens the process-wide debug log in a scratch folder for the life of the object and
// collects every message the debug log and the error log hand to the debugger, in order.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages logged since construction (the debug log's header excluded).
    const std::vector<std::string>& Messages() const { return messages_; }
    bool Contains(const std::string& message) const;
    const std::filesystem::path& Folder() const { return dir_.Path(); }

private:
    TempDir dir_;
    std::vector<std::string> messages_;
};

}  // namespace TestSupport
