// Headless windows on every system: on Linux the software device's, on Windows a system
// window that is never shown. A device draws into either, its frame reads back, the window
// follows size changes and close requests, and the example hosts run unattended on one.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/D3D9.h"
#include "platform/Window.h"
#include "support/DeviceSupport.h"
#include "support/TestSupport.h"

namespace {

struct Device {
    ~Device() {
        if (Dev != nullptr) Dev->Release();
        if (D3d != nullptr) D3d->Release();
    }
    IDirect3D9* D3d = nullptr;
    IDirect3DDevice9* Dev = nullptr;
};

D3DPRESENT_PARAMETERS Windowed(HWND window) {
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

UINT BackBufferWidth(IDirect3DDevice9* device) {
    IDirect3DSurface9* back = nullptr;
    D3DSURFACE_DESC desc{};
    if (device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) == D3D_OK) {
        back->GetDesc(&desc);
        back->Release();
    }
    return desc.Width;
}

TEST(HeadlessWindow, TakesTheDevicesFramesAndFollowsSizeAndCloseRequests) {
    SKIP_WITHOUT_DEVICE();
    std::unique_ptr<Platform::Window> window = TestSupport::MakeHeadlessWindow(40, 30);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsHeadless());
    int width = 0, height = 0;
    window->GetClientSize(width, height);
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 30);

    Device device;
    device.D3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(device.D3d, nullptr);
    D3DPRESENT_PARAMETERS pp = Windowed(window->Handle());
    ASSERT_EQ(device.D3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window->Handle(),
                                       D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device.Dev),
              D3D_OK);
    // A zero back-buffer size takes the client area's.
    EXPECT_EQ(BackBufferWidth(device.Dev), 40u);
    const D3DRECT band = {10, 5, 20, 25};
    ASSERT_EQ(device.Dev->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device.Dev->Clear(1, &band, D3DCLEAR_TARGET, 0xFFF0E0D0, 1.0f, 0), D3D_OK);
    const std::vector<uint32_t> pixels = TestSupport::BackBufferPixels(device.Dev);
    ASSERT_EQ(pixels.size(), 40u * 30u);
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++) {
            const bool inBand = x >= 10 && x < 20 && y >= 5 && y < 25;
            ASSERT_EQ(pixels[y * 40 + x] & 0xFFFFFF, inBand ? 0xF0E0D0u : 0x102030u)
                << x << ", " << y;
        }
    EXPECT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    Platform::WindowEvents events;
    window->Pump(events);
    EXPECT_FALSE(events.Resized);
    EXPECT_FALSE(events.CloseRequested);
    ASSERT_TRUE(window->SetClientSize(24, 16));
    window->Pump(events);
    EXPECT_TRUE(events.Resized);
    EXPECT_EQ(events.ClientWidth, 24);
    EXPECT_EQ(events.ClientHeight, 16);
    pp = Windowed(window->Handle());
    ASSERT_EQ(device.Dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(BackBufferWidth(device.Dev), 24u);

    window->RequestClose();
    window->Pump(events);
    EXPECT_TRUE(events.CloseRequested);
    window->Pump(events);
    EXPECT_FALSE(events.CloseRequested);
}

// Each host run unattended and headless writes a picture of the size it was asked for.
struct HostCase {
    const char* Program;
    std::vector<std::string> Args;
};

class HeadlessHosts : public ::testing::TestWithParam<HostCase> {};

TEST_P(HeadlessHosts, RunUnattendedAndSaveTheirFrame) {
    SKIP_WITHOUT_DEVICE();
    TestSupport::TempDir dir;
    std::vector<std::string> args = GetParam().Args;
    args.insert(args.end(), {"--headless", "--width", "96", "--height", "64", "--frames", "3",
                             "--screenshot", "shot.png"});
    const TestSupport::RunResult run =
        TestSupport::Run(std::string(BIN_DIR) + "/" + GetParam().Program, args, dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileA((dir / "shot.png").c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 96u);
    EXPECT_EQ(info.Height, 64u);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, HeadlessHosts,
    ::testing::Values(HostCase{"window", {}},
                      HostCase{"demo",
                               {"--immediate", "--sprites", "50", "--textures",
                                std::string(SOURCE_ROOT) + "/examples/demo/textures"}}),
    [](const ::testing::TestParamInfo<HostCase>& info) { return std::string(info.param.Program); });

}  // namespace
