#include "text/TextEngine.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "diagnostics/GDebugLog.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexCache.h"
#include "text/FontDescriptor.h"

TextManager& GetTextManager() {
    static TextManager manager;
    return manager;
}

TextManager::TextManager() {
    std::memset(Verts, 0, sizeof Verts);
    FillGlyphTable();
}

TextManager::~TextManager() {
    // No log line: at exit the debug log may already be gone.
    for (LibFont* font : Fonts) delete font;
    Fonts.clear();
    CurrentFont = nullptr;
}

void TextManager::Init() {
    if (Initialised) {
        GetDebugLog().Log("Text manager already initialised");
        return;
    }
    Fonts.clear();
    Size = 12.0f;
    CurrentFont = nullptr;
    for (ScreenVertex& v : Verts) v = {0.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f};
    VB.Init(MAXVERTS, true);
    PendingCount = 0;
    PrevGlyph = -1;
    Initialised = true;
}

void TextManager::Release() {
    for (LibFont* font : Fonts) delete font;
    Fonts.clear();
    // The fonts are gone: a current font kept here would dangle.
    CurrentFont = nullptr;
    PendingCount = 0;
    VB.Release();
    Initialised = false;
}

void TextManager::DiscardPending() {
    PendingCount = 0;
    VB.ClearPending();
}

namespace {

// Init forgets the font list, so a font added before it would be lost without a word.
bool ReadyForFonts(bool initialised, const std::string& name) {
    if (initialised) return true;
    char buffer[320];
    snprintf(buffer, sizeof buffer,
             "Font %.160s not added: the text manager is not initialised (TextManager::Init "
             "first, and again after a restore)",
             name.c_str());
    GetDebugLog().Log(buffer);
    return false;
}

}  // namespace

LibFont* TextManager::LoadFont(const std::string& folder, const std::string& name,
                               std::string* reason) {
    if (!ReadyForFonts(Initialised, name)) {
        if (reason != nullptr) *reason = "the text manager is not initialised";
        return nullptr;
    }
    FontDescriptor descriptor;
    std::string error;
    auto font = std::make_unique<LibFont>();
    if (!FontDescriptor::IsPlainName(name)) {
        error = "a font name is a file name without folders";
    } else if (descriptor.Read(FontDescriptor::PathFor(folder, name), error)) {
        font->InitBaked(descriptor, folder, error);
    }
    if (!error.empty()) {
        char buffer[512];
        snprintf(buffer, sizeof buffer, "Font %.100s in %.100s refused: %.280s", name.c_str(),
                 folder.c_str(), error.c_str());
        GetDebugLog().Log(buffer);
        if (reason != nullptr) *reason = "font " + name + " in " + folder + ": " + error;
        return nullptr;
    }
    Fonts.push_back(font.get());
    return font.release();
}

LibFont* TextManager::AddFont(const std::string& widthfile, const std::string& texturename,
                              int32_t nativesize, int32_t cellsize, int32_t rows, int32_t columns) {
    if (!ReadyForFonts(Initialised, texturename)) return nullptr;
    LibFont* font = new LibFont;
    if (!font->SetGrid(texturename, nativesize, cellsize, rows, columns)) {
        delete font;
        return nullptr;
    }
    font->Init(widthfile, texturename, nativesize, cellsize, rows, columns);
    Fonts.push_back(font);
    return font;
}

bool TextManager::SetFont(const std::string& name) {
    for (LibFont* font : Fonts) {
        if (font->TextureName != name) continue;
        if (font != CurrentFont && PendingCount > 0) Render(-1);
        CurrentFont = font;
        return true;
    }
    char buffer[128];
    snprintf(buffer, sizeof buffer, "missing font: %s", name.c_str());
    GetDebugLog().Log(buffer);
    return false;
}

void TextManager::SetFontAndSize(const std::string& name, float size) {
    if (size == Size && CurrentFont != nullptr && CurrentFont->TextureName == name) return;
    SetFont(name);
    SetSize(size);
}

bool TextManager::HaveFont() {
    if (CurrentFont != nullptr) return true;
    GetDebugLog().Log("No current font");
    return false;
}

bool TextManager::Ready(const char* notInitialised) {
    if (!Initialised) {
        GetDebugLog().Log(notInitialised);
        return false;
    }
    return HaveFont();
}

float TextManager::Advance(int32_t g) const {
    const float s = Size / static_cast<float>(CurrentFont->NativeSize);
    const float w =
        FixedWidth ? Size / 12.0f * 9.0f : static_cast<float>(CurrentFont->Widths[g]) * s;
    return w + static_cast<float>(CurrentFont->CharSpacing) * s;
}

float TextManager::GetCharWidth(char c) {
    if (!HaveFont()) return 0.0f;
    if (c == ' ' || c == '\0') return Size * 0.25f;
    return Advance(GetGlyphIndex(c));
}

int32_t TextManager::GetStringLength(const std::string& text) {
    if (!Ready("Text Not Initialised")) return 0;
    float total = 0.0f;
    for (char c : text) total += GetCharWidth(c);
    return TruncateToInt(total);
}

void TextManager::AddText(const std::string& text, float x, float y, uint32_t colour, float width,
                          int32_t align) {
    if (!Ready("TextNotInitialised")) return;
    if (PendingCount + 4 * static_cast<int64_t>(text.size()) > MAXVERTS) Render(-1);

    float penx;
    switch (align) {
        case 0:
            penx = static_cast<float>(TruncateToInt(x));
            break;
        case 1:
            penx = static_cast<float>(TruncateToInt(x + width - GetStringLength(text)));
            break;
        case 2:
            penx = static_cast<float>(
                TruncateToInt(width / 2.0f + x - static_cast<float>(GetStringLength(text)) / 2.0f));
            break;
        default:
            penx = 0.0f;
            break;
    }
    const float peny = static_cast<float>(TruncateToInt(y));
    PrevGlyph = -1;

    const LibFont& font = *CurrentFont;
    const float s = Size / static_cast<float>(font.NativeSize);
    const float q = static_cast<float>(font.CellSize) * s;
    const float space = static_cast<float>(TruncateToInt(Size * 0.25f));
    for (char c : text) {
        if (PendingCount >= MAXPENDING) {
            GetDebugLog().Log("ERROR - Text exceeds max characters");
            return;
        }
        // The typographic apostrophe has no cell of its own.
        if (static_cast<unsigned char>(c) == 0x92) c = '\'';
        if (c == '\t') {
            penx = static_cast<float>((TruncateToInt(penx / 80.0f) + 1) * 80);
            PrevGlyph = -1;
            continue;
        }
        if (c == ' ') {
            penx += space;
            LastX = penx;
            PrevGlyph = -1;
            continue;
        }
        const int32_t g = GetGlyphIndex(c);
        if (PrevGlyph != -1) penx += font.GetKerning(PrevGlyph, g) * s;
        const float left = penx - 0.5f;
        const float top = peny - 0.5f;
        const float xs[4] = {left, left + q, left, left + q};
        const float ys[4] = {top, top, top + q, top + q};
        AddGlyphQuad(g, xs, ys, colour);
        penx += Advance(g);
        LastX = penx;
        LastY = peny;
        PrevGlyph = g;
    }
}

void TextManager::AddGlyphQuad(int32_t g, const float* xs, const float* ys, uint32_t colour) {
    ScreenVertex* v = Verts + PendingCount;
    for (int k = 0; k < 4; k++)
        v[k] = {xs[k], ys[k], 0.0f, 1.0f, colour, CurrentFont->TexU[g][k], CurrentFont->TexV[g][k]};
    PendingCount += 4;
}

void TextManager::SetTextFilter(bool start) {
    IDirect3DDevice9* device = GetD3DEngine().PDevice;
    if (device == nullptr || Size != static_cast<float>(CurrentFont->NativeSize)) return;
    const DWORD filter = start ? D3DTEXF_POINT : D3DTEXF_LINEAR;
    device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
}

bool TextManager::Render(int32_t maxquads) {
    if (!Initialised) {
        GetDebugLog().Log("TextNotInitialised");
        return true;
    }
    if (PendingCount == 0) return true;
    if (!HaveFont()) {
        PendingCount = 0;
        return false;
    }
    SetTextFilter(true);
    CurrentFont->Texture.Set();
    bool all = true;
    if (maxquads != -1 && PendingCount / 4 > maxquads) {
        PendingCount = maxquads > 0 ? maxquads * 4 : 0;
        all = false;
    }
    VB.AddVerts(Verts, PendingCount);
    VB.Draw();
    PendingCount = 0;
    SetTextFilter(false);
    return all;
}

void TextManager::RenderToCache(GVertexCache* cache) {
    if (!Initialised) {
        GetDebugLog().Log("TextNotInitialised");
        return;
    }
    if (PendingCount == 0 || cache == nullptr || !HaveFont()) return;
    SetTextFilter(true);
    CurrentFont->Texture.Set();
    cache->AddVerts(Verts, PendingCount);
    PendingCount = 0;
    SetTextFilter(false);
}

void TextManager::DrawRotatedText(const std::string& text, float x, float y, float angle,
                                  uint32_t colour) {
    if (!Ready("TextNotInitialised")) return;
    Render(-1);
    CurrentFont->Texture.Set();

    const LibFont& font = *CurrentFont;
    const float s = Size / static_cast<float>(font.NativeSize);
    const float q = static_cast<float>(font.CellSize) * s;
    BaseSprite sprite;
    sprite.Width = q;
    sprite.Height = q;
    sprite.Angle = angle - 90.0f;
    if (sprite.Angle < 0.0f) sprite.Angle += 360.0f;
    const float a = angle * 0.0174533f;
    const float sine = std::sin(a);
    const float cosine = std::cos(a);
    const float space = static_cast<float>(TruncateToInt(Size * 0.25f));
    float d = 0.0f;
    PrevGlyph = -1;
    for (char c : text) {
        if (PendingCount >= MAXPENDING) {
            // What fits is still drawn below, rather than left for someone else's Render.
            GetDebugLog().Log("ERROR - Text exceeds max characters");
            break;
        }
        if (static_cast<unsigned char>(c) == 0x92) c = '\'';
        if (c == ' ') {
            d += space;
            PrevGlyph = -1;
            continue;
        }
        const int32_t g = GetGlyphIndex(c);
        if (PrevGlyph != -1) d += font.GetKerning(PrevGlyph, g) * s;
        sprite.SetPosition(x + sine * d, y - cosine * d);
        float xs[4], ys[4];
        for (int k = 0; k < 4; k++) {
            xs[k] = sprite.Verts[k].X - 0.5f;
            ys[k] = sprite.Verts[k].Y - 0.5f;
        }
        AddGlyphQuad(g, xs, ys, colour);
        d += Advance(g);
        PrevGlyph = g;
    }
    VB.AddVerts(Verts, PendingCount);
    VB.Draw();
    PendingCount = 0;
}

RECT TextManager::GetGlyphRect(int32_t i) const {
    RECT r = {0, 0, 0, 0};
    if (i < 0 || i >= PendingCount / 4) return r;
    const ScreenVertex* v = Verts + i * 4;
    r.left = TruncateToInt(v[0].X);
    r.top = TruncateToInt(v[0].Y);
    r.right = TruncateToInt(v[3].X);
    r.bottom = TruncateToInt(v[3].Y);
    return r;
}
