// What the API refuses on any conforming device. The engine must never rely on the software
// device accepting more: these run on the system's Direct3D too, which holds the device to it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DeviceTestSupport.h"

using DeviceTest::DeviceFixture;

namespace {

constexpr uint32_t kColour = 0xFF3366CC;

bool Locks(IDirect3DSurface9* surface) {
    D3DLOCKED_RECT lr;
    if (surface->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return false;
    surface->UnlockRect();
    return true;
}

}  // namespace

TEST_F(DeviceFixture, RenderTargetsLockOnlyWhenMadeLockableAndAreReadThroughACopy) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_FALSE(Locks(back));
    back->Release();

    IDirect3DSurface9* fixed = nullptr;
    IDirect3DSurface9* lockable = nullptr;
    ASSERT_EQ(device->CreateRenderTarget(8, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE,
                                         &fixed, nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreateRenderTarget(8, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                         &lockable, nullptr),
              D3D_OK);
    EXPECT_FALSE(Locks(fixed));
    EXPECT_TRUE(Locks(lockable));

    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                    D3DPOOL_DEFAULT, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);

    // What cannot be locked is read through a copy in system memory.
    ASSERT_EQ(device->ColorFill(fixed, nullptr, kColour), D3D_OK);
    EXPECT_EQ(TestSupport::RenderTargetPixels(device, fixed),
              std::vector<uint32_t>(8 * 4, kColour));
    fixed->Release();
    lockable->Release();
    texture->Release();

    // A back buffer asked for lockable can be locked after a reset too.
    D3DPRESENT_PARAMETERS pp = WindowedParams();
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    EXPECT_TRUE(Locks(back));
    back->Release();
}

TEST_F(DeviceFixture, DynamicUsageIsRefusedInTheManagedPoolAndDiscardsInTheDefaultPool) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    // Buffers too, though some devices let the pair pass for them: the engine never asks it.
    if (TestSupport::kSoftwareDevice) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(
            device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED, &vb, nullptr),
            D3DERR_INVALIDCALL);
        EXPECT_EQ(vb, nullptr);
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(device->CreateIndexBuffer(64, D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                            &ib, nullptr),
                  D3DERR_INVALIDCALL);
        EXPECT_EQ(ib, nullptr);
    }

    // A discarding lock is for dynamic textures. Some devices take it on others as an
    // ordinary lock; the software device refuses it, so the engine never comes to rely on it.
    D3DLOCKED_RECT lr;
    if (TestSupport::kSoftwareDevice) {
        ASSERT_EQ(
            device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3D_OK);
        EXPECT_EQ(texture->LockRect(0, &lr, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
        texture->Release();
    }
    ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    &texture, nullptr),
              D3D_OK);
    ASSERT_EQ(texture->LockRect(0, &lr, nullptr, D3DLOCK_DISCARD), D3D_OK);
    texture->UnlockRect(0);
    texture->Release();
}

TEST_F(DeviceFixture, ResetWaitsForHeldDefaultPoolResources) {
    IDirect3DVertexBuffer9* held = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(56, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &held, nullptr),
              D3D_OK);
    // A default-pool texture the caller released but left set on a stage goes with the reset.
    IDirect3DTexture9* bound = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                    D3DPOOL_DEFAULT, &bound, nullptr),
              D3D_OK);
    device->SetTexture(0, bound);
    bound->Release();
    // Managed resources survive a reset.
    IDirect3DTexture9* managed = nullptr;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr),
        D3D_OK);

    D3DPRESENT_PARAMETERS pp = WindowedParams();
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    held->Release();
    pp = WindowedParams();
    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    IDirect3DBaseTexture9* current = nullptr;
    device->GetTexture(0, &current);
    EXPECT_EQ(current, nullptr);
    managed->Release();
}
