// The platform layer on Windows: thin calls of the Win32 API (see Platform.h).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Platform.h"

namespace Platform {

namespace {

std::atomic<MessageBoxSink> messageBoxSink{nullptr};
std::atomic<void*> messageBoxContext{nullptr};

std::atomic<DebuggerSink> debuggerSink{nullptr};
std::atomic<void*> debuggerContext{nullptr};

// The engine runs on one thread; tests set the clock before the code under test runs.
bool clockFixed = false;
SystemTime fixedClock;

bool Fail(uint32_t code) {
    ::SetLastError(code);
    return false;
}

bool IsDiskFile(FILE* stream) {
    const intptr_t handle = _get_osfhandle(_fileno(stream));
    return handle != -1 && GetFileType(reinterpret_cast<HANDLE>(handle)) == FILE_TYPE_DISK;
}

// Symbolic links and junctions are name surrogates; other reparse points (cloud placeholders,
// deduplicated files) are the file itself.
bool IsLink(const WIN32_FIND_DATAA& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(data.dwReserved0);
}

}  // namespace

uint32_t GetLastError() {
    return ::GetLastError();
}

void SetLastError(uint32_t code) {
    ::SetLastError(code);
}

void KeepStreamError() {}

std::string ErrorMessage(uint32_t code) {
    char* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD n = FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    std::string text;
    if (n > 0 && buffer) {
        text.assign(buffer, n);
    } else {
        char fallback[64];
        snprintf(fallback, sizeof fallback, "Error %lu.\r\n", static_cast<unsigned long>(code));
        text = fallback;
    }
    if (buffer) LocalFree(buffer);
    return text;
}

std::string NativePath(const std::string& path) {
    return path;
}

FILE* OpenStream(const std::string& path, const char* mode) {
    // Not every C runtime knows the exclusive-create 'x'; do that part with CreateFileA.
    std::string plain;
    bool exclusive = false;
    for (const char* m = mode; *m; ++m) {
        if (*m == 'x') {
            exclusive = true;
        } else {
            plain += *m;
        }
    }
    if (!exclusive) {
        FILE* stream = fopen(path.c_str(), plain.c_str());
        if (!stream && ::GetLastError() == ERROR_SUCCESS) ::SetLastError(ERROR_FILE_NOT_FOUND);
        // Only files: a console, NUL or a pipe would block a reader or never end.
        if (stream && !IsDiskFile(stream)) {
            fclose(stream);
            ::SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return stream;
    }
    const bool update = plain.find('+') != std::string::npos;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | (update ? GENERIC_READ : 0),
                              FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(file),
                        (update ? _O_RDWR : _O_WRONLY) |
                            (plain.find('t') != std::string::npos ? _O_TEXT : _O_BINARY));
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, plain.c_str());
    if (!stream) _close(fd);
    return stream;
}

bool FindEntries(const std::string& searchPath, std::vector<FindData>& found) {
    found.clear();
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(searchPath.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        FindData entry;
        entry.Name = data.cFileName;
        entry.Folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.Link = IsLink(data);
        found.push_back(entry);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return true;
}

bool EntryExists(const std::string& path) {
    // The attributes of the exact name: a search would take '*' and '?' as a pattern.
    if (path.empty() || path.back() == '\\' || path.back() == '/') {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CreateFolder(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryA(path.c_str()) != 0;
}

bool RemoveFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != 0;
}

bool GetAttributes(const std::string& path, FileAttributes& attributes) {
    const DWORD bits = GetFileAttributesA(path.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) return false;
    attributes.Folder = (bits & FILE_ATTRIBUTE_DIRECTORY) != 0;
    attributes.ReadOnly = (bits & FILE_ATTRIBUTE_READONLY) != 0;
    return true;
}

bool IsOpenableFile(const std::string& path) {
    HANDLE file =
        CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool GetFileSize32(const std::string& path, uint32_t& size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    size = ::GetFileSize(file, nullptr);
    CloseHandle(file);
    return true;
}

bool CopyFileReplacing(const std::string& source, const std::string& target) {
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyStreamRange(FILE* from, int64_t offset, uint64_t size, FILE* to) {
    if (!from || !to || offset < 0) return Fail(ERROR_INVALID_PARAMETER);
    if (_fseeki64(from, offset, SEEK_SET) != 0) return Fail(ERROR_SEEK);
    constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer(static_cast<size_t>(size < kChunk ? size : kChunk));
    while (size > 0) {
        const size_t want = static_cast<size_t>(size < buffer.size() ? size : buffer.size());
        const size_t got = fread(buffer.data(), 1, want, from);
        if (got == 0) return Fail(ERROR_HANDLE_EOF);
        if (fwrite(buffer.data(), 1, got, to) != got) return Fail(ERROR_WRITE_FAULT);
        size -= got;
    }
    return true;
}

// Windows has no folder-relative creation, so every folder on the way is checked by its
// attributes once and remembered; reparse points (symbolic links, junctions, mount points)
// count as links.
struct WriteTree::State {
    std::string Root;                         // ends in a separator unless empty
    std::unordered_set<std::string> Folders;  // checked folders below the root, '\' separated
    bool Opened = false;
};

WriteTree::WriteTree() : Impl(new State) {}

WriteTree::~WriteTree() = default;

bool WriteTree::Open(const std::string& root) {
    Impl.reset(new State);
    const DWORD bits = GetFileAttributesA(root.empty() ? "." : root.c_str());
    if (bits == INVALID_FILE_ATTRIBUTES) return false;
    if ((bits & FILE_ATTRIBUTE_DIRECTORY) == 0) return Fail(ERROR_DIRECTORY);
    Impl->Root = root;
    if (!root.empty() && root.back() != '\\' && root.back() != '/') Impl->Root += '\\';
    Impl->Opened = true;
    return true;
}

TreeWrite WriteTree::WriteFile(const std::string& relative, FILE* from, int64_t offset,
                               uint64_t size) {
    if (!Impl->Opened || !from || offset < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return TreeWrite::Refused;
    }
    std::vector<std::string> parts;
    for (size_t start = 0; start <= relative.size();) {
        size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part == "..") {
            Fail(ERROR_INVALID_NAME);
            return TreeWrite::Refused;
        }
        if (!part.empty() && part != ".") parts.push_back(part);
    }
    if (parts.empty() || relative.back() == '\\' || relative.back() == '/') {
        Fail(ERROR_INVALID_NAME);
        return TreeWrite::Refused;
    }

    std::string key;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        key += (key.empty() ? "" : "\\") + parts[i];
        if (Impl->Folders.count(key)) continue;
        const std::string path = Impl->Root + key;
        DWORD bits = GetFileAttributesA(path.c_str());
        if (bits == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                return TreeWrite::Refused;
            }
            if (!CreateDirectoryA(path.c_str(), nullptr) &&
                ::GetLastError() != ERROR_ALREADY_EXISTS) {
                return TreeWrite::Refused;
            }
            bits = GetFileAttributesA(path.c_str());
            if (bits == INVALID_FILE_ATTRIBUTES) return TreeWrite::Refused;
        }
        if (bits & FILE_ATTRIBUTE_REPARSE_POINT) return TreeWrite::LinkOnTheWay;
        if ((bits & FILE_ATTRIBUTE_DIRECTORY) == 0) return TreeWrite::Blocked;
        Impl->Folders.insert(key);
    }

    const std::string path = Impl->Root + (key.empty() ? "" : key + "\\") + parts.back();
    const DWORD bits = GetFileAttributesA(path.c_str());
    if (bits != INVALID_FILE_ATTRIBUTES) {
        // Never write through what is there: a hard link would carry the write elsewhere.
        if (bits & FILE_ATTRIBUTE_REPARSE_POINT) return TreeWrite::LinkOnTheWay;
        if (bits & FILE_ATTRIBUTE_DIRECTORY) return TreeWrite::Blocked;
        if (!DeleteFileA(path.c_str())) return TreeWrite::Refused;
    }
    // CREATE_NEW fails on any name that appeared meanwhile, a planted link included.
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (out == INVALID_HANDLE_VALUE) return TreeWrite::Refused;

    // Positional reads leave the stream where it was, so writers on other threads can share it.
    const HANDLE in = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(from)));
    bool ok = in != INVALID_HANDLE_VALUE;
    DWORD error = ok ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
    constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer(static_cast<size_t>(size < kChunk ? size : kChunk));
    uint64_t at = static_cast<uint64_t>(offset);
    for (uint64_t left = size; ok && left > 0;) {
        const DWORD want = static_cast<DWORD>(left < buffer.size() ? left : buffer.size());
        OVERLAPPED where = {};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        DWORD put = 0;
        if (!ReadFile(in, buffer.data(), want, &got, &where)) {
            ok = false;
            error = ::GetLastError();
        } else if (got == 0) {
            ok = false;
            error = ERROR_HANDLE_EOF;
        } else if (!::WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
            ok = false;
            error = ::GetLastError();
        }
        left -= got;
        at += got;
    }
    if (!CloseHandle(out) && ok) {
        ok = false;
        error = ::GetLastError();
    }
    if (ok) return TreeWrite::Written;
    DeleteFileA(path.c_str());
    Fail(error);
    return TreeWrite::CopyFailed;
}

int64_t ReadSmallFile(const std::string& path, char* buffer, size_t capacity) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kReadNotOpened;
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        Fail(ERROR_ACCESS_DENIED);
        return kReadNotOpened;
    }
    if (static_cast<uint64_t>(size.QuadPart) >= capacity) {
        CloseHandle(file);
        return static_cast<int64_t>(capacity);
    }
    const DWORD want = static_cast<DWORD>(size.QuadPart);
    DWORD got = 0;
    while (got < want) {
        DWORD n = 0;
        if (!ReadFile(file, buffer + got, want - got, &n, nullptr)) {
            const DWORD error = ::GetLastError();
            CloseHandle(file);
            Fail(error);
            return kReadFailed;
        }
        if (n == 0) break;
        got += n;
    }
    CloseHandle(file);
    return static_cast<int64_t>(got);
}

struct SmallFileReader::State {};

SmallFileReader::SmallFileReader() : Impl(new State) {}

SmallFileReader::~SmallFileReader() = default;

int64_t SmallFileReader::Read(const std::string& path, char* buffer, size_t capacity) {
    return ReadSmallFile(path, buffer, capacity);
}

int64_t StreamSize(FILE* stream) {
    if (!stream) return -1;
    return _filelengthi64(_fileno(stream));
}

std::string ExecutablePath() {
    std::vector<char> buffer(32768);
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::string(buffer.data(), n);
}

bool IsTerminal(FILE* stream) {
    return stream && _isatty(_fileno(stream)) != 0;
}

void SetBinaryMode(FILE* stream) {
    if (stream) _setmode(_fileno(stream), _O_BINARY);
}

void ShowMessageBox(const std::string& caption, const std::string& text) {
    if (MessageBoxSink sink = messageBoxSink.load()) {
        sink(caption, text, messageBoxContext.load());
        return;
    }
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

void SetMessageBoxSink(MessageBoxSink sink, void* context) {
    messageBoxContext.store(context);
    messageBoxSink.store(sink);
}

void ExitProcessNow(uint32_t code) {
    fflush(stdout);
    fflush(stderr);
    ExitProcess(code);
}

void DebuggerOutput(const std::string& text) {
    if (DebuggerSink sink = debuggerSink.load()) {
        sink(text, debuggerContext.load());
        return;
    }
    OutputDebugStringA(text.c_str());
}

void SetDebuggerSink(DebuggerSink sink, void* context) {
    debuggerContext.store(context);
    debuggerSink.store(sink);
}

SystemTime GetUtcTime() {
    if (clockFixed) return fixedClock;
    SYSTEMTIME now;
    GetSystemTime(&now);
    SystemTime time;
    time.Year = now.wYear;
    time.Month = now.wMonth;
    time.DayOfWeek = now.wDayOfWeek;
    time.Day = now.wDay;
    time.Hour = now.wHour;
    time.Minute = now.wMinute;
    time.Second = now.wSecond;
    time.Milliseconds = now.wMilliseconds;
    return time;
}

void SetUtcTimeOverride(const SystemTime* fixed) {
    clockFixed = fixed != nullptr;
    if (fixed) fixedClock = *fixed;
}

}  // namespace Platform
