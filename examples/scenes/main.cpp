// Scenes that cover what the example hosts leave out, each drawn once on a headless window
// and saved as a PNG: additive blending, linear filtering when scaling up and down, the alpha
// test, 16-bit textures, text in a baked DDS font, clipping through CliViewport, and turned
// text. The device comparison draws them on the software device and on a system's Direct3D
// from the same inputs; every texture is made here, from code, so nothing else can differ.
//
//     scenes OUTDIR [FONTDIR]
//
// FONTDIR holds a font baked by fontbake as dejavu, at any cell size. Without it the sample
// font is taken, and where the build has none the text scenes are left out, with a message;
// a FONTDIR given that holds no font is an error. Exit status 0 when every scene was written.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ExampleCommandLine.h"
#include "ExampleHost.h"
#include "platform/D3D9.h"
#include "render/BaseSprite.h"
#include "render/CLoadedTexture.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"
#include "render/ScreenVertex.h"
#include "text/TextEngine.h"

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 192;
// The loaded font's texture name, for scenes that make it current again.
std::string fontName;

// A texture filled texel by texel from a function giving ARGB; 16-bit formats keep the top
// bits of each channel.
IDirect3DTexture9* MakeTexture(int w, int h, D3DFORMAT format,
                               const std::function<uint32_t(int x, int y)>& texel) {
    IDirect3DDevice9* device = GetD3DEngine().PDevice;
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr)))
        return nullptr;
    D3DLOCKED_RECT lr;
    if (FAILED(texture->LockRect(0, &lr, nullptr, 0))) {
        texture->Release();
        return nullptr;
    }
    for (int y = 0; y < h; y++) {
        uint8_t* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
        for (int x = 0; x < w; x++) {
            const uint32_t c = texel(x, y);
            const uint32_t a = c >> 24, r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            uint16_t packed = 0;
            switch (format) {
                case D3DFMT_A8R8G8B8:
                    reinterpret_cast<uint32_t*>(row)[x] = c;
                    continue;
                case D3DFMT_R5G6B5:
                    packed = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
                    break;
                case D3DFMT_A1R5G5B5:
                    packed = static_cast<uint16_t>((a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 |
                                                   b >> 3);
                    break;
                default:  // D3DFMT_A4R4G4B4
                    packed = static_cast<uint16_t>((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 |
                                                   b >> 4);
                    break;
            }
            reinterpret_cast<uint16_t*>(row)[x] = packed;
        }
    }
    texture->UnlockRect(0);
    return texture;
}

// The textures of the scenes, released with the object.
class Textures {
public:
    ~Textures() {
        for (IDirect3DTexture9* t : owned_) t->Release();
    }
    CTextureRef Make(int w, int h, D3DFORMAT format,
                     const std::function<uint32_t(int x, int y)>& texel) {
        CTextureRef ref;
        if (IDirect3DTexture9* t = MakeTexture(w, h, format, texel)) {
            owned_.push_back(t);
            ref.SetFromTexture(t);
        }
        return ref;
    }

private:
    std::vector<IDirect3DTexture9*> owned_;
};

// A textured quad over [l, r) x [t, b) in pixels, with the half-pixel shift that puts texel
// centres on pixel centres, tinted by colour.
void Quad(float l, float t, float r, float b, uint32_t colour, float u1 = 1.0f, float v1 = 1.0f) {
    l -= 0.5f, t -= 0.5f, r -= 0.5f, b -= 0.5f;
    const ScreenVertex quad[4] = {{l, t, 0, 1, colour, 0, 0},
                                  {r, t, 0, 1, colour, u1, 0},
                                  {l, b, 0, 1, colour, 0, v1},
                                  {r, b, 0, 1, colour, u1, v1}};
    GetD3DEngine().DrawUserPrimitives(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

uint32_t Disc(int x, int y, int side) {
    const float dx = x + 0.5f - side / 2.0f, dy = y + 0.5f - side / 2.0f;
    const float r = std::sqrt(dx * dx + dy * dy) / (side / 2.0f);
    const float a = r >= 1 ? 0.0f : 1.0f - r;
    return static_cast<uint32_t>(a * 255.0f) << 24 | 0xFFFFFF;
}

void Additive(Textures& textures) {
    GD3D9& engine = GetD3DEngine();
    CTextureRef glow =
        textures.Make(64, 64, D3DFMT_A8R8G8B8, [](int x, int y) { return Disc(x, y, 64); });
    engine.SetLinearFiltering();
    const uint32_t colours[] = {0xFFFF4040, 0xFF40FF40, 0xFF4040FF, 0xC0FFC040, 0x80FFFFFF};
    for (int mode : {0, 1}) {
        engine.SetBlendMode(mode);
        glow.Set();
        for (int i = 0; i < 5; i++) {
            const float x = 16.0f + mode * 120.0f + (i % 3) * 28.0f, y = 40.0f + (i / 3) * 40.0f;
            Quad(x, y, x + 64, y + 64, colours[i]);
        }
    }
    engine.SetBlendMode(0);
}

void Filtering(Textures& textures) {
    GD3D9& engine = GetD3DEngine();
    // Up: 8 x 8 texels over 96 x 96 pixels; down: 128 x 128 fine stripes over 48 x 48.
    CTextureRef coarse = textures.Make(8, 8, D3DFMT_A8R8G8B8, [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 32) << 16 | uint32_t(y * 32) << 8 |
               ((x + y) % 2 ? 0xFFu : 0x20u);
    });
    CTextureRef fine = textures.Make(128, 128, D3DFMT_A8R8G8B8, [](int x, int y) {
        return (x / 3 + y / 5) % 2 ? 0xFFF0F0F0u : 0xFF203060u;
    });
    engine.SetLinearFiltering();
    coarse.Set();
    Quad(8, 8, 104, 104, 0xFFFFFFFF);
    fine.Set();
    Quad(120, 8, 168, 56, 0xFFFFFFFF);
    Quad(176, 8, 248, 80, 0xFFFFFFFF);
    engine.SetPointFiltering();
    coarse.Set();
    Quad(8, 112, 72, 176, 0xFFFFFFFF);
    engine.SetLinearFiltering();
}

void AlphaTest(Textures& textures) {
    GD3D9& engine = GetD3DEngine();
    IDirect3DDevice9* device = engine.PDevice;
    // Alpha rises across the texture; the test keeps texels above the reference, opaque.
    CTextureRef ramp = textures.Make(64, 64, D3DFMT_A8R8G8B8, [](int x, int y) {
        return uint32_t(x * 4) << 24 | 0x00F0C040u | uint32_t(y * 2);
    });
    engine.SetPointFiltering();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    for (int i = 0; i < 3; i++) {
        device->SetRenderState(D3DRS_ALPHAREF, 0x40 + 0x40 * i);
        ramp.Set();
        Quad(16.0f + i * 80, 32, 80.0f + i * 80, 96, 0xFFFFFFFF);
        // A tint with half alpha halves the texels' alpha before the test.
        Quad(16.0f + i * 80, 112, 80.0f + i * 80, 176, 0x80FFFFFF);
    }
    device->SetRenderState(D3DRS_ALPHAREF, 0);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
}

void Textures16(Textures& textures) {
    GD3D9& engine = GetD3DEngine();
    const D3DFORMAT formats[] = {D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4};
    engine.SetPointFiltering();
    for (int f = 0; f < 3; f++) {
        CTextureRef t = textures.Make(32, 32, formats[f], [](int x, int y) {
            const uint32_t a = y < 16 ? 0xFF : uint32_t(x * 8);
            return a << 24 | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | uint32_t(255 - x * 8);
        });
        t.Set();
        const float x = 8.0f + f * 84;
        Quad(x, 8, x + 32, 40, 0xFFFFFFFF);     // unscaled
        Quad(x, 48, x + 64, 112, 0xFFFFFFFF);   // twice the size
        Quad(x, 120, x + 64, 184, 0xFF80C0FF);  // tinted
    }
    engine.SetLinearFiltering();
}

void DdsFont(Textures&) {
    TextManager& text = GetTextManager();
    text.SetSize(32.0f);
    text.AddText("Font 32 AVfo", 8.0f, 8.0f, 0xFFFFFFFF, 0.0f, 0);
    text.SetSize(16.0f);
    text.AddText("Baked DDS glyphs at 16 px:", 8.0f, 56.0f, 0xFFF4D03F, 0.0f, 0);
    text.AddText("the quick brown fox jumps", 8.0f, 76.0f, 0xFF5DADE2, 0.0f, 0);
    text.SetSize(12.0f);
    text.AddText("Scaled down to 12 px, tinted", 8.0f, 100.0f, 0xFF58D68D, 0.0f, 0);
    text.SetSize(48.0f);
    text.AddText("Big", 8.0f, 120.0f, 0xC0EC7063, 0.0f, 0);
    text.Render(-1);
}

void ViewportClip(Textures& textures) {
    GD3D9& engine = GetD3DEngine();
    CTextureRef glow =
        textures.Make(64, 64, D3DFMT_A8R8G8B8, [](int x, int y) { return Disc(x, y, 64); });
    const RECT panel = {40, 40, 200, 150};
    engine.FillRect(panel, 0xFF203040);
    engine.CliViewport(panel.left, panel.top, panel.right, panel.bottom);
    // Quads and text laid out as if the panel went on; the viewport cuts them at its edges.
    glow.Set();
    Quad(10, 10, 110, 110, 0xFFFF8040);
    Quad(150, 100, 250, 200, 0xFF40C0FF);
    engine.FillRect({100, 20, 130, 180}, 0x8040FF40);
    TextManager& text = GetTextManager();
    if (text.SetFont(fontName)) {
        text.SetSize(16.0f);
        text.AddText("Text cut at the panel's frame", 20.0f, 90.0f, 0xFFFFFFFF, 0.0f, 0);
        text.Render(-1);
    }
    engine.RestoreViewport();
    engine.DrawRect({panel.left - 1, panel.top - 1, panel.right + 1, panel.bottom + 1}, 0xFFF4D03F);
}

void RotatedText(Textures&) {
    TextManager& text = GetTextManager();
    text.SetSize(16.0f);
    const float angles[] = {0.0f, 30.0f, 90.0f, 135.0f, 200.0f, 270.0f, 315.0f};
    for (int i = 0; i < 7; i++)
        text.DrawRotatedText("Turned text", 128.0f, 96.0f, angles[i],
                             0xFF000000u | (0x40FF40u << (i % 3 * 4)));
}

struct Scene {
    const char* Name;
    bool NeedsFont;
    void (*Draw)(Textures&);
};

const Scene kScenes[] = {{"additive", false, Additive},      {"filtering", false, Filtering},
                         {"alpha_test", false, AlphaTest},   {"textures16", false, Textures16},
                         {"dds_font", true, DdsFont},        {"viewport_clip", true, ViewportClip},
                         {"rotated_text", true, RotatedText}};

}  // namespace

int main(int argc, char** argv) {
    std::string out;
    std::string fontFolder;
    Example::CommandLine line("scenes",
                              "Draws the device comparison's coverage scenes and saves each "
                              "as OUTDIR/NAME.png.");
    line.Positional("OUTDIR", out, "the folder the scenes are saved in");
    line.Positional("FONTDIR", fontFolder,
                    "the folder of the font fontbake baked as dejavu, the build's sample font by "
                    "default");
    int status = 0;
    if (!line.Parse(argc, argv, status)) return status;
    if (out.empty()) return line.Refuse("OUTDIR is missing");
    std::error_code ec;
    std::filesystem::create_directories(out, ec);

    Example::Host host;
    std::string error;
    if (!host.Start({"scenes", kWidth, kHeight}, error)) {
        fprintf(stderr, "scenes: %s\n", error.c_str());
        return 1;
    }
    const bool fontAsked = !fontFolder.empty();
    if (!fontAsked) fontFolder = SAMPLE_FONT_DIR;
    bool haveFont = false;
    if (!fontFolder.empty()) {
        LibFont* font = host.LoadFont(fontFolder, "dejavu", error);
        if (font != nullptr) fontName = font->TextureName;
        haveFont = font != nullptr;
    } else {
        error = "the build has no sample font";
    }
    if (!haveFont && fontAsked) {
        fprintf(stderr, "scenes: %s\n", error.c_str());
        return 1;
    }
    if (!haveFont) fprintf(stderr, "scenes: %s: the text scenes are left out\n", error.c_str());

    GD3D9& engine = GetD3DEngine();
    for (const Scene& scene : kScenes) {
        if (scene.NeedsFont && !haveFont) continue;
        Textures textures;
        engine.BeginScene();
        engine.ClearScreen(0xFF1C2833);
        scene.Draw(textures);
        GlobalVB.Draw();
        engine.EndScene();
        const Example::Screenshot shot =
            Example::DefaultScreenshot(out + "/" + scene.Name + ".png");
        if (host.FlipToScreenshot(shot, error)) {
            printf("Wrote %s\n", shot.Path.c_str());
        } else {
            fprintf(stderr, "scenes: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}
