// The glyph renderer where the build has FreeType: each glyph rendered to 8-bit coverage.
#include <ft2build.h>
#include FT_FREETYPE_H

#include "FontBaker.h"
#include "text/LibFont.h"

namespace FontBake {

namespace {

class Library {
public:
    ~Library() {
        if (Face != nullptr) FT_Done_Face(Face);
        if (Lib != nullptr) FT_Done_FreeType(Lib);
    }
    FT_Library Lib = nullptr;
    FT_Face Face = nullptr;
};

}  // namespace

bool Render(const std::string& fontPath, int cell, int px, Atlas& atlas, std::string& error) {
    Library ft;
    if (FT_Init_FreeType(&ft.Lib) != 0) {
        error = "the font renderer could not be started";
        return false;
    }
    if (FT_New_Face(ft.Lib, fontPath.c_str(), 0, &ft.Face) != 0) {
        error = "not a font file it can read: " + fontPath;
        return false;
    }
    if (FT_Set_Pixel_Sizes(ft.Face, 0, static_cast<FT_UInt>(px)) != 0) {
        error = "the font has no size " + std::to_string(px);
        return false;
    }
    atlas.Cell = cell;
    atlas.Side = cell * 16;
    atlas.Cut.clear();
    atlas.Texels.assign(static_cast<size_t>(atlas.Side) * atlas.Side, 0x00FF);
    const int baseline = static_cast<int>(ft.Face->size->metrics.ascender >> 6);
    FillGlyphTable();
    for (int g = 0; g < 256; g++) {
        const uint32_t code = CodePoint(static_cast<unsigned char>(GlyphTable[g]));
        // A character the font lacks stays an empty cell rather than the font's box glyph.
        if (FT_Get_Char_Index(ft.Face, code) == 0) continue;
        if (FT_Load_Char(ft.Face, code, FT_LOAD_RENDER) != 0) continue;
        if (ft.Face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) continue;
        const FT_GlyphSlot slot = ft.Face->glyph;
        const Glyph glyph{slot->bitmap.buffer,
                          static_cast<int>(slot->bitmap.width),
                          static_cast<int>(slot->bitmap.rows),
                          slot->bitmap.pitch,
                          static_cast<int>(slot->bitmap_left),
                          static_cast<int>(slot->bitmap_top)};
        if (!Blit(glyph, baseline, (g % 16) * cell, (g / 16) * cell, atlas)) atlas.Cut.push_back(g);
    }
    return true;
}

}  // namespace FontBake
