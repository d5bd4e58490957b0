#include <gtest/gtest.h>

#include <string>

#include "misc/GTimer.h"

namespace {

// A clock the test moves by hand.
class ManualClock : public GTimer::Clock {
public:
    int64_t Frequency() override { return Ticks; }
    int64_t Counter() override { return Count; }
    uint32_t Milliseconds() override { return Ms; }
    // Moves both clocks forward.
    void Advance(double ms) {
        Count += static_cast<int64_t>(ms * static_cast<double>(Ticks) / 1000.0);
        Ms += static_cast<uint32_t>(ms);
    }

    int64_t Ticks = 1000000;
    int64_t Count = 5000000000LL;
    uint32_t Ms = 4000000000u;
};

// Runs every test with the counter and again on the millisecond fallback.
class GTimerTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (!GetParam()) clock.Ticks = 0;
        GTimer::SetClockOverride(&clock);
    }
    void TearDown() override { GTimer::SetClockOverride(nullptr); }

    ManualClock clock;
};

}  // namespace

TEST_P(GTimerTest, NeverStartedTimerIgnoresUpdates) {
    GTimer timer;
    clock.Advance(50);
    timer.Update();
    EXPECT_TRUE(timer.IsPaused());
    EXPECT_EQ(timer.GetTotalTime(), 0.0);
    EXPECT_EQ(timer.GetFrameTime(), 0.0f);
}

TEST_P(GTimerTest, LongFrameCapsFrameTimeOnly) {
    GTimer timer;
    timer.Start();
    clock.Advance(100);
    timer.Update();
    EXPECT_FLOAT_EQ(timer.GetFrameTime(), 36.0f);
    EXPECT_NEAR(timer.GetFrameFactor(), 8.3333f, 1e-3);
    EXPECT_NEAR(timer.GetTotalTime(), 100.0, 1e-6);
}

TEST_P(GTimerTest, SpeedScalesFactorAndTotal) {
    GTimer timer;
    timer.SetSpeed(2.0f);
    timer.Start();
    clock.Advance(12);
    timer.Update();
    EXPECT_FLOAT_EQ(timer.GetFrameFactor(), 2.0f);
    EXPECT_FLOAT_EQ(timer.GetFrameTime(), 12.0f);
    EXPECT_NEAR(timer.GetTotalTime(), 24.0, 1e-6);
    clock.Advance(6);
    timer.Update();
    EXPECT_NEAR(timer.GetTotalTime(), 36.0, 1e-6);
}

TEST_P(GTimerTest, PausedTimeIsNotCounted) {
    GTimer timer;
    timer.Start();
    clock.Advance(10);
    timer.Pause();
    EXPECT_NEAR(timer.GetTotalTime(), 10.0, 1e-6) << "the time up to the pause counts";
    EXPECT_EQ(timer.GetFrameTime(), 0.0f);
    clock.Advance(500);
    timer.Update();
    EXPECT_NEAR(timer.GetTotalTime(), 10.0, 1e-6);
    timer.Resume();
    clock.Advance(5);
    timer.Update();
    EXPECT_NEAR(timer.GetTotalTime(), 15.0, 1e-6);
    EXPECT_FLOAT_EQ(timer.GetFrameTime(), 5.0f);
}

TEST_P(GTimerTest, StartRestartsFromZero) {
    GTimer timer;
    timer.Start();
    clock.Advance(30);
    timer.Update();
    timer.Start();
    EXPECT_EQ(timer.GetTotalTime(), 0.0);
    EXPECT_EQ(timer.GetFrameTime(), 0.0f);
    clock.Advance(7);
    timer.Update();
    EXPECT_NEAR(timer.GetTotalTime(), 7.0, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Clocks, GTimerTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "PerformanceCounter" : "MillisecondFallback";
                         });

namespace {

struct TimeCase {
    double Ms;
    const char* Text;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << c.Ms << " ms";
}

class FormatTimeCases : public ::testing::TestWithParam<TimeCase> {};

}  // namespace

TEST_P(FormatTimeCases, PrintsMinutesSecondsAndTheRest) {
    char buffer[32];
    int written = FormatTime(buffer, GetParam().Ms);
    EXPECT_STREQ(buffer, GetParam().Text);
    EXPECT_EQ(written, static_cast<int>(std::string(GetParam().Text).size()));
}

INSTANTIATE_TEST_SUITE_P(Examples, FormatTimeCases,
                         ::testing::Values(TimeCase{0, "0:00:00"}, TimeCase{83456, "1:23:456"},
                                           TimeCase{83405, "1:23:45"}, TimeCase{59999, "0:59:999"},
                                           TimeCase{60000, "1:00:00"},
                                           TimeCase{5999999, "99:59:999"},
                                           TimeCase{1234.5, "0:01:234"}));

TEST(FormatTime, BoundedFormStopsAtTheBuffer) {
    char buffer[5];
    EXPECT_EQ(FormatTime(buffer, sizeof(buffer), 83456), 4);
    EXPECT_STREQ(buffer, "1:23");
    char wide[32];
    EXPECT_GT(FormatTime(wide, sizeof(wide), 1e30), 0) << "huge times do not overflow";
}
