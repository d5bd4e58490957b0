// A host that draws a field of a few thousand turned, tinted sprites from six textures in
// one sorted TexturedSpriteList, and a panel of sprites clipped to its frame. It prints the
// draw calls the frame took and writes the frame as a PNG screenshot.
//
//     sprite_field [SCREENSHOT]      sprite_field --help
//
// SCREENSHOT defaults to sprite_field.png. Exit status 0 when the screenshot was written and
// the field took the fewest draw calls its textures allow.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ExampleCommandLine.h"
#include "ExampleHost.h"
#include "platform/D3D9.h"
#include "render/CTexturedSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 320;
constexpr int kSprites = 2000;
constexpr int kTextures = 6;
constexpr int kSide = 32;
const RECT kPanel = {280, 184, 464, 304};

uint32_t NextRandom() {
    static uint32_t seed = 2024;
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}

// Coverage of a 32 x 32 shape at texel (x, y), from 0 to 1: disc, ring, square, diamond,
// cross and star. White texels with soft edges, so the sprite's colour tints them.
float Shape(int kind, int x, int y) {
    const float dx = x + 0.5f - kSide / 2.0f, dy = y + 0.5f - kSide / 2.0f;
    const float r = std::sqrt(dx * dx + dy * dy);
    auto edge = [](float distanceInside) {
        return distanceInside <= 0 ? 0.0f : distanceInside >= 1 ? 1.0f : distanceInside;
    };
    switch (kind) {
        case 0:
            return edge(15 - r);
        case 1:
            return edge(std::min(15 - r, r - 9));
        case 2:
            return edge(15 - std::max(std::fabs(dx), std::fabs(dy)));
        case 3:
            return edge(15 - std::fabs(dx) - std::fabs(dy));
        case 4:
            return edge(std::max(5 - std::fabs(dx), 5 - std::fabs(dy)));
        default: {
            const float a = std::atan2(dy, dx);
            return edge(7 + 8 * std::fabs(std::cos(2.5f * a)) - r);
        }
    }
}

IDirect3DTexture9* MakeShapeTexture(IDirect3DDevice9* device, int kind) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                     nullptr)))
        return nullptr;
    D3DLOCKED_RECT lr;
    if (FAILED(texture->LockRect(0, &lr, nullptr, 0))) {
        texture->Release();
        return nullptr;
    }
    for (int y = 0; y < kSide; y++) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
        for (int x = 0; x < kSide; x++) {
            const uint32_t alpha = static_cast<uint32_t>(Shape(kind, x, y) * 255.0f);
            // A little shading from top-left to bottom-right.
            const uint32_t shade = 255 - static_cast<uint32_t>((x + y) * 1.5f);
            row[x] = alpha << 24 | shade << 16 | shade << 8 | shade;
        }
    }
    texture->UnlockRect(0);
    return texture;
}

}  // namespace

int main(int argc, char** argv) {
    Example::Screenshot shot = Example::DefaultScreenshot("sprite_field.png");
    Example::CommandLine line("sprite_field",
                              "Draws a field of turned, tinted sprites in one sorted batch and a "
                              "panel of\nclipped sprites, prints the draw calls and saves the "
                              "frame.");
    line.PositionalScreenshot("SCREENSHOT", shot, "the frame's file, sprite_field.png by default");
    int status = 0;
    if (!line.Parse(argc, argv, status)) return status;

    // The host sets the screen size, fills the tables of the fast positioning and makes
    // GlobalVB, which the sorted list draws through.
    Example::Host host;
    std::string error;
    if (!host.Start({"sprite_field", kWidth, kHeight}, error)) {
        fprintf(stderr, "sprite_field: %s\n", error.c_str());
        return 1;
    }
    GD3D9& engine = GetD3DEngine();

    std::vector<IDirect3DTexture9*> textures;
    std::vector<CTextureRef> refs(kTextures);
    for (int t = 0; t < kTextures; t++) {
        textures.push_back(MakeShapeTexture(engine.PDevice, t));
        refs[t].SetFromTexture(textures.back());
    }
    std::vector<int> perTexture(kTextures, 0);

    // The field, in no particular texture order: the list sorts it.
    std::vector<std::unique_ptr<CTexturedSprite>> field;
    TexturedSpriteList list;
    for (int i = 0; i < kSprites; i++) {
        auto sprite = std::make_unique<CTexturedSprite>();
        const int t = static_cast<int>(NextRandom() % kTextures);
        perTexture[t]++;
        sprite->Texture = refs[t];
        sprite->Width = sprite->Height = static_cast<float>(5 + NextRandom() % 13);
        sprite->Angle = static_cast<float>(NextRandom() % 360);
        sprite->SetColour(
            static_cast<int>(96 + NextRandom() % 160), static_cast<int>(96 + NextRandom() % 160),
            static_cast<int>(96 + NextRandom() % 160), static_cast<int>(160 + NextRandom() % 96));
        sprite->SetPositionFast(static_cast<float>(NextRandom() % kWidth),
                                static_cast<float>(NextRandom() % kHeight));
        list.Add(sprite.get());
        field.push_back(std::move(sprite));
    }

    // The panel: large upright sprites cut to its frame, the images staying in place.
    std::vector<std::unique_ptr<CTexturedSprite>> panel;
    // The last column lies wholly outside the frame and draws nothing.
    for (int i = 0; i < 15; i++) {
        auto sprite = std::make_unique<CTexturedSprite>();
        sprite->Texture = refs[i % kTextures];
        sprite->Width = sprite->Height = 48;
        sprite->SetColour(0xFFFFFFFFu - (i * 0x000E130Bu));
        sprite->SetPosition(kPanel.left - 12.0f + (i % 5) * 56.0f,
                            kPanel.top - 8.0f + (i / 5) * 56.0f);
        panel.push_back(std::move(sprite));
    }

    engine.BeginScene();
    engine.ClearScreen(0xFF101820);
    const uint64_t before = engine.DrawCalls;
    list.SortByTexture();
    list.Render(true);
    const uint64_t batched = engine.DrawCalls - before;
    engine.FillRect(kPanel, 0xE0202A38);
    for (auto& sprite : panel)
        sprite->DrawTexturedClipped(kPanel.left, kPanel.top, kPanel.right, kPanel.bottom);
    engine.DrawRect(kPanel, 0xFFF4D03F);
    const uint64_t single = engine.DrawCalls - before - batched;
    engine.EndScene();
    const bool written = host.FlipToScreenshot(shot, error);

    // The fewest draws the buffer allows: each texture's quads in batches of its capacity.
    uint64_t fewest = 0;
    for (int n : perTexture) fewest += (4 * n + GlobalVB.VertsUsed - 1) / GlobalVB.VertsUsed;
    printf(
        "%d sprites in %d textures: %llu batched draw calls (fewest possible %llu, %d vertices "
        "a batch)\n",
        kSprites, kTextures, static_cast<unsigned long long>(batched),
        static_cast<unsigned long long>(fewest), GlobalVB.VertsUsed);
    printf("panel: %zu clipped sprites, frame and fill: %llu single draw calls\n", panel.size(),
           static_cast<unsigned long long>(single));

    for (IDirect3DTexture9* texture : textures)
        if (texture != nullptr) texture->Release();
    if (!written) {
        fprintf(stderr, "sprite_field: %s\n", error.c_str());
        return 1;
    }
    printf("Wrote %s (%d x %d)\n", shot.Path.c_str(), kWidth, kHeight);
    return batched == fewest ? 0 : 1;
}
