// A texture of the software device: a chain of mip levels, each a surface it holds.
#pragma once

#include <d3d9.h>

#include <vector>

#include "SoftRaster.h"
#include "SoftResource9.h"

class SoftSurface9;

class SoftTexture9 final : public SoftResource9<IDirect3DTexture9> {
public:
    // levels 0 makes the full chain down to 1x1. Arguments are checked by the device; null
    // when memory runs out.
    static SoftTexture9* Create(IDirect3DDevice9* device, UINT width, UINT height, UINT levels,
                                DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~SoftTexture9() override;

    DWORD STDMETHODCALLTYPE SetLOD(DWORD lod) override;
    DWORD STDMETHODCALLTYPE GetLOD() override;
    DWORD STDMETHODCALLTYPE GetLevelCount() override;
    HRESULT STDMETHODCALLTYPE SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE STDMETHODCALLTYPE GetAutoGenFilterType() override;
    void STDMETHODCALLTYPE GenerateMipSubLevels() override {}
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_TEXTURE; }

    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                                       DWORD flags) override;
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;
    HRESULT STDMETHODCALLTYPE AddDirtyRect(const RECT* rect) override;

    // The levels as the rasterizer samples them.
    const SoftRaster::Texture& Raster() const { return raster_; }
    SoftSurface9* Level(UINT level) const {
        return level < levels_.size() ? levels_[level] : nullptr;
    }

protected:
    void* CastTo(REFIID riid) override;

private:
    explicit SoftTexture9(IDirect3DDevice9* device);

    std::vector<SoftSurface9*> levels_;
    SoftRaster::Texture raster_;
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};
