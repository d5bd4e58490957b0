#include "WindowState.h"

namespace Platform {

bool CheckWindowSize(const WindowSettings& settings, std::string& error) {
    if (settings.ClientWidth > 0 && settings.ClientHeight > 0) return true;
    error = "Cannot open a window: its client size must be at least one pixel each way.";
    return false;
}

// What every system's window answers alike, from the events it has recorded.

bool Window::IsKeyDown(int key) const {
    return state_->IsKeyDown(key);
}

MouseState Window::Mouse() const {
    return state_->Mouse();
}

void Window::GetClientSize(int& width, int& height) const {
    width = state_->Width();
    height = state_->Height();
}

void WindowState::Resize(int width, int height) {
    width_ = width;
    height_ = height;
    // The size a window is created with is not news to its host.
    if (reportedWidth_ == 0 && reportedHeight_ == 0) {
        reportedWidth_ = width;
        reportedHeight_ = height;
    }
}

void WindowState::KeyDown(int key) {
    if (key <= 0 || key >= kKeys) return;
    down_[key] = true;
    // A host reading keys only once a frame must not be flooded by a key held down.
    if (pressed_.size() < 256) pressed_.push_back(key);
}

void WindowState::KeyUp(int key) {
    if (key > 0 && key < kKeys) down_[key] = false;
}

void WindowState::MouseMove(int x, int y) {
    mouse_.X = x;
    mouse_.Y = y;
    mouse_.Inside = true;
}

void WindowState::MouseButton(int button, bool down) {
    if (button == 0) mouse_.Left = down;
    if (button == 1) mouse_.Right = down;
    if (button == 2) mouse_.Middle = down;
}

void WindowState::TakeEvents(WindowEvents& events) {
    events.CloseRequested = closeRequested_;
    closeRequested_ = false;
    events.Resized = width_ != reportedWidth_ || height_ != reportedHeight_;
    reportedWidth_ = width_;
    reportedHeight_ = height_;
    events.ClientWidth = width_;
    events.ClientHeight = height_;
    events.KeysPressed.swap(pressed_);
    pressed_.clear();
    mouse_.Wheel = pendingWheel_;
    pendingWheel_ = 0;
}

}  // namespace Platform
