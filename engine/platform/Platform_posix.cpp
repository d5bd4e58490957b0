// The platform layer on POSIX systems: files, folders, errors, the desktop and the clock,
// behaving as the engine expects them to on Windows (see Platform.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "platform/Platform.h"
#include "platform/Wildcard.h"

namespace Platform {

namespace {

thread_local uint32_t lastError = kErrorSuccess;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// errno in Win32 numbering. A missing name is "file not found" unless its folder is missing
// too, which Windows reports as "path not found".
uint32_t FromErrno(int error, const std::string& nativePath = std::string()) {
    switch (error) {
        case 0:
            return kErrorSuccess;
        case ENOENT: {
            if (!nativePath.empty()) {
                size_t cut = nativePath.find_last_of('/');
                if (cut != std::string::npos && cut > 0) {
                    struct stat st;
                    std::string parent = nativePath.substr(0, cut);
                    if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                        return kErrorPathNotFound;
                    }
                }
            }
            return kErrorFileNotFound;
        }
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorAlreadyExists;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case ENAMETOOLONG:
            return kErrorFilenameTooLong;
        case ENOSPC:
        case EDQUOT:
            return kErrorDiskFull;
        case EFBIG:
            return kErrorFileTooLarge;
        case EMFILE:
        case ENFILE:
            return kErrorTooManyOpenFiles;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case EROFS:
            return kErrorWriteProtect;
        case EBUSY:
            return kErrorBusy;
        case EINVAL:
            return kErrorInvalidParameter;
        case EPIPE:
            return kErrorBrokenPipe;
        case ENOSYS:
        case EOPNOTSUPP:
            return kErrorNotSupported;
        default:
            return kErrorGenFailure;
    }
}

bool Fail(int error, const std::string& nativePath = std::string()) {
    lastError = FromErrno(error, nativePath);
    return false;
}

bool Fail(uint32_t code) {
    lastError = code;
    return false;
}

std::atomic<MessageBoxSink> messageBoxSink{nullptr};
std::atomic<void*> messageBoxContext{nullptr};

std::atomic<DebuggerSink> debuggerSink{nullptr};
std::atomic<void*> debuggerContext{nullptr};

// The engine runs on one thread; tests set the clock before the code under test runs.
bool clockFixed = false;
SystemTime fixedClock;

}  // namespace

uint32_t GetLastError() {
    return lastError;
}

void SetLastError(uint32_t code) {
    lastError = code;
}

void KeepStreamError() {
    lastError = FromErrno(errno);
}

std::string ErrorMessage(uint32_t code) {
    const char* text = nullptr;
    switch (code) {
        case kErrorSuccess:
            text = "The operation succeeded.";
            break;
        case kErrorInvalidFunction:
            text = "The function is not valid here.";
            break;
        case kErrorFileNotFound:
            text = "No such file.";
            break;
        case kErrorPathNotFound:
            text = "No such path.";
            break;
        case kErrorTooManyOpenFiles:
            text = "Too many files are open.";
            break;
        case kErrorAccessDenied:
            text = "Access is denied.";
            break;
        case kErrorNotEnoughMemory:
            text = "Not enough memory.";
            break;
        case kErrorInvalidData:
            text = "The data is not valid.";
            break;
        case kErrorWriteProtect:
            text = "The medium is write-protected.";
            break;
        case kErrorGenFailure:
            text = "A device attached to the system failed.";
            break;
        case kErrorSharingViolation:
            text = "The file is in use by another process.";
            break;
        case kErrorHandleEof:
            text = "Reached the end of the file.";
            break;
        case kErrorNotSupported:
            text = "The request is not supported.";
            break;
        case kErrorFileExists:
            text = "The file exists.";
            break;
        case kErrorInvalidParameter:
            text = "A parameter is not valid.";
            break;
        case kErrorBrokenPipe:
            text = "The pipe has been ended.";
            break;
        case kErrorDiskFull:
            text = "There is not enough space on the disk.";
            break;
        case kErrorInvalidName:
            text = "The file name, folder name or volume label is not valid.";
            break;
        case kErrorDirNotEmpty:
            text = "The folder is not empty.";
            break;
        case kErrorBusy:
            text = "The resource is in use.";
            break;
        case kErrorAlreadyExists:
            text = "The file or folder already exists.";
            break;
        case kErrorFilenameTooLong:
            text = "The file name is too long.";
            break;
        case kErrorFileTooLarge:
            text = "The file would be larger than the system allows.";
            break;
        case kErrorDirectory:
            text = "The folder name is not valid.";
            break;
        case kErrorNoAssociation:
            text = "No program is associated with this file.";
            break;
        default:
            break;
    }
    if (text) return std::string(text) + "\n";
    char buffer[64];
    snprintf(buffer, sizeof buffer, "Error %u.\n", code);
    return buffer;
}

std::string NativePath(const std::string& path) {
    std::string native = path;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

FILE* OpenStream(const std::string& path, const char* mode) {
    // Text and binary streams are the same here; drop the Windows-only 't'.
    char cmode[16];
    size_t n = 0;
    int flags = 0;
    bool plus = false;
    for (const char* m = mode; *m && n + 1 < sizeof cmode; ++m) {
        if (*m == 't') continue;
        cmode[n++] = *m;
        if (*m == '+') plus = true;
        if (*m == 'x') flags |= O_EXCL;
    }
    cmode[n] = '\0';
    switch (cmode[0]) {
        case 'r':
            flags |= plus ? O_RDWR : O_RDONLY;
            break;
        case 'w':
            flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            break;
        default:
            Fail(kErrorInvalidParameter);
            return nullptr;
    }
    const std::string native = NativePath(path);
    // Non-blocking, so that a named pipe is refused at once instead of waiting for a peer;
    // never made the controlling terminal.
    const int fd = open(native.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // Windows answers an exclusive create of a taken name with 80; 183 is for folders.
        if (errno == EEXIST) {
            Fail(kErrorFileExists);
        } else {
            Fail(errno == ENXIO ? EACCES : errno, native);
        }
        return nullptr;
    }
    // Only files: a terminal or a device such as /dev/zero in a tree being packed would
    // block the reader or never end.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        Fail(kErrorAccessDenied);
        return nullptr;
    }
    FILE* stream = fdopen(fd, cmode);
    if (!stream) {
        const int error = errno;
        close(fd);
        Fail(error);
    }
    return stream;
}

bool FindEntries(const std::string& searchPath, std::vector<FindData>& found) {
    found.clear();
    const std::string native = NativePath(searchPath);
    const size_t cut = native.find_last_of('/');
    const std::string folder = cut == std::string::npos ? std::string() : native.substr(0, cut + 1);
    const std::string pattern = cut == std::string::npos ? native : native.substr(cut + 1);
    if (pattern.empty()) return Fail(kErrorFileNotFound);

    auto fill = [](const struct stat& st, const std::string& name, bool link) {
        FindData data;
        data.Name = name;
        data.Folder = S_ISDIR(st.st_mode);
        data.Link = link;
        return data;
    };

    if (!Wildcard::HasWildcards(pattern)) {
        // The entry itself first; only a link costs a second look, at its target. A link
        // whose target is missing is not found, as before.
        struct stat st;
        if (lstat(native.c_str(), &st) != 0) return Fail(errno, native);
        const bool link = S_ISLNK(st.st_mode);
        if (link && stat(native.c_str(), &st) != 0) return Fail(errno, native);
        found.push_back(fill(st, pattern, link));
        return true;
    }

    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) {
        lastError = (errno == ENOENT || errno == ENOTDIR) ? kErrorPathNotFound : FromErrno(errno);
        return false;
    }
    const int dirFd = dirfd(dir);
    while (struct dirent* entry = readdir(dir)) {
        if (!Wildcard::Matches(pattern, entry->d_name)) continue;
        // Most file systems say in the listing what each entry is; only a link, to tell what
        // it leads to, and a file system that does not say, cost a look at the entry.
        if (entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK) {
            FindData data;
            data.Name = entry->d_name;
            data.Folder = entry->d_type == DT_DIR;
            found.push_back(std::move(data));
            continue;
        }
        struct stat st;
        bool link = entry->d_type == DT_LNK;
        bool known = false;
        if (entry->d_type == DT_UNKNOWN &&
            fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            link = S_ISLNK(st.st_mode);
            known = !link;
        }
        if (!known && fstatat(dirFd, entry->d_name, &st, 0) != 0) {
            // A dangling link (a file that leads nowhere) or a name that vanished meanwhile.
            std::memset(&st, 0, sizeof st);
            st.st_mode = S_IFREG | 0666;
        }
        found.push_back(fill(st, entry->d_name, link));
    }
    closedir(dir);
    if (found.empty()) return Fail(kErrorFileNotFound);
    return true;
}

bool EntryExists(const std::string& path) {
    if (path.empty() || IsSeparator(path.back())) return Fail(kErrorFileNotFound);
    const std::string native = NativePath(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return Fail(errno, native);
    return true;
}

bool CreateFolder(const std::string& path) {
    const std::string native = NativePath(path);
    if (mkdir(native.c_str(), 0777) != 0) {
        if (errno == ENOENT) return Fail(kErrorPathNotFound);
        return Fail(errno, native);
    }
    return true;
}

bool RemoveFolder(const std::string& path) {
    const std::string native = NativePath(path);
    if (rmdir(native.c_str()) != 0) {
        if (errno == ENOTDIR) return Fail(kErrorDirectory);
        return Fail(errno, native);
    }
    return true;
}

bool RemoveFile(const std::string& path) {
    const std::string native = NativePath(path);
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return Fail(errno, native);
    if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
    // Windows keeps read-only files; callers rely on that, so keep the rule here.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0) return Fail(kErrorAccessDenied);
    if (unlink(native.c_str()) != 0) return Fail(errno, native);
    return true;
}

bool GetAttributes(const std::string& path, FileAttributes& attributes) {
    const std::string native = NativePath(path);
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return Fail(errno, native);
    attributes.Folder = S_ISDIR(st.st_mode);
    attributes.ReadOnly = (st.st_mode & 0222) == 0;
    return true;
}

bool IsOpenableFile(const std::string& path) {
    const std::string native = NativePath(path);
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return Fail(errno, native);
    if (!S_ISREG(st.st_mode)) return Fail(kErrorAccessDenied);
    return true;
}

bool GetFileSize32(const std::string& path, uint32_t& size) {
    const std::string native = NativePath(path);
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(errno, native);
    struct stat st;
    const bool ok = fstat(fd, &st) == 0;
    const int error = errno;
    close(fd);
    if (!ok) return Fail(error);
    if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
    size = static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFFu);
    return true;
}

namespace {

// Copies count bytes from in at inOffset to out at its current position: the kernel's
// file-to-file copy where the file systems allow it, else a bounded buffer.
bool CopyFd(int in, int64_t inOffset, int out, uint64_t count) {
    off_t offset = static_cast<off_t>(inOffset);
    bool kernelCopy = true;
    while (count > 0 && kernelCopy) {
        const size_t chunk = static_cast<size_t>(count < (1u << 30) ? count : (1u << 30));
        ssize_t n = copy_file_range(in, &offset, out, nullptr, chunk, 0);
        if (n > 0) {
            count -= static_cast<uint64_t>(n);
        } else if (n == 0) {
            return Fail(kErrorHandleEof);
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                   errno == EBADF || errno == ETXTBSY) {
            kernelCopy = false;
        } else {
            return Fail(errno);
        }
    }
    if (count == 0) return true;

    constexpr size_t kChunk = 1 << 20;
    std::vector<char> buffer(static_cast<size_t>(count < kChunk ? count : kChunk));
    while (count > 0) {
        const size_t want = static_cast<size_t>(count < buffer.size() ? count : buffer.size());
        ssize_t got = pread(in, buffer.data(), want, offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Fail(errno);
        if (got == 0) return Fail(kErrorHandleEof);
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return Fail(errno);
            done += put;
        }
        offset += got;
        count -= static_cast<uint64_t>(got);
    }
    return true;
}

}  // namespace

bool CopyFileReplacing(const std::string& source, const std::string& target) {
    const std::string nativeSource = NativePath(source);
    const std::string nativeTarget = NativePath(target);
    int in = open(nativeSource.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Fail(errno, nativeSource);
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return Fail(kErrorAccessDenied);
    }
    int out =
        open(nativeTarget.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        const int error = errno;
        close(in);
        return Fail(error, nativeTarget);
    }
    bool ok = CopyFd(in, 0, out, static_cast<uint64_t>(st.st_size));
    const uint32_t error = lastError;
    close(in);
    if (close(out) != 0 && ok) return Fail(errno);
    if (!ok) return Fail(error);
    return true;
}

bool MoveFileReplacing(const std::string& source, const std::string& target) {
    const std::string nativeSource = NativePath(source);
    if (rename(nativeSource.c_str(), NativePath(target).c_str()) != 0) {
        return Fail(errno, nativeSource);
    }
    return true;
}

bool CopyStreamRange(FILE* from, int64_t offset, uint64_t size, FILE* to) {
    if (!from || !to || offset < 0) return Fail(kErrorInvalidParameter);
    if (fflush(to) != 0) return Fail(errno);
    const int out = fileno(to);
    const bool ok = CopyFd(fileno(from), offset, out, size);
    // The stream must see where the descriptor now stands before anything else is written.
    const off_t end = lseek(out, 0, SEEK_CUR);
    if (end >= 0) fseeko(to, end, SEEK_SET);
    return ok;
}

// Each folder below the root is opened once, without following a link, and kept open, so
// every file is then created relative to its folder: one open, one copy and one close.
struct WriteTree::State {
    // Open folders are bounded; past this many they are all closed and opened again on use.
    static constexpr size_t kMaxOpenFolders = 128;

    int Root = -1;
    std::unordered_map<std::string, int> Folders;  // "a/b" below the root -> descriptor

    void CloseFolders() {
        for (const auto& folder : Folders) close(folder.second);
        Folders.clear();
    }
    ~State() {
        CloseFolders();
        if (Root >= 0) close(Root);
    }

    // Why name in parent cannot serve as a folder or as the file.
    TreeWrite Obstacle(int parent, const char* name) {
        struct stat st;
        if (fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            Fail(errno);
            return TreeWrite::Refused;
        }
        return S_ISLNK(st.st_mode) ? TreeWrite::LinkOnTheWay : TreeWrite::Blocked;
    }

    // The descriptor of the folder key ("" is the root), made where missing.
    TreeWrite Folder(const std::string& key, int& fd) {
        if (key.empty()) {
            fd = Root;
            return TreeWrite::Written;
        }
        const auto known = Folders.find(key);
        if (known != Folders.end()) {
            fd = known->second;
            return TreeWrite::Written;
        }
        const size_t cut = key.find_last_of('/');
        int parent = -1;
        const TreeWrite up =
            Folder(cut == std::string::npos ? std::string() : key.substr(0, cut), parent);
        if (up != TreeWrite::Written) return up;
        const char* name = key.c_str() + (cut == std::string::npos ? 0 : cut + 1);
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        fd = openat(parent, name, flags);
        if (fd < 0 && errno == ENOENT) {
            if (mkdirat(parent, name, 0777) != 0 && errno != EEXIST) {
                Fail(errno);
                return TreeWrite::Refused;
            }
            fd = openat(parent, name, flags);
        }
        if (fd < 0) {
            if (errno == ELOOP || errno == ENOTDIR) return Obstacle(parent, name);
            Fail(errno);
            return TreeWrite::Refused;
        }
        Folders.emplace(key, fd);
        return TreeWrite::Written;
    }
};

WriteTree::WriteTree() : Impl(new State) {}

WriteTree::~WriteTree() = default;

bool WriteTree::Open(const std::string& root) {
    Impl.reset(new State);
    const std::string native = root.empty() ? std::string(".") : NativePath(root);
    Impl->Root = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Impl->Root < 0) return Fail(errno, native);
    return true;
}

TreeWrite WriteTree::WriteFile(const std::string& relative, FILE* from, int64_t offset,
                               uint64_t size) {
    if (Impl->Root < 0 || !from || offset < 0) {
        Fail(kErrorInvalidParameter);
        return TreeWrite::Refused;
    }
    // The folder key with one '/' between components; empty and "." components name no
    // folder of their own, and ".." would climb out.
    std::string key;
    std::string name;
    for (size_t start = 0; start <= relative.size();) {
        size_t end = start;
        while (end < relative.size() && !IsSeparator(relative[end])) ++end;
        const std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part == "..") {
            Fail(kErrorInvalidName);
            return TreeWrite::Refused;
        }
        if (part.empty() || part == ".") continue;
        if (!name.empty()) key += (key.empty() ? "" : "/") + name;
        name = part;
    }
    if (name.empty() || IsSeparator(relative.back())) {
        Fail(kErrorInvalidName);
        return TreeWrite::Refused;
    }
    if (Impl->Folders.size() >= State::kMaxOpenFolders) Impl->CloseFolders();
    int folder = -1;
    const TreeWrite reached = Impl->Folder(key, folder);
    if (reached != TreeWrite::Written) return reached;

    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int out = openat(folder, name.c_str(), flags, 0666);
    if (out < 0 && errno == EEXIST) {
        // Something has the name already: never write through it, make the file anew.
        struct stat st;
        if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            Fail(errno);
            return TreeWrite::Refused;
        }
        if (S_ISLNK(st.st_mode)) return TreeWrite::LinkOnTheWay;
        if (S_ISDIR(st.st_mode)) return TreeWrite::Blocked;
        if ((st.st_mode & 0222) == 0) {
            Fail(kErrorAccessDenied);
            return TreeWrite::Refused;
        }
        if (unlinkat(folder, name.c_str(), 0) != 0) {
            Fail(errno);
            return TreeWrite::Refused;
        }
        out = openat(folder, name.c_str(), flags, 0666);
    }
    if (out < 0) {
        Fail(errno);
        return TreeWrite::Refused;
    }
    bool ok = CopyFd(fileno(from), offset, out, size);
    uint32_t error = lastError;
    if (close(out) != 0 && ok) {
        ok = false;
        error = FromErrno(errno);
    }
    if (ok) return TreeWrite::Written;
    // A cut-off file would pass for the real one; leave none.
    unlinkat(folder, name.c_str(), 0);
    Fail(error);
    return TreeWrite::CopyFailed;
}

namespace {

// ReadSmallFile's work on the file name in the folder at (AT_FDCWD for a whole path); native
// is the whole path, for error codes.
int64_t ReadSmallFileAt(int at, const char* name, const std::string& native, char* buffer,
                        size_t capacity) {
    // Non-blocking, so that a named pipe is refused at once instead of waiting for a peer.
    const int fd = openat(at, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail(errno == ENXIO ? EACCES : errno, native);
        return kReadNotOpened;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        Fail(kErrorAccessDenied);
        return kReadNotOpened;
    }
    if (static_cast<uint64_t>(st.st_size) >= capacity) {
        close(fd);
        return static_cast<int64_t>(capacity);
    }
    // The size the file had when it was opened; a file that shrinks meanwhile ends early.
    const size_t want = static_cast<size_t>(st.st_size);
    size_t got = 0;
    while (got < want) {
        const ssize_t n = read(fd, buffer + got, want - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            Fail(error);
            return kReadFailed;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    return static_cast<int64_t>(got);
}

}  // namespace

int64_t ReadSmallFile(const std::string& path, char* buffer, size_t capacity) {
    const std::string native = NativePath(path);
    return ReadSmallFileAt(AT_FDCWD, native.c_str(), native, buffer, capacity);
}

struct SmallFileReader::State {
    std::string Folder;  // native, with its trailing separator
    int Fd = -1;
    ~State() {
        if (Fd >= 0) close(Fd);
    }
};

SmallFileReader::SmallFileReader() : Impl(new State) {}

SmallFileReader::~SmallFileReader() = default;

int64_t SmallFileReader::Read(const std::string& path, char* buffer, size_t capacity) {
    const std::string native = NativePath(path);
    const size_t cut = native.find_last_of('/');
    if (cut == std::string::npos || cut + 1 == native.size()) {
        return ReadSmallFileAt(AT_FDCWD, native.c_str(), native, buffer, capacity);
    }
    // Opening the folder follows links on its way, just as opening the whole path would.
    if (Impl->Fd < 0 || native.compare(0, cut + 1, Impl->Folder) != 0) {
        if (Impl->Fd >= 0) close(Impl->Fd);
        Impl->Folder.assign(native, 0, cut + 1);
        Impl->Fd = open(Impl->Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Impl->Fd < 0) {
            // Whatever went wrong, the whole path says it as a lone read would.
            Impl->Folder.clear();
            return ReadSmallFileAt(AT_FDCWD, native.c_str(), native, buffer, capacity);
        }
    }
    return ReadSmallFileAt(Impl->Fd, native.c_str() + cut + 1, native, buffer, capacity);
}

int64_t StreamSize(FILE* stream) {
    struct stat st;
    if (!stream || fstat(fileno(stream), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

std::string ExecutablePath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        Fail(errno);
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(n));
}

bool IsTerminal(FILE* stream) {
    return stream && isatty(fileno(stream)) != 0;
}

void SetBinaryMode(FILE*) {}

void ShowMessageBox(const std::string& caption, const std::string& text) {
    if (MessageBoxSink sink = messageBoxSink.load()) {
        sink(caption, text, messageBoxContext.load());
        return;
    }
    std::string message = caption + ": " + text;
    if (message.empty() || message.back() != '\n') message += '\n';
    fputs(message.c_str(), stderr);
    fflush(stderr);
}

void SetMessageBoxSink(MessageBoxSink sink, void* context) {
    messageBoxContext.store(context);
    messageBoxSink.store(sink);
}

void ExitProcessNow(uint32_t code) {
    fflush(stdout);
    fflush(stderr);
    _exit(static_cast<int>(code));
}

void DebuggerOutput(const std::string& text) {
    if (DebuggerSink sink = debuggerSink.load()) {
        sink(text, debuggerContext.load());
        return;
    }
    static const bool toStderr = [] {
        const char* value = getenv("ENGINE_DEBUG_OUTPUT");
        return value && *value && strcmp(value, "0") != 0;
    }();
    if (toStderr) fputs(text.c_str(), stderr);
}

void SetDebuggerSink(DebuggerSink sink, void* context) {
    debuggerContext.store(context);
    debuggerSink.store(sink);
}

SystemTime GetUtcTime() {
    if (clockFixed) return fixedClock;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm parts;
    gmtime_r(&now.tv_sec, &parts);
    SystemTime time;
    time.Year = parts.tm_year + 1900;
    time.Month = parts.tm_mon + 1;
    time.DayOfWeek = parts.tm_wday;
    time.Day = parts.tm_mday;
    time.Hour = parts.tm_hour;
    time.Minute = parts.tm_min;
    time.Second = parts.tm_sec;
    time.Milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return time;
}

void SetUtcTimeOverride(const SystemTime* fixed) {
    clockFixed = fixed != nullptr;
    if (fixed) fixedClock = *fixed;
}

}  // namespace Platform
