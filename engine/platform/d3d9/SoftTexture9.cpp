#include "SoftTexture9.h"

#include <new>

#include "SoftD3D.h"
#include "SoftSurface9.h"

#define TEXTURE_ENTER(method)                                        \
    do {                                                             \
        HRESULT hooked = SOFTD3D_ENTER("IDirect3DTexture9", method); \
        if (hooked != S_OK) return hooked;                           \
    } while (0)

SoftTexture9::SoftTexture9(IDirect3DDevice9* device)
    : SoftResource9<IDirect3DTexture9>(device, nullptr, false) {}

SoftTexture9::~SoftTexture9() {
    for (SoftSurface9* level : levels_) delete level;
}

SoftTexture9* SoftTexture9::Create(IDirect3DDevice9* device, UINT width, UINT height, UINT levels,
                                   DWORD usage, D3DFORMAT format, D3DPOOL pool) {
    UINT full = 1;
    for (UINT w = width, h = height; w > 1 || h > 1; w = w > 1 ? w / 2 : 1, h = h > 1 ? h / 2 : 1)
        full++;
    if (levels == 0 || levels > full) levels = full;
    if (levels > static_cast<UINT>(SoftRaster::Texture::kMaxLevels)) return nullptr;

    SoftTexture9* texture = new (std::nothrow) SoftTexture9(device);
    if (texture == nullptr) return nullptr;
    UINT w = width;
    UINT h = height;
    for (UINT i = 0; i < levels; i++) {
        SoftSurface9* level = SoftSurface9::Create(device, texture, w, h, format, usage, pool);
        if (level == nullptr) {
            delete texture;
            return nullptr;
        }
        texture->levels_.push_back(level);
        texture->raster_.Level[i] = level->Raster();
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    texture->raster_.Levels = static_cast<int>(levels);
    return texture;
}

void* SoftTexture9::CastTo(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 ||
        riid == IID_IDirect3DBaseTexture9 || riid == IID_IDirect3DTexture9)
        return static_cast<IDirect3DTexture9*>(this);
    return nullptr;
}

DWORD SoftTexture9::SetLOD(DWORD lod) {
    DWORD old = lod_;
    // Only managed textures keep a level of detail.
    if (Level(0) != nullptr && Level(0)->Desc().Pool == D3DPOOL_MANAGED)
        lod_ = lod < levels_.size() ? lod : static_cast<DWORD>(levels_.size() - 1);
    return old;
}

DWORD SoftTexture9::GetLOD() {
    return lod_;
}

DWORD SoftTexture9::GetLevelCount() {
    return static_cast<DWORD>(levels_.size());
}

HRESULT SoftTexture9::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) {
    if (filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR) return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

D3DTEXTUREFILTERTYPE SoftTexture9::GetAutoGenFilterType() {
    return autoGenFilter_;
}

HRESULT SoftTexture9::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    TEXTURE_ENTER("GetLevelDesc");
    if (desc == nullptr || Level(level) == nullptr) return D3DERR_INVALIDCALL;
    *desc = Level(level)->Desc();
    return D3D_OK;
}

HRESULT SoftTexture9::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    TEXTURE_ENTER("GetSurfaceLevel");
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (Level(level) == nullptr) return D3DERR_INVALIDCALL;
    *surface = Level(level);
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT SoftTexture9::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    TEXTURE_ENTER("LockRect");
    if (Level(level) == nullptr) return D3DERR_INVALIDCALL;
    return Level(level)->Lock(locked, rect, flags);
}

HRESULT SoftTexture9::UnlockRect(UINT level) {
    TEXTURE_ENTER("UnlockRect");
    if (Level(level) == nullptr) return D3DERR_INVALIDCALL;
    return Level(level)->Unlock();
}

HRESULT SoftTexture9::AddDirtyRect(const RECT* /*rect*/) {
    TEXTURE_ENTER("AddDirtyRect");
    return D3D_OK;
}
