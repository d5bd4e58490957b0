// The frame recorder: frame times kept newest first, captures bounded, and the graph's bars
// measured on pixels.
#include <gtest/gtest.h>

#include "TextFixture.h"
#include "misc/GTimer.h"
#include "render/FrameRecorder.h"

namespace {

// A millisecond clock the test moves by hand.
class StepClock : public GTimer::Clock {
public:
    int64_t Frequency() override { return 0; }
    int64_t Counter() override { return 0; }
    uint32_t Milliseconds() override { return Now; }
    uint32_t Now = 1000;
};

class FrameRecorderTest : public TextTest::TextFixture {
protected:
    void SetUp() override {
        TextTest::TextFixture::SetUp();
        GTimer::SetClockOverride(&clock);
        recorder().EndFrame();  // the timer now runs on the test's clock
    }
    void TearDown() override {
        GTimer::SetClockOverride(nullptr);
        recorder().StopCapture();
        TextTest::TextFixture::TearDown();
    }
    static GFrameRecorder& recorder() { return GetFrameRecorder(); }
    void Frame(uint32_t ms) {
        clock.Now += ms;
        recorder().EndFrame();
    }

    StepClock clock;
};

TEST_F(FrameRecorderTest, KeepsTheHundredNewestFrameTimesNewestFirst) {
    for (uint32_t i = 1; i <= 150; i++) Frame(i);
    EXPECT_FLOAT_EQ(recorder().GetFrameTimes()[0], 150.0f);
    EXPECT_FLOAT_EQ(recorder().GetFrameTimes()[99], 51.0f);
}

TEST_F(FrameRecorderTest, CapturesAtMost899CallsAndOnlyWhileCapturing) {
    recorder().StartCapture();
    for (int i = 0; i < 900; i++) recorder().Record("SetTextureByName", "t", i);
    EXPECT_EQ(recorder().GetRecordCount(), 899);
    EXPECT_EQ(recorder().GetRecord(898).Value, 898);
    recorder().StopCapture();
    recorder().Record("late", "t", 1);
    EXPECT_EQ(recorder().GetRecordCount(), 899);
    recorder().StartCapture();
    EXPECT_EQ(recorder().GetRecordCount(), 0);
}

TEST_F(FrameRecorderTest, GraphBarsAreFrameTimesOverSixtyMillisecondsOfHeight) {
    Frame(15);
    Frame(30);
    recorder().GraphRect = {0, 0, 400, 60};  // 4 pixels per frame, 1 pixel per millisecond
    clock.Now += 0;
    recorder().DrawGraph();  // closes a frame of 0 ms: the 30 ms bar is second, at x 4
    const std::vector<uint32_t> pixels = BackBuffer();
    auto redRows = [&](int x) {
        int rows = 0;
        for (int y = 0; y < 60; y++) {
            bool red = false;
            for (int dx = -1; dx <= 1; dx++) red = red || Pixel(pixels, x + dx, y) == 0xFF4040;
            rows += red;
        }
        return rows;
    };
    // The white 60 frames per second line at y 43 crosses the 30 ms bar.
    EXPECT_NEAR(redRows(4), 30, 2);
    EXPECT_NEAR(redRows(8), 15, 1);
    EXPECT_EQ(redRows(16), 0);
    EXPECT_EQ(Pixel(pixels, 200, 43), 0xFFFFFFu);

    // Drawn again without closing a frame, the times and so the picture stay as they were.
    clock.Now += 45;
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    recorder().DrawFrameTimes();
    EXPECT_FLOAT_EQ(recorder().GetFrameTimes()[0], 0.0f);
    EXPECT_FLOAT_EQ(recorder().GetFrameTimes()[1], 30.0f);
    EXPECT_EQ(BackBuffer(), pixels);
}

}  // namespace
