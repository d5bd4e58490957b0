/// @file
/// Bitmap fonts: one texture cut into a grid of square cells, one glyph per cell, with a width
/// per glyph and a few kerning pairs. The glyph table fixes which character sits in which cell;
/// the width files ("./data/fonts/NAME.dat" and "./data/fonts/NAME.txt") carry the widths
/// measured once from the texture by GenerateFontWidthData.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/CLoadedTexture.h"

struct FontDescriptor;

/// The character drawn in each cell, cells numbered row by row. Filled from GlyphOrder and '%'
/// before any font exists, and again by the text manager's constructor.
extern signed char GlyphTable[256];
/// The 160 characters of the glyph cells, in cell order (Windows-1252 bytes).
extern const char GlyphOrder[161];
/// Sets every entry of GlyphTable to '%', then the first 160 to GlyphOrder.
void FillGlyphTable();

class LibFont {
public:
    struct KerningData {
        int32_t Glyph;  ///< glyph index of the pair's second character
        float Amount;   ///< change of advance in texture pixels; negative pulls closer
    };

    /// Adds the default pairs fo, fe, fa, ff, fu and ow.
    LibFont();
    virtual ~LibFont();
    LibFont(const LibFont&) = delete;
    LibFont& operator=(const LibFont&) = delete;

    /// Loads the widths from widthfile (the .dat file) and the .txt override, then the
    /// texture's cell coordinates. Without a .dat file it generates both width files from the
    /// texture and returns false: the font is loaded by a later Init. False, with a log line,
    /// for a refused grid or a texture that cannot be found.
    bool Init(const std::string& widthfile, const std::string& texturename, int32_t nativesize,
              int32_t cellsize, int32_t rows, int32_t columns);
    /// Loads a font baked by fontbake from folder, as its descriptor states it: the widths from
    /// folder/data/fonts/TEXTURE.dat (and .txt, which must then give every cell), the texture
    /// from folder, which becomes a texture folder. The native size is the cell. False, with
    /// the reason in error and the font unchanged, when the width files or the texture disagree
    /// with the descriptor's grid. The text manager's LoadFont is the usual way in.
    bool InitBaked(const FontDescriptor& font, const std::string& folder, std::string& error);
    /// Stores the grid without loading anything; false (logged) for a grid of non-positive
    /// size, of more than 256 cells or with a native size below 1, which leaves the font as it was.
    bool SetGrid(const std::string& texturename, int32_t nativesize, int32_t cellsize, int32_t rows,
                 int32_t columns);
    /// Measures every cell of the texture into Widths and writes both width files. False, with
    /// a log line, when the texture is missing, not 16 bits per texel, smaller than the grid,
    /// cannot be locked, or a file cannot be created.
    bool GenerateFontWidthData();
    /// Offset within the cell of the rightmost column holding ink (a texel whose high byte is
    /// not zero); -left for a cell without ink. The cell must lie inside the locked texels.
    int32_t MeasureCellWidth(int32_t top, int32_t left, const uint8_t* texels, int32_t pitch) const;

    void AddKerning(char first, char second, float amount);
    float GetKerning(int32_t first, int32_t second) const;
    /// The lowest cell holding c (compared as signed bytes), 0 when none does.
    static int32_t GetGlyphIndex(char c);

    float TexU[256][4];
    float TexV[256][4];
    int32_t Widths[256];
    std::string TextureName;
    int32_t CharSpacing = 0;
    int32_t LineSpacing = 0;
    int32_t NativeSize = 0;
    int32_t CellSize = 0;
    CTextureRef Texture;
    std::vector<KerningData>* Kerning[256];
    int32_t Rows = 0;
    int32_t Columns = 0;

private:
    /// The texture coordinates of every cell of a texture of that size, and the texture bound.
    void MapCells(uint32_t width, uint32_t height);
    /// Reads the .txt override into Widths; lines it does not hold keep their widths.
    void ReadWidthText(const std::string& path);
};
