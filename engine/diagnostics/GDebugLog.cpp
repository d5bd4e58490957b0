#include "diagnostics/GDebugLog.h"

#include "diagnostics/EnsureDirectoryExists.h"
#include "platform/Platform.h"

GDebugLog& GetDebugLog() {
    static GDebugLog log;
    return log;
}

void GDebugLog::Log(std::string message) {
    if (!DebugFile) return;
    const Platform::SystemTime t = Platform::GetUtcTime();
    fprintf(DebugFile, "[%d:%d:%d:%d]- %s\n", t.Hour, t.Minute, t.Second, t.Milliseconds,
            message.c_str());
    fflush(DebugFile);
    Platform::DebuggerOutput(message);
    Platform::DebuggerOutput("\n");
}

std::string GDebugLog::DebugFolder() const {
    // An empty base folder means the working folder, never the root of the drive.
    if (Folder.empty()) return "debug";
    char folderpath[260];
    const int n = snprintf(folderpath, sizeof folderpath, "%s\\debug", Folder.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof folderpath) return std::string();
    return folderpath;
}

void GDebugLog::Init(std::string baseFolder) {
    Folder = baseFolder;
    if (DebugFile) {
        fclose(DebugFile);
        DebugFile = nullptr;
    }
    const std::string folderpath = DebugFolder();
    if (folderpath.empty()) {
        Platform::DebuggerOutput("GDebugLog::Init: the debug folder path is too long\n");
        return;
    }
    EnsureDirectoryExists(folderpath);

    char filepath[260];
    const int n = snprintf(filepath, sizeof filepath, "%s\\debug.txt", folderpath.c_str());
    if (n < 0 || static_cast<size_t>(n) >= sizeof filepath) {
        Platform::DebuggerOutput("GDebugLog::Init: the debug file path is too long\n");
        return;
    }
    DebugFile = Platform::OpenStream(filepath, "wt");
    Log("----DEBUG FILE----");
}

void GDebugLog::LogError(std::string message) {
    // Whatever happens to the file, the message is not lost: it always reaches the debugger.
    const std::string folderpath = DebugFolder();
    if (!folderpath.empty() && TryEnsureDirectoryExists(folderpath)) {
        char errorpath[512];
        const int n = snprintf(errorpath, sizeof errorpath, "%s/errors.txt", folderpath.c_str());
        if (n > 0 && static_cast<size_t>(n) < sizeof errorpath) {
            ErrorFile = Platform::OpenStream(errorpath, "at");
        }
    }
    if (ErrorFile) {
        const Platform::SystemTime t = Platform::GetUtcTime();
        char line[512];
        int n = snprintf(line, sizeof line, "%d/%d/%d - %d::%d - %s", t.Day, t.Month, t.Year,
                         t.Hour, t.Minute, message.c_str());
        // A message too long for the line is cut at the buffer's end, never past it.
        if (n < 0) n = 0;
        if (static_cast<size_t>(n) >= sizeof line) n = sizeof line - 1;
        fwrite(line, 1, static_cast<size_t>(n), ErrorFile);
        fwrite("\n", 1, 1, ErrorFile);
        fflush(ErrorFile);
    }
    Platform::DebuggerOutput(message);
    if (ErrorFile) {
        fclose(ErrorFile);
        ErrorFile = nullptr;
    }
}

void GDebugLog::Close() {
    static const char kFooter[] = "END DEBUG---";
    for (FILE** stream : {&DebugFile, &ErrorFile}) {
        if (*stream) {
            fwrite(kFooter, 1, sizeof kFooter - 1, *stream);
            fwrite("\n", 1, 1, *stream);
            fclose(*stream);
            *stream = nullptr;
        }
    }
}
