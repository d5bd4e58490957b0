#include "text/LibFont.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/GDebugLog.h"
#include "diagnostics/GFile.h"
#include "platform/Platform.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "text/FontDescriptor.h"

const char GlyphOrder[161] =
    "!\"#$%&'()*+,-./0123456789:;<=>? ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_"
    "abcdefghijklmnopqrstuvwxyz{|}~\x80"
    "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
    "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF"
    "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
    "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"
    "\x8C\x9C";

signed char GlyphTable[256];

void FillGlyphTable() {
    std::memset(GlyphTable, '%', sizeof GlyphTable);
    std::memcpy(GlyphTable, GlyphOrder, 160);
}

namespace {

// Fonts may be made before the text manager exists (the baker makes one); their kerning
// pairs need the table already.
const bool kGlyphTableFilled = (FillGlyphTable(), true);

void LogLine(const char* format, const char* text) {
    char buffer[512];
    snprintf(buffer, sizeof buffer, format, text);
    GetDebugLog().Log(buffer);
}

bool IsTwoBytesPerTexel(D3DFORMAT format) {
    switch (format) {
        case D3DFMT_A8L8:
        case D3DFMT_L16:
        case D3DFMT_R5G6B5:
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
        case D3DFMT_A8R3G3B2:
        case D3DFMT_A8P8:
            return true;
        default:
            return false;
    }
}

// "index,c,width": the character is one byte, whatever it is (the comma and the double quote
// included), so the line is read by position rather than split at separators.
bool ParseWidthLine(const char* line, int32_t& width, long* index = nullptr) {
    char* end = nullptr;
    const long glyph = strtol(line, &end, 10);
    if (end == line || *end != ',' || end[1] == '\0' || end[2] != ',') return false;
    if (index != nullptr) *index = glyph;
    const char* number = end + 3;
    long value = strtol(number, &end, 10);
    if (end == number) return false;
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    width = static_cast<int32_t>(value);
    return true;
}

}  // namespace

LibFont::LibFont() {
    std::memset(TexU, 0, sizeof TexU);
    std::memset(TexV, 0, sizeof TexV);
    std::memset(Widths, 0, sizeof Widths);
    for (auto& list : Kerning) list = nullptr;
    AddKerning('f', 'o', -1.0f);
    AddKerning('f', 'e', -1.0f);
    AddKerning('f', 'a', -1.0f);
    AddKerning('f', 'f', -2.0f);
    AddKerning('f', 'u', -1.0f);
    AddKerning('o', 'w', -1.0f);
}

LibFont::~LibFont() {
    for (auto& list : Kerning) delete list;
}

int32_t LibFont::GetGlyphIndex(char c) {
    // The lowest matching cell: a byte search finds the same one as a signed comparison, and
    // is the one lookup every measured and drawn glyph makes.
    const void* found = std::memchr(GlyphTable, static_cast<unsigned char>(c), sizeof GlyphTable);
    return found != nullptr
               ? static_cast<int32_t>(static_cast<const signed char*>(found) - GlyphTable)
               : 0;
}

void LibFont::AddKerning(char first, char second, float amount) {
    const int32_t g = GetGlyphIndex(first);
    if (Kerning[g] == nullptr) Kerning[g] = new std::vector<KerningData>;
    Kerning[g]->push_back({GetGlyphIndex(second), amount});
}

float LibFont::GetKerning(int32_t first, int32_t second) const {
    if (first < 0 || first > 255 || Kerning[first] == nullptr) return 0.0f;
    for (const KerningData& k : *Kerning[first]) {
        if (k.Glyph == second) return k.Amount;
    }
    return 0.0f;
}

bool LibFont::SetGrid(const std::string& texturename, int32_t nativesize, int32_t cellsize,
                      int32_t rows, int32_t columns) {
    // Widths and texture coordinates have 256 entries.
    if (nativesize <= 0 || cellsize <= 0 || rows <= 0 || columns <= 0 || columns > 256 ||
        rows > 256 / columns) {
        char buffer[256];
        snprintf(buffer, sizeof buffer,
                 "Font grid refused: %d x %d cells of %d pixels, native size %d", rows, columns,
                 cellsize, nativesize);
        GetDebugLog().Log(buffer);
        return false;
    }
    NativeSize = nativesize;
    CellSize = cellsize;
    TextureName = texturename;
    Rows = rows;
    Columns = columns;
    return true;
}

bool LibFont::Init(const std::string& widthfile, const std::string& texturename, int32_t nativesize,
                   int32_t cellsize, int32_t rows, int32_t columns) {
    if (!SetGrid(texturename, nativesize, cellsize, rows, columns)) return false;

    FILE* dat = GFile::Open(widthfile, "rb");
    if (dat == nullptr) {
        GetDebugLog().Log("Error locating font width data");
        GenerateFontWidthData();
        return false;
    }
    uint8_t bytes[256 * 4];
    const size_t count = fread(bytes, 4, 256, dat);
    fclose(dat);
    for (size_t i = 0; i < count; i++) {
        const uint8_t* b = bytes + i * 4;
        Widths[i] = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (uint32_t(b[1]) << 8) |
                                         (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
    }

    const std::string text = "data/fonts/" + TextureName + ".txt";
    if (GFile::Exists(text)) ReadWidthText(text);

    IDirect3DTexture9* texture = GetTextureManager().GetTexture(TextureName);
    if (texture == nullptr) {
        LogLine("Font texture not found: %s", TextureName.c_str());
        return false;
    }
    D3DSURFACE_DESC desc;
    const HRESULT hr = texture->GetLevelDesc(0, &desc);
    if (FAILED(hr) || desc.Width == 0 || desc.Height == 0) {
        GD3D9::LogD3DError(hr, "LibFont::Init GetLevelDesc");
        return false;
    }
    MapCells(desc.Width, desc.Height);
    return true;
}

void LibFont::MapCells(uint32_t width, uint32_t height) {
    const float du = static_cast<float>(CellSize) / static_cast<float>(width);
    const float dv = static_cast<float>(CellSize) / static_cast<float>(height);
    for (int32_t r = 0; r < Rows; r++) {
        for (int32_t c = 0; c < Columns; c++) {
            const int32_t g = r * Columns + c;
            const float u = c * du;
            const float v = r * dv;
            TexU[g][0] = u;
            TexU[g][1] = u + du;
            TexU[g][2] = u;
            TexU[g][3] = u + du;
            TexV[g][0] = v;
            TexV[g][1] = v;
            TexV[g][2] = v + dv;
            TexV[g][3] = v + dv;
        }
    }
    Texture.SetByName(TextureName);
}

namespace {

// The widths of a baked font's .dat file, which must hold exactly one per cell, each within a
// cell: widths measured for another grid would place every glyph wrongly.
bool ReadBakedWidths(const std::string& path, const FontDescriptor& font, int32_t* widths,
                     std::string& error) {
    const int32_t cells = font.Rows * font.Columns;
    FILE* dat = GFile::Open(path, "rb");
    if (dat == nullptr) {
        error = "no width file " + path + " (fontbake writes it)";
        return false;
    }
    uint8_t bytes[257 * 4];
    const size_t got = fread(bytes, 1, sizeof bytes, dat);
    fclose(dat);
    if (got != static_cast<size_t>(cells) * 4) {
        error = "the width file " + path + " holds " + std::to_string(got / 4) +
                " widths for a grid of " + std::to_string(cells) + " cells";
        return false;
    }
    for (int32_t g = 0; g < cells; g++) {
        const uint8_t* b = bytes + g * 4;
        widths[g] = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (uint32_t(b[1]) << 8) |
                                         (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24));
        if (widths[g] < 0 || widths[g] > font.CellSize) {
            error = "the width file " + path + " gives glyph " + std::to_string(g) +
                    " a width of " + std::to_string(widths[g]) + ", beyond a cell of " +
                    std::to_string(font.CellSize);
            return false;
        }
    }
    return true;
}

// The .txt override, when there is one, must give every cell in order, within a cell.
bool ReadBakedWidthText(const std::string& path, const FontDescriptor& font, int32_t* widths,
                        std::string& error) {
    if (!GFile::Exists(path)) return true;
    FILE* text = GFile::Open(path, "rt");
    if (text == nullptr) {
        error = "the width file " + path + " cannot be opened";
        return false;
    }
    const int32_t cells = font.Rows * font.Columns;
    int32_t lines = 0;
    char line[64];
    while (error.empty() && fgets(line, sizeof line, text) != nullptr) {
        long index = -1;
        int32_t width = 0;
        if (std::strchr(line, '\n') == nullptr && !feof(text)) {
            error = "line " + std::to_string(lines + 1) + " of " + path + " is too long";
        } else if (lines >= cells) {
            error = path + " has more lines than the grid has cells";
        } else if (!ParseWidthLine(line, width, &index) || index != lines) {
            error = "line " + std::to_string(lines + 1) + " of " + path +
                    " is not \"index,character,width\" for glyph " + std::to_string(lines);
        } else if (width < 0 || width > font.CellSize) {
            error = path + " gives glyph " + std::to_string(lines) + " a width of " +
                    std::to_string(width) + ", beyond a cell of " + std::to_string(font.CellSize);
        } else {
            widths[lines++] = width;
        }
    }
    fclose(text);
    if (error.empty() && lines != cells)
        error = path + " gives " + std::to_string(lines) + " widths for a grid of " +
                std::to_string(cells) + " cells";
    return error.empty();
}

}  // namespace

bool LibFont::InitBaked(const FontDescriptor& font, const std::string& folder, std::string& error) {
    int32_t widths[256] = {};
    if (!ReadBakedWidths(font.WidthFile(folder), font, widths, error) ||
        !ReadBakedWidthText(font.WidthText(folder), font, widths, error))
        return false;

    GetTextureManager().AddTextureFolder(folder);
    IDirect3DTexture9* texture = GetTextureManager().GetTexture(font.Texture);
    D3DSURFACE_DESC desc;
    if (texture == nullptr || FAILED(texture->GetLevelDesc(0, &desc))) {
        error = "the texture " + font.Texture + " cannot be loaded from " + folder;
        return false;
    }
    const int64_t needWidth = int64_t{font.Columns} * font.CellSize;
    const int64_t needHeight = int64_t{font.Rows} * font.CellSize;
    if (desc.Width != needWidth || desc.Height != needHeight) {
        error = "the texture " + font.Texture + " is " + std::to_string(desc.Width) + " x " +
                std::to_string(desc.Height) + " texels, but " + std::to_string(font.Rows) + " x " +
                std::to_string(font.Columns) + " cells of " + std::to_string(font.CellSize) +
                " need " + std::to_string(needWidth) + " x " + std::to_string(needHeight);
        return false;
    }
    if (!SetGrid(font.Texture, font.CellSize, font.CellSize, font.Rows, font.Columns)) {
        error = "the grid is refused";
        return false;
    }
    std::memcpy(Widths, widths, sizeof widths);
    MapCells(desc.Width, desc.Height);
    return true;
}

void LibFont::ReadWidthText(const std::string& path) {
    FILE* text = GFile::Open(path, "rt");
    if (text == nullptr) {
        LogLine("Cannot open font width override: %s", path.c_str());
        return;
    }
    char line[64];
    for (int32_t i = 0; i < 256 && fgets(line, sizeof line, text) != nullptr; i++) {
        // A line longer than the buffer is one line all the same: skip the rest of it.
        if (std::strchr(line, '\n') == nullptr) {
            int c;
            while ((c = fgetc(text)) != EOF && c != '\n') {
            }
        }
        int32_t width = 0;
        if (ParseWidthLine(line, width)) Widths[i] = width;
    }
    fclose(text);
}

int32_t LibFont::MeasureCellWidth(int32_t top, int32_t left, const uint8_t* texels,
                                  int32_t pitch) const {
    int32_t best = 0;
    for (int32_t y = top; y < top + CellSize; y++) {
        const uint8_t* row = texels + static_cast<ptrdiff_t>(y) * pitch;
        for (int32_t x = left; x < left + CellSize; x++) {
            if (row[x * 2 + 1] != 0 && x > best) best = x;
        }
    }
    return best - left;
}

namespace {

// Width files are made anew: whatever has the name is removed first (a read-only file stays,
// and the create then fails), and the file is created exclusively, so a link planted at the
// name is replaced rather than written through to wherever it leads.
FILE* CreateWidthFile(const char* path, const char* mode) {
    Platform::RemoveFile(path);
    return Platform::OpenStream(path, mode);
}

}  // namespace

bool LibFont::GenerateFontWidthData() {
    if (Rows <= 0 || Columns <= 0) return false;
    IDirect3DTexture9* texture = GetTextureManager().GetTexture(TextureName);
    if (texture == nullptr) {
        LogLine("Font texture not found: %s", TextureName.c_str());
        return false;
    }
    // Width files are named after the texture and written below ./data/fonts/: a name that
    // could reach another folder is refused.
    if (!FontDescriptor::IsPlainName(TextureName) || TextureName.size() > 100) {
        LogLine("Font name refused for width files: %s", TextureName.c_str());
        return false;
    }
    IDirect3DSurface9* surface = nullptr;
    HRESULT hr = texture->GetSurfaceLevel(0, &surface);
    if (FAILED(hr) || surface == nullptr) {
        GD3D9::LogD3DError(hr, "GenerateFontWidthData");
        return false;
    }
    D3DSURFACE_DESC desc;
    hr = surface->GetDesc(&desc);
    // The measurement reads two bytes per texel over the whole grid: a texture of another
    // format or too small for the grid would be read wrongly or beyond its end.
    if (FAILED(hr) || !IsTwoBytesPerTexel(desc.Format) ||
        static_cast<int64_t>(Columns) * CellSize > desc.Width ||
        static_cast<int64_t>(Rows) * CellSize > desc.Height) {
        LogLine("Font texture is not a 16-bit texture holding the whole grid: %s",
                TextureName.c_str());
        surface->Release();
        return false;
    }
    D3DLOCKED_RECT locked;
    hr = surface->LockRect(&locked, nullptr, 0);
    if (FAILED(hr)) {
        GD3D9::LogD3DError(hr, "GenerateFontWidthData");
        surface->Release();
        return false;
    }
    if (locked.Pitch < static_cast<INT>(desc.Width * 2)) {
        LogLine("Font texture locked with a short pitch: %s", TextureName.c_str());
        surface->UnlockRect();
        surface->Release();
        return false;
    }

    char path[128];
    snprintf(path, sizeof path, "./data/fonts/%s.dat", TextureName.c_str());
    FILE* widthfile = CreateWidthFile(path, "wbx");
    snprintf(path, sizeof path, "./data/fonts/%s.txt", TextureName.c_str());
    FILE* textfile = widthfile != nullptr ? CreateWidthFile(path, "wtx") : nullptr;
    bool written = widthfile != nullptr && textfile != nullptr;
    if (!written) {
        LogLine("Cannot create font width files for %s", TextureName.c_str());
    } else {
        const uint8_t* texels = static_cast<const uint8_t*>(locked.pBits);
        int32_t g = 0;
        for (int32_t r = 0; r < Rows; r++) {
            for (int32_t c = 0; c < Columns; c++) {
                int32_t w = MeasureCellWidth(r * CellSize, c * CellSize, texels, locked.Pitch);
                if (w < 0) w = 0;
                Widths[g] = w;
                char line[128];
                snprintf(line, sizeof line, "%d,%c,%d\n", g, GlyphTable[g], w);
                GetDebugLog().Log(line);
                written = written && fputs(line, textfile) >= 0;
                const uint8_t le[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                                       uint8_t(w >> 24)};
                written = written && fwrite(le, 4, 1, widthfile) == 1;
                g++;
            }
        }
    }
    if (widthfile != nullptr && fclose(widthfile) != 0) written = false;
    if (textfile != nullptr && fclose(textfile) != 0) written = false;
    if (!written) {
        // Half-written width files would be read as the font's widths by the next Init.
        if (widthfile != nullptr && textfile != nullptr)
            LogLine("Writing the font width files failed for %s", TextureName.c_str());
        if (widthfile != nullptr) {
            snprintf(path, sizeof path, "./data/fonts/%s.dat", TextureName.c_str());
            GFile::Delete(path);
        }
        if (textfile != nullptr) {
            snprintf(path, sizeof path, "./data/fonts/%s.txt", TextureName.c_str());
            GFile::Delete(path);
        }
    }
    surface->UnlockRect();
    surface->Release();
    return written;
}
