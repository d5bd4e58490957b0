/// @file
/// The process-wide log: a running debug log (debug.txt) that a host opens once, and a dated
/// error log (errors.txt) that every call opens, appends to and closes. Both live in the folder
/// "debug" below the host's base folder, and both messages also go to the debugger output.
#pragma once

#include <cstdio>
#include <string>

class GDebugLog {
public:
    GDebugLog() = default;
    ~GDebugLog() = default;
    GDebugLog(const GDebugLog&) = delete;
    GDebugLog& operator=(const GDebugLog&) = delete;

    /// Writes "[h:m:s:ms]- message" to debug.txt and flushes; silent while the log is closed.
    void Log(std::string message);
    /// Creates the debug folder below baseFolder, opens debug.txt afresh and writes the header.
    /// An empty base folder means the working folder.
    void Init(std::string baseFolder);
    /// Appends one dated line to errors.txt; works whether or not Init ran, and never ends the
    /// process: when the file cannot be written the message still reaches the debugger output.
    void LogError(std::string message);
    std::string GetFolder() const { return Folder; }
    /// Writes the footer and closes what is open; Log is silent again afterwards.
    void Close();

private:
    /// The debug folder for the current base folder ("debug" in the working folder when empty).
    std::string DebugFolder() const;

    FILE* DebugFile = nullptr;
    FILE* ErrorFile = nullptr;
    std::string Folder;
};

GDebugLog& GetDebugLog();
