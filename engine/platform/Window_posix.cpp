// Windows on POSIX desktops, through SDL2. The handle a host gets is a window of the software
// graphics device: it keeps the last frame presented, as a headless window does, and shows
// each frame in the SDL window by copying it to the window's surface.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "Platform.h"
#include "Window.h"
#include "WindowState.h"
#include "d3d9/SoftD3D.h"

#ifdef ENGINE_HAVE_SDL2
#include <SDL.h>
#endif

namespace Platform {

struct Window::Impl {
    WindowState State;
    HWND Handle = nullptr;
    bool Headless = true;
    bool FullScreen = false;
#ifdef ENGINE_HAVE_SDL2
    SDL_Window* Sdl = nullptr;
    // The display's refresh boundaries, counted from the first frame shown at this rate, and
    // the boundary the last frame was shown on.
    int Refresh = 0;  // per second; 0 before the first frame
    int64_t FirstShown = 0;
    int64_t LastBoundary = 0;
    // The framed window's place while it covers the display.
    int WindowedX = 0;
    int WindowedY = 0;
    int WindowedWidth = 0;
    int WindowedHeight = 0;
#endif
};

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
}

#ifdef ENGINE_HAVE_SDL2

// SDL's event queue serves every window of the process: a pump hands each event to the
// window it belongs to, so pumping one window loses nothing of another.
std::map<Uint32, Window::Impl*>& Windows() {
    static std::map<Uint32, Window::Impl*> windows;
    return windows;
}

bool StartVideo(std::string& error) {
    if (!Windows().empty()) return true;
    if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        error =
            "Cannot open a window: there is no display (neither DISPLAY nor WAYLAND_DISPLAY "
            "is set). Run on a desktop, or use a headless window.";
        return false;
    }
    // The host decides what its signals do; SDL would turn them into quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Only a desktop will do: SDL would otherwise fall back to drivers that show nothing.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        char text[512];
        std::snprintf(text, sizeof(text), "Cannot open a window on display \"%s\": %s",
                      IsSet("DISPLAY") ? std::getenv("DISPLAY") : std::getenv("WAYLAND_DISPLAY"),
                      SDL_GetError());
        error = text;
        return false;
    }
    // On X the server's shared-memory images carry frames to the screen as they are; the
    // default would load a GL driver for each window only to copy them.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    return true;
}

void StopVideoIfUnused() {
    if (!Windows().empty()) return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int KeyFromSdl(SDL_Keycode code) {
    if (code >= SDLK_a && code <= SDLK_z) return 'A' + (code - SDLK_a);
    if (code >= SDLK_0 && code <= SDLK_9) return '0' + (code - SDLK_0);
    if (code >= SDLK_F1 && code <= SDLK_F12) return kKeyF1 + (code - SDLK_F1);
    switch (code) {
        case SDLK_BACKSPACE:
            return kKeyBackspace;
        case SDLK_TAB:
            return kKeyTab;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return kKeyEnter;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return kKeyShift;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return kKeyControl;
        case SDLK_LALT:
        case SDLK_RALT:
            return kKeyAlt;
        case SDLK_ESCAPE:
            return kKeyEscape;
        case SDLK_SPACE:
            return kKeySpace;
        case SDLK_LEFT:
            return kKeyLeft;
        case SDLK_UP:
            return kKeyUp;
        case SDLK_RIGHT:
            return kKeyRight;
        case SDLK_DOWN:
            return kKeyDown;
        case SDLK_KP_PLUS:
            return kKeyNumpadAdd;
        case SDLK_KP_MINUS:
            return kKeyNumpadSubtract;
        case SDLK_EQUALS:
        case SDLK_PLUS:
            return kKeyPlus;
        case SDLK_MINUS:
            return kKeyMinus;
        default:
            return 0;
    }
}

// The client size as the system reports it. It is taken from the event rather than asked
// for, so that the renderer, which hears of the change through the same event, is ready for
// the new size when the host presents at it. The device's window follows, so that a windowed
// device picks the size up on its next Reset.
void FollowSize(Window::Impl& w, int width, int height) {
    if (width <= 0 || height <= 0) return;
    w.State.Resize(width, height);
    SoftD3D::SetClientSize(w.Handle, width, height);
}

Window::Impl* Owner(Uint32 windowId) {
    auto it = Windows().find(windowId);
    return it == Windows().end() ? nullptr : it->second;
}

// A window surface has no way to wait for the display's refresh itself, so a frame waits for
// the next refresh boundary by the clock, the boundaries counted from the first frame shown:
// the interval's count of periods after the last frame's boundary, or the first one not yet
// past when the frame comes later than that. Frames thus keep to the display's rhythm however
// long each took to draw, and none waits longer than a period for it.
void Pace(Window::Impl& w, DWORD interval) {
    const int periods = interval == D3DPRESENT_INTERVAL_TWO     ? 2
                        : interval == D3DPRESENT_INTERVAL_THREE ? 3
                        : interval == D3DPRESENT_INTERVAL_FOUR  ? 4
                                                                : 1;
    SDL_DisplayMode mode;
    int refresh = 60;
    if (SDL_GetWindowDisplayMode(w.Sdl, &mode) == 0 && mode.refresh_rate > 0)
        refresh = mode.refresh_rate;
    const int64_t now = Platform::PerformanceCounter();
    const int64_t frequency = Platform::PerformanceFrequency();
    if (refresh != w.Refresh || frequency <= 0 || now < w.FirstShown) {
        // The first frame, or a display of another rate: the count starts again here.
        w.Refresh = refresh;
        w.FirstShown = now;
        w.LastBoundary = 0;
        return;
    }
    // Boundary k lies k * frequency / refresh ticks (rounded down) after the first; worked out
    // in whole seconds and the rest, so that the products stay small however long it runs.
    auto boundary = [&](int64_t k) {
        return w.FirstShown + k / refresh * frequency + k % refresh * frequency / refresh;
    };
    const int64_t since = now - w.FirstShown;
    const int64_t passed = since / frequency * refresh + since % frequency * refresh / frequency;
    int64_t k = w.LastBoundary + periods;
    if (boundary(k) < now) k = boundary(passed) < now ? passed + 1 : passed;
    Platform::WaitForCounter(boundary(k));
    w.LastBoundary = k;
}

bool Show(const SoftD3D::Frame& frame, DWORD interval, void* context) {
    Window::Impl& w = *static_cast<Window::Impl*>(context);
    // The window's surface is asked for each time: the system replaces it on a resize.
    SDL_Surface* screen = SDL_GetWindowSurface(w.Sdl);
    if (screen == nullptr) return false;
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(frame.Pixels.data()), frame.Width, frame.Height, 32, frame.Width * 4,
        SDL_PIXELFORMAT_ARGB8888);
    if (source == nullptr) return false;
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    // A back buffer of another size than the client area is stretched over it, as a
    // windowed device does until the host resets it.
    int copied = screen->w == frame.Width && screen->h == frame.Height
                     ? SDL_BlitSurface(source, nullptr, screen, nullptr)
                     : SDL_BlitScaled(source, nullptr, screen, nullptr);
    SDL_FreeSurface(source);
    if (copied != 0) return false;
    if (interval != D3DPRESENT_INTERVAL_IMMEDIATE) Pace(w, interval);
    return SDL_UpdateWindowSurface(w.Sdl) == 0;
}

// The system drops what a window showed when it is uncovered or resized; the last frame is
// shown again so that a host that is not drawing (paused, or waiting) keeps its picture.
void ShowAgain(Window::Impl& w) {
    SoftD3D::Frame frame;
    if (SoftD3D::GetLastFrame(w.Handle, frame)) Show(frame, D3DPRESENT_INTERVAL_IMMEDIATE, &w);
}

void Dispatch(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:
            for (auto& entry : Windows()) entry.second->State.Close();
            break;
        case SDL_WINDOWEVENT:
            if (Window::Impl* w = Owner(e.window.windowID)) {
                if (e.window.event == SDL_WINDOWEVENT_CLOSE) w->State.Close();
                if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                    FollowSize(*w, e.window.data1, e.window.data2);
                if (e.window.event == SDL_WINDOWEVENT_EXPOSED) ShowAgain(*w);
                if (e.window.event == SDL_WINDOWEVENT_LEAVE) w->State.MouseLeave();
                if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) w->State.ReleaseAllKeys();
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            if (Window::Impl* w = Owner(e.key.windowID)) {
                int key = KeyFromSdl(e.key.keysym.sym);
                if (e.type == SDL_KEYDOWN)
                    w->State.KeyDown(key);
                else
                    w->State.KeyUp(key);
            }
            break;
        case SDL_MOUSEMOTION:
            if (Window::Impl* w = Owner(e.motion.windowID))
                w->State.MouseMove(e.motion.x, e.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (Window::Impl* w = Owner(e.button.windowID)) {
                int button = e.button.button == SDL_BUTTON_LEFT     ? 0
                             : e.button.button == SDL_BUTTON_RIGHT  ? 1
                             : e.button.button == SDL_BUTTON_MIDDLE ? 2
                                                                    : -1;
                w->State.MouseMove(e.button.x, e.button.y);
                w->State.MouseButton(button, e.type == SDL_MOUSEBUTTONDOWN);
            }
            break;
        case SDL_MOUSEWHEEL:
            if (Window::Impl* w = Owner(e.wheel.windowID)) {
                int notches = e.wheel.y;
                if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) notches = -notches;
                w->State.MouseWheel(notches);
            }
            break;
        default:
            break;
    }
}

void DestroySdl(Window::Impl& w) {
    if (w.Sdl != nullptr) {
        Windows().erase(SDL_GetWindowID(w.Sdl));
        SDL_DestroyWindow(w.Sdl);
    }
    w.Sdl = nullptr;
    StopVideoIfUnused();
}

// Full-screen is a borderless window over the whole display, the way a desktop's own
// full-screen windows are: it works with any window manager, or none, and the display mode
// never changes. The framed window's place is kept for the way back.
bool CoverDisplay(Window::Impl& w, bool cover) {
    if (cover == w.FullScreen) return true;
    if (cover) {
        int display = SDL_GetWindowDisplayIndex(w.Sdl);
        SDL_Rect bounds;
        if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) return false;
        SDL_GetWindowPosition(w.Sdl, &w.WindowedX, &w.WindowedY);
        SDL_GetWindowSize(w.Sdl, &w.WindowedWidth, &w.WindowedHeight);
        SDL_SetWindowBordered(w.Sdl, SDL_FALSE);
        SDL_SetWindowSize(w.Sdl, bounds.w, bounds.h);
        SDL_SetWindowPosition(w.Sdl, bounds.x, bounds.y);
        SDL_RaiseWindow(w.Sdl);
    } else {
        SDL_SetWindowBordered(w.Sdl, SDL_TRUE);
        SDL_SetWindowSize(w.Sdl, w.WindowedWidth, w.WindowedHeight);
        SDL_SetWindowPosition(w.Sdl, w.WindowedX, w.WindowedY);
    }
    w.FullScreen = cover;
    return true;
}

bool CreateSdl(Window::Impl& w, const WindowSettings& settings, std::string& error) {
    if (!StartVideo(error)) return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (settings.Resizable) flags |= SDL_WINDOW_RESIZABLE;
    w.Sdl =
        SDL_CreateWindow(settings.Title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                         settings.ClientWidth, settings.ClientHeight, flags);
    if (w.Sdl == nullptr) {
        char text[512];
        std::snprintf(text, sizeof(text), "Cannot open a window: %s", SDL_GetError());
        error = text;
        DestroySdl(w);
        return false;
    }
    Windows()[SDL_GetWindowID(w.Sdl)] = &w;
    if (settings.FullScreen) CoverDisplay(w, true);
    SDL_ShowWindow(w.Sdl);
    return true;
}

#endif  // ENGINE_HAVE_SDL2

}  // namespace

Window::Window(std::unique_ptr<Impl> impl) : impl_(std::move(impl)), state_(&impl_->State) {}

std::unique_ptr<Window> Window::Create(const WindowSettings& settings, std::string& error) {
    if (!CheckWindowSize(settings, error)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->Headless = settings.Headless;
    if (!settings.Headless) {
#ifdef ENGINE_HAVE_SDL2
        if (!CreateSdl(*impl, settings, error)) return nullptr;
#else
        (void)IsSet;
        error = "Cannot open a window: this build has no display support (SDL2 was missing).";
        return nullptr;
#endif
    }
    int width = settings.ClientWidth;
    int height = settings.ClientHeight;
#ifdef ENGINE_HAVE_SDL2
    if (impl->Sdl != nullptr) SDL_GetWindowSize(impl->Sdl, &width, &height);
#endif
    impl->Handle = SoftD3D::CreateHeadlessWindow(width, height);
    if (impl->Handle == nullptr) {
        error = "Cannot open a window: out of memory.";
#ifdef ENGINE_HAVE_SDL2
        if (impl->Sdl != nullptr) DestroySdl(*impl);
#endif
        return nullptr;
    }
    impl->State.Resize(width, height);
#ifdef ENGINE_HAVE_SDL2
    if (impl->Sdl != nullptr) SoftD3D::SetPresenter(impl->Handle, Show, impl.get());
#endif
    return std::unique_ptr<Window>(new Window(std::move(impl)));
}

Window::~Window() {
    // The device's window goes first: a device still on it then fails Present instead of
    // showing into a window that is gone.
    SoftD3D::DestroyHeadlessWindow(impl_->Handle);
#ifdef ENGINE_HAVE_SDL2
    if (impl_->Sdl != nullptr) DestroySdl(*impl_);
#endif
}

HWND Window::Handle() const {
    return impl_->Handle;
}

bool Window::IsHeadless() const {
    return impl_->Headless;
}

void Window::Pump(WindowEvents& events) {
#ifdef ENGINE_HAVE_SDL2
    if (impl_->Sdl != nullptr) {
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) Dispatch(e);
    }
#endif
    impl_->State.TakeEvents(events);
}

bool Window::SetClientSize(int width, int height) {
    if (width <= 0 || height <= 0) return false;
#ifdef ENGINE_HAVE_SDL2
    if (impl_->Sdl != nullptr) {
        SDL_SetWindowSize(impl_->Sdl, width, height);
        return true;
    }
#endif
    // A headless window has no system to ask: the change is there at once.
    impl_->State.Resize(width, height);
    return SoftD3D::SetClientSize(impl_->Handle, width, height);
}

bool Window::SetFullScreen(bool fullScreen) {
#ifdef ENGINE_HAVE_SDL2
    if (impl_->Sdl != nullptr) return CoverDisplay(*impl_, fullScreen);
#endif
    // Without a screen there is nothing to cover.
    return !fullScreen;
}

bool Window::IsFullScreen() const {
    return impl_->FullScreen;
}

void Window::RequestClose() {
#ifdef ENGINE_HAVE_SDL2
    if (impl_->Sdl != nullptr) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        e.window.windowID = SDL_GetWindowID(impl_->Sdl);
        e.window.timestamp = SDL_GetTicks();
        if (SDL_PushEvent(&e) == 1) return;
    }
#endif
    impl_->State.Close();
}

}  // namespace Platform
