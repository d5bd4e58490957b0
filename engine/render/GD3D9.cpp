#include "render/GD3D9.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>

#include "diagnostics/AngleHelpers.h"
#include "diagnostics/GDebugLog.h"
#include "platform/Platform.h"
#include "render/BaseSprite.h"
#include "render/GTextureManager.h"
#include "render/GVertexBuffer.h"
#include "render/ScreenVertex.h"

namespace {

GD3D9* LiveEngine = nullptr;

// The largest circle DrawCircle builds: its vertex block stays well within what one call takes.
constexpr int kMaxCirclePoints = 65536;

ScreenVertex Vertex(float x, float y, uint32_t colour, float u, float v) {
    return ScreenVertex{x, y, 0.0f, 1.0f, colour, u, v};
}

}  // namespace

GD3D9& GetD3DEngine() {
    static GD3D9 engine;
    return engine;
}

GD3D9::GD3D9() {
    // Whatever the engine's destruction still uses must outlive it: objects with static
    // storage are destroyed in the reverse order of their construction.
    GetDebugLog();
    GetTextureManager();
    std::memset(&PresentParams, 0, sizeof PresentParams);
    std::memset(&Viewport, 0, sizeof Viewport);
    std::memset(&hal_caps, 0, sizeof hal_caps);
    LiveEngine = this;
}

GD3D9::~GD3D9() {
    Release();
    CloseDrawLog();
    LiveEngine = nullptr;
}

GD3D9* GD3D9::Live() {
    return LiveEngine;
}

void GD3D9::LogFormatted(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) return;
    DrawLog(line);
}

// ---- Diagnostics ----

void GD3D9::DrawLog(const std::string& text) {
    if (DrawLogFile == nullptr) {
        const std::string folder = GetDebugLog().GetFolder();
        char path[260];
        // An empty base folder means the working folder, as for the debug log.
        const int n = folder.empty()
                          ? snprintf(path, sizeof path, "debug\\drawdebug.txt")
                          : snprintf(path, sizeof path, "%s\\debug\\drawdebug.txt", folder.c_str());
        if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
            // A cut path would open some other file; refuse it instead.
            Platform::DebuggerOutput("GD3D9::DrawLog: the draw log path is too long\n");
            return;
        }
        DrawLogFile = Platform::OpenStream(path, "wt");
        if (DrawLogFile == nullptr) return;
    }
    fwrite(text.data(), 1, text.size(), DrawLogFile);
    Platform::DebuggerOutput(text);
    Platform::DebuggerOutput("\n");
    fputc('\n', DrawLogFile);
    fflush(DrawLogFile);
}

void GD3D9::CloseDrawLog() {
    if (DrawLogFile != nullptr) {
        fclose(DrawLogFile);
        DrawLogFile = nullptr;
    }
}

std::string GD3D9::D3DErrorName(HRESULT result) {
    static const struct {
        uint32_t Result;
        const char* Name;
    } kNames[] = {
        {0x88760818, "D3DERR_WRONGTEXTUREFORMAT"},
        {0x88760819, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        {0x8876081A, "D3DERR_UNSUPPORTEDCOLORARG"},
        // The trailing blank is part of the name as the logs have always shown it.
        {0x8876081B, "D3DERR_UNSUPPORTEDALPHAOPERATION "},
        {0x8876081C, "D3DERR_UNSUPPORTEDALPHAARG"},
        {0x88760827, "D3DERR_DRIVERINTERNALERROR"},
        {0x88760868, "D3DERR_DEVICELOST"},
        {0x88760869, "D3DERR_DEVICENOTRESET"},
        {0x8876086A, "D3DERR_NOTAVAILABLE"},
        {0x8876086B, "D3DERR_INVALIDDEVICE"},
        {0x8876086C, "D3DERR_INVALIDCALL"},
        {0x88760870, "D3DERR_DEVICEREMOVED"},
        {0x88760874, "D3DERR_DEVICEHUNG"},
        {0x8876017C, "D3DERR_OUTOFVIDEOMEMORY"},
        {0x88760B59, "D3DXERR_INVALIDDATA"},
    };
    for (const auto& entry : kNames) {
        if (entry.Result == static_cast<uint32_t>(result)) return entry.Name;
    }
    char name[256];
    snprintf(name, sizeof name, "Untranslated HRESULT [%d]", static_cast<int>(result));
    return name;
}

void GD3D9::LogD3DError(HRESULT result, const std::string& context) {
    GetDebugLog().LogError(D3DErrorName(result));
    GetDebugLog().LogError(context);
}

bool GD3D9::HaveDevice(const char* operation) {
    if (PDevice != nullptr) return true;
    LogFormatted("%s: no Direct3D device", operation);
    return false;
}

// ---- Start-up ----

bool GD3D9::Init(HWND window, int width, int height, bool windowed) {
    DrawLog("Running in DEBUG mode");
    if (window == nullptr) {
        GetDebugLog().LogError("Window NULL");
        return false;
    }
    DrawLog(windowed ? "Initialising 3D Engine in windowed mode"
                     : "Initialising 3D Engine in fullscreen mode");
    Window = window;

    PD3D9 = Direct3DCreate9(D3D_SDK_VERSION);
    if (PD3D9 == nullptr) {
        GetDebugLog().LogError("Direct3DCreate9 Failed");
        return false;
    }

    D3DADAPTER_IDENTIFIER9 identifier;
    std::memset(&identifier, 0, sizeof identifier);
    const HRESULT hr = PD3D9->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
    if (FAILED(hr)) {
        LogD3DError(hr, "GetAdapterIdentifier Failed");
    } else {
        LogFormatted("Driver : %s", identifier.Driver);
        LogFormatted("Description : %s", identifier.Description);
        LogFormatted("DeviceName : %s", identifier.DeviceName);
    }

    std::memset(&PresentParams, 0, sizeof PresentParams);
    Windowed = windowed;
    PresentParams.Windowed = windowed ? TRUE : FALSE;
    if (windowed) {
        // Zero sizes take the window's client area.
        PresentParams.BackBufferWidth = 0;
        PresentParams.BackBufferHeight = 0;
        PresentParams.BackBufferFormat = D3DFMT_UNKNOWN;
    } else {
        PresentParams.BackBufferWidth = static_cast<UINT>(width);
        PresentParams.BackBufferHeight = static_cast<UINT>(height);
        PresentParams.BackBufferFormat = D3DFMT_X8R8G8B8;
    }
    PresentParams.FullScreen_RefreshRateInHz = 0;
    PresentParams.hDeviceWindow = Window;
    PresentParams.EnableAutoDepthStencil = FALSE;
    PresentParams.BackBufferCount = 1;
    PresentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    PresentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    CheckCaps();

    LogFormatted("About to Create 3D Device with width: %d and height : %d", width, height);
    DWORD processing = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (HardwareTnL) {
        DrawLog("Attempting hardware Vertex Processing");
        processing = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    } else {
        DrawLog("Attempting software Vertex Processing");
    }
    HRESULT created = CreateDevice(processing);
    if (FAILED(created)) {
        LogD3DError(created, "CreateDevice");
        DrawLog("Attempting software Vertex Processing");
        created = CreateDevice(D3DCREATE_SOFTWARE_VERTEXPROCESSING);
        if (FAILED(created)) {
            LogD3DError(created, "CreateDevice failed again");
            return false;
        }
    }

    InScene = false;
    Windowed = windowed;
    SetDefaultRenderStates();
    PDevice->GetViewport(&Viewport);
    DrawLog("Finished initialising 3D Engine");
    return true;
}

HRESULT GD3D9::CreateDevice(DWORD vertexProcessing) {
    const HRESULT hr = PD3D9->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window,
                                           vertexProcessing, &PresentParams, &PDevice);
    if (SUCCEEDED(hr) && PDevice != nullptr) return hr;
    PDevice = nullptr;
    return FAILED(hr) ? hr : E_FAIL;
}

void GD3D9::CheckCaps() {
    DrawLog("Checking For Shader Support");
    PixelShader2 = false;
    std::memset(&hal_caps, 0, sizeof hal_caps);
    if (PD3D9 == nullptr) {
        DrawLog("CheckCaps: no Direct3D object");
        return;
    }
    const HRESULT hr = PD3D9->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &hal_caps);
    if (FAILED(hr)) {
        LogD3DError(hr, "Getting Device Caps Failed");
        std::memset(&hal_caps, 0, sizeof hal_caps);
    }
    if (hal_caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        DrawLog("hal_caps.D3DPTEXTURECAPS_SQUAREONLY is true");
    }
    if (hal_caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
        DrawLog("hal_caps.D3DPTEXTURECAPS_POW2 is true");
        NonPow2Textures = false;
    }
    LogFormatted("NumSimultaneousRTs:%d", static_cast<int>(hal_caps.NumSimultaneousRTs));
    if (hal_caps.PixelShaderVersion < D3DPS_VERSION(2, 0)) {
        PixelShader2 = false;
        DrawLog("hal_caps.PixelShaderVersion < D3DPS_VERSION(2, 0)");
    } else {
        DrawLog("hal_caps.PixelShaderVersion >= D3DPS_VERSION(2, 0)");
        PixelShader2 = true;
        if (hal_caps.PixelShaderVersion >= D3DPS_VERSION(3, 0)) {
            DrawLog("hal_caps.PixelShaderVersion >= D3DPS_VERSION(3, 0)");
        }
    }
    HardwareTnL = (hal_caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
}

int GD3D9::FixTextureSize(int size) const {
    if (NonPow2Textures) return size;
    for (int side = 256; side <= 4096; side *= 2) {
        if (size <= side) return side;
    }
    return 8192;
}

// ---- Display modes ----

void GD3D9::EnumerateDisplayModes() {
    DisplayModes.clear();
    if (PD3D9 == nullptr) {
        DrawLog("EnumerateDisplayModes: no Direct3D object");
        return;
    }
    D3DDISPLAYMODE current;
    std::memset(&current, 0, sizeof current);
    PD3D9->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &current);
    const UINT count = PD3D9->GetAdapterModeCount(D3DADAPTER_DEFAULT, current.Format);
    for (UINT i = 0; i < count; i++) {
        D3DDISPLAYMODE mode;
        if (SUCCEEDED(PD3D9->EnumAdapterModes(D3DADAPTER_DEFAULT, current.Format, i, &mode))) {
            DisplayModes.push_back(mode);
        }
    }
    std::stable_sort(
        DisplayModes.begin(), DisplayModes.end(),
        [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) { return a.Width > b.Width; });
}

unsigned GD3D9::GetFullscreenRefreshRate(int width, int height) {
    DrawLog("Getting fullscreen refresh rate");
    if (PD3D9 == nullptr) {
        DrawLog("GetFullscreenRefreshRate: no Direct3D object");
        return 0;
    }
    const UINT count = PD3D9->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    LogFormatted("Found %d adapter modes at %d x %d", static_cast<int>(count), width, height);
    unsigned best = 0;
    for (UINT i = 0; i < count; i++) {
        D3DDISPLAYMODE mode;
        const HRESULT hr = PD3D9->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode);
        if (FAILED(hr)) {
            LogD3DError(hr, "EnumAdapterModes failed");
            continue;
        }
        LogFormatted("Found adapter modes at %d x %d refresh[%d]", width, height,
                     static_cast<int>(mode.RefreshRate));
        if (mode.RefreshRate > best) best = mode.RefreshRate;
    }
    LogFormatted("Using %d as refresh rate", static_cast<int>(best));
    return best;
}

void GD3D9::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters) {
    if (PD3D9 == nullptr) DrawLog("PD3D9");
    if (!HaveDevice("CreateAdditionalSwapChain")) return;
    const HRESULT hr = PDevice->CreateAdditionalSwapChain(presentParameters, &AdditionalSwapChain);
    if (FAILED(hr)) {
        AdditionalSwapChain = nullptr;
        LogD3DError(hr, "CreateAdditionalSwapChain");
    } else {
        DrawLog("Created additional swap chain");
    }
}

// ---- Frame ----

void GD3D9::BeginScene() {
    if (!HaveDevice("BeginScene")) return;
    const HRESULT hr = PDevice->BeginScene();
    if (FAILED(hr)) {
        LogD3DError(hr, "Begin Scene");
    } else {
        InScene = true;
    }
    if (Wireframe) Clear();
    // Every frame starts in normal blending; when the last one ended additive the device
    // must be told, or it would keep drawing additive while BlendMode says normal.
    if (BlendMode != 0) {
        PDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        PDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    }
    BlendMode = 0;
}

void GD3D9::Clear() {
    if (!HaveDevice("Clear")) return;
    const HRESULT hr = PDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    if (FAILED(hr)) LogD3DError(hr, "Clear()");
}

void GD3D9::ClearScreen(uint32_t colour) {
    if (!HaveDevice("ClearScreen")) return;
    const HRESULT hr = PDevice->Clear(0, nullptr, D3DCLEAR_TARGET, colour, 1.0f, 0);
    if (FAILED(hr)) LogD3DError(hr, "ClearScreen()");
}

void GD3D9::EndScene() {
    if (!HaveDevice("EndScene")) return;
    if (FrameTiming) {
        const uint32_t now = Platform::MillisecondTime();
        const uint32_t elapsed = now - LastFrameTime;
        if (elapsed != 0) FramesPerSecond = 1000.0f / static_cast<float>(elapsed);
        LastFrameTime = now;
    }
    const HRESULT hr = PDevice->EndScene();
    if (FAILED(hr)) {
        LogD3DError(hr, "End Scene");
    } else {
        InScene = false;
    }
}

void GD3D9::Flip() {
    if (!HaveDevice("Flip")) return;
    if (ScreenshotPending) {
        SaveScreenshot(ScreenshotFile, ScreenshotFormat, nullptr);
    }
    const HRESULT hr = PDevice->Present(nullptr, nullptr, nullptr, nullptr);
    if (FAILED(hr)) LogD3DError(hr, "Flip");
}

// ---- Screenshots ----

void GD3D9::RequestScreenshot(const std::string& fileName, int format) {
    ScreenshotPending = true;
    ScreenshotFile = fileName;
    ScreenshotFormat = format;
}

void GD3D9::SaveScreenshot(const std::string& fileName, int format, const RECT* sourceRect) {
    ScreenshotPending = false;
    if (!HaveDevice("SaveScreenshot")) return;
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = PDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
    if (FAILED(hr) || surface == nullptr) {
        LogD3DError(hr, "Error getting backbuffer");
        return;
    }
    hr = D3DXSaveSurfaceToFileA(Platform::NativePath(fileName).c_str(),
                                static_cast<D3DXIMAGE_FILEFORMAT>(format), surface, nullptr,
                                sourceRect);
    if (FAILED(hr)) LogD3DError(hr, "Error saving screenshot");
    surface->Release();
}

// ---- Render targets ----

void GD3D9::CreateRenderTarget(int width, int height, const std::string& name, D3DFORMAT format) {
    LogFormatted("Initialising Render target of %d X %d %s", width, height, name.c_str());
    GTextureManager& manager = GetTextureManager();
    if (manager.HasTexture(name)) {
        char message[256];
        snprintf(message, sizeof message, "Error!, render target duplicate name [%s]",
                 name.c_str());
        GetDebugLog().LogError(message);
        return;
    }
    if (!HaveDevice("CreateRenderTarget")) return;
    char context[256];
    HRESULT hr = PD3D9 != nullptr
                     ? PD3D9->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                                D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format)
                     : D3DERR_INVALIDCALL;
    if (FAILED(hr)) {
        snprintf(context, sizeof context, "Device format unsupported:[%s]", name.c_str());
        LogD3DError(hr, context);
    }
    auto texture = std::make_unique<GTexture9>();
    texture->Name = name;
    texture->Height = height;
    texture->Width = width;
    hr = D3DXCreateTexture(PDevice, static_cast<UINT>(width), static_cast<UINT>(height), 1,
                           D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture->PSurf);
    if (FAILED(hr) || texture->PSurf == nullptr) {
        texture->PSurf = nullptr;
        snprintf(context, sizeof context, "Error creating texture:[%s]", name.c_str());
        LogD3DError(hr, context);
        // Not registered, so the name stays free for another attempt.
        return;
    }
    manager.AddTexture(texture.release());
    DrawLog(name);
}

void GD3D9::CreateRenderTarget(int width, int height, const std::string& name, bool alpha) {
    CreateRenderTarget(width, height, name, alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8);
}

void GD3D9::CreateSystemMemoryTexture(int width, int height, const std::string& name) {
    LogFormatted("Initialising system memory texture of %d X %d %s", width, height, name.c_str());
    if (!HaveDevice("CreateSystemMemoryTexture")) return;
    auto texture = std::make_unique<GTexture9>();
    texture->Name = name;
    texture->Height = height;
    texture->Width = width;
    const HRESULT hr = PDevice->CreateOffscreenPlainSurface(
        static_cast<UINT>(width), static_cast<UINT>(height), D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
        &texture->PTarget, nullptr);
    if (FAILED(hr) || texture->PTarget == nullptr) {
        texture->PTarget = nullptr;
        char context[256];
        snprintf(context, sizeof context, "Error creating texture:[%s]", name.c_str());
        LogD3DError(hr, context);
        return;
    }
    GetTextureManager().AddTexture(texture.release());
    DrawLog(name);
}

void GD3D9::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    if (!HaveDevice("SetRenderTarget")) return;
    const HRESULT hr = PDevice->SetRenderTarget(index, surface);
    if (FAILED(hr)) LogD3DError(hr, "Failed to set render target");
}

// ---- States and viewport ----

void GD3D9::SetDefaultRenderStates() {
    if (!HaveDevice("SetDefaultRenderStates")) return;
    // The alpha reference stays 0, so fully transparent texels are discarded.
    PDevice->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    GetTextureManager().SetTexture(nullptr);
    PDevice->SetRenderState(D3DRS_LIGHTING, FALSE);
    for (DWORD sampler = 0; sampler <= 4; sampler++) {
        PDevice->SetSamplerState(sampler, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        PDevice->SetSamplerState(sampler, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        PDevice->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        PDevice->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        PDevice->SetSamplerState(sampler, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
    PDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    PDevice->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    PDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    PDevice->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    SetBlendMode(0);
    PDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    PDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    PDevice->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    PDevice->SetRenderState(D3DRS_SEPARATEALPHABLENDENABLE, TRUE);
    PDevice->SetRenderState(D3DRS_SRCBLENDALPHA, D3DBLEND_SRCALPHA);
    PDevice->SetRenderState(D3DRS_DESTBLENDALPHA, D3DBLEND_ONE);
    PDevice->SetFVF(kScreenVertexFVF);
    // Wireframe outlives the device: a new or reset one starts in solid fill, and left so,
    // the next ToggleWireframe would do the opposite of what the flag says.
    if (Wireframe) PDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
}

void GD3D9::SetBlendMode(int mode) {
    if (mode != 0 && mode != 1) return;
    if (mode == BlendMode) return;
    if (!HaveDevice("SetBlendMode")) return;
    PDevice->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    PDevice->SetRenderState(D3DRS_DESTBLEND, mode == 0 ? D3DBLEND_INVSRCALPHA : D3DBLEND_ONE);
    BlendMode = mode;
}

void GD3D9::SetLinearFiltering() {
    if (!HaveDevice("SetLinearFiltering")) return;
    PDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    PDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
}

void GD3D9::SetPointFiltering() {
    if (!HaveDevice("SetPointFiltering")) return;
    PDevice->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    PDevice->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
}

void GD3D9::ToggleWireframe() {
    if (!HaveDevice("ToggleWireframe")) return;
    Wireframe = !Wireframe;
    PDevice->SetRenderState(D3DRS_FILLMODE, Wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
}

void GD3D9::SetMipMapLodBias(float bias) {
    if (!HaveDevice("SetMipMapLodBias")) return;
    DWORD bits;
    static_assert(sizeof bits == sizeof bias, "the bias travels as the float's bits");
    std::memcpy(&bits, &bias, sizeof bits);
    PDevice->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, bits);
}

void GD3D9::CliViewport(int left, int top, int right, int bottom) {
    if (!HaveDevice("CliViewport")) return;
    D3DVIEWPORT9 viewport;
    viewport.X = static_cast<DWORD>(left);
    viewport.Y = static_cast<DWORD>(top);
    viewport.Width = static_cast<DWORD>(right - left);
    viewport.Height = static_cast<DWORD>(bottom - top);
    viewport.MinZ = 0.0f;
    viewport.MaxZ = 1.0f;
    const HRESULT hr = PDevice->SetViewport(&viewport);
    if (FAILED(hr)) LogD3DError(hr, "CliViewport");
}

void GD3D9::RestoreViewport() {
    if (!HaveDevice("RestoreViewport")) return;
    PDevice->SetViewport(&Viewport);
}

void GD3D9::SetBatching(bool on) {
    if (Batching && !on) FlushGlobalVB();
    Batching = on;
}

void GD3D9::DrawGlobalVB() {
    GlobalVB.Draw();
}

void GD3D9::FlushGlobalVB() {
    GlobalVB.Flush();
}

// ---- Drawing ----

void GD3D9::DrawUserPrimitives(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                               const void* vertices, UINT stride) {
    if (!HaveDevice("DrawUserPrimitives")) return;
    const HRESULT hr = PDevice->DrawPrimitiveUP(primitiveType, primitiveCount, vertices, stride);
    if (FAILED(hr))
        LogD3DError(hr, "DrawPrimitiveUP");
    else
        DrawCalls++;
}

void GD3D9::FillRect(const RECT& rect, uint32_t colour) {
    if (!HaveDevice("FillRect")) return;
    GetTextureManager().SetTexture(nullptr);
    // The half-pixel shift puts the quad's edges on pixel boundaries.
    const float l = static_cast<float>(rect.left) - 0.5f;
    const float t = static_cast<float>(rect.top) - 0.5f;
    const float r = static_cast<float>(rect.right) - 0.5f;
    const float b = static_cast<float>(rect.bottom) - 0.5f;
    const ScreenVertex verts[4] = {Vertex(l, t, colour, 0, 0), Vertex(r, t, colour, 1, 0),
                                   Vertex(l, b, colour, 0, 1), Vertex(r, b, colour, 1, 1)};
    DrawUserPrimitives(D3DPT_TRIANGLESTRIP, 2, verts, sizeof(ScreenVertex));
}

void GD3D9::DrawRect(const RECT& rect, uint32_t colour) {
    if (!HaveDevice("DrawRect")) return;
    GetTextureManager().SetTexture(nullptr);
    const float l = static_cast<float>(rect.left);
    const float t = static_cast<float>(rect.top);
    const float r = static_cast<float>(rect.right);
    const float b = static_cast<float>(rect.bottom);
    const ScreenVertex verts[5] = {Vertex(l, t, colour, 0, 0), Vertex(r, t, colour, 1, 0),
                                   Vertex(r, b, colour, 1, 1), Vertex(l, b, colour, 0, 1),
                                   Vertex(l, t, colour, 0, 0)};
    DrawUserPrimitives(D3DPT_LINESTRIP, 4, verts, sizeof(ScreenVertex));
}

void GD3D9::DrawThickRect(const RECT& rect, uint32_t colour, float thickness) {
    const float h = thickness / 2.0f;
    const float l = static_cast<float>(rect.left);
    const float t = static_cast<float>(rect.top);
    const float r = static_cast<float>(rect.right);
    const float b = static_cast<float>(rect.bottom);
    auto band = [&](float left, float top, float right, float bottom) {
        RECT side;
        SetRect(&side, static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
                static_cast<int>(bottom));
        FillRect(side, colour);
    };
    band(l - h, t - h, r + h, t + h);
    band(l - h, b - h, r + h, b + h);
    band(l - h, t - h, l + h, b + h);
    band(r - h, t - h, r + h, b + h);
}

void GD3D9::DrawLine(float x1, float y1, float x2, float y2, uint32_t colour) {
    if (!HaveDevice("DrawLine")) return;
    const ScreenVertex verts[2] = {Vertex(x1, y1, colour, 0, 0), Vertex(x2, y2, colour, 1, 0)};
    GetTextureManager().SetTexture(nullptr);
    DrawUserPrimitives(D3DPT_LINELIST, 1, verts, sizeof(ScreenVertex));
}

void GD3D9::DrawCircle(float x, float y, float radius, int numpoints, uint32_t colour) {
    // Refused calls draw nothing: a bad count would size the vertex block wrongly.
    if (numpoints <= 4) {
        GetDebugLog().Log("GD3D9::DrawCircle: assertion failed: numpoints > 4");
        return;
    }
    if (numpoints > kMaxCirclePoints) {
        GetDebugLog().Log("GD3D9::DrawCircle: assertion failed: numpoints <= 65536");
        return;
    }
    if (!(radius >= 0.0f)) {
        GetDebugLog().Log("GD3D9::DrawCircle: assertion failed: radius >= 0");
        return;
    }
    if (!HaveDevice("DrawCircle")) return;
    GetTextureManager().SetTexture(nullptr);
    const float step = 360.0f / static_cast<float>(numpoints);
    std::vector<ScreenVertex> verts(static_cast<size_t>(numpoints) + 1);
    float angle = 0.0f;
    for (int i = 0; i < numpoints; i++) {
        // Clockwise on screen from straight above the centre.
        const float a = angle * 0.017453292f;
        verts[i] = Vertex(x + std::sin(a) * radius, y - std::cos(a) * radius, colour, 0, 0);
        angle += step;
    }
    verts[numpoints] = verts[0];
    DrawUserPrimitives(D3DPT_LINESTRIP, static_cast<UINT>(numpoints), verts.data(),
                       sizeof(ScreenVertex));
}

// ---- Drawing with sprites ----

namespace {

// The rectangle from a sprite's corner 0 to its corner 3, each coordinate truncated toward zero.
RECT SpriteRect(const BaseSprite& sprite) {
    RECT rect;
    rect.left = TruncateToInt(sprite.Verts[0].X);
    rect.top = TruncateToInt(sprite.Verts[0].Y);
    rect.right = TruncateToInt(sprite.Verts[3].X);
    rect.bottom = TruncateToInt(sprite.Verts[3].Y);
    return rect;
}

}  // namespace

void GD3D9::FillSpriteRect(const BaseSprite& sprite, uint32_t colour) {
    FillRect(SpriteRect(sprite), colour);
}

void GD3D9::DrawSpriteRect(const BaseSprite& sprite, uint32_t colour) {
    DrawRect(SpriteRect(sprite), colour);
}

void GD3D9::DrawThickLine(float x1, float y1, float x2, float y2, float thickness,
                          uint32_t colour) {
    BaseSprite line;
    line.SetColour(colour);
    line.Width = thickness;
    line.Height = DistanceBetweenPoints(x1, y1, x2, y2);
    line.Angle = BearingBetweenPoints(x1, y1, x2, y2);
    line.SetPosition((x1 + x2) / 2.0f, (y1 + y2) / 2.0f);
    line.Draw();
}

// ---- Restore and release ----

bool GD3D9::Restore() {
    GetTextureManager().ReleaseForRestore();
    DrawLog("D3DEngine Restore called");
    const int width = static_cast<int>(PresentParams.BackBufferWidth);
    const int height = static_cast<int>(PresentParams.BackBufferHeight);
    Release();
    const bool started = Init(Window, width, height, Windowed);
    DrawLog("D3DEngine Restore completed");
    return started;
}

void GD3D9::Release() {
    GetDebugLog().Log("releasing D3D engine");
    GetTextureManager().ReleaseTextures();
    // The swap chain belongs to the device: it goes first, and nothing freed stays reachable.
    if (AdditionalSwapChain != nullptr) {
        AdditionalSwapChain->Release();
        AdditionalSwapChain = nullptr;
    }
    if (PDevice != nullptr) {
        PDevice->Release();
        PDevice = nullptr;
    }
    if (PD3D9 != nullptr) {
        PD3D9->Release();
        PD3D9 = nullptr;
    }
    GetDebugLog().Log("D3D released");
}
