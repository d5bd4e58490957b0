// Creating the software device: adapter facts, back-buffer sizes, reference counting, the
// test hooks (failure injection, call counters, caps overrides) and the lost device.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <utility>

#include "DeviceTestSupport.h"

using DeviceTest::DeviceFixture;

namespace {

struct Created {
    IDirect3D9* D3d = nullptr;
    IDirect3DDevice9* Device = nullptr;
    HRESULT Result = E_FAIL;
    D3DPRESENT_PARAMETERS Params{};
};

Created CreateOn(HWND window, bool windowed, UINT width, UINT height,
                 DWORD flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING) {
    Created c;
    c.D3d = Direct3DCreate9(D3D_SDK_VERSION);
    std::memset(&c.Params, 0, sizeof(c.Params));
    c.Params.Windowed = windowed;
    c.Params.BackBufferWidth = width;
    c.Params.BackBufferHeight = height;
    c.Params.BackBufferFormat = windowed ? D3DFMT_UNKNOWN : D3DFMT_X8R8G8B8;
    c.Params.BackBufferCount = 1;
    c.Params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    c.Params.hDeviceWindow = window;
    c.Result = c.D3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, flags, &c.Params,
                                   &c.Device);
    return c;
}

void Destroy(Created& c) {
    if (c.Device != nullptr) {
        EXPECT_EQ(c.Device->Release(), 0u);
    }
    EXPECT_EQ(c.D3d->Release(), 0u);
}

}  // namespace

TEST(DeviceCreation, BackBufferTakesClientSizeWhenWindowedAndRequestedSizeWhenFullscreen) {
    HWND window = SoftD3D::CreateHeadlessWindow(200, 150);
    Created windowed = CreateOn(window, true, 0, 0);
    ASSERT_EQ(windowed.Result, D3D_OK);
    EXPECT_EQ(windowed.Params.BackBufferWidth, 200u);
    EXPECT_EQ(windowed.Params.BackBufferHeight, 150u);
    EXPECT_EQ(windowed.Params.BackBufferFormat, D3DFMT_X8R8G8B8);
    Destroy(windowed);

    Created fullscreen = CreateOn(window, false, 640, 480);
    ASSERT_EQ(fullscreen.Result, D3D_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(fullscreen.Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 640u);
    EXPECT_EQ(desc.Height, 480u);
    back->Release();
    Destroy(fullscreen);
    SoftD3D::DestroyHeadlessWindow(window);
}

TEST(DeviceCreation, RefusesUnknownWindowsAndBadArguments) {
    HWND window = SoftD3D::CreateHeadlessWindow(64, 64);
    HWND stale = SoftD3D::CreateHeadlessWindow(64, 64);
    SoftD3D::DestroyHeadlessWindow(stale);

    Created onStale = CreateOn(stale, true, 0, 0);
    EXPECT_EQ(onStale.Result, D3DERR_INVALIDCALL);
    EXPECT_EQ(onStale.Device, nullptr);
    Destroy(onStale);

    Created noProcessing = CreateOn(window, true, 0, 0, 0);
    EXPECT_EQ(noProcessing.Result, D3DERR_INVALIDCALL);
    Destroy(noProcessing);

    Created fullscreenWithoutSize = CreateOn(window, false, 0, 0);
    EXPECT_EQ(fullscreenWithoutSize.Result, D3DERR_INVALIDCALL);
    Destroy(fullscreenWithoutSize);

    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    SoftD3D::DestroyHeadlessWindow(window);
}

TEST(DeviceAdapter, OffersX8R8G8B8ModesFrom640x480To1920x1080AtTwoRefreshRates) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    UINT count = d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8);
    std::set<std::pair<UINT, UINT>> sizes;
    std::set<UINT> rates;
    for (UINT i = 0; i < count; i++) {
        D3DDISPLAYMODE mode;
        ASSERT_EQ(d3d->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, i, &mode), D3D_OK);
        EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
        sizes.insert({mode.Width, mode.Height});
        rates.insert(mode.RefreshRate);
    }
    EXPECT_TRUE(sizes.count({640, 480}));
    EXPECT_TRUE(sizes.count({1920, 1080}));
    EXPECT_EQ(rates.size(), 2u);
    D3DDISPLAYMODE mode;
    EXPECT_EQ(d3d->EnumAdapterModes(D3DADAPTER_DEFAULT, D3DFMT_X8R8G8B8, count, &mode),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, D3DFMT_R5G6B5), 0u);

    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &id), D3D_OK);
    EXPECT_GT(std::strlen(id.Driver), 0u);
    EXPECT_GT(std::strlen(id.Description), 0u);
    EXPECT_GT(std::strlen(id.DeviceName), 0u);
    EXPECT_EQ(d3d->GetAdapterIdentifier(1, 0, &id), D3DERR_INVALIDCALL);
    d3d->Release();
}

TEST(DeviceAdapter, CheckDeviceFormatAcceptsTheStoredFormatsOnly) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    const D3DFORMAT stored[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A4R4G4B4,
                                D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5,
                                D3DFMT_A8L8,     D3DFMT_L8,       D3DFMT_A8};
    for (D3DFORMAT format : stored)
        EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                         D3DRTYPE_TEXTURE, format),
                  D3D_OK)
            << format;
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                     D3DRTYPE_TEXTURE, D3DFMT_DXT1),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                     D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DFMT_A8R8G8B8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                     D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DFMT_L8),
              D3DERR_NOTAVAILABLE);
    d3d->Release();
}

TEST_F(DeviceFixture, ReferencesFollowTheApi_SurfacesAndChildrenHoldTheDevice) {
    // The device holds the Direct3D object.
    EXPECT_EQ(d3d->AddRef(), 3u);
    d3d->Release();

    // A back buffer handed out holds the device until it is released.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_EQ(device->AddRef(), 3u);
    device->Release();
    EXPECT_EQ(back->Release(), 0u);
    EXPECT_EQ(device->AddRef(), 2u);
    device->Release();

    // A level surface counts on its texture.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 3u);
    texture->Release();
    level->Release();

    // A texture still set on a stage outlives its last user reference without holding the
    // device; the device frees it when it goes (the sanitizer build checks both ends).
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    EXPECT_EQ(texture->Release(), 0u);
    IDirect3DBaseTexture9* current = nullptr;
    ASSERT_EQ(device->GetTexture(0, &current), D3D_OK);
    EXPECT_EQ(current, texture);
    current->Release();
}

TEST_F(DeviceFixture, ReleasePastZeroDoesNotFreeTwice) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(280, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, 28), D3D_OK);
    EXPECT_EQ(vb->Release(), 0u);
    // The stream still holds it, so the object is alive and an extra Release is harmless.
    EXPECT_EQ(vb->Release(), 0u);
    ASSERT_EQ(device->SetStreamSource(0, nullptr, 0, 0), D3D_OK);
}

TEST_F(DeviceFixture, InjectedFailureHitsTheNextCallOnly) {
    SoftD3D::FailNextCall("IDirect3DDevice9::CreateTexture", D3DERR_OUTOFVIDEOMEMORY);
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(texture, nullptr);
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);

    // A bare name arms whichever interface calls it next; counters see both spellings.
    SoftD3D::ResetCallCounts();
    SoftD3D::FailNextCall("LockRect", D3DERR_INVALIDCALL);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    texture->UnlockRect(0);
    EXPECT_EQ(SoftD3D::CallCount("LockRect"), 2u);
    EXPECT_EQ(SoftD3D::CallCount("IDirect3DTexture9::LockRect"), 2u);
    EXPECT_EQ(SoftD3D::CallCount("IDirect3DSurface9::LockRect"), 0u);
    texture->Release();

    SoftD3D::FailNextCall("Direct3DCreate9", E_FAIL);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    IDirect3D9* again = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(again, nullptr);
    again->Release();
}

TEST_F(DeviceFixture, InjectedFailures_QualifiedBeforeBareAndClearedTogether) {
    DWORD fvf = 0;
    // Arming names that were never called before, then calling them, reaches the call site.
    SoftD3D::FailNextCall("GetFVF", E_FAIL);
    SoftD3D::FailNextCall("IDirect3DDevice9::GetFVF", D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFVF(&fvf), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetFVF(&fvf), E_FAIL);
    EXPECT_EQ(device->GetFVF(&fvf), D3D_OK);

    SoftD3D::FailNextCall("GetFVF", E_FAIL);
    SoftD3D::FailNextCall("NeverCalledByAnything", E_FAIL);
    SoftD3D::ClearFailures();
    EXPECT_EQ(device->GetFVF(&fvf), D3D_OK);

    // Call sites and the by-name entry used by helpers share one set of counters.
    SoftD3D::ResetCallCounts();
    EXPECT_EQ(device->GetFVF(&fvf), D3D_OK);
    EXPECT_EQ(SoftD3D::EnterCall("IDirect3DDevice9", "GetFVF"), S_OK);
    EXPECT_EQ(SoftD3D::CallCount("GetFVF"), 2u);
    EXPECT_EQ(SoftD3D::CallCount("IDirect3DDevice9::GetFVF"), 2u);
    EXPECT_EQ(SoftD3D::CallCount("NeverCalledByAnything"), 0u);
    EXPECT_EQ(SoftD3D::CallCount(nullptr), 0u);
}

TEST(DeviceHooks, CapsOverridesChangeCapsAndWhatCreationAccepts) {
    HWND window = SoftD3D::CreateHeadlessWindow(64, 64);
    SoftD3D::CapsOverrides caps;
    caps.Pow2Only = true;
    caps.SquareOnly = true;
    caps.NoHardwareVertexProcessing = true;
    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    SoftD3D::SetCapsOverrides(caps);

    Created hw = CreateOn(window, true, 0, 0, D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_TRUE(FAILED(hw.Result));
    Destroy(hw);

    Created sw = CreateOn(window, true, 0, 0);
    ASSERT_EQ(sw.Result, D3D_OK);
    D3DCAPS9 got;
    ASSERT_EQ(sw.D3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &got), D3D_OK);
    EXPECT_NE(got.TextureCaps & D3DPTEXTURECAPS_POW2, 0u);
    EXPECT_NE(got.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY, 0u);
    EXPECT_EQ(got.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
    EXPECT_EQ(got.PixelShaderVersion, D3DPS_VERSION(1, 4));

    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(sw.Device->CreateTexture(300, 300, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                       nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(sw.Device->CreateTexture(256, 128, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                       nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(sw.Device->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                       nullptr),
              D3D_OK);
    texture->Release();
    Destroy(sw);

    SoftD3D::ResetHooks();
    D3DCAPS9 plain;
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &plain);
    EXPECT_EQ(plain.TextureCaps & (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY), 0u);
    EXPECT_NE(plain.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
    EXPECT_GE(plain.PixelShaderVersion, D3DPS_VERSION(2, 0));
    d3d->Release();
    SoftD3D::DestroyHeadlessWindow(window);
}

TEST_F(DeviceFixture, LostDeviceFailsPresentUntilReset) {
    ASSERT_TRUE(SoftD3D::SetDeviceLost(device, true));
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    // A reset is refused while a back buffer is still held.
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    back->Release();

    // The window grew meanwhile; the reset back buffer follows it.
    SoftD3D::SetClientSize(window, 48, 40);
    pp = WindowedParams();
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 48u);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    SoftD3D::Frame frame;
    ASSERT_TRUE(SoftD3D::GetLastFrame(window, frame));
    EXPECT_EQ(frame.Width, 48);
    EXPECT_EQ(frame.Height, 40);
    EXPECT_EQ(frame.Pixels[47 + 39 * 48], 0xFF00FF00u);
}

TEST_F(DeviceFixture, AdditionalSwapChainPresentsToItsOwnWindow) {
    HWND second = SoftD3D::CreateHeadlessWindow(10, 6);
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.hDeviceWindow = second;
    IDirect3DSwapChain9* chain = nullptr;
    ASSERT_EQ(device->CreateAdditionalSwapChain(&pp, &chain), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 10u);

    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(chain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0), D3D_OK);
    back->Release();
    ASSERT_EQ(chain->Present(nullptr, nullptr, nullptr, nullptr, 0), D3D_OK);

    SoftD3D::Frame frame;
    ASSERT_TRUE(SoftD3D::GetLastFrame(second, frame));
    EXPECT_EQ(frame.Width, 10);
    EXPECT_EQ(frame.Pixels[0], 0xFF123456u);
    EXPECT_FALSE(SoftD3D::GetLastFrame(window, frame));

    // The chain's back buffer is still the render target: give the device its own back.
    IDirect3DSurface9* own = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &own);
    device->SetRenderTarget(0, own);
    own->Release();
    EXPECT_EQ(chain->Release(), 0u);
    SoftD3D::DestroyHeadlessWindow(second);
}
