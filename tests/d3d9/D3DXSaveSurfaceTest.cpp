#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "D3DXTestHelpers.h"
#include "platform/d3d9/PixelFormats.h"
#include "support/TestSupport.h"

namespace {

class D3DXSaveSurface : public D3DXTest::DeviceFixture {
protected:
    // Loads a saved file back, unscaled and in the file's own format, as 0xAARRGGBB texels.
    std::vector<uint32_t> LoadBack(const std::string& path, D3DXIMAGE_INFO& info) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(D3DXCreateTextureFromFileExA(device_, path.c_str(), D3DX_DEFAULT_NONPOW2,
                                               D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE, 0,
                                               D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                               D3DX_FILTER_NONE, 0, &info, nullptr, &texture),
                  D3D_OK);
        std::vector<uint32_t> out;
        if (texture == nullptr) return out;
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        D3DLOCKED_RECT locked;
        texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        const int bpp = PixelFormats::BytesPerPixel(desc.Format);
        for (UINT y = 0; y < desc.Height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
            for (UINT x = 0; x < desc.Width; ++x)
                out.push_back(PixelFormats::Read(desc.Format, row + x * bpp));
        }
        texture->UnlockRect(0);
        texture->Release();
        return out;
    }

    TestSupport::TempDir dir_;
};

// What a surface format keeps of an ARGB value.
uint32_t Stored(D3DFORMAT format, uint32_t argb) {
    uint8_t texel[4] = {0, 0, 0, 0};
    PixelFormats::Write(format, texel, argb);
    return PixelFormats::Read(format, texel);
}

struct RoundTripCase {
    const char* Name;
    D3DXIMAGE_FILEFORMAT File;
    D3DFORMAT Surface;
    D3DFORMAT Loaded;
    bool KeepsAlpha;
};

class D3DXSaveSurfaceRoundTrip : public D3DXSaveSurface,
                                 public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(D3DXSaveSurfaceRoundTrip, SavedAndLoadedBackGivesTheSameTexels) {
    const RoundTripCase c = GetParam();
    const std::vector<uint32_t> pattern = D3DXTest::Pattern(6, 4);
    IDirect3DSurface9* surface = MakeSurface(c.Surface, 6, 4, pattern);
    ASSERT_NE(surface, nullptr);
    const std::string path = dir_ / (std::string("shot.") + c.Name);
    ASSERT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), c.File, surface, nullptr, nullptr), D3D_OK);
    surface->Release();

    D3DXIMAGE_INFO info;
    const std::vector<uint32_t> back = LoadBack(path, info);
    EXPECT_EQ(info.ImageFileFormat, c.File);
    EXPECT_EQ(info.Format, c.Loaded);
    ASSERT_EQ(info.Width, 6u);
    ASSERT_EQ(info.Height, 4u);
    ASSERT_EQ(back.size(), pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        uint32_t want = Stored(c.Surface, pattern[i]);
        if (!c.KeepsAlpha) want |= 0xFF000000;
        ASSERT_EQ(back[i], want) << "texel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, D3DXSaveSurfaceRoundTrip,
    ::testing::Values(RoundTripCase{"png", D3DXIFF_PNG, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, true},
                      RoundTripCase{"tga", D3DXIFF_TGA, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, true},
                      RoundTripCase{"bmp", D3DXIFF_BMP, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false},
                      RoundTripCase{"png565", D3DXIFF_PNG, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8, false},
                      RoundTripCase{"png4444", D3DXIFF_PNG, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, true},
                      RoundTripCase{"dds", D3DXIFF_DDS, D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4, true}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) {
        return std::string(info.param.Name);
    });

TEST_F(D3DXSaveSurface, SourceRectangleSavesOnlyThatPart) {
    const std::vector<uint32_t> pattern = D3DXTest::Pattern(6, 4);
    IDirect3DSurface9* surface = MakeSurface(D3DFMT_A8R8G8B8, 6, 4, pattern);
    ASSERT_NE(surface, nullptr);
    const RECT rect = {2, 1, 5, 3};
    const std::string path = dir_ / "part.png";
    ASSERT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_PNG, surface, nullptr, &rect), D3D_OK);
    surface->Release();
    D3DXIMAGE_INFO info;
    const std::vector<uint32_t> back = LoadBack(path, info);
    ASSERT_EQ(info.Width, 3u);
    ASSERT_EQ(info.Height, 2u);
    const std::vector<uint32_t> want = {pattern[8],  pattern[9],  pattern[10],
                                        pattern[14], pattern[15], pattern[16]};
    EXPECT_EQ(back, want);
}

TEST_F(D3DXSaveSurface, BackBufferScreenshotHoldsTheClearedFrame) {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF3366CC, 1.0f, 0), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    const std::string path = dir_ / "screen.bmp";
    ASSERT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_BMP, back, nullptr, nullptr), D3D_OK);
    back->Release();
    D3DXIMAGE_INFO info;
    const std::vector<uint32_t> pixels = LoadBack(path, info);
    EXPECT_EQ(info.Width, 32u);
    EXPECT_EQ(info.Height, 32u);
    EXPECT_EQ(pixels, std::vector<uint32_t>(32 * 32, 0xFF3366CC));
}

TEST_F(D3DXSaveSurface, BadArgumentsAreRefusedAndWriteNoFile) {
    IDirect3DSurface9* surface = MakeSurface(D3DFMT_A8R8G8B8, 4, 4, D3DXTest::Pattern(4, 4));
    ASSERT_NE(surface, nullptr);
    const std::string path = dir_ / "bad.png";
    const RECT outside = {2, 2, 5, 4};
    const RECT empty = {1, 1, 1, 3};
    const RECT negative = {-1, 0, 2, 2};
    for (const RECT* rect : {&outside, &empty, &negative}) {
        EXPECT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_PNG, surface, nullptr, rect),
                  D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_HDR, surface, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXSaveSurfaceToFileA(path.c_str(), D3DXIFF_PNG, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_NE(D3DXSaveSurfaceToFileA((dir_ / "no/such/folder/x.png").c_str(), D3DXIFF_PNG, surface,
                                     nullptr, nullptr),
              D3D_OK);
    surface->Release();
}

}  // namespace
