// The demo program end to end: its unattended run on a private X server shows on screen the
// very frame it saves, its keys reach it there, and without a display it refuses or draws
// headless as asked.
#include <d3d9.h>
#include <d3dx9.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "XServer.h"
#include "platform/d3d9/SoftD3D.h"
#include "support/TestSupport.h"

using TestSupport::RunResult;
using TestSupport::TempDir;
using WindowTest::Image;

namespace {

const std::string kDemo = std::string(BIN_DIR) + "/demo";
const char* const kTitle = "Engine demo";
constexpr uint32_t kBackground = 0xFF0C1018;

// The arguments of env that run the demo on that display (none when empty), so that the
// display it sees is set for it alone.
std::vector<std::string> DemoArguments(const std::string& display,
                                       const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-u", "WAYLAND_DISPLAY"};
    if (display.empty())
        all.insert(all.end(), {"-u", "DISPLAY"});
    else
        all.push_back("DISPLAY=" + display);
    all.push_back(kDemo);
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

RunResult RunDemo(const std::string& display, const std::vector<std::string>& args,
                  const std::filesystem::path& folder) {
    return TestSupport::Run(WindowTest::FindProgram("env"), DemoArguments(display, args), folder);
}

// The demo running beside the test, its output in out.txt and err.txt of its folder. Not
// through a pipe: it would keep the pipes of programs run meanwhile open, and their readers
// waiting. Ended by force if it is still running when the object goes.
class Spawned {
public:
    bool Start(const std::vector<std::string>& envArgs, const std::filesystem::path& folder) {
        const std::string env = WindowTest::FindProgram("env");
        const std::string out = (folder / "out.txt").string();
        const std::string err = (folder / "err.txt").string();
        std::vector<std::string> all = {env};
        all.insert(all.end(), envArgs.begin(), envArgs.end());
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0) _exit(126);
            dup2(o, STDOUT_FILENO);
            dup2(e, STDERR_FILENO);
            execv(env.c_str(), argv.data());
            _exit(127);
        }
        return pid_ > 0;
    }
    // The exit status, or -1 when it did not end within a minute (it is then ended).
    int Wait() {
        if (pid_ <= 0) return -1;
        int status = 0;
        for (int i = 0; i < 600; i++) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        Stop();
        return -1;
    }
    ~Spawned() { Stop(); }

private:
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid_ = -1;
};

// Reads an image file as 0xFFRRGGBB pixels; false while it cannot be read whole (it may
// still be being written).
bool LoadImage(const std::filesystem::path& path, Image& image) {
    HWND window = SoftD3D::CreateHeadlessWindow(8, 8);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* texture = nullptr;
    bool loaded = false;
    if (d3d != nullptr &&
        SUCCEEDED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device)) &&
        SUCCEEDED(D3DXCreateTextureFromFileExA(device, path.string().c_str(), D3DX_DEFAULT_NONPOW2,
                                               D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE, 0,
                                               D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                                               D3DX_FILTER_NONE, 0, nullptr, nullptr, &texture))) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(0, &desc);
        D3DLOCKED_RECT locked;
        if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
            image.Width = static_cast<int>(desc.Width);
            image.Height = static_cast<int>(desc.Height);
            image.Pixels.clear();
            for (int y = 0; y < image.Height; y++) {
                const auto* row = reinterpret_cast<const uint32_t*>(
                    static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch);
                for (int x = 0; x < image.Width; x++) image.Pixels.push_back(row[x] | 0xFF000000u);
            }
            texture->UnlockRect(0);
            loaded = true;
        }
        texture->Release();
    }
    if (device != nullptr) device->Release();
    if (d3d != nullptr) d3d->Release();
    SoftD3D::DestroyHeadlessWindow(window);
    return loaded;
}

// Waits for the program to write an image file and reads it.
bool AwaitImage(const std::filesystem::path& path, Image& image) {
    for (int i = 0; i < 600; i++) {
        std::error_code error;
        if (std::filesystem::exists(path, error) && LoadImage(path, image)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

size_t Differences(const Image& a, const Image& b) {
    if (a.Width != b.Width || a.Height != b.Height) return a.Pixels.size() + b.Pixels.size();
    size_t count = 0;
    for (size_t i = 0; i < a.Pixels.size(); i++) count += a.Pixels[i] != b.Pixels[i];
    return count;
}

}  // namespace

TEST(DemoOnDesktop, UnattendedFrameReachesTheScreenAndTheKeysAct) {
    std::string xdotool = WindowTest::FindProgram("xdotool");
    ASSERT_FALSE(xdotool.empty()) << "xdotool is not installed (Debian package xdotool)";
    WindowTest::XServer server;
    std::string error;
    ASSERT_TRUE(server.Start(640, 480, error)) << error;
    TempDir dir;
    Spawned demo;
    ASSERT_TRUE(demo.Start(
        DemoArguments(server.Display(), {"--width", "480", "--height", "360", "--sprites", "400",
                                         "--frames", "5", "--screenshot", "shot.png", "--hold"}),
        dir.Path()));
    auto keys = [&](std::vector<std::string> names) {
        std::vector<std::string> args = {"DISPLAY=" + server.Display(),
                                         xdotool,
                                         "search",
                                         "--sync",
                                         "--name",
                                         kTitle,
                                         "mousemove",
                                         "--window",
                                         "%1",
                                         "10",
                                         "10",
                                         "key"};
        args.insert(args.end(), names.begin(), names.end());
        return TestSupport::Run(WindowTest::FindProgram("env"), args, dir.Path());
    };
    // Presses the keys, then F12, and reads the screenshot that follows.
    int shots = 0;
    auto shoot = [&](std::vector<std::string> names, Image& image) {
        names.push_back("F12");
        EXPECT_EQ(keys(names).ExitCode, 0);
        shots++;
        return AwaitImage(dir.Path() / ("demo-" + std::to_string(shots) + ".png"), image);
    };
    // Pixels of the rectangle [x0, x1) x [y0, y1) that are not the background.
    auto lit = [](const Image& image, int x0, int y0, int x1, int y1) {
        size_t count = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++) count += image.Pixels[y * image.Width + x] != kBackground;
        return count;
    };

    Image shot;
    ASSERT_TRUE(AwaitImage(dir.Path() / "shot.png", shot));
    ASSERT_EQ(shot.Width, 480);
    ASSERT_EQ(shot.Height, 360);
    // The text is on: the font was found from the build tree.
    EXPECT_EQ(TestSupport::ReadFile(dir.Path() / "err.txt").find("no text"), std::string::npos);
    // The screen shows what the device saved, once the server has drawn it.
    Image screen;
    size_t differences = shot.Pixels.size();
    for (int i = 0; i < 50 && differences != 0; i++) {
        if (WindowTest::Capture(server.Display(), kTitle, dir.Path(), screen, error))
            differences = Differences(screen, shot);
        if (differences != 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(differences, 0u) << error;

    // The held scene stands still, its figures and graph included: F12 saves it again. Then
    // wireframe changes the picture.
    Image again;
    ASSERT_TRUE(shoot({}, again));
    EXPECT_EQ(Differences(again, shot), 0u);
    Image wireframe;
    ASSERT_TRUE(shoot({"w"}, wireframe));
    EXPECT_NE(Differences(wireframe, shot), 0u);

    // Full screen resizes the window, and the demo restores the device for the new size. The
    // new device still draws in wireframe, so the key turns it off and on again: the first
    // press changes the picture, the second brings the same one back.
    EXPECT_EQ(keys({"F11"}).ExitCode, 0);
    Image restored;
    for (int i = 0; i < 50 && restored.Width != 640; i++) ASSERT_TRUE(shoot({}, restored));
    ASSERT_EQ(restored.Width, 640);
    ASSERT_EQ(restored.Height, 480);
    Image solid;
    ASSERT_TRUE(shoot({"w"}, solid));
    EXPECT_NE(Differences(solid, restored), 0u);
    Image wireframeAgain;
    ASSERT_TRUE(shoot({"w"}, wireframeAgain));
    EXPECT_EQ(Differences(wireframeAgain, restored), 0u);

    // With every sprite taken away, the lower left (below the status panel, left of the text
    // panel, clear of the turning line) shows only the background; the sprites lit it before.
    Image empty;
    ASSERT_TRUE(shoot({"minus"}, empty));
    ASSERT_EQ(empty.Width, 640);
    EXPECT_GT(lit(solid, 0, 260, 260, 480), 0u);
    EXPECT_EQ(lit(empty, 0, 260, 260, 480), 0u) << "pixels lit where only sprites were";

    // The demo may be gone before the key's release reaches its window, which xdotool
    // reports as an error: the demo's own exit status is what tells.
    keys({"Escape"});
    EXPECT_EQ(demo.Wait(), 0) << TestSupport::ReadFile(dir.Path() / "err.txt");
    const std::string out = TestSupport::ReadFile(dir.Path() / "out.txt");
    EXPECT_NE(out.find("5 frames in"), std::string::npos) << out;
}

TEST(DemoWithoutDisplay, RefusesAWindowAndDrawsHeadlessWhenAsked) {
    TempDir dir;
    RunResult refused = RunDemo("", {"--frames", "2"}, dir.Path());
    EXPECT_EQ(refused.ExitCode, 2);
    EXPECT_NE(refused.Err.find("no display"), std::string::npos) << refused.Err;
    EXPECT_NE(refused.Err.find("--headless"), std::string::npos) << refused.Err;

    RunResult run = RunDemo("",
                            {"--headless", "--width", "64", "--height", "48", "--sprites", "50",
                             "--frames", "3", "--screenshot", "shot.bmp"},
                            dir.Path());
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    Image image;
    ASSERT_TRUE(LoadImage(dir.Path() / "shot.bmp", image));
    EXPECT_EQ(image.Width, 64);
    EXPECT_EQ(image.Height, 48);
    size_t lit = 0;
    for (uint32_t pixel : image.Pixels) lit += pixel != kBackground;
    EXPECT_GT(lit, 0u) << "the frame shows nothing but the background";

    // Without its font the demo runs all the same, and says so once.
    RunResult plain = RunDemo("",
                              {"--headless", "--width", "64", "--height", "48", "--frames", "3",
                               "--font", (dir.Path() / "no-font").string()},
                              dir.Path());
    ASSERT_EQ(plain.ExitCode, 0) << plain.Err;
    const size_t said = plain.Err.find("no text");
    EXPECT_NE(said, std::string::npos) << plain.Err;
    EXPECT_EQ(plain.Err.find("no text", said + 1), std::string::npos) << plain.Err;
}

class DemoRefusals : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(DemoRefusals, AreRefusedWithTheUsage) {
    TempDir dir;
    std::vector<std::string> args = {"--headless"};
    args.insert(args.end(), GetParam().begin(), GetParam().end());
    RunResult run = RunDemo("", args, dir.Path());
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Err.find("demo: "), std::string::npos) << run.Err;
    EXPECT_TRUE(TestSupport::ListTree(dir.Path()).empty()) << "a refused run wrote a file";
}

INSTANTIATE_TEST_SUITE_P(
    Bad, DemoRefusals,
    ::testing::Values(std::vector<std::string>{"--frames", "0"},
                      std::vector<std::string>{"--frames", "2x"},
                      std::vector<std::string>{"--sprites", "-1"},
                      std::vector<std::string>{"--width", "8193"},
                      std::vector<std::string>{"--height"},
                      std::vector<std::string>{"--screenshot", "shot.gif", "--frames", "1"},
                      std::vector<std::string>{"--screenshot", "shot.png"},
                      std::vector<std::string>{"--hold"}, std::vector<std::string>{"--speed", "2"},
                      std::vector<std::string>{"--frames", "1", "--textures", "no-such-folder"}));
