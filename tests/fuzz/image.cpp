// Image files from memory in every format the image helpers read: the decoder alone, the
// file information, and textures made on devices with default, power-of-two and square-only
// caps, every level read back.
#include <d3dx9.h>

#include <cstring>

#include "FuzzSupport.h"
#include "platform/d3d9/ImageCodec.h"
#include "platform/d3d9/SoftD3D.h"

namespace {

struct Device {
    HWND Window = nullptr;
    IDirect3D9* D3D = nullptr;
    IDirect3DDevice9* Device9 = nullptr;

    Device() {
        Window = SoftD3D::CreateHeadlessWindow(16, 16);
        D3D = Direct3DCreate9(D3D_SDK_VERSION);
        if (D3D == nullptr) return;
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferCount = 1;
        pp.hDeviceWindow = Window;
        D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window,
                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &Device9);
    }
    ~Device() {
        if (Device9 != nullptr) Device9->Release();
        if (D3D != nullptr) D3D->Release();
        SoftD3D::DestroyHeadlessWindow(Window);
    }
};

// Reads every byte of every level, so a level left short or unwritten shows up under the
// sanitizers.
unsigned ReadBack(IDirect3DTexture9* texture) {
    unsigned sum = 0;
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        D3DLOCKED_RECT locked;
        if (FAILED(texture->GetLevelDesc(level, &desc))) continue;
        if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) continue;
        for (UINT y = 0; y < desc.Height; ++y) {
            const auto* row = static_cast<const uint8_t*>(locked.pBits) + size_t(y) * locked.Pitch;
            for (INT x = 0; x < locked.Pitch; ++x) sum += row[x];
        }
        texture->UnlockRect(level);
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Device device;
    if (device.Device9 == nullptr) return 0;

    ImageCodec::Image image;
    ImageCodec::Decode(data, size, image);
    D3DXIMAGE_INFO info;
    if (FAILED(D3DXGetImageInfoFromFileInMemory(data, UINT(size), &info))) return 0;

    SoftD3D::CapsOverrides caps[3];
    caps[1].Pow2Only = true;
    caps[2].SquareOnly = true;
    volatile unsigned sink = 0;
    for (const SoftD3D::CapsOverrides& c : caps) {
        SoftD3D::SetCapsOverrides(c);
        // The file's own levels once, a full chain on the restricted devices.
        const UINT levels = c.Pow2Only || c.SquareOnly ? D3DX_DEFAULT : D3DX_FROM_FILE;
        IDirect3DTexture9* texture = nullptr;
        if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(
                device.Device9, data, UINT(size), D3DX_DEFAULT, D3DX_DEFAULT, levels, 0,
                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr,
                &texture))) {
            sink = sink + ReadBack(texture);
            texture->Release();
        }
    }
    SoftD3D::SetCapsOverrides(SoftD3D::CapsOverrides());
    return 0;
}
