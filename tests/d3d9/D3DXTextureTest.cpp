#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "D3DXTestHelpers.h"
#include "platform/d3d9/ImageCodec.h"
#include "support/TestSupport.h"

namespace {

using namespace D3DXTest;

std::vector<uint8_t> EncodePng(const std::vector<uint32_t>& argb, int w, int h) {
    ImageCodec::Image image;
    image.Width = w;
    image.Height = h;
    image.Pixels = argb;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ImageCodec::Encode(image, ImageCodec::kPng, true, bytes));
    return bytes;
}

class D3DXTexture : public DeviceFixture {
protected:
    // Loads bytes with the defaults a texture loader uses.
    HRESULT Load(const std::vector<uint8_t>& bytes, UINT mipLevels, IDirect3DTexture9** texture,
                 D3DXIMAGE_INFO* info = nullptr, D3DCOLOR colorKey = 0) {
        return D3DXCreateTextureFromFileInMemoryEx(device_, bytes.data(), UINT(bytes.size()),
                                                   D3DX_DEFAULT, D3DX_DEFAULT, mipLevels, 0,
                                                   D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                   D3DX_DEFAULT, colorKey, info, nullptr, texture);
    }
};

struct DdsCase {
    const char* Name;
    DdsPixelFormat Pf;
    D3DFORMAT Format;
    int Bpp;
};

class D3DXTextureDds : public D3DXTexture, public ::testing::WithParamInterface<DdsCase> {};

TEST_P(D3DXTextureDds, KeepsTheFilesFormatAndEveryByteOfEveryLevel) {
    const DdsCase c = GetParam();
    // 6x4 with its own three levels: 6x4, 3x2, 1x1.
    const size_t bytes = size_t(6 * 4 + 3 * 2 + 1) * c.Bpp;
    const std::vector<uint8_t> texels = CountingBytes(bytes, 3);
    const std::vector<uint8_t> file = MakeDds(6, 4, c.Pf, 3, texels);
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(Load(file, D3DX_FROM_FILE, &texture, &info), D3D_OK);
    EXPECT_EQ(info.Format, c.Format);
    EXPECT_EQ(info.MipLevels, 3u);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    ASSERT_EQ(texture->GetLevelCount(), 3u);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, c.Format);
    size_t at = 0;
    for (UINT level = 0; level < 3; ++level) {
        const std::vector<uint8_t> got = LevelBytes(texture, level);
        const std::vector<uint8_t> want(texels.begin() + at, texels.begin() + at + got.size());
        EXPECT_EQ(got, want) << "level " << level;
        at += got.size();
    }
    EXPECT_EQ(at, bytes);
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Formats, D3DXTextureDds,
    ::testing::Values(DdsCase{"A8L8", DdsA8L8(), D3DFMT_A8L8, 2},
                      DdsCase{"A4R4G4B4", DdsA4R4G4B4(), D3DFMT_A4R4G4B4, 2},
                      DdsCase{"A1R5G5B5", DdsA1R5G5B5(), D3DFMT_A1R5G5B5, 2},
                      DdsCase{"X1R5G5B5", DdsX1R5G5B5(), D3DFMT_X1R5G5B5, 2},
                      DdsCase{"R5G6B5", DdsR5G6B5(), D3DFMT_R5G6B5, 2},
                      DdsCase{"A8R8G8B8", DdsA8R8G8B8(), D3DFMT_A8R8G8B8, 4},
                      DdsCase{"X8R8G8B8", DdsX8R8G8B8(), D3DFMT_X8R8G8B8, 4},
                      DdsCase{"L8", DdsL8(), D3DFMT_L8, 1}, DdsCase{"A8", DdsA8(), D3DFMT_A8, 1},
                      // Some writers put the format number where a
                      // four-character code goes.
                      DdsCase{"FourCCNumber", {0x4, 51, 0, 0, 0, 0, 0}, D3DFMT_A8L8, 2}),
    [](const ::testing::TestParamInfo<DdsCase>& info) { return std::string(info.param.Name); });

struct LevelsCase {
    UINT Asked;
    UINT Expected;
};

class D3DXTextureLevels : public D3DXTexture, public ::testing::WithParamInterface<LevelsCase> {};

TEST_P(D3DXTextureLevels, MipChainHasTheAskedLengthAndHalvingSizes) {
    // A 16x4 PNG: the full chain is 16x4, 8x2, 4x1, 2x1, 1x1.
    std::vector<uint8_t> png = EncodePng(Pattern(16, 4), 16, 4);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(png, GetParam().Asked, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), GetParam().Expected);
    const UINT sizes[5][2] = {{16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (UINT level = 0; level < GetParam().Expected; ++level) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, sizes[level][0]);
        EXPECT_EQ(desc.Height, sizes[level][1]);
    }
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(Counts, D3DXTextureLevels,
                         ::testing::Values(LevelsCase{D3DX_DEFAULT, 5}, LevelsCase{0, 5},
                                           LevelsCase{D3DX_FROM_FILE, 1}, LevelsCase{2, 2},
                                           LevelsCase{40, 5}));

TEST_F(D3DXTexture, MipLevelsAreBoxAveragesOfTheLevelAbove) {
    const std::vector<uint32_t> src = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0x000000FF};
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(EncodePng(src, 2, 2), D3DX_DEFAULT, &texture), D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 2u);
    EXPECT_EQ(LevelArgb(texture, 0), src);
    // A (255*3+0)/4 = 191.25, R 63.75, G 63.75, B 63.75.
    EXPECT_EQ(LevelArgb(texture, 1), std::vector<uint32_t>{0xBF404040});
    texture->Release();
}

struct CapsCase {
    const char* Name;
    bool Pow2, Square;
    UINT Width, Height;
};

class D3DXTextureCaps : public D3DXTexture, public ::testing::WithParamInterface<CapsCase> {};

TEST_P(D3DXTextureCaps, SizesRoundOnlyWhenTheCapsDemandItWhileInfoKeepsTheImageSize) {
    const CapsCase c = GetParam();
    SoftD3D::CapsOverrides caps;
    caps.Pow2Only = c.Pow2;
    caps.SquareOnly = c.Square;
    RecreateDeviceWith(caps);
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(Load(EncodePng(Pattern(5, 3), 5, 3), D3DX_FROM_FILE, &texture, &info), D3D_OK);
    EXPECT_EQ(info.Width, 5u);
    EXPECT_EQ(info.Height, 3u);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, c.Width);
    EXPECT_EQ(desc.Height, c.Height);
    texture->Release();

    // The same rule for an empty texture; a default size is 256.
    ASSERT_EQ(D3DXCreateTexture(device_, 5, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, c.Width);
    EXPECT_EQ(desc.Height, c.Height);
    texture->Release();
    ASSERT_EQ(D3DXCreateTexture(device_, D3DX_DEFAULT, 0, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                D3DPOOL_MANAGED, &texture),
              D3D_OK);
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Height, 256u);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(texture->GetLevelCount(), 9u);
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(Caps, D3DXTextureCaps,
                         ::testing::Values(CapsCase{"Default", false, false, 5, 3},
                                           CapsCase{"Pow2", true, false, 8, 4},
                                           CapsCase{"Pow2Square", true, true, 8, 8}),
                         [](const ::testing::TestParamInfo<CapsCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(D3DXTexture, ColourKeyMakesMatchingTexelsTransparentBlack) {
    ImageCodec::Image image;
    image.Width = 3;
    image.Height = 1;
    image.Pixels = {0xFFFF00FF, 0xFF123456, 0xFFFF00FF};
    std::vector<uint8_t> bmp;
    ASSERT_TRUE(ImageCodec::Encode(image, ImageCodec::kBmp, false, bmp));
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(Load(bmp, D3DX_FROM_FILE, &texture, nullptr, 0xFFFF00FF), D3D_OK);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(LevelArgb(texture, 0), (std::vector<uint32_t>{0, 0xFF123456, 0}));
    texture->Release();
}

TEST_F(D3DXTexture, BytesThatDecodeToNothingGiveInvalidDataAndNoTexture) {
    const std::vector<uint8_t> dds = MakeDds(4, 4, DdsA8L8(), 0, CountingBytes(32));
    // A TGA header claiming 8192x8192 true-colour texels, followed by one of them.
    const std::vector<uint8_t> hugeTga = {0, 0, 2,  0, 0,  0,  0, 0, 0, 0, 0,
                                          0, 0, 32, 0, 32, 32, 0, 1, 2, 3, 4};
    const std::vector<std::vector<uint8_t>> bad = {
        {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'},
        std::vector<uint8_t>(dds.begin(), dds.end() - 1),
        std::vector<uint8_t>(64, 0),
        hugeTga,
    };
    for (const std::vector<uint8_t>& bytes : bad) {
        // Whatever the caller held before, a failure leaves null behind.
        int sentinel = 0;
        IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(&sentinel);
        EXPECT_EQ(Load(bytes, D3DX_DEFAULT, &texture), D3DXERR_INVALIDDATA);
        EXPECT_EQ(texture, nullptr);
        D3DXIMAGE_INFO info;
        EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(bytes.data(), UINT(bytes.size()), &info),
                  D3DXERR_INVALIDDATA);
    }
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(
                  device_, nullptr, 0, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN,
                  D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    TestSupport::TempDir dir;
    EXPECT_EQ(
        D3DXCreateTextureFromFileExA(device_, (dir / "missing.png").c_str(), D3DX_DEFAULT,
                                     D3DX_DEFAULT, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                     D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
        D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(D3DXTexture, DefaultPoolTexturesAreFilledThroughASystemMemoryCopy) {
    const std::vector<uint8_t> png = EncodePng(Pattern(4, 4), 4, 4);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(device_, png.data(), UINT(png.size()), 0, 0, 0, 0,
                                                  D3DFMT_UNKNOWN, D3DPOOL_DEFAULT, D3DX_DEFAULT,
                                                  D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
              D3D_OK);
    EXPECT_EQ(SoftD3D::CallCount("UpdateTexture"), 1u);
    EXPECT_EQ(texture->GetLevelCount(), 3u);
    EXPECT_EQ(LevelArgb(texture, 0), Pattern(4, 4));
    texture->Release();
}

TEST_F(D3DXTexture, DeviceAndInjectedFailuresReachTheCallerWithoutATexture) {
    IDirect3DTexture9* texture = nullptr;
    const std::vector<uint8_t> png = EncodePng(Pattern(2, 2), 2, 2);
    SoftD3D::FailNextCall("CreateTexture", E_OUTOFMEMORY);
    EXPECT_EQ(Load(png, 1, &texture), E_OUTOFMEMORY);
    EXPECT_EQ(texture, nullptr);
    SoftD3D::FailNextCall("LockRect", D3DERR_INVALIDCALL);
    EXPECT_EQ(Load(png, 1, &texture), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    SoftD3D::FailNextCall("D3DXCreateTextureFromFileInMemoryEx", D3DXERR_INVALIDDATA);
    EXPECT_EQ(Load(png, 1, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(SoftD3D::CallCount("D3DXCreateTextureFromFileInMemoryEx"), 3u);
    ASSERT_EQ(Load(png, 1, &texture), D3D_OK);
    texture->Release();
}

}  // namespace
