/// @file
/// The text manager: lays strings out as textured glyph quads from bitmap fonts, collects the
/// quads of many calls, and draws them through its own vertex buffer or hands them to a vertex
/// cache. It measures, wraps, justifies and shortens text for the current font and size. One
/// per process, reached through GetTextManager; used on the thread that owns the device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/D3D9.h"
#include "render/GVertexBuffer.h"
#include "render/ScreenVertex.h"
#include "text/LibFont.h"

class GVertexCache;

/// A source of text for the wrapped-text operation; derived classes may compute it.
class LibTextObject {
public:
    virtual std::string GetText() { return Text; }

    std::string Text;
};

class TextManager {
public:
    static constexpr int32_t MAXVERTS = 4000;
    /// Pending vertices at which layout stops: at most 999 glyph quads wait at once.
    static constexpr int32_t MAXPENDING = 3996;
    static constexpr int32_t MAXCHARS = 1000;

    TextManager();
    ~TextManager();
    TextManager(const TextManager&) = delete;
    TextManager& operator=(const TextManager&) = delete;

    // ---- Life cycle and fonts ----

    void Init();
    /// Deletes the fonts, forgets the current font and the pending quads, and releases the
    /// vertex buffer; Init must run again before the next text is drawn.
    void Release();
    bool IsInitialised() const { return Initialised; }
    void ResetPending() { PendingCount = 0; }
    void DiscardPending();
    /// Loads the font fontbake baked as name into folder, through its descriptor
    /// folder/name.ini: the texture and width files it names, cut into the grid it states.
    /// The font is selected by its texture's name (SetFont(font->TextureName)); it is not made
    /// current. Null, with one log line saying why, before Init, or when the descriptor is
    /// missing or damaged or disagrees with the texture's size or the width files; when reason
    /// is given, it receives the reason too, for a host to show.
    LibFont* LoadFont(const std::string& folder, const std::string& name,
                      std::string* reason = nullptr);
    /// The new font, loaded; null (the font is not kept) when its grid is refused or the
    /// manager is not initialised.
    LibFont* AddFont(const std::string& widthfile, const std::string& texturename,
                     int32_t nativesize, int32_t cellsize, int32_t rows, int32_t columns);
    /// Draws the pending quads first when another font becomes current. False, logged, for a
    /// name that matches no font.
    bool SetFont(const std::string& name);
    void SetSize(float size) { Size = size; }
    void SetFontAndSize(const std::string& name, float size);
    LibFont* GetCurrentFont() const { return CurrentFont; }
    float GetSize() const { return Size; }

    // ---- Measuring (0 with a log line when there is no current font) ----

    int32_t GetGlyphIndex(char c) const { return LibFont::GetGlyphIndex(c); }
    float GetCharWidth(char c);
    int32_t GetStringLength(const std::string& text);

    // ---- Drawing ----

    /// align: 0 left from x, 1 right within width from x, 2 centred within width, else x 0.
    void AddText(const std::string& text, float x, float y, uint32_t colour, float width,
                 int32_t align);
    /// Draws the pending quads, at most maxquads of them (-1: all); the rest are dropped.
    /// False only when fewer quads were drawn than were pending.
    bool Render(int32_t maxquads);
    void RenderToCache(GVertexCache* cache);
    /// Draws one line at once along a baseline turned by angle degrees; 90 runs left to right.
    void DrawRotatedText(const std::string& text, float x, float y, float angle, uint32_t colour);
    /// The pending quad i, half-pixel offset included; empty for an index outside them.
    RECT GetGlyphRect(int32_t i) const;
    int32_t GetPendingCount() const { return PendingCount; }
    const ScreenVertex* GetPendingVerts() const { return Verts; }

    // ---- Wrapping ----

    /// Cuts from pinput the first line narrower than pixelwrapvalue: pinput keeps the line,
    /// remainder gets the rest. A word wider than the whole line is broken, at least one byte
    /// per line, so repeated calls use up any text.
    void SplitLine(int32_t pixelwrapvalue, std::string& pinput, std::string& remainder);
    /// Returns the y below the last line drawn; maxlines -1 means no limit.
    float AddWrappedText(const std::string& text, float x, float y, float wrap, uint32_t colour,
                         int32_t maxlines);
    float AddWrappedText(LibTextObject* source, float x, float y, float wrap, uint32_t colour,
                         int32_t maxlines);
    float GetWrappedHeight(const std::string& text, float wrap);
    /// Bytes of the longest wrapped line; -1 for empty text.
    float GetLongestWrappedLine(const std::string& text, float wrap);
    std::string GetFirstLine(int32_t wrap, const std::string& text);

    // ---- Justification and shortening ----

    /// One line spread over wraplength pixels by widening the gaps between words; drawn
    /// unjustified when that would more than double them or the text does not fit.
    void AddJustifiedText(const std::string& text, float x, float y, float wraplength,
                          uint32_t colour);
    int32_t CountSpaces(const std::string& text) const;
    std::string TrimSpaces(const std::string& text) const;
    std::string TruncateWithEllipsis(int32_t maxwidth, const std::string& text);
    std::string TruncateToWidth(int32_t width, const std::string& text);
    std::string ClipWithDots(int32_t width, const std::string& text);

    float LastX = 0.0f;
    float LastY = 0.0f;
    /// Every glyph advances by Size / 12 x 9.
    bool FixedWidth = false;

private:
    /// True when laying out may go ahead; logs otherwise.
    bool Ready(const char* notInitialised);
    bool HaveFont();
    /// Point filtering while text is drawn at its native size, linear otherwise.
    void SetTextFilter(bool start);
    /// Appends the quad of glyph g with corners (xs[k], ys[k]) in vertex order.
    void AddGlyphQuad(int32_t g, const float* xs, const float* ys, uint32_t colour);
    /// The scaled advance of glyph g, spacing included.
    float Advance(int32_t g) const;

    std::vector<LibFont*> Fonts;
    LibFont* CurrentFont = nullptr;
    ScreenVertex Verts[MAXVERTS];
    int32_t PendingCount = 0;
    GVertexBuffer VB;
    float Size = 0.0f;
    bool Initialised = false;
    int32_t PrevGlyph = -1;
};

TextManager& GetTextManager();
