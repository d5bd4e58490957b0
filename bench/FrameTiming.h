// Shared by the renderer benchmarks: one frame timed until the device has drawn it, and the
// median of a run's frame times.
#pragma once

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <vector>

#include "render/GD3D9.h"

// Returns once every draw call so far is in the back buffer: the software device draws on
// worker threads, and a copy out of the back buffer waits for them. The back buffer cannot be
// locked, and one pixel copied into a render target of its own costs next to nothing.
inline void WaitForFrame(IDirect3DDevice9* device) {
    IDirect3DSurface9* back = nullptr;
    if (device == nullptr || device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK)
        return;
    D3DSURFACE_DESC desc;
    IDirect3DSurface9* pixel = nullptr;
    if (back->GetDesc(&desc) == D3D_OK &&
        device->CreateRenderTarget(1, 1, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &pixel,
                                   nullptr) == D3D_OK) {
        const RECT one = {0, 0, 1, 1};
        device->StretchRect(back, &one, pixel, nullptr, D3DTEXF_NONE);
        pixel->Release();
    }
    back->Release();
}

// The processor time of one frame drawn between BeginScene and EndScene, on every thread of
// the process: a measure of the work, fair on a shared machine.
inline double FrameSeconds(const std::function<void()>& frame) {
    GD3D9& engine = GetD3DEngine();
    const std::clock_t start = std::clock();
    engine.BeginScene();
    frame();
    engine.EndScene();
    WaitForFrame(engine.PDevice);
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

// The same frame's wall-clock time: what a frame spread over several threads takes. Only
// meaningful on a quiet machine.
inline double FrameWallSeconds(const std::function<void()>& frame) {
    GD3D9& engine = GetD3DEngine();
    const auto start = std::chrono::steady_clock::now();
    engine.BeginScene();
    frame();
    engine.EndScene();
    WaitForFrame(engine.PDevice);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
