// Reads (and heads) uncompressed 2D DDS files in the texel formats the software device stores,
// without converting anything: a level's bytes are the file's own, so 16-bit font textures reach
// the texture exactly as they were written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace DdsReader {

struct Level {
    int Width = 0;
    int Height = 0;
    int Pitch = 0;      // bytes per row; rows are packed in the file
    size_t Offset = 0;  // of the first row, from the start of the file bytes
};

struct Image {
    uint32_t Format = 0;  // D3DFORMAT value
    int Width = 0;
    int Height = 0;
    std::vector<Level> Levels;  // at least one; all lie inside the file bytes
};

// True when the bytes begin with the DDS signature (whether or not the rest is valid).
bool IsDds(const uint8_t* data, size_t size);

// The 128-byte header of a one-level file of the format, for texels packed row by row after
// it; empty for a format outside the nine.
std::vector<uint8_t> Header(uint32_t format, int width, int height);

// Parses the header and lays out the mip levels. False for a bad signature or header, a
// compressed, cube, volume or extended-header file, a texel layout outside the nine formats,
// sides of 0 or beyond 16384, more levels than the size allows, or data shorter than the
// levels it declares. Never reads outside [data, data + size).
bool Read(const uint8_t* data, size_t size, Image& image);

}  // namespace DdsReader
