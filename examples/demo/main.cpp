// The engine's demo: several thousand sprites bouncing with rotation, tint and additive
// blending, and an overlay in the baked font with the frame times, in a desktop window.
//
//   demo [--width W] [--height H] [--sprites N] [--fullscreen] [--immediate] [--headless]
//        [--no-batching] [--textures DIR] [--font DIR]
//        [--frames N [--screenshot FILE] [--hold]]
//
// Keys: W wireframe, B batching, + and - the sprite count, F11 full-screen, F12 a screenshot
// (demo-1.png, demo-2.png, ... in the working folder), Esc quits.
//
// --frames N runs unattended: every frame advances the scene by a 60th of a second, the last
// one is written to the screenshot, and the program prints the frames per second and exits.
// --hold keeps that last scene on screen, still, until Esc or a close. Without a display the
// window cannot be made; --headless draws to a window without a screen instead.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "DemoOptions.h"
#include "Overlay.h"
#include "SpriteField.h"
#include "platform/D3D9.h"
#include "platform/Window.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "render/GVertexBuffer.h"
#include "text/TextEngine.h"

namespace {

constexpr int kSpriteStep = 1000;
constexpr uint32_t kBackground = 0xFF0C1018;

struct Host {
    DemoOptions Options;
    std::unique_ptr<Platform::Window> Window;
    std::unique_ptr<SpriteField> Field;  // made once the textures can be found
    Overlay Panel;
    bool Batching = true;
    // Scene time: it advances only while the scene runs.
    double Seconds = 0;
    int Width = 0;  // of the back buffer
    int Height = 0;
};

// After every start of the device: the presentation interval asked for, the vertex buffer
// the sprites draw through, the screen size sprites test against, and the font, which a
// restore forgets.
bool PrepareDevice(Host& host) {
    GD3D9& engine = GetD3DEngine();
    if (host.Options.Immediate) {
        // The engine always starts its device with the default interval, and its Restore
        // starts over the same way, so another interval takes a reset of our own after each
        // start. The reset brings the device's default states back; the engine's go on top.
        engine.PresentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(engine.PDevice->Reset(&engine.PresentParams))) return false;
        engine.SetDefaultRenderStates();
    }
    IDirect3DSwapChain9* chain = nullptr;
    if (FAILED(engine.PDevice->GetSwapChain(0, &chain))) return false;
    D3DPRESENT_PARAMETERS current;
    chain->GetPresentParameters(&current);
    chain->Release();
    host.Width = static_cast<int>(current.BackBufferWidth);
    host.Height = static_cast<int>(current.BackBufferHeight);
    ScreenWidth = host.Width;
    ScreenHeight = host.Height;
    GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
    host.Panel.LoadFont(host.Options.Font);
    return true;
}

// The first of demo-1.png, demo-2.png, ... that does not exist yet.
std::string NextScreenshotName() {
    for (int i = 1;; i++) {
        std::string name = "demo-" + std::to_string(i) + ".png";
        std::error_code error;
        if (!std::filesystem::exists(name, error) && !error) return name;
        if (i == 100000) return name;
    }
}

void DrawScene(Host& host, bool held) {
    GD3D9& engine = GetD3DEngine();
    engine.BeginScene();
    engine.ClearScreen(kBackground);
    host.Field->Draw(host.Batching);
    OverlayState state;
    state.Wireframe = engine.Wireframe;
    state.Batching = host.Batching;
    state.Sprites = host.Field->Count();
    state.Held = held;
    state.Seconds = static_cast<float>(host.Seconds);
    host.Panel.Draw(state);
    engine.EndScene();
}

// Handles the keys pressed, in order, up to a screenshot: what follows it waits for the next
// frame, so the picture shows the scene as it was when F12 was pressed. False on Esc.
bool HandleKeys(Host& host, std::deque<int>& keys, bool& screenshot) {
    GD3D9& engine = GetD3DEngine();
    while (!keys.empty() && !screenshot) {
        const int key = keys.front();
        keys.pop_front();
        int count = host.Field->Count();
        switch (key) {
            case Platform::kKeyEscape:
                return false;
            case 'W':
                engine.ToggleWireframe();
                break;
            case 'B':
                host.Batching = !host.Batching;
                engine.SetBatching(host.Batching);
                break;
            case Platform::kKeyPlus:
            case Platform::kKeyNumpadAdd:
                count = std::min(count + kSpriteStep, kMaxSprites);
                break;
            case Platform::kKeyMinus:
            case Platform::kKeyNumpadSubtract:
                count = std::max(count - kSpriteStep, 0);
                break;
            case Platform::kKeyF11:
                host.Window->SetFullScreen(!host.Window->IsFullScreen());
                break;
            case Platform::kKeyF12:
                screenshot = true;
                break;
            default:
                break;
        }
        if (count != host.Field->Count())
            host.Field->Resize(count, static_cast<float>(host.Width),
                               static_cast<float>(host.Height));
    }
    return true;
}

int Run(Host& host) {
    const DemoOptions& options = host.Options;
    GD3D9& engine = GetD3DEngine();
    using Clock = std::chrono::steady_clock;
    Clock::time_point last = Clock::now();
    Clock::time_point start = last;
    double unattendedSeconds = 0;
    std::deque<int> keys;
    bool restart = false;
    bool held = false;
    for (long frame = 0;;) {
        Platform::WindowEvents events;
        host.Window->Pump(events);
        if (events.CloseRequested) break;
        keys.insert(keys.end(), events.KeysPressed.begin(), events.KeysPressed.end());
        bool screenshot = false;
        if (!HandleKeys(host, keys, screenshot)) break;

        // A new size, or a device the system took away, needs the device started again.
        const HRESULT level = engine.PDevice->TestCooperativeLevel();
        if (level == D3DERR_DEVICELOST) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (events.Resized || level == D3DERR_DEVICENOTRESET) restart = true;
        if (restart) {
            if (!engine.Restore() || !PrepareDevice(host)) {
                std::fprintf(stderr, "demo: the graphics device could not be started again\n");
                return 1;
            }
            restart = false;
        }

        const Clock::time_point now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - last).count();
        last = now;
        if (!held) {
            // Unattended runs step evenly, so that they draw the same scene every time.
            const double step = options.Frames != 0 ? 1.0 / 60 : std::min(elapsed, 0.1);
            host.Field->Step(static_cast<float>(step), static_cast<float>(host.Width),
                             static_cast<float>(host.Height));
            host.Seconds += step;
        }
        DrawScene(host, held);

        const bool lastFrame = options.Frames != 0 && frame + 1 == options.Frames;
        std::string shot;
        if (lastFrame && !held && !options.Screenshot.empty()) {
            shot = options.Screenshot;
            std::error_code ignored;
            std::filesystem::remove(shot, ignored);
            engine.RequestScreenshot(shot, options.ScreenshotFormat);
        } else if (screenshot) {
            shot = NextScreenshotName();
            engine.RequestScreenshot(shot, D3DXIFF_PNG);
        }
        engine.Flip();
        if (!shot.empty()) {
            std::error_code error;
            if (!std::filesystem::exists(shot, error)) {
                std::fprintf(stderr, "demo: the screenshot %s could not be written\n",
                             shot.c_str());
                return 1;
            }
            std::printf("Wrote %s\n", shot.c_str());
            std::fflush(stdout);
        }
        if (held) {
            // Nothing moves: no need to draw faster than a screen would show it.
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            continue;
        }
        frame++;
        if (lastFrame) {
            unattendedSeconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::printf(
                "%ld frames in %.2f s: %.1f frames per second (%d sprites, %d x %d, "
                "batching %s)\n",
                frame, unattendedSeconds, unattendedSeconds > 0 ? frame / unattendedSeconds : 0.0,
                host.Field->Count(), host.Width, host.Height, host.Batching ? "on" : "off");
            std::fflush(stdout);
            if (!options.Hold) break;
            held = true;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Host host;
    if (!ParseDemoOptions(argc, argv, host.Options)) {
        std::fputs(kDemoUsage, stderr);
        return 2;
    }
    const DemoOptions& options = host.Options;
    host.Batching = options.Batching;

    Platform::WindowSettings settings;
    settings.Title = "Engine demo";
    settings.ClientWidth = options.Width;
    settings.ClientHeight = options.Height;
    settings.FullScreen = options.FullScreen;
    settings.Headless = options.Headless;
    std::string error;
    host.Window = Platform::Window::Create(settings, error);
    if (host.Window == nullptr) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        if (!options.Headless) std::fprintf(stderr, "demo: --headless draws without a screen\n");
        return 2;
    }
    GD3D9& engine = GetD3DEngine();
    GetTextureManager().AddTextureFolder(options.Textures);
    if (!options.Font.empty()) GetTextureManager().AddTextureFolder(options.Font);
    if (!engine.Init(host.Window->Handle(), options.Width, options.Height, true) ||
        !PrepareDevice(host)) {
        std::fprintf(stderr, "demo: the graphics device could not be started\n");
        return 2;
    }
    engine.SetBatching(host.Batching);
    FillSinCosTables();
    if (GetTextureManager().GetTexture("ball.png") == nullptr) {
        std::fprintf(stderr, "demo: the sprite textures are not in %s (--textures DIR)\n",
                     options.Textures.c_str());
        engine.Release();
        return 2;
    }
    if (!host.Panel.HasFont()) {
        if (options.Font.empty())
            std::fprintf(stderr, "demo: this build baked no font (--font DIR): no text\n");
        else
            std::fprintf(stderr, "demo: no baked font in %s (--font DIR): no text\n",
                         options.Font.c_str());
    }
    host.Field = std::make_unique<SpriteField>();
    host.Field->Resize(options.Sprites, static_cast<float>(host.Width),
                       static_cast<float>(host.Height));
    const int status = Run(host);
    GetTextManager().Release();
    GlobalVB.Release();
    engine.Release();
    return status;
}

// The session-bus library that the desktop window's system library opens keeps a block for
// the life of the process by design; a leak-checking build is told so and still reports
// everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
