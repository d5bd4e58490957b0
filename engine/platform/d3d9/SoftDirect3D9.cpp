#include "SoftDirect3D9.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "SoftD3D.h"
#include "SoftDevice9.h"

#define D3D9_ENTER(method)                                    \
    do {                                                      \
        HRESULT hooked = SOFTD3D_ENTER("IDirect3D9", method); \
        if (hooked != S_OK) return hooked;                    \
    } while (0)

namespace {

struct ModeSize {
    UINT Width;
    UINT Height;
};

// The one adapter's X8R8G8B8 modes, each at both refresh rates.
constexpr ModeSize kModeSizes[] = {{640, 480},  {800, 600},   {1024, 768}, {1280, 720},
                                   {1280, 800}, {1280, 1024}, {1366, 768}, {1440, 900},
                                   {1600, 900}, {1680, 1050}, {1920, 1080}};
constexpr UINT kRefreshRates[] = {60, 75};
constexpr UINT kModeCount = static_cast<UINT>(sizeof(kModeSizes) / sizeof(kModeSizes[0]) * 2);

bool IsDeviceType(D3DDEVTYPE type) {
    return type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF;
}

}  // namespace

IDirect3D9* WINAPI Direct3DCreate9(UINT sdkVersion) {
    if (SOFTD3D_ENTER("", "Direct3DCreate9") != S_OK) return nullptr;
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) SoftDirect3D9();
}

bool SoftDirect3D9::IsTextureFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_R5G6B5:
        case D3DFMT_A8L8:
        case D3DFMT_L8:
        case D3DFMT_A8:
            return true;
        default:
            return false;
    }
}

bool SoftDirect3D9::IsRenderTargetFormat(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_R5G6B5:
            return true;
        default:
            return false;
    }
}

bool SoftDirect3D9::IsBackBufferFormat(D3DFORMAT format) {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

void SoftDirect3D9::CurrentDisplayMode(D3DDISPLAYMODE& mode) {
    mode.Width = 1920;
    mode.Height = 1080;
    mode.RefreshRate = 60;
    mode.Format = D3DFMT_X8R8G8B8;
}

void SoftDirect3D9::FillCaps(D3DCAPS9& caps) {
    const SoftD3D::CapsOverrides& overrides = SoftD3D::GetCapsOverrides();
    std::memset(&caps, 0, sizeof(caps));
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.Caps2 = D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                   D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX |
                   D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                   D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWRASTERIZATION;
    if (!overrides.NoHardwareVertexProcessing) caps.DevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_COLORWRITEENABLE |
                             D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_BLENDOP |
                             D3DPMISCCAPS_SEPARATEALPHABLEND;
    caps.AlphaCmpCaps = 0xFF;
    caps.ZCmpCaps = 0xFF;
    const DWORD blends = D3DPBLENDCAPS_ZERO | D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_SRCCOLOR |
                         D3DPBLENDCAPS_INVSRCCOLOR | D3DPBLENDCAPS_SRCALPHA |
                         D3DPBLENDCAPS_INVSRCALPHA | D3DPBLENDCAPS_DESTALPHA |
                         D3DPBLENDCAPS_INVDESTALPHA | D3DPBLENDCAPS_DESTCOLOR |
                         D3DPBLENDCAPS_INVDESTCOLOR | D3DPBLENDCAPS_SRCALPHASAT;
    caps.SrcBlendCaps = blends;
    caps.DestBlendCaps = blends;
    caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_ALPHAGOURAUDBLEND;
    caps.TextureCaps = D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    if (overrides.Pow2Only) caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
    if (overrides.SquareOnly) caps.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
    caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                             D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR |
                             D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR |
                              D3DPTADDRESSCAPS_CLAMP | D3DPTADDRESSCAPS_BORDER |
                              D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
    caps.LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP;
    caps.MaxTextureWidth = kMaxSurfaceSide;
    caps.MaxTextureHeight = kMaxSurfaceSide;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = kMaxSurfaceSide;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1.0e10f;
    caps.GuardBandLeft = -32768.0f;
    caps.GuardBandTop = -32768.0f;
    caps.GuardBandRight = 32767.0f;
    caps.GuardBandBottom = 32767.0f;
    caps.FVFCaps = 1;
    caps.TextureOpCaps = D3DTEXOPCAPS_DISABLE | D3DTEXOPCAPS_SELECTARG1 | D3DTEXOPCAPS_SELECTARG2 |
                         D3DTEXOPCAPS_MODULATE | D3DTEXOPCAPS_MODULATE2X | D3DTEXOPCAPS_MODULATE4X |
                         D3DTEXOPCAPS_ADD;
    caps.MaxTextureBlendStages = 1;
    caps.MaxSimultaneousTextures = 1;
    caps.MaxPointSize = 1.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    caps.PixelShaderVersion = overrides.PixelShaderVersion;
    caps.MasterAdapterOrdinal = 0;
    caps.AdapterOrdinalInGroup = 0;
    caps.NumberOfAdaptersInGroup = 1;
    caps.NumSimultaneousRTs = 1;
    caps.StretchRectFilterCaps = 0;
}

HRESULT SoftDirect3D9::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDirect3D9) return E_NOINTERFACE;
    *object = static_cast<IDirect3D9*>(this);
    AddRef();
    return S_OK;
}

ULONG SoftDirect3D9::AddRef() {
    return ++refs_;
}

ULONG SoftDirect3D9::Release() {
    if (refs_ == 0) return 0;
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

HRESULT SoftDirect3D9::RegisterSoftwareDevice(void* /*initializeFunction*/) {
    D3D9_ENTER("RegisterSoftwareDevice");
    return D3DERR_NOTAVAILABLE;
}

UINT SoftDirect3D9::GetAdapterCount() {
    SOFTD3D_ENTER("IDirect3D9", "GetAdapterCount");
    return 1;
}

HRESULT SoftDirect3D9::GetAdapterIdentifier(UINT adapter, DWORD /*flags*/,
                                            D3DADAPTER_IDENTIFIER9* identifier) {
    D3D9_ENTER("GetAdapterIdentifier");
    if (adapter != D3DADAPTER_DEFAULT || identifier == nullptr) return D3DERR_INVALIDCALL;
    std::memset(identifier, 0, sizeof(*identifier));
    std::snprintf(identifier->Driver, sizeof(identifier->Driver), "%s", "softd3d9");
    std::snprintf(identifier->Description, sizeof(identifier->Description), "%s",
                  "Engine software rasterizer");
    std::snprintf(identifier->DeviceName, sizeof(identifier->DeviceName), "%s", "\\\\.\\SOFT1");
    identifier->DriverVersion.QuadPart = (static_cast<LONGLONG>(9) << 48) | 1;
    identifier->WHQLLevel = 0;
    return D3D_OK;
}

UINT SoftDirect3D9::GetAdapterModeCount(UINT adapter, D3DFORMAT format) {
    SOFTD3D_ENTER("IDirect3D9", "GetAdapterModeCount");
    if (adapter != D3DADAPTER_DEFAULT || format != D3DFMT_X8R8G8B8) return 0;
    return kModeCount;
}

HRESULT SoftDirect3D9::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                                        D3DDISPLAYMODE* displayMode) {
    D3D9_ENTER("EnumAdapterModes");
    if (adapter != D3DADAPTER_DEFAULT || displayMode == nullptr) return D3DERR_INVALIDCALL;
    if (format != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    if (mode >= kModeCount) return D3DERR_INVALIDCALL;
    displayMode->Width = kModeSizes[mode / 2].Width;
    displayMode->Height = kModeSizes[mode / 2].Height;
    displayMode->RefreshRate = kRefreshRates[mode % 2];
    displayMode->Format = D3DFMT_X8R8G8B8;
    return D3D_OK;
}

HRESULT SoftDirect3D9::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    D3D9_ENTER("GetAdapterDisplayMode");
    if (adapter != D3DADAPTER_DEFAULT || mode == nullptr) return D3DERR_INVALIDCALL;
    CurrentDisplayMode(*mode);
    return D3D_OK;
}

HRESULT SoftDirect3D9::CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                       D3DFORMAT backBufferFormat, BOOL windowed) {
    D3D9_ENTER("CheckDeviceType");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    if (adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    if (backBufferFormat == D3DFMT_UNKNOWN) return windowed ? D3D_OK : D3DERR_INVALIDCALL;
    return IsBackBufferFormat(backBufferFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D9::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType,
                                         D3DFORMAT adapterFormat, DWORD usage,
                                         D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    D3D9_ENTER("CheckDeviceFormat");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    if (adapterFormat != D3DFMT_X8R8G8B8) return D3DERR_NOTAVAILABLE;
    // No depth buffers and no cube or volume textures.
    if ((usage & D3DUSAGE_DEPTHSTENCIL) != 0) return D3DERR_NOTAVAILABLE;
    switch (resourceType) {
        case D3DRTYPE_SURFACE:
        case D3DRTYPE_TEXTURE:
            if ((usage & D3DUSAGE_RENDERTARGET) != 0)
                return IsRenderTargetFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
            return IsTextureFormat(checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
        case D3DRTYPE_VERTEXBUFFER:
            return checkFormat == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
        case D3DRTYPE_INDEXBUFFER:
            return checkFormat == D3DFMT_INDEX16 || checkFormat == D3DFMT_INDEX32
                       ? D3D_OK
                       : D3DERR_NOTAVAILABLE;
        default:
            return D3DERR_NOTAVAILABLE;
    }
}

HRESULT SoftDirect3D9::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType,
                                                  D3DFORMAT /*surfaceFormat*/, BOOL /*windowed*/,
                                                  D3DMULTISAMPLE_TYPE multiSampleType,
                                                  DWORD* qualityLevels) {
    D3D9_ENTER("CheckDeviceMultiSampleType");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    if (multiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (qualityLevels != nullptr) *qualityLevels = 1;
    return D3D_OK;
}

HRESULT SoftDirect3D9::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType,
                                              D3DFORMAT /*adapterFormat*/,
                                              D3DFORMAT /*renderTargetFormat*/,
                                              D3DFORMAT /*depthStencilFormat*/) {
    D3D9_ENTER("CheckDepthStencilMatch");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    return D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D9::CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType,
                                                   D3DFORMAT sourceFormat, D3DFORMAT targetFormat) {
    D3D9_ENTER("CheckDeviceFormatConversion");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    return IsRenderTargetFormat(sourceFormat) && IsRenderTargetFormat(targetFormat)
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
}

HRESULT SoftDirect3D9::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) {
    D3D9_ENTER("GetDeviceCaps");
    if (adapter != D3DADAPTER_DEFAULT || !IsDeviceType(deviceType) || caps == nullptr)
        return D3DERR_INVALIDCALL;
    FillCaps(*caps);
    caps->DeviceType = deviceType;
    return D3D_OK;
}

HMONITOR SoftDirect3D9::GetAdapterMonitor(UINT adapter) {
    SOFTD3D_ENTER("IDirect3D9", "GetAdapterMonitor");
    // A fixed token: there is one adapter and it has one (imaginary) monitor.
    return adapter == D3DADAPTER_DEFAULT ? reinterpret_cast<HMONITOR>(this) : nullptr;
}

HRESULT SoftDirect3D9::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                    DWORD behaviorFlags, D3DPRESENT_PARAMETERS* params,
                                    IDirect3DDevice9** device) {
    D3D9_ENTER("CreateDevice");
    if (device == nullptr) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT || params == nullptr) return D3DERR_INVALIDCALL;
    if (!IsDeviceType(deviceType)) return D3DERR_INVALIDCALL;
    const DWORD processing =
        behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                         D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        SoftD3D::GetCapsOverrides().NoHardwareVertexProcessing)
        return D3DERR_NOTAVAILABLE;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) != 0 &&
        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (focusWindow == nullptr && params->hDeviceWindow == nullptr) return D3DERR_INVALIDCALL;
    return SoftDevice9::Create(this, deviceType, focusWindow, behaviorFlags, params, device);
}
