// A minimal host of the renderer: starts the engine on a headless window, draws one frame
// of rectangles, lines, a circle and a textured quad whose texture comes through the texture
// manager, and writes that frame as a PNG screenshot.
//
//     render_demo [TEXTURE_FOLDER] [SCREENSHOT]
//
// TEXTURE_FOLDER defaults to examples/render_demo/textures (run from the repository root),
// SCREENSHOT to render_demo.png. Exit status 0 when the screenshot was written.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/D3D9.h"
#include "platform/Window.h"
#include "render/CLoadedTexture.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "render/ScreenVertex.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;

RECT Rect(int left, int top, int right, int bottom) {
    RECT r;
    SetRect(&r, left, top, right, bottom);
    return r;
}

void DrawFrame(GD3D9& engine, CTextureRef& crate) {
    engine.BeginScene();
    engine.ClearScreen(0xFF1C2833);

    engine.FillRect(Rect(16, 16, 112, 80), 0xFF2E86C1);
    engine.FillRect(Rect(64, 48, 144, 112), 0x80E74C3C);  // half transparent over the blue
    engine.DrawRect(Rect(16, 128, 112, 184), 0xFFF4D03F);
    engine.DrawThickRect(Rect(168, 24, 232, 88), 0xFF58D68D, 6.0f);
    engine.DrawLine(16.0f, 120.0f, 304.0f, 120.0f, 0xFFFFFFFF);
    engine.DrawLine(136.0f, 184.0f, 304.0f, 132.0f, 0xFFAF7AC5);
    engine.DrawCircle(272.0f, 56.0f, 32.0f, 48, 0xFFF5B041);

    // The crate texture, drawn at twice its size with the engine's vertex layout.
    crate.Set();
    const float l = 136.0f - 0.5f, t = 128.0f - 0.5f, r = l + 64.0f, b = t + 64.0f;
    const ScreenVertex quad[4] = {{l, t, 0, 1, 0xFFFFFFFF, 0, 0},
                                  {r, t, 0, 1, 0xFFFFFFFF, 1, 0},
                                  {l, b, 0, 1, 0xFFFFFFFF, 0, 1},
                                  {r, b, 0, 1, 0xFFFFFFFF, 1, 1}};
    engine.DrawUserPrimitives(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
    engine.EndScene();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "examples/render_demo/textures";
    const std::string shot = argc > 2 ? argv[2] : "render_demo.png";

    Platform::WindowSettings settings;
    settings.Title = "render_demo";
    settings.ClientWidth = kWidth;
    settings.ClientHeight = kHeight;
    settings.Headless = true;
    std::string error;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    if (window == nullptr) {
        fprintf(stderr, "render_demo: %s\n", error.c_str());
        return 1;
    }
    GD3D9& engine = GetD3DEngine();
    if (!engine.Init(window->Handle(), kWidth, kHeight, true)) {
        fprintf(stderr, "render_demo: the graphics device could not be started\n");
        return 1;
    }
    GetTextureManager().AddTextureFolder(folder);
    CTextureRef crate;
    crate.SetByName("crate.png");
    if (crate.GetTexture() == nullptr) {
        fprintf(stderr, "render_demo: crate.png not found below %s\n", folder.c_str());
        engine.Release();
        return 1;
    }

    std::error_code ignored;
    std::filesystem::remove(shot, ignored);
    DrawFrame(engine, crate);
    engine.RequestScreenshot(shot, D3DXIFF_PNG);
    engine.Flip();
    engine.Release();

    if (!std::filesystem::exists(shot)) {
        fprintf(stderr, "render_demo: the screenshot %s could not be written\n", shot.c_str());
        return 1;
    }
    printf("Wrote %s (%d x %d)\n", shot.c_str(), kWidth, kHeight);
    return 0;
}
