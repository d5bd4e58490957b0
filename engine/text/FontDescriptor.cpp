#include "text/FontDescriptor.h"

#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"

namespace {

// No texture the engine loads has a side above 8192 texels, so no cell can be larger.
constexpr int32_t kMaxCell = 8192;
constexpr size_t kMaxDescriptorBytes = 4096;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParseCount(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long parsed = std::strtol(text.c_str(), nullptr, 10);
    if (parsed < low || parsed > high) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

}  // namespace

bool FontDescriptor::IsPlainName(const std::string& name) {
    return !name.empty() && name.find_first_of("/\\:") == std::string::npos && name != "." &&
           name != "..";
}

std::string FontDescriptor::PathFor(const std::string& folder, const std::string& name) {
    return folder + "/" + name + ".ini";
}

std::string FontDescriptor::WidthFile(const std::string& folder) const {
    return folder + "/data/fonts/" + Texture + ".dat";
}

std::string FontDescriptor::WidthText(const std::string& folder) const {
    return folder + "/data/fonts/" + Texture + ".txt";
}

bool FontDescriptor::Read(const std::string& path, std::string& error) {
    *this = FontDescriptor();
    FILE* file = Platform::OpenStream(path, "rb");
    if (file == nullptr) {
        error = "no font descriptor";
        return false;
    }
    std::string text(kMaxDescriptorBytes + 1, '\0');
    text.resize(fread(&text[0], 1, text.size(), file));
    fclose(file);
    if (text.size() > kMaxDescriptorBytes) {
        error = "the descriptor is larger than a descriptor can be";
        return false;
    }

    std::string texture, cell, size, rows, columns;
    struct Key {
        const char* Name;
        std::string* Value;
    } keys[] = {{"texture", &texture},
                {"cell", &cell},
                {"size", &size},
                {"rows", &rows},
                {"columns", &columns}};
    bool inFont = false;
    bool sawFont = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == '/') continue;
        if (line[0] == '[') {
            inFont = line == "[font]";
            sawFont = sawFont || inFont;
            continue;
        }
        if (!inFont) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, equals));
        for (Key& k : keys) {
            // The first value of a key counts, as in every ini file the engine reads.
            if (key == k.Name && k.Value->empty()) *k.Value = Trim(line.substr(equals + 1));
        }
    }
    if (!sawFont) {
        error = "the descriptor has no [font] section";
        return false;
    }
    for (const Key& k : keys) {
        if (k.Value->empty()) {
            error = std::string("the descriptor does not give the ") + k.Name;
            return false;
        }
    }
    if (!IsPlainName(texture)) {
        error = "the texture must be a file name beside the descriptor, not " + texture;
        return false;
    }
    if (!ParseCount(cell, 1, kMaxCell, CellSize) || !ParseCount(size, 1, CellSize, GlyphSize) ||
        !ParseCount(rows, 1, 256, Rows) || !ParseCount(columns, 1, 256 / Rows, Columns)) {
        error = "the grid is not one the engine can hold: cell " + cell + ", size " + size + ", " +
                rows + " rows of " + columns + " cells (at most 256 cells, the size " +
                "at most the cell)";
        return false;
    }
    Texture = texture;
    return true;
}

bool FontDescriptor::Write(const std::string& path) const {
    Platform::RemoveFile(path);
    FILE* file = Platform::OpenStream(path, "wtx");
    if (file == nullptr) return false;
    bool written =
        fprintf(file, "[font]\ntexture = %s\ncell = %d\nsize = %d\nrows = %d\ncolumns = %d\n",
                Texture.c_str(), CellSize, GlyphSize, Rows, Columns) > 0;
    if (fclose(file) != 0) written = false;
    if (!written) Platform::RemoveFile(path);
    return written;
}
