// The engine's demo: several thousand sprites bouncing with rotation, tint and additive
// blending, and an overlay in the baked font with the frame times, in a desktop window.
//
//   demo [--width W] [--height H] [--sprites N] [--fullscreen] [--immediate] [--headless]
//        [--no-batching] [--textures DIR] [--font DIR]
//        [--frames N [--screenshot FILE] [--hold]]        demo --help
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
#include "ExampleHost.h"
#include "Overlay.h"
#include "SpriteField.h"
#include "platform/D3D9.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"

namespace {

constexpr int kSpriteStep = 1000;
constexpr uint32_t kBackground = 0xFF0C1018;

struct Demo {
    DemoOptions Options;
    Example::Host Host;
    std::unique_ptr<SpriteField> Field;  // made once the textures can be found
    Overlay Panel;
    bool Batching = true;
    // Scene time: it advances only while the scene runs.
    double Seconds = 0;
};

// The first of demo-1.png, demo-2.png, ... that does not exist yet.
std::string NextScreenshotName() {
    for (int i = 1;; i++) {
        std::string name = "demo-" + std::to_string(i) + ".png";
        std::error_code error;
        if (!std::filesystem::exists(name, error) && !error) return name;
        if (i == 100000) return name;
    }
}

void DrawScene(Demo& demo, bool held) {
    GD3D9& engine = GetD3DEngine();
    engine.BeginScene();
    engine.ClearScreen(kBackground);
    demo.Field->Draw(demo.Batching);
    OverlayState state;
    state.Wireframe = engine.Wireframe;
    state.Batching = demo.Batching;
    state.Sprites = demo.Field->Count();
    state.Held = held;
    state.Seconds = static_cast<float>(demo.Seconds);
    demo.Panel.Draw(state);
    engine.EndScene();
}

// Handles the keys pressed, in order, up to a screenshot: what follows it waits for the next
// frame, so the picture shows the scene as it was when F12 was pressed. False on Esc.
bool HandleKeys(Demo& demo, std::deque<int>& keys, bool& screenshot) {
    GD3D9& engine = GetD3DEngine();
    while (!keys.empty() && !screenshot) {
        const int key = keys.front();
        keys.pop_front();
        int count = demo.Field->Count();
        switch (key) {
            case Platform::kKeyEscape:
                return false;
            case 'W':
                engine.ToggleWireframe();
                break;
            case 'B':
                demo.Batching = !demo.Batching;
                engine.SetBatching(demo.Batching);
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
                demo.Host.Window().SetFullScreen(!demo.Host.Window().IsFullScreen());
                break;
            case Platform::kKeyF12:
                screenshot = true;
                break;
            default:
                break;
        }
        if (count != demo.Field->Count())
            demo.Field->Resize(count, static_cast<float>(demo.Host.Width()),
                               static_cast<float>(demo.Host.Height()));
    }
    return true;
}

int Run(Demo& demo) {
    const DemoOptions& options = demo.Options;
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
        demo.Host.Window().Pump(events);
        if (events.CloseRequested) break;
        keys.insert(keys.end(), events.KeysPressed.begin(), events.KeysPressed.end());
        bool screenshot = false;
        if (!HandleKeys(demo, keys, screenshot)) break;

        // A new size, or a device the system took away, needs the device started again.
        const HRESULT level = engine.PDevice->TestCooperativeLevel();
        if (level == D3DERR_DEVICELOST) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        if (events.Resized || level == D3DERR_DEVICENOTRESET) restart = true;
        if (restart) {
            std::string error;
            if (!demo.Host.Restart(error)) {
                std::fprintf(stderr, "demo: %s\n", error.c_str());
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
            demo.Field->Step(static_cast<float>(step), static_cast<float>(demo.Host.Width()),
                             static_cast<float>(demo.Host.Height()));
            demo.Seconds += step;
        }
        DrawScene(demo, held);

        const bool lastFrame = options.Frames != 0 && frame + 1 == options.Frames;
        // The unattended run's last frame, or the one F12 asked for, is written as it is
        // presented.
        Example::Screenshot shot;
        if (lastFrame && !held && !options.Screenshot.Path.empty())
            shot = options.Screenshot;
        else if (screenshot)
            shot = Example::DefaultScreenshot(NextScreenshotName());
        if (shot.Path.empty()) {
            engine.Flip();
        } else {
            std::string error;
            if (!demo.Host.FlipToScreenshot(shot, error)) {
                std::fprintf(stderr, "demo: %s\n", error.c_str());
                return 1;
            }
            std::printf("Wrote %s\n", shot.Path.c_str());
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
                demo.Field->Count(), demo.Host.Width(), demo.Host.Height(),
                demo.Batching ? "on" : "off");
            std::fflush(stdout);
            if (!options.Hold) break;
            held = true;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Demo demo;
    int status = 0;
    if (!ParseDemoOptions(argc, argv, demo.Options, status)) return status;
    const DemoOptions& options = demo.Options;
    demo.Batching = options.Batching;

    Example::HostSettings settings;
    settings.Title = "Engine demo";
    settings.Width = options.Width;
    settings.Height = options.Height;
    settings.FullScreen = options.FullScreen;
    settings.Headless = options.Headless;
    settings.Immediate = options.Immediate;
    std::string error;
    if (!demo.Host.Start(settings, error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        if (!options.Headless) std::fprintf(stderr, "demo: --headless draws without a screen\n");
        return 2;
    }
    GD3D9& engine = GetD3DEngine();
    engine.SetBatching(demo.Batching);
    GetTextureManager().AddTextureFolder(options.Textures);
    if (GetTextureManager().GetTexture("ball.png") == nullptr) {
        std::fprintf(stderr, "demo: the sprite textures are not in %s (--textures DIR)\n",
                     options.Textures.c_str());
        return 2;
    }
    // Without its font the demo runs all the same, without the text.
    if (options.Font.empty()) {
        std::fprintf(stderr, "demo: this build baked no font (--font DIR): no text\n");
    } else if (demo.Host.LoadFont(options.Font, "dejavu", error) == nullptr) {
        std::fprintf(stderr, "demo: no baked font: %s (--font DIR): no text\n", error.c_str());
    } else {
        demo.Panel.SetHasFont(true);
    }
    demo.Field = std::make_unique<SpriteField>();
    demo.Field->Resize(options.Sprites, static_cast<float>(demo.Host.Width()),
                       static_cast<float>(demo.Host.Height()));
    return Run(demo);
}

// The session-bus library that the desktop window's system library opens keeps a block for
// the life of the process by design; a leak-checking build is told so and still reports
// everything else.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
