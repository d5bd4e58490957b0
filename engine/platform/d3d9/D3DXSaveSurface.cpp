// Saving a surface (or a rectangle of it) as an image file. Texels are read through the
// surface's own format; DDS keeps the bytes as they are, the other containers get RGB or RGBA.
#include <d3dx9.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Platform.h"
#include "platform/d3d9/DdsReader.h"
#include "platform/d3d9/ImageCodec.h"
#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftD3D.h"

namespace {

bool HasAlpha(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4 ||
           format == D3DFMT_A8 || format == D3DFMT_A8L8;
}

// Writes the whole file or nothing: a failed write leaves no half file behind.
bool WriteFileBytes(LPCSTR path, const std::vector<uint8_t>& bytes) {
    FILE* file = Platform::OpenStream(path, "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) Platform::RemoveFile(path);
    return ok;
}

// Render targets cannot be locked: their texels are read from a copy in system memory. Other
// surfaces are read as they are. The caller releases what comes back in *readable.
HRESULT ReadableSurface(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc,
                        IDirect3DSurface9** readable) {
    *readable = nullptr;
    if ((desc.Usage & D3DUSAGE_RENDERTARGET) == 0) {
        surface->AddRef();
        *readable = surface;
        return D3D_OK;
    }
    IDirect3DDevice9* device = nullptr;
    HRESULT hr = surface->GetDevice(&device);
    if (FAILED(hr)) return hr;
    IDirect3DSurface9* copy = nullptr;
    hr = device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                             D3DPOOL_SYSTEMMEM, &copy, nullptr);
    if (SUCCEEDED(hr)) hr = device->GetRenderTargetData(surface, copy);
    device->Release();
    if (FAILED(hr)) {
        if (copy != nullptr) copy->Release();
        return hr;
    }
    *readable = copy;
    return D3D_OK;
}

}  // namespace

HRESULT WINAPI D3DXSaveSurfaceToFileA(LPCSTR pDestFile, D3DXIMAGE_FILEFORMAT DestFormat,
                                      IDirect3DSurface9* pSrcSurface,
                                      const PALETTEENTRY* pSrcPalette, const RECT* pSrcRect) {
    (void)pSrcPalette;  // no palettized formats exist here
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXSaveSurfaceToFileA");
    if (FAILED(hooked)) return hooked;
    if (pDestFile == nullptr || pSrcSurface == nullptr) return D3DERR_INVALIDCALL;
    if (DestFormat != D3DXIFF_BMP && DestFormat != D3DXIFF_JPG && DestFormat != D3DXIFF_TGA &&
        DestFormat != D3DXIFF_PNG && DestFormat != D3DXIFF_DDS) {
        return D3DERR_INVALIDCALL;
    }
    D3DSURFACE_DESC desc;
    HRESULT hr = pSrcSurface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    const int bpp = PixelFormats::BytesPerPixel(uint32_t(desc.Format));
    if (bpp == 0) return D3DERR_INVALIDCALL;

    RECT rect = {0, 0, LONG(desc.Width), LONG(desc.Height)};
    if (pSrcRect != nullptr) {
        rect = *pSrcRect;
        if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
            rect.right > LONG(desc.Width) || rect.bottom > LONG(desc.Height)) {
            return D3DERR_INVALIDCALL;
        }
    }
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;

    IDirect3DSurface9* source = nullptr;
    hr = ReadableSurface(pSrcSurface, desc, &source);
    if (FAILED(hr)) return hr;
    D3DLOCKED_RECT locked;
    hr = source->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) {
        source->Release();
        return hr;
    }
    std::vector<uint8_t> rows;
    ImageCodec::Image image;
    image.Width = w;
    image.Height = h;
    image.HasAlpha = HasAlpha(desc.Format);
    if (DestFormat == D3DXIFF_DDS)
        rows.reserve(size_t(w) * h * bpp);
    else
        image.Pixels.reserve(size_t(w) * h);
    for (int y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch +
                             size_t(rect.left) * bpp;
        if (DestFormat == D3DXIFF_DDS) {
            rows.insert(rows.end(), row, row + size_t(w) * bpp);
        } else {
            for (int x = 0; x < w; ++x) {
                image.Pixels.push_back(
                    PixelFormats::Read(uint32_t(desc.Format), row + size_t(x) * bpp));
            }
        }
    }
    source->UnlockRect();
    source->Release();

    std::vector<uint8_t> bytes;
    if (DestFormat == D3DXIFF_DDS) {
        bytes = DdsReader::Header(uint32_t(desc.Format), w, h);
        bytes.insert(bytes.end(), rows.begin(), rows.end());
    } else if (!ImageCodec::Encode(image, ImageCodec::FileFormat(DestFormat), image.HasAlpha,
                                   bytes)) {
        return E_FAIL;
    }
    return WriteFileBytes(pDestFile, bytes) ? D3D_OK : E_FAIL;
}
