// fontbake FONT.ttf NAME --cell N [--size PX] [--out DIR] [--strict]
//
// Writes DIR/NAME.dds, a 16 x 16 grid of glyph cells in the engine's glyph order, the width
// files DIR/data/fonts/NAME.dds.dat and .txt, measured by the engine itself from the texture
// it loads, and the descriptor DIR/NAME.ini that states the grid. A host then loads the font
// with GetTextManager().LoadFont(DIR, NAME).
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "FontBaker.h"
#include "PakEngineVersion.h"
#include "platform/D3D9.h"
#include "platform/Window.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "text/FontDescriptor.h"
#include "text/LibFont.h"

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message, int status = 1) {
    fprintf(stderr, "fontbake: %s\n", message.c_str());
    return status;
}

bool IsPowerOfTwo(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// Measures the texture with the engine's own rule and writes both width files below the
// working folder, which is the output folder by then.
bool WriteWidthFiles(const std::string& textureName, int cell, std::string& error) {
    const int side = cell * 16;
    Platform::WindowSettings settings;
    settings.Title = "fontbake";
    settings.ClientWidth = 64;
    settings.ClientHeight = 64;
    settings.Headless = true;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    if (window == nullptr) return false;
    GD3D9& engine = GetD3DEngine();
    if (!engine.Init(window->Handle(), 64, 64, true)) {
        error = "the graphics device could not be started";
        return false;
    }
    GetTextureManager().AddTextureFolder(".");
    bool ok = false;
    IDirect3DTexture9* texture = GetTextureManager().GetTexture(textureName);
    D3DSURFACE_DESC desc;
    if (texture == nullptr || texture->GetLevelDesc(0, &desc) != D3D_OK) {
        error = "the texture just written could not be loaded";
    } else if (desc.Format != D3DFMT_A8L8 || desc.Width != UINT(side) ||
               desc.Height != UINT(side)) {
        error = "the texture just written did not load as a " + std::to_string(side) +
                "-texel A8L8 square";
    } else {
        LibFont font;
        ok = font.SetGrid(textureName, cell, cell, 16, 16) && font.GenerateFontWidthData();
        if (!ok) error = "the width files could not be written below data/fonts";
    }
    engine.Release();
    return ok;
}

// The glyphs' characters as the terminal shows them, each once ('%' fills many cells).
std::string GlyphNames(const std::vector<int>& glyphs) {
    std::string names;
    std::string seen;
    for (int g : glyphs) {
        const char c = GlyphTable[g];
        if (seen.find(c) != std::string::npos) continue;
        seen.push_back(c);
        const uint32_t code = FontBake::CodePoint(static_cast<unsigned char>(c));
        if (!names.empty()) names += ' ';
        if (code < 0x80) {
            names += static_cast<char>(code);
        } else if (code < 0x800) {
            names += static_cast<char>(0xC0 | code >> 6);
            names += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            names += static_cast<char>(0xE0 | code >> 12);
            names += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            names += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Renders a TrueType font into the engine's font texture (NAME.dds, 16 x 16 "
        "A8L8 cells) and its width files (data/fonts/NAME.dds.dat and .txt)."};
    std::string fontPath;
    std::string name;
    int cell = 0;
    int size = 0;
    std::string out = ".";
    app.add_option("FONT", fontPath, "TrueType font file")->required();
    app.add_option("NAME", name, "font name: the texture is NAME.dds")->required();
    app.add_option("--cell", cell, "side of a glyph cell in texels, a power of two")->required();
    CLI::Option* sizeOption = app.add_option(
        "--size", size, "glyph size in pixels (default: three quarters of the cell)");
    app.add_option("--out", out,
                   "output folder, created when missing (default: the working folder)");
    bool strict = false;
    app.add_flag("--strict", strict, "fail, writing nothing, when a glyph does not fit its cell");
    app.set_version_flag("--version", "fontbake " PAKENGINE_VERSION_STRING);
    // A font path may start with '/' on Windows too: never take it for an option.
    app.allow_windows_style_options(false);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    // 16 cells of up to 512 texels stay within the largest texture side the engine loads.
    if (!IsPowerOfTwo(cell) || cell < 4 || cell > 512)
        return Fail("--cell must be a power of two from 4 to 512, not " + std::to_string(cell), 2);
    if (sizeOption->count() == 0) size = cell * 3 / 4;
    if (size < 1 || size > cell)
        return Fail("--size must be from 1 to the cell size, not " + std::to_string(size), 2);
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name == "." ||
        name == "..")
        return Fail("NAME must be a plain file name without folders", 2);
    std::error_code ec;
    if (!fs::is_regular_file(fontPath, ec)) return Fail("no font file at " + fontPath);
    const std::string fontAbsolute = fs::absolute(fontPath, ec).string();

    FontBake::Atlas atlas;
    std::string error;
    if (!FontBake::Render(fontAbsolute, cell, size, atlas, error)) return Fail(error);
    if (!atlas.Cut.empty()) {
        const std::string cut = "at size " + std::to_string(size) + ", " +
                                std::to_string(atlas.Cut.size()) + " glyphs do not fit their " +
                                std::to_string(cell) + "-texel cells: " + GlyphNames(atlas.Cut);
        if (strict) return Fail(cut + " (nothing written; a smaller --size fits them)");
        fprintf(stderr, "fontbake: warning: %s are cut off (a smaller --size fits them)\n",
                cut.c_str());
    }

    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) return Fail("cannot create the output folder " + out, 2);
    fs::current_path(out, ec);
    if (ec) return Fail("cannot enter " + out + ": " + ec.message(), 2);
    fs::create_directories("data/fonts", ec);
    if (ec) return Fail("cannot create data/fonts in " + out + ": " + ec.message(), 2);

    const std::string textureName = name + ".dds";
    // Replaced, never written through: whatever stood there (a link included) is removed.
    fs::remove(textureName, ec);
    const std::vector<uint8_t> dds = FontBake::DdsBytes(atlas);
    {
        std::ofstream file(textureName, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(dds.data()),
                   static_cast<std::streamsize>(dds.size()));
        if (!file.flush()) return Fail("cannot write " + textureName + " in " + out, 2);
    }
    for (const char* ext : {".dat", ".txt"}) fs::remove("data/fonts/" + textureName + ext, ec);
    if (!WriteWidthFiles(textureName, cell, error)) return Fail(error, 2);
    FontDescriptor descriptor;
    descriptor.Texture = textureName;
    descriptor.CellSize = cell;
    descriptor.GlyphSize = size;
    descriptor.Rows = 16;
    descriptor.Columns = 16;
    if (!descriptor.Write(name + ".ini")) return Fail("cannot write " + name + ".ini in " + out, 2);
    return 0;
}
