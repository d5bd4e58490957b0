// The device's lifetime, swap chains, resource creation and surface copies.
#include "SoftDevice9.h"

#include <cstring>
#include <new>
#include <system_error>

#include "HeadlessWindow.h"
#include "PixelFormats.h"
#include "SoftBuffer9.h"
#include "SoftD3D.h"
#include "SoftDirect3D9.h"
#include "SoftSurface9.h"
#include "SoftSwapChain9.h"
#include "SoftTexture9.h"

#define DEVICE_ENTER(method)                                        \
    do {                                                            \
        HRESULT hooked = SOFTD3D_ENTER("IDirect3DDevice9", method); \
        if (hooked != S_OK) return hooked;                          \
    } while (0)

namespace {

bool IsPowerOfTwo(UINT value) {
    return value != 0 && (value & (value - 1)) == 0;
}

SoftSurface9* AsSurface(IDirect3DSurface9* surface) {
    return dynamic_cast<SoftSurface9*>(surface);
}

// Copies a rectangle between two surfaces of one format.
void CopyRect(SoftSurface9* source, const RECT& from, SoftSurface9* dest, LONG toX, LONG toY) {
    int bpp = source->BytesPerTexel();
    size_t bytes = static_cast<size_t>(from.right - from.left) * bpp;
    for (LONG y = from.top; y < from.bottom; y++) {
        const uint8_t* src =
            source->Row(static_cast<UINT>(y)) + static_cast<size_t>(from.left) * bpp;
        uint8_t* dst =
            dest->Row(static_cast<UINT>(toY + y - from.top)) + static_cast<size_t>(toX) * bpp;
        std::memmove(dst, src, bytes);
    }
}

bool RectInside(const RECT& rect, const D3DSURFACE_DESC& desc) {
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
           static_cast<UINT>(rect.right) <= desc.Width &&
           static_cast<UINT>(rect.bottom) <= desc.Height;
}

RECT WholeRect(const D3DSURFACE_DESC& desc) {
    RECT rect;
    SetRect(&rect, 0, 0, static_cast<int>(desc.Width), static_cast<int>(desc.Height));
    return rect;
}

}  // namespace

SoftDevice9::SoftDevice9(SoftDirect3D9* d3d, D3DDEVTYPE deviceType, HWND focusWindow,
                         DWORD behaviorFlags)
    : d3d_(d3d) {
    d3d_->AddRef();
    creation_.AdapterOrdinal = D3DADAPTER_DEFAULT;
    creation_.DeviceType = deviceType;
    creation_.hFocusWindow = focusWindow;
    creation_.BehaviorFlags = behaviorFlags;
    softwareProcessing_ = (behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
    threads_ = SoftD3D::ThreadCount();
}

SoftDevice9::~SoftDevice9() {
    // The workers finish before anything they draw from or into goes.
    queue_.reset();
    ReleaseBindings();
    delete implicit_;
    d3d_->Release();
}

HRESULT SoftDevice9::Create(SoftDirect3D9* d3d, D3DDEVTYPE deviceType, HWND focusWindow,
                            DWORD behaviorFlags, D3DPRESENT_PARAMETERS* params,
                            IDirect3DDevice9** device) {
    D3DPRESENT_PARAMETERS p = *params;
    if (p.hDeviceWindow == nullptr) p.hDeviceWindow = focusWindow;
    if (!HeadlessWindow::Exists(p.hDeviceWindow)) return D3DERR_INVALIDCALL;
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    SoftDevice9* created =
        new (std::nothrow) SoftDevice9(d3d, deviceType, focusWindow, behaviorFlags);
    if (created == nullptr) return E_OUTOFMEMORY;
    HRESULT result = SoftSwapChain9::Create(created, &p, true, &created->implicit_);
    if (FAILED(result)) {
        created->refs_ = 0;
        delete created;
        return result;
    }
    // Callers read the chosen back-buffer size and format back from their own parameters.
    p.hDeviceWindow = params->hDeviceWindow;
    *params = p;
    created->SetDefaultState();
    created->AttachImplicitTarget();
    *device = created;
    return D3D_OK;
}

SoftRaster::Queue* SoftDevice9::Workers() {
    if (threads_ <= 1) return nullptr;
    if (queue_ == nullptr) {
        // Without threads or memory for them the device draws on its caller's thread.
        try {
            queue_ = std::make_unique<SoftRaster::Queue>(threads_, lastTicket_);
        } catch (const std::bad_alloc&) {
            threads_ = 1;
        } catch (const std::system_error&) {
            threads_ = 1;
        }
    }
    return queue_.get();
}

void SoftDevice9::SetThreads(int threads) {
    if (threads == threads_) return;
    if (queue_ != nullptr) {
        // What was queued is drawn before anything is drawn another way. Going down to one
        // thread keeps the workers, idle, for a return to their count: a device measured at
        // both in turn does not start threads and fill fresh memory for every frame.
        queue_->Finish();
        if (threads > 1 && queue_->Threads() != threads) {
            // Objects keep the tickets of the calls that used them; a new queue goes on from
            // there.
            lastTicket_ = queue_->Last();
            queue_.reset();
        }
    }
    threads_ = threads;
}

void SoftDevice9::WaitUntilUnused(const DeviceChild* a, const DeviceChild* b) {
    if (a != nullptr) a->WaitUntilUnused();
    if (b != nullptr) b->WaitUntilUnused();
}

void SoftDevice9::ReleaseBindings() {
    for (SoftTexture9*& texture : textures_) {
        if (texture != nullptr) texture->Unbind();
        texture = nullptr;
    }
    if (stream_ != nullptr) stream_->Unbind();
    stream_ = nullptr;
    if (indices_ != nullptr) indices_->Unbind();
    indices_ = nullptr;
    if (renderTarget_ != nullptr) renderTarget_->Unbind();
    renderTarget_ = nullptr;
}

void SoftDevice9::BindRenderTarget(SoftSurface9* target) {
    target->Bind();
    if (renderTarget_ != nullptr) renderTarget_->Unbind();
    renderTarget_ = target;
    // A new render target brings a viewport that covers all of it.
    viewport_.X = 0;
    viewport_.Y = 0;
    viewport_.Width = target->Desc().Width;
    viewport_.Height = target->Desc().Height;
    viewport_.MinZ = 0.0f;
    viewport_.MaxZ = 1.0f;
    SetRect(&scissor_, 0, 0, static_cast<int>(viewport_.Width), static_cast<int>(viewport_.Height));
}

void SoftDevice9::AttachImplicitTarget() {
    BindRenderTarget(implicit_->BackBuffer(0));
}

HRESULT SoftDevice9::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDirect3DDevice9) return E_NOINTERFACE;
    *object = static_cast<IDirect3DDevice9*>(this);
    AddRef();
    return S_OK;
}

ULONG SoftDevice9::AddRef() {
    return ++refs_;
}

ULONG SoftDevice9::Release() {
    if (refs_ == 0) return 0;
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT SoftDevice9::TestCooperativeLevel() {
    DEVICE_ENTER("TestCooperativeLevel");
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

UINT SoftDevice9::GetAvailableTextureMem() {
    SOFTD3D_ENTER("IDirect3DDevice9", "GetAvailableTextureMem");
    return 512u * 1024u * 1024u;
}

HRESULT SoftDevice9::EvictManagedResources() {
    DEVICE_ENTER("EvictManagedResources");
    return D3D_OK;
}

HRESULT SoftDevice9::GetDirect3D(IDirect3D9** d3d) {
    DEVICE_ENTER("GetDirect3D");
    if (d3d == nullptr) return D3DERR_INVALIDCALL;
    *d3d = d3d_;
    d3d_->AddRef();
    return D3D_OK;
}

HRESULT SoftDevice9::GetDeviceCaps(D3DCAPS9* caps) {
    DEVICE_ENTER("GetDeviceCaps");
    if (caps == nullptr) return D3DERR_INVALIDCALL;
    SoftDirect3D9::FillCaps(*caps);
    caps->DeviceType = creation_.DeviceType;
    return D3D_OK;
}

HRESULT SoftDevice9::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    DEVICE_ENTER("GetDisplayMode");
    if (swapChain != 0) return D3DERR_INVALIDCALL;
    return implicit_->GetDisplayMode(mode);
}

HRESULT SoftDevice9::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) {
    DEVICE_ENTER("GetCreationParameters");
    if (parameters == nullptr) return D3DERR_INVALIDCALL;
    *parameters = creation_;
    return D3D_OK;
}

HRESULT SoftDevice9::SetCursorProperties(UINT, UINT, IDirect3DSurface9* cursorBitmap) {
    DEVICE_ENTER("SetCursorProperties");
    return cursorBitmap == nullptr ? D3DERR_INVALIDCALL : D3D_OK;
}

void SoftDevice9::SetCursorPosition(int, int, DWORD) {
    SOFTD3D_ENTER("IDirect3DDevice9", "SetCursorPosition");
}

BOOL SoftDevice9::ShowCursor(BOOL) {
    SOFTD3D_ENTER("IDirect3DDevice9", "ShowCursor");
    return FALSE;
}

HRESULT SoftDevice9::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params,
                                               IDirect3DSwapChain9** swapChain) {
    DEVICE_ENTER("CreateAdditionalSwapChain");
    if (swapChain == nullptr || params == nullptr) return D3DERR_INVALIDCALL;
    *swapChain = nullptr;
    // Only a windowed device can have more than one chain.
    if (!implicit_->Params().Windowed || !params->Windowed) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *params;
    if (p.hDeviceWindow == nullptr) p.hDeviceWindow = creation_.hFocusWindow;
    if (!HeadlessWindow::Exists(p.hDeviceWindow)) return D3DERR_INVALIDCALL;
    SoftSwapChain9* chain = nullptr;
    HRESULT result = SoftSwapChain9::Create(this, &p, false, &chain);
    if (FAILED(result)) return result;
    chain->TrackAsDefaultPool();
    p.hDeviceWindow = params->hDeviceWindow;
    *params = p;
    *swapChain = chain;
    return D3D_OK;
}

HRESULT SoftDevice9::GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) {
    DEVICE_ENTER("GetSwapChain");
    if (swapChain == nullptr) return D3DERR_INVALIDCALL;
    *swapChain = nullptr;
    if (index != 0) return D3DERR_INVALIDCALL;
    implicit_->AddRefChild();
    *swapChain = implicit_;
    return D3D_OK;
}

UINT SoftDevice9::GetNumberOfSwapChains() {
    SOFTD3D_ENTER("IDirect3DDevice9", "GetNumberOfSwapChains");
    return 1;
}

HRESULT SoftDevice9::Reset(D3DPRESENT_PARAMETERS* params) {
    DEVICE_ENTER("Reset");
    if (params == nullptr) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS p = *params;
    if (p.hDeviceWindow == nullptr) p.hDeviceWindow = creation_.hFocusWindow;
    if (!HeadlessWindow::Exists(p.hDeviceWindow) || p.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    // The back buffers are replaced; a caller still holding one would be left with a dead
    // surface, so the reset is refused until every such reference is released.
    if (implicit_->ExternalRefs() != 0) return D3DERR_INVALIDCALL;
    Finish();
    // Resetting drops every binding, which frees what only the device still held; whatever
    // default-pool object a caller still holds would not survive on real hardware, so the
    // reset fails and the device stays lost until the caller lets go of them.
    ReleaseBindings();
    AttachImplicitTarget();
    if (defaultPoolObjects_ != 0) {
        lost_ = true;
        return D3DERR_INVALIDCALL;
    }
    SoftSwapChain9* chain = nullptr;
    HRESULT result = SoftSwapChain9::Create(this, &p, true, &chain);
    if (FAILED(result)) return result;
    ReleaseBindings();
    delete implicit_;
    implicit_ = chain;
    p.hDeviceWindow = params->hDeviceWindow;
    *params = p;
    inScene_ = false;
    lost_ = false;
    SetDefaultState();
    AttachImplicitTarget();
    return D3D_OK;
}

HRESULT SoftDevice9::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                             const RGNDATA* dirtyRegion) {
    DEVICE_ENTER("Present");
    (void)sourceRect;
    (void)destRect;
    (void)dirtyRegion;
    if (lost_) return D3DERR_DEVICELOST;
    Finish();
    return implicit_->PresentFrame(destWindowOverride);
}

HRESULT SoftDevice9::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                   IDirect3DSurface9** backBuffer) {
    DEVICE_ENTER("GetBackBuffer");
    if (backBuffer == nullptr) return D3DERR_INVALIDCALL;
    *backBuffer = nullptr;
    if (swapChain != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    SoftSurface9* surface = implicit_->BackBuffer(index);
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    surface->AddRef();
    *backBuffer = surface;
    return D3D_OK;
}

HRESULT SoftDevice9::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* status) {
    DEVICE_ENTER("GetRasterStatus");
    if (swapChain != 0) return D3DERR_INVALIDCALL;
    return implicit_->GetRasterStatus(status);
}

HRESULT SoftDevice9::SetDialogBoxMode(BOOL) {
    DEVICE_ENTER("SetDialogBoxMode");
    return D3D_OK;
}

void SoftDevice9::SetGammaRamp(UINT, DWORD, const D3DGAMMARAMP*) {
    SOFTD3D_ENTER("IDirect3DDevice9", "SetGammaRamp");
}

void SoftDevice9::GetGammaRamp(UINT, D3DGAMMARAMP* ramp) {
    SOFTD3D_ENTER("IDirect3DDevice9", "GetGammaRamp");
    if (ramp == nullptr) return;
    for (int i = 0; i < 256; i++) {
        WORD value = static_cast<WORD>(i * 257);
        ramp->red[i] = ramp->green[i] = ramp->blue[i] = value;
    }
}

HRESULT SoftDevice9::CheckTextureArgs(UINT width, UINT height, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool) const {
    if (width == 0 || height == 0 || width > SoftDirect3D9::kMaxSurfaceSide ||
        height > SoftDirect3D9::kMaxSurfaceSide)
        return D3DERR_INVALIDCALL;
    if (!SoftDirect3D9::IsTextureFormat(format)) return D3DERR_INVALIDCALL;
    if (pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DEPTHSTENCIL) != 0) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) != 0 &&
        (pool != D3DPOOL_DEFAULT || !SoftDirect3D9::IsRenderTargetFormat(format)))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const SoftD3D::CapsOverrides& caps = SoftD3D::GetCapsOverrides();
    if (pool != D3DPOOL_SCRATCH) {
        if (caps.Pow2Only && (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)))
            return D3DERR_INVALIDCALL;
        if (caps.SquareOnly && width != height) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT SoftDevice9::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                   D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                   HANDLE* sharedHandle) {
    DEVICE_ENTER("CreateTexture");
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (sharedHandle != nullptr) return D3DERR_INVALIDCALL;
    HRESULT check = CheckTextureArgs(width, height, usage, format, pool);
    if (FAILED(check)) return check;
    // Render targets and automatic mips have one level of their own.
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) != 0 && levels > 1) return D3DERR_INVALIDCALL;
    SoftTexture9* created = SoftTexture9::Create(this, width, height, levels, usage, format, pool);
    if (created == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    created->AddRefChild();
    if (pool == D3DPOOL_DEFAULT) created->TrackAsDefaultPool();
    *texture = created;
    return D3D_OK;
}

HRESULT SoftDevice9::CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                         IDirect3DVolumeTexture9** texture, HANDLE*) {
    DEVICE_ENTER("CreateVolumeTexture");
    if (texture != nullptr) *texture = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                       IDirect3DCubeTexture9** texture, HANDLE*) {
    DEVICE_ENTER("CreateCubeTexture");
    if (texture != nullptr) *texture = nullptr;
    return D3DERR_NOTAVAILABLE;
}

namespace {

// Hands a new buffer to the caller: the device counts it as its child, and default-pool
// buffers are tracked so that Reset can refuse while they are still held.
template <class Buffer, class Interface, class Desc>
HRESULT AdoptBuffer(IDirect3DDevice9* device, const Desc& desc, Interface** out) {
    Buffer* created = Buffer::Create(device, desc);
    if (created == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    created->AddRefChild();
    if (desc.Pool == D3DPOOL_DEFAULT) created->TrackAsDefaultPool();
    *out = created;
    return D3D_OK;
}

}  // namespace

HRESULT SoftDevice9::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                        IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) {
    DEVICE_ENTER("CreateVertexBuffer");
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (sharedHandle != nullptr || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    D3DVERTEXBUFFER_DESC desc{};
    desc.Format = D3DFMT_VERTEXDATA;
    desc.Type = D3DRTYPE_VERTEXBUFFER;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Size = length;
    desc.FVF = fvf;
    return AdoptBuffer<SoftVertexBuffer9>(this, desc, buffer);
}

HRESULT SoftDevice9::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                       IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) {
    DEVICE_ENTER("CreateIndexBuffer");
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (sharedHandle != nullptr || length == 0 || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    D3DINDEXBUFFER_DESC desc{};
    desc.Format = format;
    desc.Type = D3DRTYPE_INDEXBUFFER;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Size = length;
    return AdoptBuffer<SoftIndexBuffer9>(this, desc, buffer);
}

HRESULT SoftDevice9::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                        D3DMULTISAMPLE_TYPE multiSample, DWORD, BOOL lockable,
                                        IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    DEVICE_ENTER("CreateRenderTarget");
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (sharedHandle != nullptr || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > SoftDirect3D9::kMaxSurfaceSide ||
        height > SoftDirect3D9::kMaxSurfaceSide || !SoftDirect3D9::IsRenderTargetFormat(format))
        return D3DERR_INVALIDCALL;
    SoftSurface9* created = SoftSurface9::Create(this, nullptr, width, height, format,
                                                 D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    if (created == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    if (lockable) created->AllowLocks();
    created->AddRefChild();
    created->TrackAsDefaultPool();
    *surface = created;
    return D3D_OK;
}

HRESULT SoftDevice9::CreateDepthStencilSurface(UINT, UINT, D3DFORMAT, D3DMULTISAMPLE_TYPE, DWORD,
                                               BOOL, IDirect3DSurface9** surface, HANDLE*) {
    DEVICE_ENTER("CreateDepthStencilSurface");
    if (surface != nullptr) *surface = nullptr;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDevice9::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                 D3DPOOL pool, IDirect3DSurface9** surface,
                                                 HANDLE* sharedHandle) {
    DEVICE_ENTER("CreateOffscreenPlainSurface");
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (sharedHandle != nullptr || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH)
        return D3DERR_INVALIDCALL;
    if (width == 0 || height == 0 || width > SoftDirect3D9::kMaxSurfaceSide ||
        height > SoftDirect3D9::kMaxSurfaceSide || !SoftDirect3D9::IsTextureFormat(format))
        return D3DERR_INVALIDCALL;
    SoftSurface9* created = SoftSurface9::Create(this, nullptr, width, height, format, 0, pool);
    if (created == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    created->AddRefChild();
    if (pool == D3DPOOL_DEFAULT) created->TrackAsDefaultPool();
    *surface = created;
    return D3D_OK;
}

HRESULT SoftDevice9::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect,
                                   IDirect3DSurface9* dest, const POINT* destPoint) {
    DEVICE_ENTER("UpdateSurface");
    SoftSurface9* src = AsSurface(source);
    SoftSurface9* dst = AsSurface(dest);
    if (src == nullptr || dst == nullptr || src == dst) return D3DERR_INVALIDCALL;
    if (src->Desc().Format != dst->Desc().Format || src->IsLocked() || dst->IsLocked())
        return D3DERR_INVALIDCALL;
    RECT from = sourceRect != nullptr ? *sourceRect : WholeRect(src->Desc());
    if (!RectInside(from, src->Desc())) return D3DERR_INVALIDCALL;
    LONG x = destPoint != nullptr ? destPoint->x : 0;
    LONG y = destPoint != nullptr ? destPoint->y : 0;
    RECT to;
    SetRect(&to, x, y, x + (from.right - from.left), y + (from.bottom - from.top));
    if (!RectInside(to, dst->Desc())) return D3DERR_INVALIDCALL;
    WaitUntilUnused(src, dst);
    CopyRect(src, from, dst, x, y);
    return D3D_OK;
}

HRESULT SoftDevice9::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) {
    DEVICE_ENTER("UpdateTexture");
    SoftTexture9* src = dynamic_cast<SoftTexture9*>(source);
    SoftTexture9* dst = dynamic_cast<SoftTexture9*>(dest);
    if (src == nullptr || dst == nullptr || src == dst) return D3DERR_INVALIDCALL;
    if (src->GetLevelCount() < dst->GetLevelCount()) return D3DERR_INVALIDCALL;
    // Levels pair up from the top once sizes agree; the source may carry extra large levels.
    UINT skip = src->GetLevelCount() - dst->GetLevelCount();
    for (UINT i = 0; i < dst->GetLevelCount(); i++) {
        SoftSurface9* from = src->Level(i + skip);
        SoftSurface9* to = dst->Level(i);
        if (from->Desc().Format != to->Desc().Format || from->Desc().Width != to->Desc().Width ||
            from->Desc().Height != to->Desc().Height)
            return D3DERR_INVALIDCALL;
    }
    WaitUntilUnused(src, dst);
    for (UINT i = 0; i < dst->GetLevelCount(); i++) {
        SoftSurface9* from = src->Level(i + skip);
        CopyRect(from, WholeRect(from->Desc()), dst->Level(i), 0, 0);
    }
    return D3D_OK;
}

HRESULT SoftDevice9::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) {
    DEVICE_ENTER("GetRenderTargetData");
    SoftSurface9* src = AsSurface(renderTarget);
    SoftSurface9* dst = AsSurface(dest);
    if (src == nullptr || dst == nullptr || src == dst) return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& s = src->Desc();
    const D3DSURFACE_DESC& d = dst->Desc();
    if (s.Format != d.Format || s.Width != d.Width || s.Height != d.Height ||
        d.Pool != D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    WaitUntilUnused(src, dst);
    CopyRect(src, WholeRect(s), dst, 0, 0);
    return D3D_OK;
}

HRESULT SoftDevice9::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) {
    DEVICE_ENTER("GetFrontBufferData");
    if (swapChain != 0) return D3DERR_INVALIDCALL;
    return implicit_->GetFrontBufferData(dest);
}

HRESULT SoftDevice9::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                 IDirect3DSurface9* dest, const RECT* destRect,
                                 D3DTEXTUREFILTERTYPE filter) {
    DEVICE_ENTER("StretchRect");
    SoftSurface9* src = AsSurface(source);
    SoftSurface9* dst = AsSurface(dest);
    if (src == nullptr || dst == nullptr || src == dst) return D3DERR_INVALIDCALL;
    if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    RECT from = sourceRect != nullptr ? *sourceRect : WholeRect(src->Desc());
    RECT to = destRect != nullptr ? *destRect : WholeRect(dst->Desc());
    if (!RectInside(from, src->Desc()) || !RectInside(to, dst->Desc())) return D3DERR_INVALIDCALL;
    WaitUntilUnused(src, dst);
    // Nearest texel, through ARGB, so formats may differ; enough for copies and screenshots.
    LONG fw = from.right - from.left;
    LONG fh = from.bottom - from.top;
    LONG tw = to.right - to.left;
    LONG th = to.bottom - to.top;
    int sbpp = src->BytesPerTexel();
    int dbpp = dst->BytesPerTexel();
    for (LONG y = 0; y < th; y++) {
        LONG sy = from.top + static_cast<LONG>((static_cast<int64_t>(y) * fh) / th);
        const uint8_t* srow = src->Row(static_cast<UINT>(sy));
        uint8_t* drow = dst->Row(static_cast<UINT>(to.top + y));
        for (LONG x = 0; x < tw; x++) {
            LONG sx = from.left + static_cast<LONG>((static_cast<int64_t>(x) * fw) / tw);
            uint32_t argb =
                PixelFormats::Read(src->Desc().Format, srow + static_cast<size_t>(sx) * sbpp);
            PixelFormats::Write(dst->Desc().Format, drow + static_cast<size_t>(to.left + x) * dbpp,
                                argb);
        }
    }
    return D3D_OK;
}

HRESULT SoftDevice9::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    DEVICE_ENTER("ColorFill");
    SoftSurface9* target = AsSurface(surface);
    if (target == nullptr || target->Desc().Pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    RECT area = rect != nullptr ? *rect : WholeRect(target->Desc());
    if (!RectInside(area, target->Desc())) return D3DERR_INVALIDCALL;
    WaitUntilUnused(target);
    SoftRaster::Fill(target->Raster(), {area.left, area.top, area.right, area.bottom}, color);
    return D3D_OK;
}

HRESULT SoftDevice9::SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) {
    DEVICE_ENTER("SetRenderTarget");
    if (index != 0) return D3DERR_INVALIDCALL;
    SoftSurface9* target = AsSurface(renderTarget);
    // Target 0 can never be unset, and only render-target surfaces can take its place.
    if (target == nullptr || (target->Desc().Usage & D3DUSAGE_RENDERTARGET) == 0)
        return D3DERR_INVALIDCALL;
    if (target->OwnerDevice() != this) return D3DERR_INVALIDCALL;
    BindRenderTarget(target);
    return D3D_OK;
}

HRESULT SoftDevice9::GetRenderTarget(DWORD index, IDirect3DSurface9** renderTarget) {
    DEVICE_ENTER("GetRenderTarget");
    if (renderTarget == nullptr) return D3DERR_INVALIDCALL;
    *renderTarget = nullptr;
    if (index != 0) return D3DERR_NOTFOUND;
    renderTarget_->AddRef();
    *renderTarget = renderTarget_;
    return D3D_OK;
}

HRESULT SoftDevice9::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    DEVICE_ENTER("SetDepthStencilSurface");
    return surface == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT SoftDevice9::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    DEVICE_ENTER("GetDepthStencilSurface");
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    return D3DERR_NOTFOUND;
}
