// A surface of the software device: a block of texels in one of the stored formats. It is a
// texture level, a swap chain's back buffer, or a standalone render target or plain surface.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

#include "SoftRaster.h"
#include "SoftResource9.h"

class SoftSurface9 final : public SoftResource9<IDirect3DSurface9> {
public:
    // Fails (null) when the texels cannot be allocated. container is the texture or swap
    // chain holding the surface, or null for a standalone surface.
    static SoftSurface9* Create(IDirect3DDevice9* device, DeviceChild* container, UINT width,
                                UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool);

    HRESULT STDMETHODCALLTYPE GetContainer(REFIID riid, void** container) override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect() override;
    HRESULT STDMETHODCALLTYPE GetDC(HDC* hdc) override;
    HRESULT STDMETHODCALLTYPE ReleaseDC(HDC hdc) override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_SURFACE; }

    // The lock without the call hooks, for the texture that holds the surface.
    HRESULT Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT Unlock();

    // Render targets refuse locks, as the system's device does, unless they were asked for
    // lockable (a lockable render target or back buffer): readers copy them into system
    // memory with GetRenderTargetData instead.
    void AllowLocks() { lockable_ = true; }

    const D3DSURFACE_DESC& Desc() const { return desc_; }
    bool IsLocked() const { return locked_; }
    const SoftRaster::Surface& Raster() { return raster_; }
    // The texel row y, for copies between surfaces.
    uint8_t* Row(UINT y) { return bits_.data() + static_cast<size_t>(y) * raster_.Pitch; }
    int BytesPerTexel() const { return bytesPerTexel_; }

protected:
    void* CastTo(REFIID riid) override;

private:
    SoftSurface9(IDirect3DDevice9* device, DeviceChild* container);

    D3DSURFACE_DESC desc_{};
    int bytesPerTexel_ = 0;
    std::vector<uint8_t> bits_;
    SoftRaster::Surface raster_;
    bool locked_ = false;
    bool lockable_ = true;
};
