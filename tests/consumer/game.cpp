// A tiny game built against the engine as any game would be: a window, the device engine, a
// sprite whose texture comes from a pak, a line of text in a baked font, one frame and a
// screenshot. The test scripts build it three ways (find_package, add_subdirectory,
// pkg-config) and check the screenshot.
//
//   game ASSETS SHOT.png    ASSETS holds game.pak (with sprite.png) and the font "dejavu"
#include <cstdio>
#include <memory>
#include <string>

#include "PakEngineVersion.h"
#include "diagnostics/GDebugLog.h"
#include "platform/Window.h"
#include "render/CTexturedSprite.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "render/GVertexBuffer.h"
#include "text/TextEngine.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: game ASSETS SHOT.png (engine %s)\n", PAKENGINE_VERSION_STRING);
        return 2;
    }
    const std::string assets = argv[1];
    GetDebugLog().Init(".");  // debug/debug.txt says what went wrong, if anything does

    // Headless here, so that it runs anywhere; a real game shows its window.
    Platform::WindowSettings settings;
    settings.Title = "game";
    settings.ClientWidth = 320;
    settings.ClientHeight = 200;
    settings.Headless = true;
    std::string error;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    GD3D9& engine = GetD3DEngine();
    if (window == nullptr || !engine.Init(window->Handle(), 320, 200, true)) return 1;

    // The order matters: device, screen size and tables, GlobalVB, then text and its fonts.
    ScreenWidth = 320;
    ScreenHeight = 200;
    FillSinCosTables();
    GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
    GetTextureManager().OpenTexturePak(assets + "/game.pak");
    TextManager& text = GetTextManager();
    text.Init();
    LibFont* font = text.LoadFont(assets, "dejavu");
    if (font == nullptr) return 1;
    text.SetFont(font->TextureName);
    text.SetSize(32.0f);

    CTexturedSprite sprite(96, 40, 160, 104);
    sprite.SetTexture("sprite.png");
    TexturedSpriteList sprites;

    Platform::WindowEvents events;
    window->Pump(events);
    engine.BeginScene();
    engine.ClearScreen(0xFF202040);
    sprites.Add(&sprite);
    sprites.Render(true);
    text.AddText("Hello, game", 16.0f, 140.0f, 0xFFFFFFFF, 0.0f, 0);
    text.Render(-1);
    engine.EndScene();
    engine.RequestScreenshot(argv[2], D3DXIFF_PNG);
    engine.Flip();

    text.Release();
    GlobalVB.Release();
    engine.Release();
    return 0;
}
