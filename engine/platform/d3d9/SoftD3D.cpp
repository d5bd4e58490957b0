// Headless windows and the test hooks of the software device.
#include "SoftD3D.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
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

// Counter ids by name. Names come from call sites and armed failures; a lookup for a name
// nobody uses finds nothing and adds nothing.
struct Hooks {
    std::unordered_map<std::string, uint32_t> Ids;
    bool Failing[SoftD3D::detail::kMaxNames] = {};
    HRESULT Failure[SoftD3D::detail::kMaxNames] = {};
    SoftD3D::CapsOverrides Caps;
};

Hooks& GetHooks() {
    static Hooks hooks;
    return hooks;
}

// Id 0 is left unnamed: it takes the counts of names past the table's end.
uint32_t Intern(const std::string& name) {
    Hooks& hooks = GetHooks();
    auto it = hooks.Ids.find(name);
    if (it != hooks.Ids.end()) return it->second;
    const uint32_t id = uint32_t(hooks.Ids.size()) + 1;
    if (id >= SoftD3D::detail::kMaxNames) return 0;
    hooks.Ids.emplace(name, id);
    return id;
}

bool Lookup(const char* name, uint32_t& id) {
    if (name == nullptr) return false;
    const Hooks& hooks = GetHooks();
    auto it = hooks.Ids.find(name);
    if (it == hooks.Ids.end()) return false;
    id = it->second;
    return true;
}

std::string Qualify(const char* interfaceName, const char* method) {
    return std::string(interfaceName) + "::" + method;
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

uint64_t detail::Counts[detail::kMaxNames];
uint32_t detail::Armed = 0;

CallSite::CallSite(const char* interfaceName, const char* method)
    : Bare(Intern(method)), Qualified(Intern(Qualify(interfaceName, method))) {}

HRESULT detail::AnswerArmed(const CallSite& site) {
    Hooks& hooks = GetHooks();
    for (uint32_t id : {site.Qualified, site.Bare}) {
        if (id != 0 && hooks.Failing[id]) {
            hooks.Failing[id] = false;
            Armed--;
            return hooks.Failure[id];
        }
    }
    return S_OK;
}

uint64_t CallCount(const char* name) {
    uint32_t id = 0;
    return Lookup(name, id) ? detail::Counts[id] : 0;
}

void ResetCallCounts() {
    std::fill(std::begin(detail::Counts), std::end(detail::Counts), 0);
}

void FailNextCall(const char* name, HRESULT result) {
    if (name == nullptr) return;
    const uint32_t id = Intern(name);
    if (id == 0) return;
    Hooks& hooks = GetHooks();
    if (!hooks.Failing[id]) detail::Armed++;
    hooks.Failing[id] = true;
    hooks.Failure[id] = result;
}

void ClearFailures() {
    Hooks& hooks = GetHooks();
    std::fill(std::begin(hooks.Failing), std::end(hooks.Failing), false);
    detail::Armed = 0;
}

HRESULT EnterCall(const char* interfaceName, const char* method) {
    return EnterCall(CallSite(interfaceName, method));
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

namespace {
int threadOverride = 0;
}  // namespace

void SetThreadCount(int threads) {
    threadOverride = std::clamp(threads, 0, 64);
}

int ThreadCount() {
    if (threadOverride > 0) return threadOverride;
    if (const char* text = std::getenv("ENGINE_RENDER_THREADS")) {
        char* end = nullptr;
        const long count = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && count >= 1 && count <= 64) return int(count);
    }
    return std::clamp(int(std::thread::hardware_concurrency()), 1, 64);
}

bool SetDeviceThreadCount(IDirect3DDevice9* device, int threads) {
    SoftDevice9* soft = dynamic_cast<SoftDevice9*>(device);
    if (soft == nullptr) return false;
    soft->SetThreads(threads > 0 ? std::min(threads, 64) : ThreadCount());
    return true;
}

int DeviceThreadCount(IDirect3DDevice9* device) {
    SoftDevice9* soft = dynamic_cast<SoftDevice9*>(device);
    return soft != nullptr ? soft->Threads() : 0;
}

void ResetHooks() {
    ResetCallCounts();
    ClearFailures();
    GetHooks().Caps = CapsOverrides();
}

}  // namespace SoftD3D
