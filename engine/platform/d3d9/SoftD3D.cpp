// Headless windows and the test hooks of the software device.
#include "SoftD3D.h"

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "HeadlessWindow.h"
#include "SoftDevice9.h"

namespace {

struct Window {
    int Width = 0;
    int Height = 0;
    SoftD3D::Frame Last;
    SoftD3D::Presenter Show = nullptr;
    void* ShowContext = nullptr;
};

// Handles are the addresses of these records; a map keeps them so a stale or foreign handle
// is recognised instead of dereferenced.
std::map<HWND, std::unique_ptr<Window>>& Windows() {
    static std::map<HWND, std::unique_ptr<Window>> windows;
    return windows;
}

Window* Find(HWND window) {
    auto it = Windows().find(window);
    return it == Windows().end() ? nullptr : it->second.get();
}

struct Hooks {
    std::unordered_map<std::string, uint64_t> Counts;
    std::unordered_map<std::string, HRESULT> Failures;
    SoftD3D::CapsOverrides Caps;
};

Hooks& GetHooks() {
    static Hooks hooks;
    return hooks;
}

}  // namespace

namespace HeadlessWindow {

bool Exists(HWND window) {
    return window != nullptr && Find(window) != nullptr;
}

bool Deliver(HWND window, int width, int height, std::vector<uint32_t>&& pixels, DWORD interval) {
    Window* w = Find(window);
    if (w == nullptr) return false;
    w->Last.Width = width;
    w->Last.Height = height;
    w->Last.Pixels = std::move(pixels);
    w->Last.Number++;
    return w->Show == nullptr || w->Show(w->Last, interval, w->ShowContext);
}

}  // namespace HeadlessWindow

namespace SoftD3D {

HWND CreateHeadlessWindow(int clientWidth, int clientHeight) {
    if (clientWidth <= 0 || clientHeight <= 0) return nullptr;
    auto window = std::make_unique<Window>();
    window->Width = clientWidth;
    window->Height = clientHeight;
    HWND handle = reinterpret_cast<HWND>(window.get());
    Windows()[handle] = std::move(window);
    return handle;
}

void DestroyHeadlessWindow(HWND window) {
    Windows().erase(window);
}

bool GetClientSize(HWND window, int& width, int& height) {
    Window* w = Find(window);
    if (w == nullptr) return false;
    width = w->Width;
    height = w->Height;
    return true;
}

bool SetClientSize(HWND window, int width, int height) {
    Window* w = Find(window);
    if (w == nullptr || width <= 0 || height <= 0) return false;
    w->Width = width;
    w->Height = height;
    return true;
}

bool GetLastFrame(HWND window, Frame& frame) {
    Window* w = Find(window);
    if (w == nullptr || w->Last.Number == 0) return false;
    frame = w->Last;
    return true;
}

bool SetPresenter(HWND window, Presenter presenter, void* context) {
    Window* w = Find(window);
    if (w == nullptr) return false;
    w->Show = presenter;
    w->ShowContext = presenter != nullptr ? context : nullptr;
    return true;
}

uint64_t CallCount(const char* name) {
    if (name == nullptr) return 0;
    auto it = GetHooks().Counts.find(name);
    return it == GetHooks().Counts.end() ? 0 : it->second;
}

void ResetCallCounts() {
    GetHooks().Counts.clear();
}

void FailNextCall(const char* name, HRESULT result) {
    if (name != nullptr) GetHooks().Failures[name] = result;
}

void ClearFailures() {
    GetHooks().Failures.clear();
}

HRESULT EnterCall(const char* interfaceName, const char* method) {
    Hooks& hooks = GetHooks();
    std::string bare(method);
    std::string qualified = std::string(interfaceName) + "::" + bare;
    hooks.Counts[bare]++;
    hooks.Counts[qualified]++;
    if (hooks.Failures.empty()) return S_OK;
    for (const std::string* key : {&qualified, &bare}) {
        auto it = hooks.Failures.find(*key);
        if (it != hooks.Failures.end()) {
            HRESULT result = it->second;
            hooks.Failures.erase(it);
            return result;
        }
    }
    return S_OK;
}

void SetCapsOverrides(const CapsOverrides& overrides) {
    GetHooks().Caps = overrides;
}

const CapsOverrides& GetCapsOverrides() {
    return GetHooks().Caps;
}

bool SetDeviceLost(IDirect3DDevice9* device, bool lost) {
    SoftDevice9* soft = dynamic_cast<SoftDevice9*>(device);
    if (soft == nullptr) return false;
    soft->SetLost(lost);
    return true;
}

void ResetHooks() {
    Hooks& hooks = GetHooks();
    hooks.Counts.clear();
    hooks.Failures.clear();
    hooks.Caps = CapsOverrides();
}

}  // namespace SoftD3D
