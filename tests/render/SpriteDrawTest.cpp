// Sprites on the software device: clipping checked texel by texel, lists drawn in as few
// batches as their textures allow, and the engine's sprite-based drawing operations.
#include <filesystem>
#include <memory>

#include "BatchFixture.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/CTexturedSprite.h"
#include "support/TestSupport.h"

using SoftD3D::CallCount;

namespace {

class SpriteDrawTest : public BatchFixture {
protected:
    // A 16 x 1 texture whose columns all differ, so a pixel tells which texel it shows.
    static uint32_t Column(int c) { return 0xFF000000u | (c * 16u) << 16 | (255u - c * 16u); }

    void SetUp() override {
        BatchFixture::SetUp();
        std::vector<uint32_t> texels;
        for (int c = 0; c < 16; c++) texels.push_back(Column(c));
        striped.Texture.SetFromTexture(MakeTexture(16, 1, texels));
        // Corners at half pixels: pixel x shows texel x - 8, sampled in the texel's middle.
        striped.Width = 16;
        striped.Height = 8;
        striped.SetPosition(15.5f, 11.5f);
    }

    CTexturedSprite striped;
};

}  // namespace

TEST_F(SpriteDrawTest, ClippingKeepsTheImageInPlace) {
    striped.DrawTexturedClipped(16, 10, 64, 48);  // cuts the left half and the top two rows
    for (int x = 8; x < 24; x++) {
        EXPECT_EQ(Pixel(x, 9), 0u) << x;
        EXPECT_EQ(Pixel(x, 12), x < 16 ? 0u : Column(x - 8) & 0xFFFFFF) << x;
    }
    EXPECT_EQ(Pixel(20, 15), Column(12) & 0xFFFFFF);
    EXPECT_EQ(Pixel(20, 16), 0u);

    striped.Move(0, 20);  // rows 28 to 35
    striped.DrawTexturedClipped(0, 0, 12, 33);
    for (int x = 6; x < 24; x++)
        EXPECT_EQ(Pixel(x, 30), x < 8 || x >= 12 ? 0u : Column(x - 8) & 0xFFFFFF) << x;
    EXPECT_EQ(Pixel(10, 32), Column(2) & 0xFFFFFF);
    EXPECT_EQ(Pixel(10, 33), 0u);
}

TEST_F(SpriteDrawTest, AClipThatMissesTheSpriteDrawsNothing) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    SoftD3D::ResetCallCounts();
    striped.DrawTexturedClipped(30, 0, 40, 48);  // right of it
    striped.DrawTexturedClipped(0, 20, 64, 48);  // below it
    striped.DrawTexturedClipped(24, 0, 64, 48);  // starting on its right edge
    EXPECT_EQ(CallCount("DrawPrimitiveUP"), 0u);
    for (uint32_t p : Pixels()) ASSERT_EQ(p & 0xFFFFFF, 0u);
}

TEST_F(SpriteDrawTest, SortedListsDrawOncePerTextureAndBatch) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    const uint32_t colours[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    CTextureRef refs[3];
    for (int t = 0; t < 3; t++) refs[t] = SolidTexture(colours[t]);
    std::vector<std::unique_ptr<CTexturedSprite>> sprites;
    TexturedSpriteList list;
    for (int i = 0; i < 30; i++) {
        sprites.push_back(std::make_unique<CTexturedSprite>(i % 10 * 6, i / 10 * 6, i % 10 * 6 + 4,
                                                            i / 10 * 6 + 4));
        sprites.back()->Texture = refs[(i + i / 10) % 3];  // interleaved
        list.Add(sprites.back().get());
    }
    struct Case {
        int Capacity;
        bool Sort;
        uint64_t Draws;
    } cases[] = {{400, false, 30}, {400, true, 3}, {16, true, 9}};  // 16: 4 quads a batch
    for (const Case& c : cases) {
        GlobalVB.Release();
        GlobalVB.Init(c.Capacity, true);
        if (c.Sort) list.SortByTexture();
        SoftD3D::ResetCallCounts();
        list.Render(false);
        EXPECT_EQ(CallCount("DrawIndexedPrimitive"), c.Draws) << c.Capacity << " " << c.Sort;
        EXPECT_EQ(list.Size(), 30u);
    }
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(Pixel(i % 10 * 6 + 1, i / 10 * 6 + 1), colours[(i + i / 10) % 3] & 0xFFFFFF) << i;

    // Rendering empties the list on request, and GlobalVB holds nothing of the sprites after.
    list.Render(true);
    EXPECT_EQ(list.Size(), 0u);
    int last = 0;  // sorted by address, the last sprite has the highest texture address
    for (int t = 1; t < 3; t++)
        if (refs[t].GetTexture() > refs[last].GetTexture()) last = t;
    sprites.clear();
    ScreenVertex q[4];
    Quad(q, 60, 40, 4, 4);
    GlobalVB.AddVerts(q, 4);
    GlobalVB.Flush();
    EXPECT_EQ(Pixel(61, 41), colours[last] & 0xFFFFFF) << "drawn with the last sprite's texture";
}

TEST_F(SpriteDrawTest, DrawBeginsTheSceneAndSkipsSpritesOffScreen) {
    SKIP_UNLESS_SOFTWARE_DEVICE("counts the device's calls");
    GetD3DEngine().EndScene();
    BaseSprite on(2, 2, 6, 6), off(-20, 2, -10, 6);
    BaseSpriteList list;
    list.Add(&on);
    list.Add(&off);
    SoftD3D::ResetCallCounts();
    list.DrawAll();
    EXPECT_EQ(list.Size(), 0u);
    EXPECT_EQ(CallCount("BeginScene"), 1u);
    EXPECT_TRUE(GetD3DEngine().InScene);
    EXPECT_EQ(CallCount("DrawPrimitiveUP"), 1u);
    EXPECT_EQ(Pixel(3, 3), 0xFFFFFFu);
}

TEST_F(SpriteDrawTest, EngineSpriteRectanglesAndThickLines) {
    GD3D9& engine = GetD3DEngine();
    BaseSprite s;
    s.SetCorners(10.7f, 5.2f, 20.9f, 15.8f);  // the rectangle (10, 5) to (20, 15)
    engine.FillSpriteRect(s, 0xFF00FF00);
    EXPECT_EQ(Pixel(10, 5), 0x00FF00u);
    EXPECT_EQ(Pixel(19, 14), 0x00FF00u);
    EXPECT_EQ(Pixel(20, 14), 0u);
    EXPECT_EQ(Pixel(19, 15), 0u);
    s.Move(30, 0);
    s.DrawBoundingRect(0xFFFF0000);
    EXPECT_EQ(Pixel(45, 5), 0xFF0000u);
    EXPECT_EQ(Pixel(45, 10), 0u);

    engine.DrawThickLine(10, 30, 40, 30, 4, 0xFF0000FF);  // across, rows 28 to 31
    EXPECT_EQ(Pixel(25, 29), 0x0000FFu);
    EXPECT_EQ(Pixel(38, 30), 0x0000FFu);
    EXPECT_EQ(Pixel(25, 33), 0u);
    EXPECT_EQ(Pixel(8, 30), 0u);
    engine.DrawThickLine(55, 20, 55, 45, 2, 0xFFFFFF00);  // down, columns 54 and 55
    EXPECT_EQ(Pixel(54, 40), 0xFFFF00u);
    EXPECT_EQ(Pixel(57, 40), 0u);
}

// The example host draws its field in one batch per texture and writes its frame.
TEST(SpriteField, DrawsOneBatchPerTextureAndWritesItsFrame) {
    SKIP_WITHOUT_DEVICE();
    TestSupport::TempDir dir;
    const std::string shot = dir / "field.png";
    const TestSupport::RunResult run =
        TestSupport::Run(std::string(BIN_DIR) + "/sprite_field", {shot}, dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("6 batched draw calls (fewest possible 6"), std::string::npos)
        << run.Out;
    EXPECT_TRUE(std::filesystem::exists(shot));
}
