/// @file
/// A window on the desktop for a host to draw into: created with a title and a client size,
/// pumped once a frame for its events, read for keys and the mouse, destroyed with the object.
/// Window_win32.cpp makes a plain system window; Window_posix.cpp an SDL window whose frames
/// the software graphics device shows. Handle() is what the graphics device is created on.
///
/// A headless window has no screen: it keeps the last frame presented to it and never has
/// events. Hosts fall back to one where no display is available, and tests use it.
///
/// Windows belong to the thread that created them; nothing here is locked.
#pragma once

#include <memory>
#include <string>
#include <vector>

/// The handle type of the graphics API, declared as the system headers declare it.
struct HWND__;
typedef HWND__* HWND;

namespace Platform {

class WindowState;

/// Key codes: the system's virtual-key numbering on every platform. Letters and digits are
/// their upper-case ASCII codes ('W', '7').
enum Key : int {
    kKeyBackspace = 0x08,
    kKeyTab = 0x09,
    kKeyEnter = 0x0D,
    kKeyShift = 0x10,
    kKeyControl = 0x11,
    kKeyAlt = 0x12,
    kKeyEscape = 0x1B,
    kKeySpace = 0x20,
    kKeyLeft = 0x25,
    kKeyUp = 0x26,
    kKeyRight = 0x27,
    kKeyDown = 0x28,
    kKeyNumpadAdd = 0x6B,
    kKeyNumpadSubtract = 0x6D,
    kKeyF1 = 0x70,
    kKeyF11 = 0x7A,
    kKeyF12 = 0x7B,
    kKeyPlus = 0xBB,  ///< the key with '=' and '+' on it
    kKeyMinus = 0xBD,
};

struct WindowSettings {
    std::string Title;
    int ClientWidth = 800;
    int ClientHeight = 600;
    /// Borderless and covering the display; the client size becomes the display's size.
    bool FullScreen = false;
    /// The user may drag the window's edges; the host sees Resized and resets its device.
    bool Resizable = true;
    /// No screen at all (see above); never fails for a positive size.
    bool Headless = false;
};

struct WindowEvents {
    /// The user asked to close the window (close button, the system's close key, or
    /// RequestClose). The window stays open until the host destroys it.
    bool CloseRequested = false;
    /// The client size changed since the last pump: reset the device to follow it.
    bool Resized = false;
    int ClientWidth = 0;
    int ClientHeight = 0;
    /// Keys pressed since the last pump, in order, auto-repeat included.
    std::vector<int> KeysPressed;
};

struct MouseState {
    int X = 0;  ///< client coordinates of the last position seen inside the window
    int Y = 0;
    bool Inside = false;
    bool Left = false;
    bool Right = false;
    bool Middle = false;
    int Wheel = 0;  ///< notches turned since the last pump, away from the user positive
};

class Window {
public:
    /// Null when the window cannot be made; error then says why in a sentence a user can act
    /// on (no display, no video driver, a size of zero or below).
    static std::unique_ptr<Window> Create(const WindowSettings& settings, std::string& error);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    /// The handle the graphics device is created on and presents to.
    HWND Handle() const;
    bool IsHeadless() const;

    /// Handles every pending event of the window and reports what happened since the last
    /// pump. Call it once a frame; keys and the mouse below reflect the events pumped so far.
    void Pump(WindowEvents& events);
    bool IsKeyDown(int key) const;
    MouseState Mouse() const;

    void GetClientSize(int& width, int& height) const;
    /// Asks the system for a new client size; the next pump reports the change.
    bool SetClientSize(int width, int height);
    /// Switches between a window with a frame and a borderless one covering the display.
    bool SetFullScreen(bool fullScreen);
    bool IsFullScreen() const;
    /// Delivers a close request through the system's own event queue, as the close button does.
    void RequestClose();

    struct Impl;

private:
    explicit Window(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    WindowState* state_;  ///< the part of impl_ that every system keeps alike
};

}  // namespace Platform
