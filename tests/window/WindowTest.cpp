// The desktop window on a real X server: frames presented by the graphics device are read
// back from the server's screen, and the server's events reach the window's pump.
#include <d3d9.h>
#include <d3dx9.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "XServer.h"
#include "d3d9/DeviceTestSupport.h"
#include "platform/Window.h"
#include "platform/d3d9/SoftD3D.h"
#include "support/TestSupport.h"

using Platform::Window;
using Platform::WindowEvents;
using TestSupport::TempDir;
using WindowTest::Image;

namespace {

// Sets (or, with no value, removes) an environment variable for the life of the object.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_.c_str(), old_->c_str(), 1);
        else
            unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Every pixel distinct from its neighbours, so a shifted, flipped, scaled or channel-swapped
// picture cannot pass for it.
uint32_t PatternPixel(int x, int y) {
    return 0xFF000000u | uint32_t((x * 7) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 |
           uint32_t(((x + 2 * y) * 3) & 0xFF);
}

std::vector<uint32_t> Pattern(int width, int height) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) pixels.push_back(PatternPixel(x, y));
    return pixels;
}

D3DPRESENT_PARAMETERS WindowedParams(HWND window, UINT interval) {
    D3DPRESENT_PARAMETERS pp = DeviceTest::WindowedParams(window);
    pp.PresentationInterval = interval;
    // The tests write their pattern straight into the back buffer.
    pp.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    return pp;
}

struct Device {
    IDirect3D9* D3d = nullptr;
    IDirect3DDevice9* Dev = nullptr;
    ~Device() {
        if (Dev != nullptr) Dev->Release();
        if (D3d != nullptr) D3d->Release();
    }
};

void CreateDevice(HWND window, Device& device, UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE) {
    device.D3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(device.D3d, nullptr);
    D3DPRESENT_PARAMETERS pp = WindowedParams(window, interval);
    ASSERT_EQ(device.D3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                       D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device.Dev),
              D3D_OK);
}

// Writes the pattern into the back buffer, whatever its size, and reports that size.
void DrawPattern(IDirect3DDevice9* device, int& width, int& height) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc;
    back->GetDesc(&desc);
    width = static_cast<int>(desc.Width);
    height = static_cast<int>(desc.Height);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(back->LockRect(&lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < height; y++) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
        for (int x = 0; x < width; x++) row[x] = PatternPixel(x, y);
    }
    back->UnlockRect();
    back->Release();
}

size_t CountDifferences(const Image& image, int width, int height,
                        const std::vector<uint32_t>& expected) {
    if (image.Width != width || image.Height != height) return expected.size();
    size_t differences = 0;
    for (size_t i = 0; i < expected.size(); i++) differences += image.Pixels[i] != expected[i];
    return differences;
}

}  // namespace

class DesktopWindow : public ::testing::Test {
protected:
    static constexpr int kScreenWidth = 640;
    static constexpr int kScreenHeight = 480;

    static void SetUpTestSuite() {
        server_ = WindowTest::StartServer(kScreenWidth, kScreenHeight, startError_);
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        ASSERT_NE(server_, nullptr) << startError_;
        display_.emplace("DISPLAY", server_->Display().c_str());
        wayland_.emplace("WAYLAND_DISPLAY", nullptr);
    }

    std::unique_ptr<Window> Open(const std::string& title, int width, int height) {
        Platform::WindowSettings settings;
        settings.Title = title;
        settings.ClientWidth = width;
        settings.ClientHeight = height;
        std::string error;
        std::unique_ptr<Window> window = Window::Create(settings, error);
        EXPECT_NE(window, nullptr) << error;
        return window;
    }

    // Pumps until the condition holds; the server answers in its own time.
    template <typename Condition>
    bool PumpUntil(Window& window, WindowEvents& events, Condition condition) {
        for (int i = 0; i < 200; i++) {
            window.Pump(events);
            if (condition(events)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }

    // Captures until the server shows the expected picture, and reports the last difference.
    void ExpectOnScreen(Window& window, const std::string& title, int width, int height,
                        const std::vector<uint32_t>& expected) {
        Image image;
        std::string error;
        size_t differences = expected.size();
        for (int i = 0; i < 40 && differences != 0; i++) {
            WindowEvents events;
            window.Pump(events);
            if (WindowTest::Capture(server_->Display(), title, scratch_.Path(), image, error))
                differences = CountDifferences(image, width, height, expected);
            if (differences != 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_EQ(image.Width, width);
        EXPECT_EQ(image.Height, height);
        EXPECT_EQ(differences, 0u) << "pixels that differ from the presented frame";
        for (size_t i = 0; differences != 0 && i < expected.size() && i < image.Pixels.size();
             i++) {
            if (image.Pixels[i] != expected[i]) {
                ADD_FAILURE() << "first at (" << i % width << ", " << i / width << "): " << std::hex
                              << image.Pixels[i] << " instead of " << expected[i];
                break;
            }
        }
    }

    static std::unique_ptr<WindowTest::XServer> server_;
    static std::string startError_;
    TempDir scratch_;
    std::optional<EnvGuard> display_;
    std::optional<EnvGuard> wayland_;
};

std::unique_ptr<WindowTest::XServer> DesktopWindow::server_;
std::string DesktopWindow::startError_;

TEST_F(DesktopWindow, PresentedFrameReachesTheScreenAndIsKept) {
    std::unique_ptr<Window> window = Open("present test", 160, 120);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->IsHeadless());
    Device device;
    CreateDevice(window->Handle(), device);
    int width = 0;
    int height = 0;
    DrawPattern(device.Dev, width, height);
    ASSERT_EQ(width, 160);
    ASSERT_EQ(height, 120);
    ASSERT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    ExpectOnScreen(*window, "present test", 160, 120, Pattern(160, 120));
    SoftD3D::Frame frame;
    ASSERT_TRUE(SoftD3D::GetLastFrame(window->Handle(), frame));
    EXPECT_EQ(frame.Pixels, Pattern(160, 120));
    EXPECT_EQ(frame.Number, 1u);
}

TEST_F(DesktopWindow, ResizeIsReportedOnceAndPickedUpByReset) {
    std::unique_ptr<Window> window = Open("resize test", 160, 120);
    ASSERT_NE(window, nullptr);
    Device device;
    CreateDevice(window->Handle(), device, D3DPRESENT_INTERVAL_ONE);
    WindowEvents events;
    window->Pump(events);
    EXPECT_FALSE(events.Resized) << "the size a window opens with is not a resize";

    ASSERT_TRUE(window->SetClientSize(240, 100));
    ASSERT_TRUE(PumpUntil(*window, events, [](const WindowEvents& e) { return e.Resized; }));
    EXPECT_EQ(events.ClientWidth, 240);
    EXPECT_EQ(events.ClientHeight, 100);
    window->Pump(events);
    EXPECT_FALSE(events.Resized);

    // Until the host resets, the device keeps its back buffer.
    int width = 0;
    int height = 0;
    DrawPattern(device.Dev, width, height);
    EXPECT_EQ(width, 160);
    D3DPRESENT_PARAMETERS pp = WindowedParams(window->Handle(), D3DPRESENT_INTERVAL_ONE);
    ASSERT_EQ(device.Dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 240u);
    EXPECT_EQ(pp.BackBufferHeight, 100u);
    DrawPattern(device.Dev, width, height);
    ASSERT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ExpectOnScreen(*window, "resize test", 240, 100, Pattern(240, 100));
}

TEST_F(DesktopWindow, FullScreenCoversTheScreen) {
    std::unique_ptr<Window> window = Open("full-screen test", 200, 150);
    ASSERT_NE(window, nullptr);
    Device device;
    CreateDevice(window->Handle(), device);
    ASSERT_TRUE(window->SetFullScreen(true));
    EXPECT_TRUE(window->IsFullScreen());
    WindowEvents events;
    ASSERT_TRUE(PumpUntil(*window, events,
                          [](const WindowEvents& e) {
                              return e.ClientWidth == kScreenWidth &&
                                     e.ClientHeight == kScreenHeight;
                          }))
        << events.ClientWidth << "x" << events.ClientHeight;
    D3DPRESENT_PARAMETERS pp = WindowedParams(window->Handle(), D3DPRESENT_INTERVAL_IMMEDIATE);
    ASSERT_EQ(device.Dev->Reset(&pp), D3D_OK);
    int width = 0;
    int height = 0;
    DrawPattern(device.Dev, width, height);
    ASSERT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ExpectOnScreen(*window, "", kScreenWidth, kScreenHeight, Pattern(kScreenWidth, kScreenHeight));

    // Back to the framed window, at the size it had.
    ASSERT_TRUE(window->SetFullScreen(false));
    EXPECT_FALSE(window->IsFullScreen());
    ASSERT_TRUE(PumpUntil(
        *window, events,
        [](const WindowEvents& e) { return e.ClientWidth == 200 && e.ClientHeight == 150; }))
        << events.ClientWidth << "x" << events.ClientHeight;
}

TEST_F(DesktopWindow, CloseRequestReachesThePumpOnce) {
    std::unique_ptr<Window> window = Open("close test", 64, 48);
    ASSERT_NE(window, nullptr);
    WindowEvents events;
    window->Pump(events);
    EXPECT_FALSE(events.CloseRequested);
    window->RequestClose();
    ASSERT_TRUE(PumpUntil(*window, events, [](const WindowEvents& e) { return e.CloseRequested; }));
    window->Pump(events);
    EXPECT_FALSE(events.CloseRequested) << "a close request is reported once";
}

TEST_F(DesktopWindow, KeysAndMouseFromTheServerReachTheWindow) {
    std::string xdotool = WindowTest::FindProgram("xdotool");
    ASSERT_FALSE(xdotool.empty()) << "xdotool is not installed (Debian package xdotool)";
    std::unique_ptr<Window> window = Open("input test", 200, 150);
    ASSERT_NE(window, nullptr);
    WindowEvents events;
    // The server sends keys to the window under the pointer, as no window manager runs.
    auto run = [&](std::vector<std::string> args) {
        TestSupport::RunResult r = TestSupport::Run(xdotool, args, scratch_.Path());
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
    };
    run({"search", "--sync", "--name", "input test", "mousemove", "--window", "%1", "30", "40"});
    ASSERT_TRUE(PumpUntil(*window, events, [&](const WindowEvents&) {
        return window->Mouse().Inside && window->Mouse().X == 30 && window->Mouse().Y == 40;
    }));
    run({"keydown", "w", "key", "Escape", "F12", "minus", "KP_Add"});
    ASSERT_TRUE(
        PumpUntil(*window, events, [&](const WindowEvents&) { return window->IsKeyDown('W'); }));
    std::vector<int> pressed = events.KeysPressed;
    ASSERT_TRUE(PumpUntil(*window, events, [&](const WindowEvents& e) {
        pressed.insert(pressed.end(), e.KeysPressed.begin(), e.KeysPressed.end());
        return pressed.size() >= 5;
    }));
    EXPECT_EQ(pressed, (std::vector<int>{'W', Platform::kKeyEscape, Platform::kKeyF12,
                                         Platform::kKeyMinus, Platform::kKeyNumpadAdd}));
    EXPECT_TRUE(window->IsKeyDown('W'));
    EXPECT_FALSE(window->IsKeyDown(Platform::kKeyEscape));
    run({"keyup", "w", "click", "1"});
    ASSERT_TRUE(
        PumpUntil(*window, events, [&](const WindowEvents&) { return !window->IsKeyDown('W'); }));
}

TEST_F(DesktopWindow, PresentFailsOnceTheWindowIsGone) {
    std::unique_ptr<Window> window = Open("gone test", 64, 48);
    ASSERT_NE(window, nullptr);
    Device device;
    CreateDevice(window->Handle(), device);
    ASSERT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    window.reset();
    EXPECT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
}

TEST(WindowWithoutDisplay, FailsWithAClearMessageAndHeadlessStillWorks) {
    EnvGuard display("DISPLAY", nullptr);
    EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
    Platform::WindowSettings settings;
    settings.Title = "no display";
    std::string error;
    EXPECT_EQ(Window::Create(settings, error), nullptr);
    EXPECT_NE(error.find("no display"), std::string::npos) << error;
    EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;

    // The host's fall-back: a headless window takes frames the same way.
    settings.Headless = true;
    settings.ClientWidth = 32;
    settings.ClientHeight = 16;
    error.clear();
    std::unique_ptr<Window> window = Window::Create(settings, error);
    ASSERT_NE(window, nullptr) << error;
    EXPECT_TRUE(window->IsHeadless());
    Device device;
    CreateDevice(window->Handle(), device);
    int width = 0;
    int height = 0;
    DrawPattern(device.Dev, width, height);
    ASSERT_EQ(device.Dev->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    SoftD3D::Frame frame;
    ASSERT_TRUE(SoftD3D::GetLastFrame(window->Handle(), frame));
    EXPECT_EQ(frame.Pixels, Pattern(32, 16));
    // Its size changes at once, and reaches the device on Reset.
    WindowEvents events;
    ASSERT_TRUE(window->SetClientSize(20, 10));
    window->Pump(events);
    EXPECT_TRUE(events.Resized);
    D3DPRESENT_PARAMETERS pp = WindowedParams(window->Handle(), D3DPRESENT_INTERVAL_ONE);
    ASSERT_EQ(device.Dev->Reset(&pp), D3D_OK);
    EXPECT_EQ(pp.BackBufferWidth, 20u);
}

TEST(WindowWithoutDisplay, UnreachableDisplayAndBadSizesAreRefused) {
    EnvGuard display("DISPLAY", ":65000");
    EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
    Platform::WindowSettings settings;
    std::string error;
    EXPECT_EQ(Window::Create(settings, error), nullptr);
    EXPECT_NE(error.find(":65000"), std::string::npos) << error;
    for (bool headless : {false, true}) {
        settings.Headless = headless;
        settings.ClientWidth = 0;
        error.clear();
        EXPECT_EQ(Window::Create(settings, error), nullptr);
        EXPECT_FALSE(error.empty());
    }
}

TEST(WindowExample, RunsUnattendedAndRefusesWithoutADisplay) {
    TempDir dir;
    const std::string program = std::string(BIN_DIR) + "/window";
    EnvGuard display("DISPLAY", nullptr);
    EnvGuard wayland("WAYLAND_DISPLAY", nullptr);
    TestSupport::RunResult refused = TestSupport::Run(program, {"--frames", "2"}, dir.Path());
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_NE(refused.Err.find("no display"), std::string::npos) << refused.Err;

    TestSupport::RunResult run = TestSupport::Run(program,
                                                  {"--headless", "--width", "64", "--height", "48",
                                                   "--frames", "3", "--screenshot", "shot.png"},
                                                  dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileA((dir / "shot.png").c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 64u);
    EXPECT_EQ(info.Height, 48u);
}
