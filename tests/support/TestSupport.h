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
// A text file the engine wrote in text mode, with line ends as '\n' where the system writes
// them as "\r\n" (Windows); elsewhere the bytes as they are.
std::string ReadText(const std::filesystem::path& path);
// Text-mode line ends turned into '\n' where the system writes them as "\r\n".
std::string FromTextMode(std::string text);
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
// Runs a program with arguments (no shell) in a working folder and captures its output, with
// text-mode line ends as '\n' (see FromTextMode).
RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const std::filesystem::path& workingFolder, const std::string& input = "");

// ---- What only some systems have (TestSupportSystem_posix.cpp, TestSupportSystem_win32.cpp) ----

// True where the file system is POSIX's: named pipes and symbolic links to files are files,
// and a name may hold any byte but '/' ('*' and '?' included). Tests of these skip elsewhere.
extern const bool kPosixFileSystem;
// True where text-mode streams write a line end as "\r\n".
extern const bool kCrLfText;
// A named pipe; false where the system has none in its file system.
bool MakeFifo(const std::filesystem::path& path);
// A symbolic link to a file, which need not exist; false where links cannot be made.
bool MakeFileLink(const std::filesystem::path& target, const std::filesystem::path& link);
// A link to a folder: a symbolic link on POSIX, a junction on Windows. A relative target is
// taken from the link's folder.
bool MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link);
// False where the file system cannot hold a link to a folder (Wine has no junctions); tests
// of links skip there.
bool FolderLinksWork();
// Runs a program (no shell) in a working folder with its standard streams in the three files;
// its exit status, 127 when it could not be started.
int RunWithFiles(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& workingFolder, const std::string& inPath,
                 const std::string& outPath, const std::string& errPath);
// Sets an environment variable of this process; a null value removes it.
void SetEnvironment(const std::string& name, const char* value);
// The running program's file, as the system reports it.
std::filesystem::path ThisProgram();

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
