// Controls of the software graphics device that have no counterpart in the graphics API:
// headless windows a host can create and read frames back from, and the test hooks (call
// counters, failure injection, capability overrides, a lost device).
//
// Everything here is process-wide and meant for the one thread that owns the device.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

namespace SoftD3D {

// ---- Headless windows ----

// A window without a screen: it has a client size and keeps the last frame presented to it.
// Returns null for a size of zero or below.
HWND CreateHeadlessWindow(int clientWidth, int clientHeight);
// Forgets the window; its handle is invalid afterwards. Devices created on it fail Present.
void DestroyHeadlessWindow(HWND window);
bool GetClientSize(HWND window, int& width, int& height);
// Changes the client size; windowed devices pick it up on their next Reset.
bool SetClientSize(HWND window, int width, int height);

struct Frame {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;  // 0xAARRGGBB, row by row, Width * Height entries
    uint64_t Number = 0;           // how many frames the window has received, this one included
};
// The last frame presented to the window; false when nothing was presented yet.
bool GetLastFrame(HWND window, Frame& frame);

// A window that also shows its frames on a screen hands each one on through a presenter,
// called by Present after the frame is kept, with the swap chain's presentation interval
// (D3DPRESENT_INTERVAL_*). A presenter that returns false makes Present fail. Null removes
// it; destroying the window removes it too.
using Presenter = bool (*)(const Frame& frame, DWORD interval, void* context);
bool SetPresenter(HWND window, Presenter presenter, void* context);

// ---- Call counters and failure injection ----

// A call is named either by its bare method ("Present", "LockRect") or qualified by its
// interface ("IDirect3DVertexBuffer9::Lock"); both names are counted on every call.
uint64_t CallCount(const char* name);
void ResetCallCounts();

// The next call of the named method returns result instead of doing its work (then the
// injection is gone). A qualified name wins over a bare one when both are armed.
// "Direct3DCreate9" returns null when armed.
void FailNextCall(const char* name, HRESULT result);
void ClearFailures();

// Counts the call and answers an injected failure, or S_OK. The stand-in's own entry points
// call it first thing; image helpers built on the device may do the same. This form looks the
// names up on every call: hot entry points use SOFTD3D_ENTER below.
HRESULT EnterCall(const char* interfaceName, const char* method);

// One entry point's two counter ids, fixed when the call site first runs, so that a call
// costs two increments and no lookup unless a failure is armed.
struct CallSite {
    CallSite(const char* interfaceName, const char* method);
    uint32_t Bare;
    uint32_t Qualified;
};

namespace detail {
constexpr uint32_t kMaxNames = 2048;
extern uint64_t Counts[kMaxNames];
extern uint32_t Armed;  // failures waiting to be answered
HRESULT AnswerArmed(const CallSite& site);
}  // namespace detail

inline HRESULT EnterCall(const CallSite& site) {
    detail::Counts[site.Bare]++;
    detail::Counts[site.Qualified]++;
    return detail::Armed == 0 ? S_OK : detail::AnswerArmed(site);
}

}  // namespace SoftD3D

// EnterCall for a call site whose interface and method names never change.
#define SOFTD3D_ENTER(interfaceName, method)                                 \
    ::SoftD3D::EnterCall([]() -> const ::SoftD3D::CallSite& {                \
        static const ::SoftD3D::CallSite softD3DSite(interfaceName, method); \
        return softD3DSite;                                                  \
    }())

namespace SoftD3D {

// ---- Capabilities ----

struct CapsOverrides {
    bool Pow2Only = false;                           // texture sides must be powers of two
    bool SquareOnly = false;                         // textures must be square
    bool NoHardwareVertexProcessing = false;         // hardware vertex processing refused
    DWORD PixelShaderVersion = D3DPS_VERSION(3, 0);  // reported pixel shader version
};
void SetCapsOverrides(const CapsOverrides& overrides);
const CapsOverrides& GetCapsOverrides();

// ---- Threads ----

// Devices created from now on draw with this many threads: 1 draws on the calling thread, as
// the device is called; more hand draw calls to that many worker threads, which each draw every
// call into their own rows of the target, leaving the same pixels. 0 returns to the default:
// the environment variable ENGINE_RENDER_THREADS where it holds a count from 1 to 64, else the
// processor's core count.
void SetThreadCount(int threads);
// The count a device created now takes.
int ThreadCount();
// Changes a device's count (0: the default) once what it has queued is drawn, so that one
// device can be measured at several counts; false for a device not of this stand-in.
bool SetDeviceThreadCount(IDirect3DDevice9* device, int threads);
// The count a device draws with now: 1 where it could not start its threads.
int DeviceThreadCount(IDirect3DDevice9* device);

// ---- Lost device ----

// A lost device answers Present with D3DERR_DEVICELOST and TestCooperativeLevel with
// D3DERR_DEVICENOTRESET until Reset succeeds or it is destroyed.
bool SetDeviceLost(IDirect3DDevice9* device, bool lost);

// Counters, injected failures and capability overrides back to their defaults (windows stay).
void ResetHooks();

}  // namespace SoftD3D
