#include "SoftSwapChain9.h"

#include <new>
#include <utility>

#include "HeadlessWindow.h"
#include "PixelFormats.h"
#include "SoftD3D.h"
#include "SoftDirect3D9.h"
#include "SoftSurface9.h"

#define SWAPCHAIN_ENTER(method)                                             \
    do {                                                                    \
        HRESULT hooked = SoftD3D::EnterCall("IDirect3DSwapChain9", method); \
        if (hooked != S_OK) return hooked;                                  \
    } while (0)

SoftSwapChain9::SoftSwapChain9(IDirect3DDevice9* device, bool implicit)
    : DeviceChild(device, nullptr, implicit) {}

SoftSwapChain9::~SoftSwapChain9() {
    for (SoftSurface9* surface : backBuffers_) delete surface;
}

HRESULT SoftSwapChain9::Create(IDirect3DDevice9* device, D3DPRESENT_PARAMETERS* params,
                               bool implicit, SoftSwapChain9** chain) {
    *chain = nullptr;
    if (params == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *params;
    if (p.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (p.SwapEffect < D3DSWAPEFFECT_DISCARD || p.SwapEffect > D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (p.SwapEffect == D3DSWAPEFFECT_COPY && p.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.Windowed) {
        int width = 0;
        int height = 0;
        if (!SoftD3D::GetClientSize(p.hDeviceWindow, width, height)) return D3DERR_INVALIDCALL;
        if (p.BackBufferWidth == 0) p.BackBufferWidth = static_cast<UINT>(width);
        if (p.BackBufferHeight == 0) p.BackBufferHeight = static_cast<UINT>(height);
        if (p.BackBufferFormat == D3DFMT_UNKNOWN) p.BackBufferFormat = D3DFMT_X8R8G8B8;
        if (p.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
    } else if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (!SoftDirect3D9::IsBackBufferFormat(p.BackBufferFormat)) return D3DERR_NOTAVAILABLE;
    if (p.BackBufferWidth > SoftDirect3D9::kMaxSurfaceSide ||
        p.BackBufferHeight > SoftDirect3D9::kMaxSurfaceSide)
        return D3DERR_INVALIDCALL;

    SoftSwapChain9* created = new (std::nothrow) SoftSwapChain9(device, implicit);
    if (created == nullptr) return E_OUTOFMEMORY;
    created->params_ = p;
    for (UINT i = 0; i < p.BackBufferCount; i++) {
        SoftSurface9* surface =
            SoftSurface9::Create(device, created, p.BackBufferWidth, p.BackBufferHeight,
                                 p.BackBufferFormat, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
        if (surface == nullptr) {
            delete created;
            return D3DERR_OUTOFVIDEOMEMORY;
        }
        if ((p.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0) surface->AllowLocks();
        created->backBuffers_.push_back(surface);
    }
    *params = p;
    if (!implicit) created->AddRefChild();
    *chain = created;
    return D3D_OK;
}

HRESULT SoftSwapChain9::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDirect3DSwapChain9) return E_NOINTERFACE;
    *object = static_cast<IDirect3DSwapChain9*>(this);
    AddRefChild();
    return S_OK;
}

HRESULT SoftSwapChain9::PresentFrame(HWND destWindowOverride) {
    HWND window = destWindowOverride != nullptr ? destWindowOverride : params_.hDeviceWindow;
    if (!HeadlessWindow::Exists(window)) return D3DERR_INVALIDCALL;
    // The frame is complete once the draw calls into it are.
    WaitUntilUnused();
    SoftSurface9* back = backBuffers_[0];
    const D3DSURFACE_DESC& desc = back->Desc();
    std::vector<uint32_t> pixels;
    try {
        pixels.resize(static_cast<size_t>(desc.Width) * desc.Height);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (UINT y = 0; y < desc.Height; y++) {
        uint32_t* out = pixels.data() + static_cast<size_t>(y) * desc.Width;
        PixelFormats::ReadRow(desc.Format, back->Row(y), out, static_cast<int>(desc.Width));
        // The screen shows no alpha: a presented pixel is always opaque.
        for (UINT x = 0; x < desc.Width; x++) out[x] |= 0xFF000000u;
    }
    front_ = pixels;
    // A window that shows frames on a screen can fail to; the frame is still kept.
    if (!HeadlessWindow::Deliver(window, static_cast<int>(desc.Width),
                                 static_cast<int>(desc.Height), std::move(pixels),
                                 params_.PresentationInterval))
        return D3DERR_DRIVERINTERNALERROR;
    return D3D_OK;
}

HRESULT SoftSwapChain9::Present(const RECT* /*sourceRect*/, const RECT* /*destRect*/,
                                HWND destWindowOverride, const RGNDATA* /*dirtyRegion*/,
                                DWORD /*flags*/) {
    SWAPCHAIN_ENTER("Present");
    return PresentFrame(destWindowOverride);
}

HRESULT SoftSwapChain9::GetFrontBufferData(IDirect3DSurface9* destSurface) {
    SWAPCHAIN_ENTER("GetFrontBufferData");
    SoftSurface9* dest = dynamic_cast<SoftSurface9*>(destSurface);
    if (dest == nullptr || dest->Desc().Format != D3DFMT_A8R8G8B8) return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& desc = backBuffers_[0]->Desc();
    if (dest->Desc().Width < desc.Width || dest->Desc().Height < desc.Height)
        return D3DERR_INVALIDCALL;
    for (UINT y = 0; y < desc.Height; y++) {
        uint8_t* row = dest->Row(y);
        for (UINT x = 0; x < desc.Width; x++) {
            uint32_t argb = front_.empty() ? 0xFF000000u : front_[y * desc.Width + x];
            PixelFormats::Write(D3DFMT_A8R8G8B8, row + x * 4, argb);
        }
    }
    return D3D_OK;
}

HRESULT SoftSwapChain9::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE /*type*/,
                                      IDirect3DSurface9** backBuffer) {
    SWAPCHAIN_ENTER("GetBackBuffer");
    if (backBuffer == nullptr) return D3DERR_INVALIDCALL;
    *backBuffer = BackBuffer(index);
    if (*backBuffer == nullptr) return D3DERR_INVALIDCALL;
    (*backBuffer)->AddRef();
    return D3D_OK;
}

HRESULT SoftSwapChain9::GetRasterStatus(D3DRASTER_STATUS* status) {
    SWAPCHAIN_ENTER("GetRasterStatus");
    if (status == nullptr) return D3DERR_INVALIDCALL;
    status->InVBlank = TRUE;
    status->ScanLine = 0;
    return D3D_OK;
}

HRESULT SoftSwapChain9::GetDisplayMode(D3DDISPLAYMODE* mode) {
    SWAPCHAIN_ENTER("GetDisplayMode");
    if (mode == nullptr) return D3DERR_INVALIDCALL;
    if (params_.Windowed) {
        SoftDirect3D9::CurrentDisplayMode(*mode);
    } else {
        mode->Width = params_.BackBufferWidth;
        mode->Height = params_.BackBufferHeight;
        mode->RefreshRate =
            params_.FullScreen_RefreshRateInHz != 0 ? params_.FullScreen_RefreshRateInHz : 60;
        mode->Format = D3DFMT_X8R8G8B8;
    }
    return D3D_OK;
}

HRESULT SoftSwapChain9::GetDevice(IDirect3DDevice9** device) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    *device = OwnerDevice();
    (*device)->AddRef();
    return D3D_OK;
}

HRESULT SoftSwapChain9::GetPresentParameters(D3DPRESENT_PARAMETERS* params) {
    if (params == nullptr) return D3DERR_INVALIDCALL;
    *params = params_;
    return D3D_OK;
}
