// A host that skips a step of the start-up order gets one log line saying what is missing,
// rather than sprites that silently never appear.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "BatchFixture.h"
#include "render/CTexturedSprite.h"

namespace {

const std::string kNoGlobalVB =
    "GlobalVB has no buffer: sprites and cached vertices are not drawn (call GlobalVB.Init after "
    "GD3D9::Init, and again after a Restore)";
const std::string kNoScreen =
    "ScreenWidth and ScreenHeight are not set: sprites are not drawn (set them to the back "
    "buffer's size)";
const std::string kNoTables =
    "SinTable and CosTable are not filled: turned sprites are not drawn (call FillSinCosTables "
    "before positioning sprites)";

class InitOrderTest : public BatchFixture {
protected:
    // Queues a red sprite over the middle of the screen twice, as two frames would.
    void QueueTwice() {
        CTexturedSprite sprite(16, 16, 48, 32);
        sprite.SetColour(0xFFFF0000);
        for (int frame = 0; frame < 2; frame++) {
            TexturedSpriteList list;
            list.Add(&sprite);
            list.Render(true);
        }
    }
    bool MiddleIsRed() { return Rgb(BackBuffer(), 32, 24) == 0xFF0000; }
    static uint32_t Rgb(const std::vector<uint32_t>& pixels, int x, int y) {
        return pixels[y * kWidth + x] & 0xFFFFFF;
    }
};

TEST_F(InitOrderTest, SpritesWithoutGlobalVBSayItOnceUntilItIsMadeAgain) {
    GlobalVB.Release();
    Mark();
    QueueTwice();
    EXPECT_FALSE(MiddleIsRed());
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoGlobalVB), 1u);

    GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
    QueueTwice();
    EXPECT_TRUE(MiddleIsRed());
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoGlobalVB), 1u);

    // A restore releases GlobalVB; a host that does not make it again hears of it again.
    GlobalVB.Release();
    QueueTwice();
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoGlobalVB), 2u);
}

TEST_F(InitOrderTest, SpritesWithoutAScreenSizeSayItOnce) {
    GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
    ScreenWidth = 0;
    CTexturedSprite sprite(16, 16, 48, 32);
    EXPECT_FALSE(sprite.IsOnScreen());
    EXPECT_FALSE(sprite.IsOnScreen());
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoScreen), 1u);
    ScreenWidth = kWidth;
    EXPECT_TRUE(sprite.IsOnScreen());
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoScreen), 1u);
}

TEST_F(InitOrderTest, TurnedSpritesWithoutTablesSayItOnce) {
    std::fill(std::begin(CosTable), std::end(CosTable), 0.0f);
    std::fill(std::begin(SinTable), std::end(SinTable), 0.0f);
    CTexturedSprite sprite(16, 16, 48, 32);
    sprite.Angle = 30.0f;
    sprite.SetPositionFast(32.0f, 24.0f);
    sprite.SetPositionFast(32.0f, 24.0f);
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoTables), 1u);
    FillSinCosTables();
    sprite.SetPositionFast(32.0f, 24.0f);
    EXPECT_EQ(RenderTest::CountOf(Messages(), kNoTables), 1u);
    EXPECT_GT(sprite.Verts[1].X - sprite.Verts[0].X, 20.0f);
}

}  // namespace
