// An example's window and the engine on it, started in the order a game follows: the window,
// the device, the screen size and sine tables sprites need, GlobalVB, the text manager and its
// fonts; started again the same way after a resize or a lost device, and shut down in reverse
// when the host goes.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ExampleCommandLine.h"
#include "platform/Window.h"

class LibFont;

namespace Example {

struct HostSettings {
    std::string Title;
    int Width = 640;
    int Height = 480;
    // Most examples only save a frame: no screen needed.
    bool Headless = true;
    bool FullScreen = false;
    // Present at once rather than at the display's refresh, to see what a frame costs.
    bool Immediate = false;
};

class Host {
public:
    Host() = default;
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Opens the window and starts the engine on it. False with a sentence in error.
    bool Start(const HostSettings& settings, std::string& error);
    // After a resize or a device the system took away: the engine's Restore, then everything
    // on the device again, the fonts loaded so far included.
    bool Restart(std::string& error);
    // Loads the font fontbake baked as name into folder and makes it current; loaded again by
    // every Restart. Null with the reason in error.
    LibFont* LoadFont(const std::string& folder, const std::string& name, std::string& error);
    // Presents the frame, writing it to the screenshot first. False when no file was written.
    bool FlipToScreenshot(const Screenshot& shot, std::string& error);

    Platform::Window& Window() { return *window_; }
    // The back buffer's size.
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    // Everything that lives on a started device.
    bool StartOnDevice(std::string& error);

    HostSettings settings_;
    std::unique_ptr<Platform::Window> window_;
    bool started_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::pair<std::string, std::string>> fonts_;  // folder and name, in load order
};

}  // namespace Example
