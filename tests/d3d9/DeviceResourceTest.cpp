// Textures, surfaces and buffers of the software device: mip chains, texel storage per
// format, and the lock rules callers depend on.
#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstring>

#include "DeviceTestSupport.h"

using DeviceTest::DeviceFixture;

// The image helpers' special format lies outside the listed formats; as a constant it only
// compiles where every 32-bit value is a value of the format type.
constexpr D3DFORMAT kFromFile = D3DFMT_FROM_FILE;
static_assert(static_cast<uint32_t>(kFromFile) == 0xFFFFFFFDu, "formats are 32-bit values");

TEST_F(DeviceFixture, TextureLevelsHalveDownToOneByOne) {
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(
        device->CreateTexture(64, 16, 0, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 7u);
    const UINT widths[] = {64, 32, 16, 8, 4, 2, 1};
    const UINT heights[] = {16, 8, 4, 2, 1, 1, 1};
    for (UINT i = 0; i < 7; i++) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(texture->GetLevelDesc(i, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, widths[i]);
        EXPECT_EQ(desc.Height, heights[i]);
        EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    }
    D3DSURFACE_DESC desc;
    EXPECT_EQ(texture->GetLevelDesc(7, &desc), D3DERR_INVALIDCALL);
    IDirect3DSurface9* surface = nullptr;
    EXPECT_EQ(texture->GetSurfaceLevel(7, &surface), D3DERR_INVALIDCALL);
    EXPECT_EQ(surface, nullptr);
    texture->Release();
}

struct FormatCase {
    D3DFORMAT Format;
    int Bytes;
};

class TextureFormat : public DeviceFixture, public ::testing::WithParamInterface<FormatCase> {};

// Lock, write the texel bytes, unlock, lock again: the bytes are kept where the pitch says,
// and a surface of the level sees the same memory.
TEST_P(TextureFormat, TexelBytesSurviveLockCyclesAtThePitch) {
    const FormatCase& c = GetParam();
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(3, 2, 1, 0, c.Format, D3DPOOL_MANAGED, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_GE(lr.Pitch, 3 * c.Bytes);
    uint8_t* row1 = static_cast<uint8_t*>(lr.pBits) + lr.Pitch;
    for (int i = 0; i < 3 * c.Bytes; i++) row1[i] = static_cast<uint8_t>(0x40 + i);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &surface), D3D_OK);
    RECT one = {1, 1, 2, 2};
    ASSERT_EQ(surface->LockRect(&lr, &one, D3DLOCK_READONLY), D3D_OK);
    for (int i = 0; i < c.Bytes; i++)
        EXPECT_EQ(static_cast<uint8_t*>(lr.pBits)[i], 0x40 + c.Bytes + i);
    surface->UnlockRect();
    surface->Release();
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(StoredFormats, TextureFormat,
                         ::testing::Values(FormatCase{D3DFMT_A8R8G8B8, 4},
                                           FormatCase{D3DFMT_X8R8G8B8, 4},
                                           FormatCase{D3DFMT_A4R4G4B4, 2},
                                           FormatCase{D3DFMT_A1R5G5B5, 2},
                                           FormatCase{D3DFMT_X1R5G5B5, 2},
                                           FormatCase{D3DFMT_R5G6B5, 2}, FormatCase{D3DFMT_A8L8, 2},
                                           FormatCase{D3DFMT_L8, 1}, FormatCase{D3DFMT_A8, 1}));

TEST_F(DeviceFixture, TextureCreationRefusesWhatTheDeviceCannotStore) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(
        device->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(
        device->CreateTexture(16384, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(DeviceFixture, SurfaceLocksAreExclusiveAndRectanglesMustFit) {
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                                  &surface, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    RECT outside = {4, 4, 9, 8};
    RECT empty = {2, 2, 2, 5};
    EXPECT_EQ(surface->LockRect(&lr, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(surface->LockRect(&lr, &empty, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(surface->UnlockRect(), D3DERR_INVALIDCALL);
    ASSERT_EQ(surface->LockRect(&lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(surface->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(surface->UnlockRect(), D3D_OK);
    // Discarding is for dynamic textures.
    EXPECT_EQ(surface->LockRect(&lr, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    surface->Release();
}

TEST_F(DeviceFixture, DynamicBufferLocks_NoOverwriteKeepsContentsDiscardGivesFreshMemory) {
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                         D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 16, &data, D3DLOCK_DISCARD), D3D_OK);
    std::memset(data, 0x11, 16);
    vb->Unlock();
    // Appending behind the written part leaves it alone, and the lock points at the offset.
    ASSERT_EQ(vb->Lock(16, 16, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memset(data, 0x22, 16);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[15], 0x11);
    EXPECT_EQ(bytes[16], 0x22);
    EXPECT_EQ(bytes[31], 0x22);
    vb->Unlock();
    // After a discard the old bytes are gone: those it hands out, and those behind them when a
    // later lock hands them out.
    ASSERT_EQ(vb->Lock(0, 16, &data, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_NE(static_cast<const uint8_t*>(data)[0], 0x11);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(16, 16, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_NE(static_cast<const uint8_t*>(data)[0], 0x22);
    EXPECT_NE(static_cast<const uint8_t*>(data)[15], 0x22);
    vb->Unlock();

    EXPECT_EQ(vb->Lock(60, 8, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(vb->Lock(65, 0, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    vb->Release();
}

TEST_F(DeviceFixture, DiscardAndNoOverwriteAreRefusedOnStaticBuffers) {
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                        &ib, nullptr),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &data, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib->Lock(0, 0, &data, D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    ib->Unlock();
    D3DINDEXBUFFER_DESC desc;
    ASSERT_EQ(ib->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Size, 12u);
    ib->Release();

    IDirect3DIndexBuffer9* wrongFormat = nullptr;
    EXPECT_EQ(
        device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &wrongFormat, nullptr),
        D3DERR_INVALIDCALL);
}
