#include <filesystem>

#include "RenderTestSupport.h"
#include "render/CLoadedTexture.h"
#include "render/ScreenVertex.h"

using RenderTest::EngineFixture;
using RenderTest::WritePng;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;

// The process-wide manager with one folder of textures whose names no other test uses.
class Handles : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        WritePng(dir / "handle-red.png", 4, 4, kRed);
        WritePng(dir / "handle-blue.png", 4, 4, kBlue);
        manager().AddTextureFolder(dir.Path().string());
    }

    GTextureManager& manager() { return GetTextureManager(); }

    // Draws the stage-0 texture over the whole back buffer and reads the centre back.
    uint32_t DrawTexturedFrame() {
        const float r = kWidth - 0.5f, b = kHeight - 0.5f;
        const ScreenVertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                                      {r, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
                                      {-0.5f, b, 0, 1, 0xFFFFFFFF, 0, 1},
                                      {r, b, 0, 1, 0xFFFFFFFF, 1, 1}};
        engine().BeginScene();
        engine().ClearScreen(0xFF000000);
        engine().DrawUserPrimitives(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
        engine().EndScene();
        return Rgb(BackBuffer(), kWidth / 2, kHeight / 2);
    }

    // The handle's cached texture is one the manager holds right now (never a freed one).
    bool Held(IDirect3DTexture9* texture) {
        return texture != nullptr && manager().FindTextureByRecord(texture) != nullptr;
    }

    TestSupport::TempDir dir;
};

TEST_F(Handles, OneNameSharesOneHandleAndOneLoad) {
    CTextureRef one, two;
    one.SetByName("handle-red.png");
    const int32_t count = manager().GetTextureCount();
    two.SetByName("handle-red.png");
    EXPECT_EQ(one.GetTarget(), two.GetTarget());
    EXPECT_EQ(manager().GetTextureCount(), count);
    EXPECT_TRUE(Held(one.GetTexture()));
    EXPECT_EQ(one.GetName(), "handle-red.png");
    one.Set();
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);
}

TEST_F(Handles, EmptyReferencesAndEmptyNamesSetNothing) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    CTextureRef none;
    EXPECT_EQ(none.GetTexture(), nullptr);
    EXPECT_EQ(none.GetName(), "");
    CTextureRef red;
    red.SetByName("handle-red.png");
    red.Set();
    SoftD3D::ResetCallCounts();
    none.Set();
    none.SetOnStage(0);
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 0u);  // the stage keeps its texture

    CTextureRef blank;
    blank.SetByName("");
    EXPECT_EQ(blank.GetTexture(), nullptr);
    blank.Set();
    IDirect3DBaseTexture9* current = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    engine().PDevice->GetTexture(0, &current);
    EXPECT_EQ(current, nullptr);
}

TEST_F(Handles, SetOnStageBypassesTheFilterAndForcesTheNextSet) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    CTextureRef red, blue;
    red.SetByName("handle-red.png");
    blue.SetByName("handle-blue.png");
    red.Set();
    blue.SetOnStage(0);
    SoftD3D::ResetCallCounts();
    red.Set();  // the manager still remembers red, but the device has blue
    EXPECT_EQ(SoftD3D::CallCount("SetTexture"), 1u);
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);
}

TEST_F(Handles, BareTextureHandlesLastUntilReload) {
    IDirect3DTexture9* loose = nullptr;
    ASSERT_EQ(engine().PDevice->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &loose,
                                              nullptr),
              D3D_OK);
    CTextureRef bare;
    bare.SetFromTexture(loose);
    EXPECT_EQ(bare.GetTexture(), loose);
    EXPECT_EQ(bare.GetName(), "");
    CLoadedTexture::ReloadAll();
    EXPECT_EQ(bare.GetTexture(), nullptr);
    delete bare.GetTarget();
    loose->Release();
}

TEST_F(Handles, DeletedTexturesAreDroppedAndFetchedAgainByName) {
    CTextureRef red;
    red.SetByName("handle-red.png");
    CLoadedTexture* handle = red.GetTarget();
    red.Set();

    manager().DeleteTexture("handle-red.png");
    EXPECT_TRUE(Logged("Removed CLoadedTexture: handle-red.png\n"));
    EXPECT_FALSE(manager().HasTexture("handle-red.png"));
    // Out of the registry, but old references still work and never see the freed texture.
    CTextureRef again;
    again.SetByName("handle-red.png");
    EXPECT_NE(again.GetTarget(), handle);
    EXPECT_EQ(red.GetName(), "handle-red.png");
    EXPECT_TRUE(Held(red.GetTexture()));
    red.Set();
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);

    // Destroyed behind the removed handle's back, it is dropped once more.
    manager().DeleteTextureByName("handle-red.png");
    EXPECT_TRUE(Held(red.GetTexture()));
    EXPECT_TRUE(Held(again.GetTexture()));
    CLoadedTexture::Remove("not-registered.png");
    delete handle;
}

TEST_F(Handles, NamedHandlesComeBackAfterARestore) {
    CTextureRef red, blue;
    red.SetByName("handle-red.png");
    blue.SetByName("handle-blue.png");
    engine().CreateRenderTarget(4, 4, "handle-target", false);
    blue.Set();

    ASSERT_TRUE(engine().Restore());
    EXPECT_EQ(manager().GetTextureCount(), 0);            // textures come back lazily
    EXPECT_FALSE(manager().HasTexture("handle-target"));  // targets are the host's to remake

    red.Set();
    EXPECT_TRUE(manager().HasTexture("handle-red.png"));
    EXPECT_FALSE(manager().HasTexture("handle-blue.png"));
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);

    CLoadedTexture::ReloadAll();
    EXPECT_TRUE(Held(blue.GetTexture()));
    blue.Set();
    EXPECT_EQ(DrawTexturedFrame(), 0x0000FFu);
}

TEST_F(Handles, LostDeviceIsBroughtBackByRestore) {
    SKIP_UNLESS_SOFTWARE_DEVICE(
        "loses the device on purpose and reads a headless window's kept frame");
    CTextureRef red;
    red.SetByName("handle-red.png");
    red.Set();
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);
    engine().Flip();
    SoftD3D::Frame frame;
    ASSERT_TRUE(SoftD3D::GetLastFrame(window, frame));
    const uint64_t shown = frame.Number;

    ASSERT_TRUE(SoftD3D::SetDeviceLost(engine().PDevice, true));
    engine().Flip();
    EXPECT_TRUE(RenderTest::InOrder(Messages(), {"D3DERR_DEVICELOST", "Flip"}));
    ASSERT_TRUE(SoftD3D::GetLastFrame(window, frame));
    EXPECT_EQ(frame.Number, shown);

    ASSERT_TRUE(engine().Restore());
    EXPECT_TRUE(RenderTest::InOrder(
        Messages(), {"Releasing TextureManager textures...", "D3DEngine Restore called",
                     "Finished initialising 3D Engine", "D3DEngine Restore completed"}));
    red.Set();
    EXPECT_EQ(DrawTexturedFrame(), 0xFF0000u);
    Mark();
    engine().Flip();
    EXPECT_FALSE(RenderTest::InOrder(Messages(), {"Flip"}));
    ASSERT_TRUE(SoftD3D::GetLastFrame(window, frame));
    EXPECT_EQ(frame.Number, shown + 1);
    EXPECT_EQ(frame.Pixels[12 * kWidth + 16] & 0xFFFFFF, 0xFF0000u);
}

}  // namespace
