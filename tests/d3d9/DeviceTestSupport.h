// A headless window with a windowed device on it (the software device, or the system's),
// and small helpers for the device tests: screen vertices, textures filled from code, pixels
// read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/D3D9.h"
#include "platform/Window.h"
#include "platform/d3d9/SoftD3D.h"
#include "support/DeviceSupport.h"

namespace DeviceTest {

struct ScreenVertex {
    float X, Y, Z, Rhw;
    uint32_t Color;
    float U, V;
};

inline ScreenVertex Vtx(float x, float y, uint32_t color, float u = 0.0f, float v = 0.0f) {
    return {x, y, 0.0f, 1.0f, color, u, v};
}

// The four corners of a pixel-aligned quad covering [x, x+w) x [y, y+h), in the order
// top-left, top-right, bottom-left, bottom-right (a two-triangle strip).
inline std::vector<ScreenVertex> Quad(int x, int y, int w, int h, uint32_t color) {
    float l = x - 0.5f, t = y - 0.5f, r = x + w - 0.5f, b = y + h - 0.5f;
    return {Vtx(l, t, color, 0, 0), Vtx(r, t, color, 1, 0), Vtx(l, b, color, 0, 1),
            Vtx(r, b, color, 1, 1)};
}

// An A8R8G8B8 managed texture holding the given texels, one level.
inline IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, int w, int h,
                                      const std::vector<uint32_t>& texels) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(
        device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < h; y++)
        std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, &texels[y * w], w * 4);
    texture->UnlockRect(0);
    return texture;
}

// A windowed device's parameters on the window, with one back buffer of the window's size.
inline D3DPRESENT_PARAMETERS WindowedParams(HWND window) {
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof(pp));
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.BackBufferCount = 1;
    return pp;
}

class DeviceFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 32;
    static constexpr int kHeight = 24;

    void SetUp() override {
        SKIP_WITHOUT_DEVICE();
        SoftD3D::ResetHooks();
        windowObject = TestSupport::MakeHeadlessWindow(kWidth, kHeight);
        ASSERT_NE(windowObject, nullptr);
        window = windowObject->Handle();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS pp = WindowedParams();
        ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1), D3D_OK);
        // Library drawing never relies on winding.
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    void TearDown() override {
        if (device != nullptr) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d != nullptr) {
            EXPECT_EQ(d3d->Release(), 0u);
        }
        windowObject.reset();
        SoftD3D::ResetHooks();
    }

    D3DPRESENT_PARAMETERS WindowedParams() const { return DeviceTest::WindowedParams(window); }

    // The back buffer's texels as ARGB, read through a copy in system memory.
    std::vector<uint32_t> BackBufferPixels() {
        std::vector<uint32_t> pixels = TestSupport::BackBufferPixels(device);
        EXPECT_EQ(pixels.size(), static_cast<size_t>(kWidth) * kHeight);
        return pixels;
    }

    static std::vector<uint32_t> SurfacePixels(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        std::vector<uint32_t> pixels(desc.Width * desc.Height);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(surface->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        for (UINT y = 0; y < desc.Height; y++)
            std::memcpy(&pixels[y * desc.Width], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch,
                        desc.Width * 4);
        surface->UnlockRect();
        return pixels;
    }

    IDirect3DTexture9* MakeTexture(int w, int h, const std::vector<uint32_t>& texels) {
        return DeviceTest::MakeTexture(device, w, h, texels);
    }

    uint32_t Pixel(const std::vector<uint32_t>& pixels, int x, int y) const {
        return pixels[y * kWidth + x];
    }

    std::unique_ptr<Platform::Window> windowObject;
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

}  // namespace DeviceTest
