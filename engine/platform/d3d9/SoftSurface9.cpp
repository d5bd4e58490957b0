#include "SoftSurface9.h"

#include <new>

#include "PixelFormats.h"
#include "SoftD3D.h"

#define SURFACE_ENTER(method)                                        \
    do {                                                             \
        HRESULT hooked = SOFTD3D_ENTER("IDirect3DSurface9", method); \
        if (hooked != S_OK) return hooked;                           \
    } while (0)

SoftSurface9::SoftSurface9(IDirect3DDevice9* device, DeviceChild* container)
    : SoftResource9<IDirect3DSurface9>(device, container, false) {}

SoftSurface9* SoftSurface9::Create(IDirect3DDevice9* device, DeviceChild* container, UINT width,
                                   UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool) {
    int bpp = PixelFormats::BytesPerPixel(format);
    if (bpp == 0 || width == 0 || height == 0) return nullptr;
    SoftSurface9* surface = new (std::nothrow) SoftSurface9(device, container);
    if (surface == nullptr) return nullptr;
    // Rows start on 4-byte boundaries, as on real hardware, so callers that ignore the pitch
    // show up on narrow 16- and 8-bit surfaces.
    size_t pitch = (static_cast<size_t>(width) * bpp + 3) & ~static_cast<size_t>(3);
    try {
        surface->bits_.assign(pitch * height, 0);
    } catch (const std::bad_alloc&) {
        delete surface;
        return nullptr;
    }
    surface->bytesPerTexel_ = bpp;
    surface->desc_.Format = format;
    surface->desc_.Type = D3DRTYPE_SURFACE;
    surface->desc_.Usage = usage;
    surface->lockable_ = (usage & D3DUSAGE_RENDERTARGET) == 0;
    surface->desc_.Pool = pool;
    surface->desc_.MultiSampleType = D3DMULTISAMPLE_NONE;
    surface->desc_.MultiSampleQuality = 0;
    surface->desc_.Width = width;
    surface->desc_.Height = height;
    surface->raster_.Bits = surface->bits_.data();
    surface->raster_.Pitch = static_cast<int>(pitch);
    surface->raster_.Width = static_cast<int>(width);
    surface->raster_.Height = static_cast<int>(height);
    surface->raster_.Format = static_cast<uint32_t>(format);
    return surface;
}

void* SoftSurface9::CastTo(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9)
        return static_cast<IDirect3DSurface9*>(this);
    return nullptr;
}

HRESULT SoftSurface9::GetContainer(REFIID riid, void** container) {
    SURFACE_ENTER("GetContainer");
    if (container == nullptr) return D3DERR_INVALIDCALL;
    *container = nullptr;
    // A standalone surface's container is its device.
    IUnknown* holder = Container() != nullptr ? dynamic_cast<IUnknown*>(Container())
                                              : static_cast<IUnknown*>(OwnerDevice());
    if (holder == nullptr) return E_NOINTERFACE;
    return holder->QueryInterface(riid, container);
}

HRESULT SoftSurface9::GetDesc(D3DSURFACE_DESC* desc) {
    SURFACE_ENTER("GetDesc");
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}

HRESULT SoftSurface9::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    SURFACE_ENTER("LockRect");
    return Lock(locked, rect, flags);
}

HRESULT SoftSurface9::UnlockRect() {
    SURFACE_ENTER("UnlockRect");
    return Unlock();
}

HRESULT SoftSurface9::Lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (locked == nullptr || locked_ || !lockable_) return D3DERR_INVALIDCALL;
    // Discarding is for dynamic textures only.
    if ((flags & D3DLOCK_DISCARD) != 0 && (desc_.Usage & D3DUSAGE_DYNAMIC) == 0)
        return D3DERR_INVALIDCALL;
    size_t offset = 0;
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || static_cast<UINT>(rect->right) > desc_.Width ||
            static_cast<UINT>(rect->bottom) > desc_.Height)
            return D3DERR_INVALIDCALL;
        offset = static_cast<size_t>(rect->top) * raster_.Pitch +
                 static_cast<size_t>(rect->left) * bytesPerTexel_;
    }
    // The texels are the caller's until the unlock: draw calls queued earlier finish first.
    WaitUntilUnused();
    locked->Pitch = raster_.Pitch;
    locked->pBits = bits_.data() + offset;
    locked_ = true;
    return D3D_OK;
}

HRESULT SoftSurface9::Unlock() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    return D3D_OK;
}

HRESULT SoftSurface9::GetDC(HDC* hdc) {
    SURFACE_ENTER("GetDC");
    if (hdc != nullptr) *hdc = nullptr;
    return D3DERR_INVALIDCALL;
}

HRESULT SoftSurface9::ReleaseDC(HDC /*hdc*/) {
    SURFACE_ENTER("ReleaseDC");
    return D3DERR_INVALIDCALL;
}
