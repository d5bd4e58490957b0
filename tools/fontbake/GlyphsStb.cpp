// The glyph renderer where the build has no FreeType (the Windows cross-build): stb_truetype,
// at the same pixel size and with the same placement rule as the FreeType renderer.
#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include "FontBaker.h"
#include "text/LibFont.h"

namespace FontBake {

bool Render(const std::string& fontPath, int cell, int px, Atlas& atlas, std::string& error) {
    std::ifstream file(fontPath, std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    stbtt_fontinfo font;
    const int offset = data.empty() ? -1 : stbtt_GetFontOffsetForIndex(data.data(), 0);
    if (offset < 0 || stbtt_InitFont(&font, data.data(), offset) == 0) {
        error = "not a font file it can read: " + fontPath;
        return false;
    }
    // A pixel size is the em square's, as FreeType sets it.
    const float scale = stbtt_ScaleForMappingEmToPixels(&font, static_cast<float>(px));
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    const int baseline = static_cast<int>(std::ceil(ascent * scale));
    atlas.Cell = cell;
    atlas.Side = cell * 16;
    atlas.Cut.clear();
    atlas.Texels.assign(static_cast<size_t>(atlas.Side) * atlas.Side, 0x00FF);
    FillGlyphTable();
    std::vector<unsigned char> bitmap;
    for (int g = 0; g < 256; g++) {
        const uint32_t code = CodePoint(static_cast<unsigned char>(GlyphTable[g]));
        // A character the font lacks stays an empty cell rather than the font's box glyph.
        const int index = stbtt_FindGlyphIndex(&font, static_cast<int>(code));
        if (index == 0) continue;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetGlyphBitmapBox(&font, index, scale, scale, &x0, &y0, &x1, &y1);
        const int w = x1 - x0, h = y1 - y0;
        if (w <= 0 || h <= 0) continue;
        bitmap.assign(static_cast<size_t>(w) * h, 0);
        stbtt_MakeGlyphBitmap(&font, bitmap.data(), w, h, w, scale, scale, index);
        Glyph glyph{bitmap.data(), w, h, w, x0, -y0};
        if (!Blit(glyph, baseline, (g % 16) * cell, (g / 16) * cell, atlas)) atlas.Cut.push_back(g);
    }
    return true;
}

}  // namespace FontBake
