#include "support/TestSupport.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace TestSupport {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("engine-test-" + std::to_string(rd()) +
                                                          "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = fs::canonical(candidate);
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only files and folders behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& name) const {
    return (path_ / name).generic_string();
}

CwdGuard::CwdGuard(const fs::path& folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
}

CwdGuard::~CwdGuard() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string FromTextMode(std::string text) {
    if (!kCrLfText) return text;
    size_t out = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        text[out++] = text[i];
    }
    text.resize(out);
    return text;
}

std::string ReadText(const fs::path& path) {
    return FromTextMode(ReadFile(path));
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ListTree(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (it->is_regular_file()) {
            names.push_back(fs::relative(it->path(), folder).generic_string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args,
              const fs::path& workingFolder, const std::string& input) {
    // Output goes to files rather than pipes so a chatty child can never block on a full pipe.
    TempDir scratch;
    const std::string outPath = scratch / "stdout";
    const std::string errPath = scratch / "stderr";
    const std::string inPath = scratch / "stdin";
    WriteFile(inPath, input);
    RunResult result;
    result.ExitCode = RunWithFiles(program, args, workingFolder, inPath, outPath, errPath);
    result.Out = FromTextMode(ReadFile(outPath));
    result.Err = FromTextMode(ReadFile(errPath));
    return result;
}

}  // namespace TestSupport

#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"

namespace TestSupport {

LogCapture::LogCapture() {
    GetDebugLog().Init(dir_.Path().string());
    Platform::SetDebuggerSink(
        [](const std::string& text, void* self) {
            // The debug log sends each line end on its own; only messages are kept.
            if (text != "\n") static_cast<LogCapture*>(self)->messages_.push_back(text);
        },
        this);
}

LogCapture::~LogCapture() {
    Platform::SetDebuggerSink(nullptr, nullptr);
    GetDebugLog().Close();
}

bool LogCapture::Contains(const std::string& message) const {
    return std::find(messages_.begin(), messages_.end(), message) != messages_.end();
}

}  // namespace TestSupport
