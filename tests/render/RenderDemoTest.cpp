#include <filesystem>

#include "RenderTestSupport.h"

namespace {

// The example host draws its frame and writes it; the screenshot shows what it drew.
TEST(RenderDemo, WritesItsFrameAsAPng) {
    SKIP_WITHOUT_DEVICE();
    TestSupport::TempDir dir;
    const std::string shot = dir / "frame.png";
    const TestSupport::RunResult run = TestSupport::Run(
        std::string(BIN_DIR) + "/render_demo",
        {std::string(SOURCE_ROOT) + "/examples/render_demo/textures", shot}, dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Wrote " + shot + " (320 x 200)\n");

    int width = 0, height = 0;
    std::vector<uint32_t> image;
    ASSERT_TRUE(TestSupport::ReadImageFile(shot, width, height, image));
    ASSERT_EQ(width, 320);
    ASSERT_EQ(height, 200);
    auto at = [&](int x, int y) { return image[y * 320 + x] & 0xFFFFFF; };
    EXPECT_EQ(at(2, 2), 0x1C2833u);    // the clear colour
    EXPECT_EQ(at(20, 20), 0x2E86C1u);  // the opaque blue rectangle
    EXPECT_EQ(at(160, 4), 0x1C2833u);
    // The textured quad shows the crate's dark frame at its corner.
    EXPECT_EQ(at(136, 129), 0x5A3714u);
    EXPECT_EQ(at(168, 160), 0x5A3714u);  // where its diagonals cross
}

TEST(RenderDemo, FailsWhenItsTextureIsMissing) {
    SKIP_WITHOUT_DEVICE();
    TestSupport::TempDir dir;
    const TestSupport::RunResult run = TestSupport::Run(
        std::string(BIN_DIR) + "/render_demo", {dir / "nothing", dir / "frame.png"}, dir.Path());
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_NE(run.Err.find("crate.png not found"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "frame.png"));
}

}  // namespace
