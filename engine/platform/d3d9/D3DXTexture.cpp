// Texture creation and texture loading from image files, written against the device's public
// interface only: the texture is made with CreateTexture and filled through LockRect, so the
// same rules hold whatever device sits underneath.
#include <d3dx9.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/d3d9/D3DXResample.h"
#include "platform/d3d9/DdsReader.h"
#include "platform/d3d9/ImageCodec.h"
#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftD3D.h"

namespace {

// Files larger than this are not images we load; it also keeps sizes inside UINT.
constexpr size_t kMaxFileBytes = size_t(1) << 30;

UINT FullChain(UINT w, UINT h) {
    UINT levels = 1;
    for (UINT side = w > h ? w : h; side > 1; side >>= 1) ++levels;
    return levels;
}

UINT NextPow2(UINT v) {
    UINT p = 1;
    while (p < v && p < 0x80000000u) p <<= 1;
    return p;
}

bool HasAlpha(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_A8:
        case D3DFMT_A8L8:
            return true;
        default:
            return false;
    }
}

bool IsDefaultSize(UINT size) {
    return size == 0 || size == D3DX_DEFAULT || size == D3DX_DEFAULT_NONPOW2;
}

// Rounds and clamps a size to what the caps allow.
void FitToCaps(const D3DCAPS9& caps, UINT& w, UINT& h) {
    if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
        w = NextPow2(w);
        h = NextPow2(h);
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) w = h = (w > h ? w : h);
    if (caps.MaxTextureWidth > 0 && w > caps.MaxTextureWidth) w = caps.MaxTextureWidth;
    if (caps.MaxTextureHeight > 0 && h > caps.MaxTextureHeight) h = caps.MaxTextureHeight;
}

// What a file holds, before any texel is converted.
struct Source {
    ImageCodec::FileFormat Kind = ImageCodec::kUnknown;
    UINT Width = 0;
    UINT Height = 0;
    UINT Levels = 1;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    const uint8_t* Bytes = nullptr;
    DdsReader::Image Dds;
    ImageCodec::Image Decoded;
};

// Reads the file: a DDS file is laid out in place, any other image is decoded.
HRESULT ParseSource(const void* data, UINT size, Source& src) {
    if (data == nullptr || size == 0) return D3DERR_INVALIDCALL;
    const auto* bytes = static_cast<const uint8_t*>(data);
    src.Bytes = bytes;
    if (DdsReader::IsDds(bytes, size)) {
        if (!DdsReader::Read(bytes, size, src.Dds)) return D3DXERR_INVALIDDATA;
        src.Kind = ImageCodec::kDds;
        src.Width = UINT(src.Dds.Width);
        src.Height = UINT(src.Dds.Height);
        src.Levels = UINT(src.Dds.Levels.size());
        src.Format = D3DFORMAT(src.Dds.Format);
        return D3D_OK;
    }
    if (!ImageCodec::Decode(bytes, size, src.Decoded)) return D3DXERR_INVALIDDATA;
    src.Kind = ImageCodec::Identify(bytes, size);
    src.Width = UINT(src.Decoded.Width);
    src.Height = UINT(src.Decoded.Height);
    src.Levels = 1;
    src.Format = src.Decoded.HasAlpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    return D3D_OK;
}

void FillInfo(const Source& src, D3DXIMAGE_INFO* info) {
    if (info == nullptr) return;
    info->Width = src.Width;
    info->Height = src.Height;
    info->Depth = 1;
    info->MipLevels = src.Levels;
    info->Format = src.Format;
    info->ResourceType = D3DRTYPE_TEXTURE;
    info->ImageFileFormat = D3DXIMAGE_FILEFORMAT(src.Kind);
}

// The texels of one level of a DDS file as 0xAARRGGBB.
std::vector<uint32_t> DdsLevelArgb(const Source& src, size_t level) {
    const DdsReader::Level& l = src.Dds.Levels[level];
    const int bpp = PixelFormats::BytesPerPixel(src.Dds.Format);
    std::vector<uint32_t> out(size_t(l.Width) * l.Height);
    for (int y = 0; y < l.Height; ++y) {
        const uint8_t* row = src.Bytes + l.Offset + size_t(y) * l.Pitch;
        for (int x = 0; x < l.Width; ++x) {
            out[size_t(y) * l.Width + x] = PixelFormats::Read(src.Dds.Format, row + x * bpp);
        }
    }
    return out;
}

void ApplyColorKey(std::vector<uint32_t>& texels, D3DCOLOR key) {
    if (key == 0) return;
    for (uint32_t& t : texels) {
        if (t == key) t = 0;
    }
}

HRESULT WriteLevel(IDirect3DTexture9* texture, UINT level, D3DFORMAT format, UINT w, UINT h,
                   const std::vector<uint32_t>* argb, const uint8_t* raw, int rawPitch) {
    D3DLOCKED_RECT locked;
    const HRESULT hr = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    const int bpp = PixelFormats::BytesPerPixel(format);
    for (UINT y = 0; y < h; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
        if (raw != nullptr) {
            std::memcpy(row, raw + size_t(y) * rawPitch, size_t(w) * bpp);
        } else {
            const uint32_t* in = &(*argb)[size_t(y) * w];
            for (UINT x = 0; x < w; ++x) PixelFormats::Write(format, row + size_t(x) * bpp, in[x]);
        }
    }
    texture->UnlockRect(level);
    return D3D_OK;
}

// Fills every level of a new texture from the source: the file's own levels where they fit
// the texture, the rest made from the level above.
HRESULT FillTexture(IDirect3DTexture9* texture, const Source& src, D3DXResample::Filter filter,
                    DWORD mipFilterWord, D3DCOLOR colorKey) {
    D3DSURFACE_DESC desc;
    HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return hr;
    // Texels are written in the format the texture really has.
    const D3DFORMAT format = desc.Format;
    if (PixelFormats::BytesPerPixel(uint32_t(format)) == 0) return D3DERR_INVALIDCALL;
    const UINT levels = texture->GetLevelCount();
    const bool sameSize = desc.Width == src.Width && desc.Height == src.Height;
    const D3DXResample::Filter mipFilter = D3DXResample::FromFilterWord(mipFilterWord);

    std::vector<uint32_t> argb;
    UINT w = 0, h = 0;
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC levelDesc;
        hr = texture->GetLevelDesc(level, &levelDesc);
        if (FAILED(hr)) return hr;
        const UINT lw = levelDesc.Width;
        const UINT lh = levelDesc.Height;
        const bool fromFile = src.Kind == ImageCodec::kDds && sameSize && level < src.Levels;
        const uint8_t* raw = nullptr;
        int rawPitch = 0;
        if (level == 0 && src.Kind != ImageCodec::kDds) {
            argb = src.Decoded.Pixels;
            ApplyColorKey(argb, colorKey);
            argb = D3DXResample::Resize(argb, int(src.Width), int(src.Height), int(lw), int(lh),
                                        filter);
        } else if (level == 0 || fromFile) {
            const size_t fileLevel = fromFile ? level : 0;
            argb = DdsLevelArgb(src, fileLevel);
            ApplyColorKey(argb, colorKey);
            if (fromFile && format == src.Format && colorKey == 0) {
                // Same layout: the file's bytes go in untouched.
                raw = src.Bytes + src.Dds.Levels[fileLevel].Offset;
                rawPitch = src.Dds.Levels[fileLevel].Pitch;
            } else {
                argb = D3DXResample::Resize(argb, src.Dds.Levels[fileLevel].Width,
                                            src.Dds.Levels[fileLevel].Height, int(lw), int(lh),
                                            filter);
            }
        } else {
            // No mip filter means the caller fills the smaller levels itself.
            if (mipFilter == D3DXResample::Filter::kNone) break;
            argb = D3DXResample::Resize(argb, int(w), int(h), int(lw), int(lh), mipFilter);
        }
        hr = WriteLevel(texture, level, format, lw, lh, &argb, raw, rawPitch);
        if (FAILED(hr)) return hr;
        w = lw;
        h = lh;
    }
    return D3D_OK;
}

bool ReadWholeFile(LPCSTR path, std::vector<uint8_t>& bytes) {
    if (path == nullptr) return false;
    FILE* file = Platform::OpenStream(path, "rb");
    if (file == nullptr) return false;
    const int64_t size = Platform::StreamSize(file);
    bool ok = size > 0 && uint64_t(size) <= kMaxFileBytes;
    if (ok) {
        bytes.resize(size_t(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    return ok;
}

HRESULT CheckRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                          UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat, D3DPOOL Pool) {
    (void)Usage;
    (void)Pool;
    if (pDevice == nullptr) return D3DERR_INVALIDCALL;
    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof(caps));
    const HRESULT hr = pDevice->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;

    UINT w = pWidth != nullptr ? *pWidth : D3DX_DEFAULT;
    UINT h = pHeight != nullptr ? *pHeight : D3DX_DEFAULT;
    if (IsDefaultSize(w)) w = 256;
    if (IsDefaultSize(h)) h = 256;
    FitToCaps(caps, w, h);
    if (pWidth != nullptr) *pWidth = w;
    if (pHeight != nullptr) *pHeight = h;

    if (pNumMipLevels != nullptr) {
        const UINT full = FullChain(w, h);
        UINT levels = *pNumMipLevels;
        if (levels == 0 || levels == D3DX_DEFAULT || levels == D3DX_FROM_FILE || levels > full) {
            levels = full;
        }
        *pNumMipLevels = levels;
    }
    // Formats the device cannot store become the closest general one.
    if (pFormat != nullptr && PixelFormats::BytesPerPixel(uint32_t(*pFormat)) == 0) {
        *pFormat = D3DFMT_A8R8G8B8;
    }
    return D3D_OK;
}

HRESULT CreateTexture(IDirect3DDevice9* pDevice, UINT Width, UINT Height, UINT MipLevels,
                      DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, IDirect3DTexture9** ppTexture) {
    if (ppTexture != nullptr) *ppTexture = nullptr;
    if (pDevice == nullptr || ppTexture == nullptr) return D3DERR_INVALIDCALL;
    const HRESULT hr =
        CheckRequirements(pDevice, &Width, &Height, &MipLevels, Usage, &Format, Pool);
    if (FAILED(hr)) return hr;
    return pDevice->CreateTexture(Width, Height, MipLevels, Usage, Format, Pool, ppTexture,
                                  nullptr);
}

HRESULT ImageInfoFromMemory(const void* pSrcData, UINT SrcDataSize, D3DXIMAGE_INFO* pSrcInfo) {
    if (pSrcInfo == nullptr) return D3DERR_INVALIDCALL;
    Source src;
    // A full decode, so the alpha answer is the one a load would give (palettes with
    // transparency are only known once the image is read).
    const HRESULT hr = ParseSource(pSrcData, SrcDataSize, src);
    if (FAILED(hr)) return hr;
    FillInfo(src, pSrcInfo);
    return D3D_OK;
}

HRESULT ImageInfoFromFile(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo) {
    if (pSrcFile == nullptr || pSrcInfo == nullptr) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(pSrcFile, bytes)) return D3DXERR_INVALIDDATA;
    return ImageInfoFromMemory(bytes.data(), UINT(bytes.size()), pSrcInfo);
}

HRESULT CreateFromMemory(IDirect3DDevice9* pDevice, const void* pSrcData, UINT SrcDataSize,
                         UINT Width, UINT Height, UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                         D3DPOOL Pool, DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                         D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                         IDirect3DTexture9** ppTexture) {
    (void)pPalette;  // no palettized formats are produced
    if (ppTexture != nullptr) *ppTexture = nullptr;
    if (pDevice == nullptr || ppTexture == nullptr) return D3DERR_INVALIDCALL;
    Source src;
    HRESULT hr = ParseSource(pSrcData, SrcDataSize, src);
    if (FAILED(hr)) return hr;
    FillInfo(src, pSrcInfo);

    D3DCAPS9 caps;
    std::memset(&caps, 0, sizeof(caps));
    hr = pDevice->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    // The file's size stands unless the caller names one; only the caps force rounding.
    UINT w = IsDefaultSize(Width) ? src.Width : Width;
    UINT h = IsDefaultSize(Height) ? src.Height : Height;
    FitToCaps(caps, w, h);

    const UINT full = FullChain(w, h);
    UINT levels = MipLevels;
    if (levels == D3DX_FROM_FILE) {
        levels = src.Levels;
    } else if (levels == 0 || levels == D3DX_DEFAULT) {
        levels = full;
    }
    if (levels > full) levels = full;

    D3DFORMAT format = Format;
    if (format == D3DFMT_UNKNOWN || format == D3DFMT_FROM_FILE) {
        format = src.Format;
        // A colour key asks for transparency, which needs somewhere to keep it.
        if (ColorKey != 0 && !HasAlpha(format)) format = D3DFMT_A8R8G8B8;
    }
    if (PixelFormats::BytesPerPixel(uint32_t(format)) == 0) format = D3DFMT_A8R8G8B8;

    IDirect3DTexture9* texture = nullptr;
    hr = pDevice->CreateTexture(w, h, levels, Usage, format, Pool, &texture, nullptr);
    if (FAILED(hr)) return hr;
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    const D3DXResample::Filter filter = D3DXResample::FromFilterWord(Filter);
    if (Pool == D3DPOOL_DEFAULT && (Usage & D3DUSAGE_DYNAMIC) == 0) {
        // Video-memory textures cannot be locked: fill a system-memory twin and copy it over.
        IDirect3DTexture9* staging = nullptr;
        D3DSURFACE_DESC desc;
        hr = texture->GetLevelDesc(0, &desc);
        if (SUCCEEDED(hr)) {
            hr = pDevice->CreateTexture(desc.Width, desc.Height, texture->GetLevelCount(), 0,
                                        desc.Format, D3DPOOL_SYSTEMMEM, &staging, nullptr);
        }
        if (SUCCEEDED(hr)) hr = FillTexture(staging, src, filter, MipFilter, ColorKey);
        if (SUCCEEDED(hr)) hr = pDevice->UpdateTexture(staging, texture);
        if (staging != nullptr) staging->Release();
    } else {
        hr = FillTexture(texture, src, filter, MipFilter, ColorKey);
    }
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    *ppTexture = texture;
    return D3D_OK;
}

HRESULT CreateFromFile(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, UINT Width, UINT Height,
                       UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                       DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                       PALETTEENTRY* pPalette, IDirect3DTexture9** ppTexture) {
    if (ppTexture != nullptr) *ppTexture = nullptr;
    if (pDevice == nullptr || pSrcFile == nullptr || ppTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(pSrcFile, bytes)) return D3DXERR_INVALIDDATA;
    return CreateFromMemory(pDevice, bytes.data(), UINT(bytes.size()), Width, Height, MipLevels,
                            Usage, Format, Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette,
                            ppTexture);
}

}  // namespace

// Each entry point announces itself to the device's test hooks, so tests can count the calls
// and make one fail on purpose; internal calls between them are not counted twice.

HRESULT WINAPI D3DXCheckTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                                            UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                            D3DPOOL Pool) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCheckTextureRequirements");
    if (FAILED(hooked)) return hooked;
    return CheckRequirements(pDevice, pWidth, pHeight, pNumMipLevels, Usage, pFormat, Pool);
}

HRESULT WINAPI D3DXCreateTexture(IDirect3DDevice9* pDevice, UINT Width, UINT Height, UINT MipLevels,
                                 DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                 IDirect3DTexture9** ppTexture) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCreateTexture");
    if (FAILED(hooked)) {
        if (ppTexture != nullptr) *ppTexture = nullptr;
        return hooked;
    }
    return CreateTexture(pDevice, Width, Height, MipLevels, Usage, Format, Pool, ppTexture);
}

HRESULT WINAPI D3DXGetImageInfoFromFileInMemory(const void* pSrcData, UINT SrcDataSize,
                                                D3DXIMAGE_INFO* pSrcInfo) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXGetImageInfoFromFileInMemory");
    if (FAILED(hooked)) return hooked;
    return ImageInfoFromMemory(pSrcData, SrcDataSize, pSrcInfo);
}

HRESULT WINAPI D3DXGetImageInfoFromFileA(LPCSTR pSrcFile, D3DXIMAGE_INFO* pSrcInfo) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXGetImageInfoFromFileA");
    if (FAILED(hooked)) return hooked;
    return ImageInfoFromFile(pSrcFile, pSrcInfo);
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, const void* pSrcData,
                                                   UINT SrcDataSize, UINT Width, UINT Height,
                                                   UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                                   D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                                   D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                                   PALETTEENTRY* pPalette,
                                                   IDirect3DTexture9** ppTexture) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCreateTextureFromFileInMemoryEx");
    if (FAILED(hooked)) {
        if (ppTexture != nullptr) *ppTexture = nullptr;
        return hooked;
    }
    return CreateFromMemory(pDevice, pSrcData, SrcDataSize, Width, Height, MipLevels, Usage, Format,
                            Pool, Filter, MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile, UINT Width,
                                            UINT Height, UINT MipLevels, DWORD Usage,
                                            D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
                                            DWORD MipFilter, D3DCOLOR ColorKey,
                                            D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCreateTextureFromFileExA");
    if (FAILED(hooked)) {
        if (ppTexture != nullptr) *ppTexture = nullptr;
        return hooked;
    }
    return CreateFromFile(pDevice, pSrcFile, Width, Height, MipLevels, Usage, Format, Pool, Filter,
                          MipFilter, ColorKey, pSrcInfo, pPalette, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, const void* pSrcData,
                                                 UINT SrcDataSize, IDirect3DTexture9** ppTexture) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCreateTextureFromFileInMemory");
    if (FAILED(hooked)) {
        if (ppTexture != nullptr) *ppTexture = nullptr;
        return hooked;
    }
    return CreateFromMemory(pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT,
                            D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                            D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT WINAPI D3DXCreateTextureFromFileA(IDirect3DDevice9* pDevice, LPCSTR pSrcFile,
                                          IDirect3DTexture9** ppTexture) {
    const HRESULT hooked = SoftD3D::EnterCall("D3DX", "D3DXCreateTextureFromFileA");
    if (FAILED(hooked)) {
        if (ppTexture != nullptr) *ppTexture = nullptr;
        return hooked;
    }
    return CreateFromFile(pDevice, pSrcFile, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr,
                          nullptr, ppTexture);
}
