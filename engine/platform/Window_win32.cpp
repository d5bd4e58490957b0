// Windows on Windows: a plain system window and its message loop. The handle a host gets is
// the system window itself, which Direct3D presents to.
#include <windows.h>

#include <cstdio>

#include "Window.h"
#include "WindowState.h"

namespace Platform {

struct Window::Impl {
    WindowState State;
    HWND Handle = nullptr;
    bool Headless = false;
    bool FullScreen = false;
    bool TrackingMouse = false;
    DWORD WindowedStyle = 0;
    RECT WindowedRect{};  // where the framed window was before it covered the display
};

namespace {

const char kClassName[] = "EngineWindow";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* w = reinterpret_cast<Window::Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (w == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
    WindowState& state = w->State;
    switch (message) {
        case WM_CLOSE:
            // The host decides: it sees CloseRequested and destroys the window itself.
            state.Close();
            return 0;
        case WM_SIZE:
            if (wparam != SIZE_MINIMIZED && LOWORD(lparam) > 0 && HIWORD(lparam) > 0)
                state.Resize(LOWORD(lparam), HIWORD(lparam));
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            state.KeyDown(static_cast<int>(wparam));
            break;  // the system keys (Alt+F4) still need their default handling
        case WM_KEYUP:
        case WM_SYSKEYUP:
            state.KeyUp(static_cast<int>(wparam));
            break;
        case WM_KILLFOCUS:
            state.ReleaseAllKeys();
            break;
        case WM_MOUSEMOVE:
            if (!w->TrackingMouse) {
                TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
                w->TrackingMouse = TrackMouseEvent(&track) != FALSE;
            }
            state.MouseMove(static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)));
            return 0;
        case WM_MOUSELEAVE:
            w->TrackingMouse = false;
            state.MouseLeave();
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            state.MouseButton(0, message == WM_LBUTTONDOWN);
            return 0;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            state.MouseButton(1, message == WM_RBUTTONDOWN);
            return 0;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            state.MouseButton(2, message == WM_MBUTTONDOWN);
            return 0;
        case WM_MOUSEWHEEL:
            state.MouseWheel(GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool RegisterClassOnce(std::string& error) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        char text[256];
        std::snprintf(text, sizeof(text), "Cannot open a window: window class refused (error %lu).",
                      GetLastError());
        error = text;
        return false;
    }
    registered = true;
    return true;
}

DWORD FramedStyle(bool resizable) {
    DWORD style = WS_OVERLAPPEDWINDOW;
    if (!resizable) style &= ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
    return style;
}

RECT MonitorRect(HWND hwnd) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoA(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), &info);
    return info.rcMonitor;
}

void ReadClientSize(Window::Impl& w) {
    RECT client{};
    GetClientRect(w.Handle, &client);
    if (client.right > 0 && client.bottom > 0) w.State.Resize(client.right, client.bottom);
}

}  // namespace

Window::Window(std::unique_ptr<Impl> impl) : impl_(std::move(impl)), state_(&impl_->State) {}

std::unique_ptr<Window> Window::Create(const WindowSettings& settings, std::string& error) {
    if (!CheckWindowSize(settings, error)) return nullptr;
    if (!RegisterClassOnce(error)) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->Headless = settings.Headless;
    // A headless window has no frame: a framed window is never narrower than its title bar
    // needs, which would give a small one a wider client area than asked for.
    impl->WindowedStyle = settings.Headless ? WS_POPUP : FramedStyle(settings.Resizable);
    RECT rect{0, 0, settings.ClientWidth, settings.ClientHeight};
    AdjustWindowRect(&rect, impl->WindowedStyle, FALSE);
    impl->Handle =
        CreateWindowExA(0, kClassName, settings.Title.c_str(), impl->WindowedStyle, CW_USEDEFAULT,
                        CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (impl->Handle == nullptr) {
        char text[256];
        std::snprintf(text, sizeof(text), "Cannot open a window (error %lu).", GetLastError());
        error = text;
        return nullptr;
    }
    SetWindowLongPtrA(impl->Handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(impl.get()));
    ReadClientSize(*impl);
    std::unique_ptr<Window> window(new Window(std::move(impl)));
    if (settings.FullScreen) window->SetFullScreen(true);
    // A headless window is never shown: Direct3D still renders to it.
    if (!settings.Headless) ShowWindow(window->impl_->Handle, SW_SHOW);
    return window;
}

Window::~Window() {
    SetWindowLongPtrA(impl_->Handle, GWLP_USERDATA, 0);
    DestroyWindow(impl_->Handle);
}

HWND Window::Handle() const {
    return impl_->Handle;
}

bool Window::IsHeadless() const {
    return impl_->Headless;
}

void Window::Pump(WindowEvents& events) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    impl_->State.TakeEvents(events);
}

bool Window::SetClientSize(int width, int height) {
    if (width <= 0 || height <= 0 || impl_->FullScreen) return false;
    RECT rect{0, 0, width, height};
    AdjustWindowRect(&rect, impl_->WindowedStyle, FALSE);
    return SetWindowPos(impl_->Handle, nullptr, 0, 0, rect.right - rect.left,
                        rect.bottom - rect.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

bool Window::SetFullScreen(bool fullScreen) {
    Impl& w = *impl_;
    if (fullScreen == w.FullScreen) return true;
    BOOL moved;
    if (fullScreen) {
        GetWindowRect(w.Handle, &w.WindowedRect);
        RECT screen = MonitorRect(w.Handle);
        SetWindowLongPtrA(w.Handle, GWL_STYLE,
                          WS_POPUP | (GetWindowLongPtrA(w.Handle, GWL_STYLE) & WS_VISIBLE));
        moved =
            SetWindowPos(w.Handle, HWND_TOP, screen.left, screen.top, screen.right - screen.left,
                         screen.bottom - screen.top, SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    } else {
        SetWindowLongPtrA(w.Handle, GWL_STYLE,
                          w.WindowedStyle | (GetWindowLongPtrA(w.Handle, GWL_STYLE) & WS_VISIBLE));
        const RECT& r = w.WindowedRect;
        moved = SetWindowPos(w.Handle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                             SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    w.FullScreen = fullScreen;
    ReadClientSize(w);
    return moved != FALSE;
}

bool Window::IsFullScreen() const {
    return impl_->FullScreen;
}

void Window::RequestClose() {
    if (!PostMessageA(impl_->Handle, WM_CLOSE, 0, 0)) impl_->State.Close();
}

}  // namespace Platform
