// A minimal host of the renderer: one frame of rectangles, lines, a circle and a textured
// quad whose texture comes through the texture manager, saved as a screenshot.
//
//     render_demo [TEXTURES [SCREENSHOT]]      render_demo --help
//
// TEXTURES defaults to examples/render_demo/textures (run from the repository root),
// SCREENSHOT to render_demo.png. Exit status 0 when the screenshot was written.
#include <cstdio>
#include <string>

#include "ExampleCommandLine.h"
#include "ExampleHost.h"
#include "platform/D3D9.h"
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
    std::string folder = "examples/render_demo/textures";
    Example::Screenshot shot = Example::DefaultScreenshot("render_demo.png");
    Example::CommandLine line("render_demo",
                              "Draws one frame of rectangles, lines, a circle and a textured "
                              "quad, and saves it.");
    line.Positional("TEXTURES", folder,
                    "the folder holding crate.png, examples/render_demo/textures by default");
    line.PositionalScreenshot("SCREENSHOT", shot, "the frame's file, render_demo.png by default");
    int status = 0;
    if (!line.Parse(argc, argv, status)) return status;

    Example::Host host;
    std::string error;
    if (!host.Start({"render_demo", kWidth, kHeight}, error)) {
        fprintf(stderr, "render_demo: %s\n", error.c_str());
        return 1;
    }
    GetTextureManager().AddTextureFolder(folder);
    CTextureRef crate;
    crate.SetByName("crate.png");
    if (crate.GetTexture() == nullptr) {
        fprintf(stderr, "render_demo: crate.png not found below %s\n", folder.c_str());
        return 1;
    }

    DrawFrame(GetD3DEngine(), crate);
    if (!host.FlipToScreenshot(shot, error)) {
        fprintf(stderr, "render_demo: %s\n", error.c_str());
        return 1;
    }
    printf("Wrote %s (%d x %d)\n", shot.Path.c_str(), kWidth, kHeight);
    return 0;
}
