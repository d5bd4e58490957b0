#include "FontBaker.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>

#include "text/LibFont.h"

namespace FontBake {

uint32_t CodePoint(unsigned char byte) {
    switch (byte) {
        case 0x80:
            return 0x20AC;  // euro sign
        case 0x8C:
            return 0x0152;  // capital ligature OE
        case 0x9C:
            return 0x0153;  // small ligature oe
        default:
            return byte;  // ASCII and the Latin-1 letters keep their values
    }
}

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

// Copies one rendered glyph into its cell, clipped to the cell: the pen starts at the cell's
// left edge plus the glyph's left bearing, the baseline sits one ascender below the top.
// False when ink fell outside the cell and was cut off.
bool Blit(const FT_GlyphSlot slot, int baseline, int cellx, int celly, Atlas& atlas) {
    const FT_Bitmap& bitmap = slot->bitmap;
    const int left = std::max(0, static_cast<int>(slot->bitmap_left));
    const int top = baseline - slot->bitmap_top;
    bool whole = true;
    for (unsigned row = 0; row < bitmap.rows; row++) {
        const int y = top + static_cast<int>(row);
        const unsigned char* src = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned col = 0; col < bitmap.width; col++) {
            const int x = left + static_cast<int>(col);
            const uint16_t a = src[col];
            if (a == 0) continue;
            if (y < 0 || y >= atlas.Cell || x >= atlas.Cell) {
                whole = false;
                continue;
            }
            atlas.Texels[static_cast<size_t>(celly + y) * atlas.Side + cellx + x] =
                static_cast<uint16_t>(a << 8 | 0xFF);
        }
    }
    return whole;
}

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
        if (!Blit(ft.Face->glyph, baseline, (g % 16) * cell, (g / 16) * cell, atlas))
            atlas.Cut.push_back(g);
    }
    return true;
}

std::vector<uint8_t> DdsBytes(const Atlas& atlas) {
    std::vector<uint8_t> out(128 + atlas.Texels.size() * 2, 0);
    auto put = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const uint32_t side = static_cast<uint32_t>(atlas.Side);
    std::memcpy(out.data(), "DDS ", 4);
    put(4, 124);                             // header size
    put(8, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
    put(12, side);                           // height
    put(16, side);                           // width
    put(20, side * 2);                       // pitch
    put(76, 32);                             // pixel format size
    put(80, 0x20000 | 0x1);                  // luminance with alpha
    put(88, 16);                             // bits per texel
    put(92, 0xFF);                           // luminance mask
    put(104, 0xFF00);                        // alpha mask
    put(108, 0x1000);                        // a texture
    for (size_t i = 0; i < atlas.Texels.size(); i++) {
        out[128 + 2 * i] = static_cast<uint8_t>(atlas.Texels[i]);
        out[128 + 2 * i + 1] = static_cast<uint8_t>(atlas.Texels[i] >> 8);
    }
    return out;
}

}  // namespace FontBake
