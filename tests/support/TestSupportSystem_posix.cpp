// What the tests need from POSIX itself: running programs, pipes, links and the environment.
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/DeviceSupport.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace TestSupport {

int RunWithFiles(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& workingFolder, const std::string& inPath,
                 const std::string& outPath, const std::string& errPath) {
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(workingFolder.c_str()) != 0) _exit(126);
        FILE* in = freopen(inPath.c_str(), "rb", stdin);
        FILE* out = freopen(outPath.c_str(), "wb", stdout);
        FILE* err = freopen(errPath.c_str(), "wb", stderr);
        if (!in || !out || !err) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

const bool kPosixFileSystem = true;
const bool kCrLfText = false;
const bool kSoftwareDevice = true;

bool MakeFifo(const fs::path& path) {
    return mkfifo(path.c_str(), 0600) == 0;
}

bool MakeFileLink(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    fs::create_symlink(target, link, ec);
    return !ec;
}

bool MakeFolderLink(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    return !ec;
}

void SetEnvironment(const std::string& name, const char* value) {
    if (value) {
        setenv(name.c_str(), value, 1);
    } else {
        unsetenv(name.c_str());
    }
}

bool FolderLinksWork() {
    return true;
}

fs::path ThisProgram() {
    return fs::read_symlink("/proc/self/exe");
}

}  // namespace TestSupport
