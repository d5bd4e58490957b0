// Renders the engine's glyph order from a TrueType font into a square A8L8 grid of 16 x 16
// cells: L is 255 everywhere and A the glyph's coverage, so the ink sits in each texel's
// high byte and the diffuse colour tints it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace FontBake {

struct Atlas {
    int Cell = 0;                  // side of a cell in texels
    int Side = 0;                  // side of the texture, 16 cells
    std::vector<uint16_t> Texels;  // Side x Side, row by row, A in the high byte
    std::vector<int> Cut;          // glyph indexes whose ink did not fit their cell
};

// The Unicode code point of a Windows-1252 byte.
uint32_t CodePoint(unsigned char byte);

// One rendered glyph: coverage bytes row by row, placed by the pen on the baseline (Left to
// the right of it, Top above it).
struct Glyph {
    const unsigned char* Pixels;
    int Width;
    int Rows;
    int Pitch;
    int Left;
    int Top;
};

// Copies a glyph into its cell, clipped to the cell: the pen starts at the cell's left edge
// plus the glyph's left bearing, the baseline sits one ascender below the top.
// False when ink fell outside the cell and was cut off.
bool Blit(const Glyph& glyph, int baseline, int cellx, int celly, Atlas& atlas);

// Renders every glyph cell at pixel size px (GlyphsFreeType.cpp, or GlyphsStb.cpp where the
// build has no FreeType). False with a message in error when the font
// cannot be read or rendered.
bool Render(const std::string& fontPath, int cell, int px, Atlas& atlas, std::string& error);

// The file bytes of an uncompressed A8L8 DDS of the atlas.
std::vector<uint8_t> DdsBytes(const Atlas& atlas);

}  // namespace FontBake
