#include "XServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/TestSupport.h"

namespace WindowTest {

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::filesystem::path candidate =
            std::filesystem::path(folders.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
        start = end + 1;
    }
    return "";
}

XServer::~XServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

bool XServer::Start(int width, int height, std::string& error) {
    std::string program = FindProgram("Xvfb");
    if (program.empty()) {
        error = "Xvfb is not installed (Debian package xvfb)";
        return false;
    }
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    std::string fd = std::to_string(fds[1]);
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    pid_ = fork();
    if (pid_ == 0) {
        // The server goes with the test program, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        // -displayfd: the server takes the first free display number and writes it there
        // once it accepts clients.
        execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
              "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        error = "fork failed";
        return false;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
        error = "Xvfb did not start";
        return false;
    }
    display_ = ":" + number;
    return true;
}

std::unique_ptr<XServer> StartServer(int width, int height, std::string& error) {
    auto server = std::make_unique<XServer>();
    if (!server->Start(width, height, error)) return nullptr;
    return server;
}

namespace {

uint32_t Card32(const std::string& bytes, size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint32_t Card16(const std::string& bytes, size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return (uint32_t(p[0]) << 8) | p[1];
}

int Shift(uint32_t mask) {
    int shift = 0;
    while (shift < 32 && ((mask >> shift) & 1) == 0) shift++;
    return shift;
}

// One channel's values as eight bits: straight from the pixel on a true-colour visual, through
// the dump's colour map on a direct-colour one.
struct ChannelMap {
    uint32_t Mask = 0;
    int ShiftBy = 0;
    std::vector<uint32_t> Table;  // empty: scale the field itself

    uint32_t operator()(uint32_t pixel) const {
        uint32_t index = (pixel & Mask) >> ShiftBy;
        if (!Table.empty()) return index < Table.size() ? Table[index] : 0;
        uint32_t max = Mask >> ShiftBy;
        return max == 0 ? 0 : index * 255 / max;
    }
};

}  // namespace

bool ReadXwd(const std::string& bytes, Image& image, std::string& error) {
    // The header is 25 big-endian 32-bit fields, then the window's name up to header_size.
    if (bytes.size() < 100) {
        error = "dump shorter than its header";
        return false;
    }
    uint32_t headerSize = Card32(bytes, 0);
    uint32_t version = Card32(bytes, 4);
    uint32_t format = Card32(bytes, 8);
    uint32_t width = Card32(bytes, 16);
    uint32_t height = Card32(bytes, 20);
    uint32_t byteOrder = Card32(bytes, 28);
    uint32_t bitsPerPixel = Card32(bytes, 44);
    uint32_t bytesPerLine = Card32(bytes, 48);
    uint32_t visualClass = Card32(bytes, 52);
    uint32_t masks[3] = {Card32(bytes, 56), Card32(bytes, 60), Card32(bytes, 64)};
    uint32_t colours = Card32(bytes, 76);
    const uint32_t kZPixmap = 2;
    const uint32_t kTrueColor = 4;
    const uint32_t kDirectColor = 5;
    if (version != 7 || format != kZPixmap ||
        (visualClass != kTrueColor && visualClass != kDirectColor) ||
        (bitsPerPixel != 24 && bitsPerPixel != 32) || width == 0 || height == 0 || width > 16384 ||
        height > 16384 || bytesPerLine < width * (bitsPerPixel / 8) || headerSize < 100 ||
        colours > 65536) {
        error = "not a true-colour or direct-colour dump (version " + std::to_string(version) +
                ", format " + std::to_string(format) + ", visual " + std::to_string(visualClass) +
                ", " + std::to_string(bitsPerPixel) + " bits, " + std::to_string(width) + "x" +
                std::to_string(height) + ")";
        return false;
    }
    uint64_t data = uint64_t(headerSize) + uint64_t(colours) * 12;
    if (data + uint64_t(bytesPerLine) * height > bytes.size()) {
        error = "dump shorter than its pixels";
        return false;
    }
    ChannelMap channels[3];
    for (int c = 0; c < 3; c++) {
        channels[c].Mask = masks[c];
        channels[c].ShiftBy = Shift(masks[c]);
        if (visualClass == kDirectColor)
            channels[c].Table.assign((masks[c] >> Shift(masks[c])) + 1, 0);
    }
    for (uint32_t i = 0; visualClass == kDirectColor && i < colours; i++) {
        // Each entry: pixel (32 bits), red, green, blue (16 bits each), flags, pad.
        size_t entry = headerSize + size_t(i) * 12;
        uint32_t pixel = Card32(bytes, entry);
        for (int c = 0; c < 3; c++) {
            uint32_t index = (pixel & masks[c]) >> channels[c].ShiftBy;
            if (index < channels[c].Table.size())
                channels[c].Table[index] = Card16(bytes, entry + 4 + 2 * c) >> 8;
        }
    }
    image.Width = static_cast<int>(width);
    image.Height = static_cast<int>(height);
    image.Pixels.assign(size_t(width) * height, 0);
    for (uint32_t y = 0; y < height; y++) {
        const auto* row = reinterpret_cast<const unsigned char*>(bytes.data()) + data +
                          uint64_t(y) * bytesPerLine;
        for (uint32_t x = 0; x < width; x++) {
            const uint32_t size = bitsPerPixel / 8;
            const unsigned char* p = row + x * size;
            uint32_t pixel = 0;
            for (uint32_t b = 0; b < size; b++) {
                uint32_t byte = byteOrder == 0 ? p[b] : p[size - 1 - b];
                pixel |= byte << (8 * b);
            }
            image.Pixels[size_t(y) * width + x] = 0xFF000000u | channels[0](pixel) << 16 |
                                                  channels[1](pixel) << 8 | channels[2](pixel);
        }
    }
    return true;
}

bool Capture(const std::string& display, const std::string& title,
             const std::filesystem::path& folder, Image& image, std::string& error) {
    std::string program = FindProgram("xwd");
    if (program.empty()) {
        error = "xwd is not installed (Debian package x11-apps)";
        return false;
    }
    std::filesystem::path out = folder / "capture.xwd";
    std::vector<std::string> args = {"-display", display, "-silent", "-out", out.string()};
    if (title.empty()) {
        args.push_back("-root");
    } else {
        args.push_back("-name");
        args.push_back(title);
    }
    TestSupport::RunResult run = TestSupport::Run(program, args, folder);
    if (run.ExitCode != 0) {
        error = "xwd failed: " + run.Err;
        return false;
    }
    return ReadXwd(TestSupport::ReadFile(out), image, error);
}

}  // namespace WindowTest

// The session-bus library that SDL opens keeps a block for the life of the process by design;
// the leak checker is told so, and still reports everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
