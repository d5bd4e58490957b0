// The operating-system services the engine needs, declared once. Platform_posix*.cpp and
// Platform_win32*.cpp implement them; CMake builds one set. Nothing above engine/platform/
// includes a system header: it asks this layer instead, so one engine code path serves both.
//
// Conventions on every system:
// - Paths are 8-bit byte strings; both '\' and '/' separate folders. On POSIX every path is
//   handed to the file system with its backslashes turned into slashes.
// - Failures set a last-error code in Win32 numbering (the constants below), so callers, log
//   lines and exit codes read the same everywhere.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

enum ErrorCode : uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidFunction = 1,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorTooManyOpenFiles = 4,
    kErrorAccessDenied = 5,
    kErrorNotEnoughMemory = 8,
    kErrorInvalidData = 13,
    kErrorWriteProtect = 19,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorHandleEof = 38,
    kErrorNotSupported = 50,
    kErrorFileExists = 80,
    kErrorInvalidParameter = 87,
    kErrorBrokenPipe = 109,
    kErrorDiskFull = 112,
    kErrorInvalidName = 123,
    kErrorDirNotEmpty = 145,
    kErrorBusy = 170,
    kErrorAlreadyExists = 183,
    kErrorFilenameTooLong = 206,
    kErrorFileTooLarge = 223,
    kErrorDirectory = 267,
    kErrorNoAssociation = 1155,
};

// The calling thread's last error, as GetLastError gives it on Windows.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// After a C stream call failed (a write, a seek, a flush, a close): makes the C runtime's
// reason the last error. On Windows the system has set it already.
void KeepStreamError();
// The system's text for an error code, ending in its line end ("\r\n" on Windows, "\n" elsewhere).
std::string ErrorMessage(uint32_t code);

// ---- Paths and streams ----

// The path as this system's file calls want it (backslashes become slashes on POSIX).
std::string NativePath(const std::string& path);
// fopen with the path converted; sets the last error on failure. Only files open: folders,
// pipes, sockets and devices are refused (5) at once, so a reader never blocks on one. An 'x'
// in the mode creates the file exclusively and fails with 80 (file exists) when the name is
// taken.
FILE* OpenStream(const std::string& path, const char* mode);

// What a search says of each entry: enough for a walk to decide where to go. Sizes and
// attributes come from GetAttributes, so that listing a folder of files costs no look at each
// file where the system's listing already tells what the entries are.
struct FindData {
    std::string Name;  // bare name, no folder
    // What the entry leads to: for a link, its target (false when the target is missing).
    bool Folder = false;
    // A symbolic link, or on Windows a junction or other name-surrogate reparse point. A walk
    // that entered a link to a folder could leave its tree or go round in circles.
    bool Link = false;
};

// Directory search with the Windows wildcard rules on the last path component: '*' any run,
// '?' one character, "*.*" every name with or without a dot; a component without wildcards
// finds exactly that entry. Results come in the order the file system gives, "." and ".."
// included where the system lists them. Returns false and sets the last error (2 no match,
// 3 no such folder) when nothing is found.
bool FindEntries(const std::string& searchPath, std::vector<FindData>& found);
// True when the path names an existing file, folder or link. The path is taken exactly as
// written: '*' and '?' are plain characters here, never a pattern. A path that ends in a
// separator is not found, as on Windows.
bool EntryExists(const std::string& path);

// ---- Files and folders ----

// Creates one folder whose parent exists. Fails with 183 when the name exists, 3 when the
// parent is missing, 5 without permission.
bool CreateFolder(const std::string& path);
// Removes one empty folder.
bool RemoveFolder(const std::string& path);
// Deletes one file. As on Windows, a file without write permission is not deleted (5).
bool RemoveFile(const std::string& path);

struct FileAttributes {
    bool Folder = false;
    bool ReadOnly = false;
};
// The attributes of an existing file or folder; false (with the last error) when it is missing.
bool GetAttributes(const std::string& path, FileAttributes& attributes);
// True when the path names an existing regular file that can be opened (never a folder).
bool IsOpenableFile(const std::string& path);
// The low 32 bits of an existing file's size; false when it cannot be opened for reading.
bool GetFileSize32(const std::string& path, uint32_t& size);
// Copies a file, replacing an existing target.
bool CopyFileReplacing(const std::string& source, const std::string& target);
// Renames a file over an existing target in one step (for writing beside and then replacing).
bool MoveFileReplacing(const std::string& source, const std::string& target);
// Copies size bytes from offset of one stream to the current end of another, in bounded
// chunks or with the kernel's file-to-file copy where there is one. Both streams are flushed
// first; false (with the last error) when fewer bytes could be moved.
bool CopyStreamRange(FILE* from, int64_t offset, uint64_t size, FILE* to);
// Size of an open stream's file in bytes, -1 when unknown.
int64_t StreamSize(FILE* stream);
// Full path of the running executable.
std::string ExecutablePath();

// ---- Writing files below a folder without following links ----
//
// The folder a tree of untrusted names is written into may already hold links that someone
// planted: symbolic links, hard links and, on Windows, junctions and other reparse points.
// Below the root, a WriteTree never reaches anything through a link, and it never writes
// into an existing file: that file is removed and a new one is created exclusively, so a
// hard link shared with a file elsewhere is cut rather than written through. A read-only
// file is left alone, as the engine never deletes one.

enum class TreeWrite {
    Written,
    LinkOnTheWay,  // a link stands where a folder on the way, or the file itself, would be
    Blocked,       // a file stands where a folder is needed, or a folder where the file goes
    Refused,       // the system refused to make the folder or the file; see GetLastError
    CopyFailed,    // the data could not be copied whole; no file is left; see GetLastError
};

class WriteTree {
public:
    WriteTree();
    ~WriteTree();
    WriteTree(const WriteTree&) = delete;
    WriteTree& operator=(const WriteTree&) = delete;

    // Opens an existing folder as the root of every later path. Links in the root's own path
    // are followed: that path is the caller's choice, not the archive's. False (with the last
    // error) when it is missing or not a folder.
    bool Open(const std::string& root);
    // Writes a new file at relative (below the root; either separator, no ".." components,
    // no leading separator) with size bytes of the stream from, read at offset without moving
    // the stream, so WriteTrees on other threads may copy from the same stream at once.
    // Missing folders on the way are made; folders once made or checked are remembered, so a
    // tree costs each folder only once.
    TreeWrite WriteFile(const std::string& relative, FILE* from, int64_t offset, uint64_t size);

    struct State;

private:
    std::unique_ptr<State> Impl;
};

// Reads a regular file of fewer than capacity bytes whole into buffer, with one open, one
// status query and one read: the archive writer's path for the many small files of a tree.
// Returns the byte count; capacity, without reading, when the file is larger; kReadNotOpened
// when it cannot be opened or is not a regular file (folders, pipes, sockets and devices are
// refused without waiting); kReadFailed when reading fails. Both set the last error.
constexpr int64_t kReadNotOpened = -1;
constexpr int64_t kReadFailed = -2;
int64_t ReadSmallFile(const std::string& path, char* buffer, size_t capacity);

// ReadSmallFile for many files in few folders, as a folder walk lists them: the folder of the
// last file stays open, so that the next file in it is opened relative to it rather than by
// its whole path again. The results and errors are ReadSmallFile's.
class SmallFileReader {
public:
    SmallFileReader();
    ~SmallFileReader();
    SmallFileReader(const SmallFileReader&) = delete;
    SmallFileReader& operator=(const SmallFileReader&) = delete;

    int64_t Read(const std::string& path, char* buffer, size_t capacity);

    struct State;

private:
    std::unique_ptr<State> Impl;
};

// ---- Desktop and process ----

// True when the stream is an interactive terminal (where progress output makes sense).
bool IsTerminal(FILE* stream);
// Makes the stream pass bytes unchanged, for binary output on a standard stream (Windows
// otherwise writes "\n" as "\r\n"); elsewhere there is nothing to change.
void SetBinaryMode(FILE* stream);

// A modal message with an OK button; on POSIX the caption and text go to standard error.
void ShowMessageBox(const std::string& caption, const std::string& text);
// Tests read message boxes here instead of waiting for a user to close one; null restores the
// default.
using MessageBoxSink = void (*)(const std::string& caption, const std::string& text, void* context);
void SetMessageBoxSink(MessageBoxSink sink, void* context);
// Ends the process at once with the code: no destructors, no atexit handlers. Standard
// output and error are flushed first so a transcript is never cut short.
[[noreturn]] void ExitProcessNow(uint32_t code);
// Hands a text to an attached debugger. On POSIX it goes to standard error only while the
// environment variable ENGINE_DEBUG_OUTPUT is set (to anything but "0").
void DebuggerOutput(const std::string& text);
// Tests capture debugger output here; null restores the default.
using DebuggerSink = void (*)(const std::string& text, void* context);
void SetDebuggerSink(DebuggerSink sink, void* context);

// ---- Time ----

struct SystemTime {
    int Year = 0;
    int Month = 0;  // 1-12
    int DayOfWeek = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Milliseconds = 0;
};
// The current UTC date and time.
SystemTime GetUtcTime();
// Tests fix the clock here; null returns to the real clock.
void SetUtcTimeOverride(const SystemTime* fixed);

// High-resolution counter and its ticks per second.
int64_t PerformanceFrequency();
int64_t PerformanceCounter();
// Returns once PerformanceCounter has reached counter (at once when it has), sleeping rather
// than spinning where the system can wake it in time.
void WaitForCounter(int64_t counter);
// Makes PerformanceCounter read Now and WaitForCounter call WaitUntil instead of the system's
// (null: the system's again), so that tests can run code that waits on the clock without
// waiting: such a clock moves itself to the counter it is asked to wait for.
struct CounterClock {
    int64_t (*Now)();
    void (*WaitUntil)(int64_t counter);
};
void SetCounterClock(const CounterClock* clock);
// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime).
uint32_t MillisecondTime();
// Makes MillisecondTime read clock instead of the system's (null: the system's again), so that
// tests can put the clock where it wraps.
using MillisecondClock = uint32_t (*)();
void SetMillisecondClock(MillisecondClock clock);

// ---- Shell and system ----

// The shell's "open" verb on a file or URL. On POSIX starts xdg-open with the target as one
// argument, without a shell. False (with the last error) when it could not be started.
bool ShellOpen(const std::string& target);

struct OsVersion {
    uint32_t Major = 0;
    uint32_t Minor = 0;
};
OsVersion GetOsVersion();

// The C runtime's debug-heap flag word; on POSIX a process-wide word this layer keeps.
int GetDebugHeapFlags();
void SetDebugHeapFlags(int flags);

}  // namespace Platform
