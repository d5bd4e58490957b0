// Shared by the image-helper tests: small DDS files built in memory, a software device on a
// headless window, and texture levels read back as bytes or ARGB.
#pragma once

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftD3D.h"

namespace D3DXTest {

struct DdsPixelFormat {
    uint32_t Flags, FourCC, Bits, R, G, B, A;
};

// Pixel-format blocks as common writers store them.
inline DdsPixelFormat DdsA8R8G8B8() {
    return {0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
}
inline DdsPixelFormat DdsX8R8G8B8() {
    return {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
}
inline DdsPixelFormat DdsR5G6B5() {
    return {0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0};
}
inline DdsPixelFormat DdsX1R5G5B5() {
    return {0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0};
}
inline DdsPixelFormat DdsA1R5G5B5() {
    return {0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000};
}
inline DdsPixelFormat DdsA4R4G4B4() {
    return {0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000};
}
inline DdsPixelFormat DdsA8() {
    return {0x2, 0, 8, 0, 0, 0, 0xFF};
}
inline DdsPixelFormat DdsL8() {
    return {0x20000, 0, 8, 0xFF, 0, 0, 0};
}
inline DdsPixelFormat DdsA8L8() {
    return {0x20001, 0, 16, 0xFF, 0, 0, 0xFF00};
}

inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A DDS file of the given size and pixel format; mipCount 0 leaves the mip-count flag off.
// The texel bytes follow the header unchanged.
inline std::vector<uint8_t> MakeDds(uint32_t w, uint32_t h, const DdsPixelFormat& pf,
                                    uint32_t mipCount, const std::vector<uint8_t>& texels) {
    std::vector<uint8_t> b(128 + texels.size(), 0);
    b[0] = 'D';
    b[1] = 'D';
    b[2] = 'S';
    b[3] = ' ';
    PutU32(b, 4, 124);
    PutU32(b, 8, 0x1007 | (mipCount ? 0x20000u : 0u));
    PutU32(b, 12, h);
    PutU32(b, 16, w);
    PutU32(b, 28, mipCount);
    PutU32(b, 76, 32);
    PutU32(b, 80, pf.Flags);
    PutU32(b, 84, pf.FourCC);
    PutU32(b, 88, pf.Bits);
    PutU32(b, 92, pf.R);
    PutU32(b, 96, pf.G);
    PutU32(b, 100, pf.B);
    PutU32(b, 104, pf.A);
    PutU32(b, 108, 0x1000 | (mipCount > 1 ? 0x400008u : 0u));
    for (size_t i = 0; i < texels.size(); ++i) b[128 + i] = texels[i];
    return b;
}

// Bytes 0, 1, 2, ... wrapping at 256: every texel distinct enough to catch reordering.
inline std::vector<uint8_t> CountingBytes(size_t n, uint8_t start = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(start + i * 7);
    return v;
}

// A distinct texel at every position, alpha included.
inline std::vector<uint32_t> Pattern(int w, int h) {
    std::vector<uint32_t> p;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p.push_back((uint32_t(255 - x * 30) << 24) | (uint32_t(x * 40) << 16) |
                        (uint32_t(y * 50) << 8) | uint32_t(200 - x * 5 - y * 7));
        }
    }
    return p;
}

class DeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SoftD3D::ResetHooks();
        window_ = SoftD3D::CreateHeadlessWindow(32, 32);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_NE(d3d_, nullptr);
        device_ = MakeDevice();
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        // Dropping to zero proves the helpers left no reference behind.
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (d3d_ != nullptr) {
            EXPECT_EQ(d3d_->Release(), 0u);
        }
        SoftD3D::DestroyHeadlessWindow(window_);
        SoftD3D::ResetHooks();
    }

    IDirect3DDevice9* MakeDevice() {
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferCount = 1;
        pp.hDeviceWindow = window_;
        IDirect3DDevice9* device = nullptr;
        d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                           D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
        return device;
    }

    // A fresh device that sees the given capability overrides.
    void RecreateDeviceWith(const SoftD3D::CapsOverrides& caps) {
        SoftD3D::SetCapsOverrides(caps);
        device_->Release();
        device_ = MakeDevice();
        ASSERT_NE(device_, nullptr);
    }

    // A one-level texture of the format holding argb, and its level-0 surface.
    IDirect3DSurface9* MakeSurface(D3DFORMAT format, int w, int h,
                                   const std::vector<uint32_t>& argb) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(D3DXCreateTexture(device_, w, h, 1, 0, format, D3DPOOL_MANAGED, &texture),
                  D3D_OK);
        if (texture == nullptr) return nullptr;
        D3DLOCKED_RECT locked;
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        const int bpp = PixelFormats::BytesPerPixel(format);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
            for (int x = 0; x < w; ++x) PixelFormats::Write(format, row + x * bpp, argb[y * w + x]);
        }
        texture->UnlockRect(0);
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
        texture->Release();
        return surface;
    }

    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// A texture level's texels row by row without padding.
inline std::vector<uint8_t> LevelBytes(IDirect3DTexture9* texture, UINT level) {
    D3DSURFACE_DESC desc;
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    const int bpp = PixelFormats::BytesPerPixel(desc.Format);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint8_t> out;
    for (UINT y = 0; y < desc.Height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        out.insert(out.end(), row, row + desc.Width * bpp);
    }
    texture->UnlockRect(level);
    return out;
}

inline std::vector<uint32_t> LevelArgb(IDirect3DTexture9* texture, UINT level) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    const int bpp = PixelFormats::BytesPerPixel(desc.Format);
    const std::vector<uint8_t> bytes = LevelBytes(texture, level);
    std::vector<uint32_t> out;
    for (size_t i = 0; i + bpp <= bytes.size(); i += bpp) {
        out.push_back(PixelFormats::Read(desc.Format, &bytes[i]));
    }
    return out;
}

}  // namespace D3DXTest
