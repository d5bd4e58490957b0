// A swap chain of the software device: back buffers that Present hands to a headless window.
#pragma once

#include <d3d9.h>

#include <vector>

#include "DeviceChild.h"

class SoftSurface9;

class SoftSwapChain9 final : public IDirect3DSwapChain9, public DeviceChild {
public:
    // Resolves the back-buffer size and format the way the API does (a windowed chain with a
    // zero size takes the window's client size) and writes them back into params. Fails with
    // the HRESULT the creating call returns.
    static HRESULT Create(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* params, bool implicit,
                          SoftSwapChain9** chain);
    ~SoftSwapChain9() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefChild(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseChild(); }

    HRESULT STDMETHODCALLTYPE Present(const RECT* sourceRect, const RECT* destRect,
                                      HWND destWindowOverride, const RGNDATA* dirtyRegion,
                                      DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetFrontBufferData(IDirect3DSurface9* destSurface) override;
    HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type,
                                            IDirect3DSurface9** backBuffer) override;
    HRESULT STDMETHODCALLTYPE GetRasterStatus(D3DRASTER_STATUS* status) override;
    HRESULT STDMETHODCALLTYPE GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override;
    HRESULT STDMETHODCALLTYPE GetPresentParameters(D3DPRESENT_PARAMETERS* params) override;

    // Present without the call hooks, for the device's own Present.
    HRESULT PresentFrame(HWND destWindowOverride);
    SoftSurface9* BackBuffer(UINT index) const {
        return index < backBuffers_.size() ? backBuffers_[index] : nullptr;
    }
    const D3DPRESENT_PARAMETERS& Params() const { return params_; }

private:
    SoftSwapChain9(IDirect3DDevice9* device, bool implicit);

    D3DPRESENT_PARAMETERS params_{};
    std::vector<SoftSurface9*> backBuffers_;
    std::vector<uint32_t> front_;  // last presented frame, ARGB
};
