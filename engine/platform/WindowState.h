// What a window has seen of its events, kept the same way on every system: the system's
// event handler records into it, Window::Pump hands it out.
#pragma once

#include <bitset>
#include <string>

#include "Window.h"

namespace Platform {

// False with the message for a client size that no window can have.
bool CheckWindowSize(const WindowSettings& settings, std::string& error);

class WindowState {
public:
    void Resize(int width, int height);
    void Close() { closeRequested_ = true; }
    void KeyDown(int key);
    void KeyUp(int key);
    // Focus lost: the system will not report the releases, so no key stays down.
    void ReleaseAllKeys() { down_.reset(); }
    void MouseMove(int x, int y);
    void MouseLeave() { mouse_.Inside = false; }
    void MouseButton(int button, bool down);  // 0 left, 1 right, 2 middle
    void MouseWheel(int notches) { pendingWheel_ += notches; }

    // Moves everything since the last pump into events.
    void TakeEvents(WindowEvents& events);
    bool IsKeyDown(int key) const { return key >= 0 && key < kKeys && down_[key]; }
    const MouseState& Mouse() const { return mouse_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    static constexpr int kKeys = 256;
    bool closeRequested_ = false;
    std::vector<int> pressed_;
    std::bitset<kKeys> down_;
    MouseState mouse_;
    int pendingWheel_ = 0;
    int width_ = 0;
    int height_ = 0;
    int reportedWidth_ = 0;
    int reportedHeight_ = 0;
};

}  // namespace Platform
