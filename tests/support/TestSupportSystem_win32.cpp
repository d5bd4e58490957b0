// What the tests need from Windows itself: running programs (CreateProcess, with the
// arguments quoted the way the C runtime splits a command line), junctions and the environment.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace TestSupport {

namespace {

// One argument as the C runtime reads it back: quotes around anything with blanks or quotes,
// a quote escaped with a backslash, and backslashes doubled only where a quote follows them.
void AppendQuoted(std::string& line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"') backslashes = backslashes * 2 + 1;
        line.append(backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

HANDLE OpenInherited(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof inherit;
    inherit.bInheritHandle = TRUE;
    HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return file;
}

}  // namespace

int RunWithFiles(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& workingFolder, const std::string& inPath,
                 const std::string& outPath, const std::string& errPath) {
    std::string commandLine;
    AppendQuoted(commandLine, fs::path(program).make_preferred().string());
    for (const std::string& a : args) {
        commandLine += ' ';
        AppendQuoted(commandLine, a);
    }

    HANDLE in = OpenInherited(inPath, GENERIC_READ, OPEN_EXISTING);
    HANDLE out = OpenInherited(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = OpenInherited(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::string folder = workingFolder.string();
    // A program name without an extension is found with ".exe", as the tools are named here.
    const BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, folder.c_str(), &startup, &process);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) return 127;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

// Named pipes and links to files are no files here: they are not made through the file system.
const bool kPosixFileSystem = false;
const bool kCrLfText = true;

bool MakeFifo(const fs::path&) {
    return false;
}

bool MakeFileLink(const fs::path&, const fs::path&) {
    return false;
}

namespace {

// The reparse data of a mount point (a junction), which the SDK headers keep for drivers.
struct MountPointReparse {
    DWORD ReparseTag;
    WORD ReparseDataLength;
    WORD Reserved;
    WORD SubstituteNameOffset;
    WORD SubstituteNameLength;
    WORD PrintNameOffset;
    WORD PrintNameLength;
    WCHAR PathBuffer[1];
};

}  // namespace

bool MakeFolderLink(const fs::path& target, const fs::path& link) {
    // A junction holds a full path; a relative target is taken from the link's folder.
    const fs::path full = target.is_absolute() ? target : link.parent_path() / target;
    const std::wstring printName = fs::absolute(full).lexically_normal().make_preferred().wstring();
    const std::wstring substitute = L"\\??\\" + printName;
    // Both names, each with its terminator, follow the fixed fields.
    const size_t namesBytes = (substitute.size() + 1 + printName.size() + 1) * sizeof(WCHAR);
    std::vector<char> buffer(offsetof(MountPointReparse, PathBuffer) + namesBytes);
    auto* data = reinterpret_cast<MountPointReparse*>(buffer.data());
    data->ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
    data->ReparseDataLength =
        static_cast<WORD>(buffer.size() - offsetof(MountPointReparse, SubstituteNameOffset));
    data->SubstituteNameOffset = 0;
    data->SubstituteNameLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    data->PrintNameOffset = static_cast<WORD>((substitute.size() + 1) * sizeof(WCHAR));
    data->PrintNameLength = static_cast<WORD>(printName.size() * sizeof(WCHAR));
    std::memcpy(data->PathBuffer, substitute.c_str(), (substitute.size() + 1) * sizeof(WCHAR));
    std::memcpy(data->PathBuffer + substitute.size() + 1, printName.c_str(),
                (printName.size() + 1) * sizeof(WCHAR));

    const std::wstring linkName = link.wstring();
    if (!CreateDirectoryW(linkName.c_str(), nullptr)) return false;
    HANDLE folder = CreateFileW(linkName.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool made = false;
    if (folder != INVALID_HANDLE_VALUE) {
        DWORD returned = 0;
        made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data,
                               static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
        CloseHandle(folder);
    }
    if (!made) RemoveDirectoryW(linkName.c_str());
    return made;
}

bool FolderLinksWork() {
    static const bool works = [] {
        TempDir dir;
        fs::create_directory(dir.Path() / "target");
        return MakeFolderLink(dir.Path() / "target", dir.Path() / "link");
    }();
    return works;
}

void SetEnvironment(const std::string& name, const char* value) {
    // An empty value removes the variable.
    _putenv_s(name.c_str(), value ? value : "");
}

fs::path ThisProgram() {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return fs::path(std::wstring(buffer.data(), n));
}

}  // namespace TestSupport
