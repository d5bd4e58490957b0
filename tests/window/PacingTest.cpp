// Frames presented with a refresh interval keep to the display's refresh boundaries, counted
// from the first frame shown, however long each frame took to draw. The platform's clock is
// set to one that the test moves: a wait moves it to the wait's end at once, so the test runs
// without sleeping, and every frame's time is exact.
#include <d3d9.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "XServer.h"
#include "platform/Platform.h"
#include "platform/Window.h"
#include "support/TestSupport.h"

namespace {

constexpr int64_t kSecond = 1000000000;  // the POSIX counter's ticks
constexpr int64_t kMillisecond = kSecond / 1000;
// Our private X server does not say its refresh rate, so windows on it pace to 60 Hz.
constexpr int64_t kRefresh = 60;

int64_t now = 0;
int64_t Now() {
    return now;
}
void WaitUntil(int64_t counter) {
    if (counter > now) now = counter;
}
const Platform::CounterClock kTestClock{Now, WaitUntil};

// The time of refresh boundary k after a first frame at 0, as the counter has it.
int64_t Boundary(int64_t k) {
    return k * kSecond / kRefresh;
}

struct PacingCase {
    const char* Name;
    UINT Interval;
    int64_t WorkMs;  // each frame's drawing, before its present
    int64_t Step;    // boundaries from one frame to the next
};

void PrintTo(const PacingCase& c, std::ostream* os) {
    *os << c.Name;
}

class Pacing : public ::testing::TestWithParam<PacingCase> {
protected:
    static void SetUpTestSuite() { server_ = WindowTest::StartServer(320, 240, error_); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        ASSERT_NE(server_, nullptr) << error_;
        TestSupport::SetEnvironment("DISPLAY", server_->Display().c_str());
        TestSupport::SetEnvironment("WAYLAND_DISPLAY", nullptr);
        Platform::SetCounterClock(&kTestClock);
    }
    void TearDown() override { Platform::SetCounterClock(nullptr); }

    // The times at which each of the frames was shown, relative to the first, each frame
    // taking workMs to draw.
    std::vector<int64_t> Present(UINT interval, int frames, int64_t workMs) {
        Platform::WindowSettings settings;
        settings.Title = "pacing";
        settings.ClientWidth = 64;
        settings.ClientHeight = 48;
        std::string error;
        std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
        EXPECT_NE(window, nullptr) << error;
        if (window == nullptr) return {};
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp;
        std::memset(&pp, 0, sizeof(pp));
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.hDeviceWindow = window->Handle();
        pp.PresentationInterval = interval;
        IDirect3DDevice9* device = nullptr;
        EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window->Handle(),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        std::vector<int64_t> shown;
        now = 123 * kSecond + 456;  // anywhere: the count starts at the first frame
        int64_t first = 0;
        for (int f = 0; f < frames && device != nullptr; ++f) {
            now += workMs * kMillisecond;
            EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            if (f == 0) first = now;
            shown.push_back(now - first);
        }
        if (device != nullptr) device->Release();
        d3d->Release();
        return shown;
    }

    static std::unique_ptr<WindowTest::XServer> server_;
    static std::string error_;
};

std::unique_ptr<WindowTest::XServer> Pacing::server_;
std::string Pacing::error_;

TEST_P(Pacing, FramesLandOnRefreshBoundariesWithoutDrift) {
    const PacingCase& c = GetParam();
    const std::vector<int64_t> shown = Present(c.Interval, 300, c.WorkMs);
    ASSERT_EQ(shown.size(), 300u);
    for (size_t f = 0; f < shown.size(); ++f)
        ASSERT_EQ(shown[f], Boundary(int64_t(f) * c.Step)) << "frame " << f;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, Pacing,
    ::testing::Values(
        // A light scene runs at the display's rate: 300 frames in 299 periods, 4.98 s.
        PacingCase{"LightDefault", D3DPRESENT_INTERVAL_DEFAULT, 3, 1},
        PacingCase{"LightOne", D3DPRESENT_INTERVAL_ONE, 16, 1},
        // A frame later than its boundary takes the next one not yet past, every time.
        PacingCase{"HeavyTakesEverySecond", D3DPRESENT_INTERVAL_ONE, 20, 2},
        PacingCase{"HeavierTakesEveryThird", D3DPRESENT_INTERVAL_DEFAULT, 40, 3},
        PacingCase{"IntervalTwo", D3DPRESENT_INTERVAL_TWO, 1, 2},
        PacingCase{"IntervalThreeHeavy", D3DPRESENT_INTERVAL_THREE, 60, 4}),
    [](const auto& info) { return std::string(info.param.Name); });

// Frames presented at once neither wait nor disturb the count of those that do.
TEST_F(Pacing, ImmediateFramesDoNotWait) {
    const std::vector<int64_t> shown = Present(D3DPRESENT_INTERVAL_IMMEDIATE, 50, 3);
    ASSERT_EQ(shown.size(), 50u);
    for (size_t f = 0; f < shown.size(); ++f) EXPECT_EQ(shown[f], int64_t(f) * 3 * kMillisecond);
}

}  // namespace
