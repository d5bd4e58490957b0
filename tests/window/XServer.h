// A private X server for the tests of the desktop window: a virtual frame buffer started on
// a display number it picks itself (so test programs running at once never share one), and
// the screen captures read back from it.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace WindowTest {

// The full path of a program found on PATH, or empty.
std::string FindProgram(const std::string& name);

class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Starts the server with one screen of the size and 24-bit colour; false with error set.
    bool Start(int width, int height, std::string& error);
    // ":N", the value DISPLAY takes.
    const std::string& Display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A started server for a whole test suite, or null with error set.
std::unique_ptr<XServer> StartServer(int width, int height, std::string& error);

struct Image {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;  // 0xFFRRGGBB, row by row
};

// Reads an X window dump of a true-colour screen (what xwd writes); false with error set for
// anything else or a damaged file.
bool ReadXwd(const std::string& bytes, Image& image, std::string& error);

// Dumps the top-level window of that title, or the whole screen for an empty title, with xwd.
bool Capture(const std::string& display, const std::string& title,
             const std::filesystem::path& folder, Image& image, std::string& error);

}  // namespace WindowTest
