/// @file
/// The descriptor of a baked font: a small ini file, NAME.ini, that fontbake writes beside the
/// font's texture NAME.dds, saying how the texture is cut into glyph cells. The text manager's
/// LoadFont reads it, so a game loads a font by its folder and name alone:
///
///     [font]
///     texture = dejavu.dds
///     cell = 32
///     size = 24
///     rows = 16
///     columns = 16
///
/// The width files sit below the same folder, in data/fonts/TEXTURE.dat and .txt.
#pragma once

#include <cstdint>
#include <string>

/// The grid of a baked font, as its descriptor states it.
struct FontDescriptor {
    /// The texture's file name, beside the descriptor; also the font's name in the text manager.
    std::string Texture;
    /// Side of a glyph cell in texels; the font's native text size.
    int32_t CellSize = 0;
    /// The pixel size the glyphs were rendered at (at most the cell).
    int32_t GlyphSize = 0;
    int32_t Rows = 0;
    int32_t Columns = 0;

    /// True for a name without folders in it: font names become file names below a folder.
    static bool IsPlainName(const std::string& name);
    /// FOLDER/NAME.ini.
    static std::string PathFor(const std::string& folder, const std::string& name);
    /// The width files of the texture below folder: data/fonts/TEXTURE.dat and .txt.
    std::string WidthFile(const std::string& folder) const;
    std::string WidthText(const std::string& folder) const;

    /// Reads and checks a descriptor. Descriptors are untrusted: a missing or unknown-format
    /// file, a missing key, a number that is not one, a texture name with folders in it, or a
    /// grid the engine cannot hold (more than 256 cells, a glyph larger than its cell) gives
    /// false with the reason in error.
    bool Read(const std::string& path, std::string& error);
    /// Writes the descriptor anew (a link at the path is replaced, never written through).
    bool Write(const std::string& path) const;
};
