// Image files in and out for the software device's image helpers: PNG, JPEG, BMP and TGA
// decode to one neutral layout (0xAARRGGBB texels, row by row, no padding), and that layout
// encodes back to BMP, JPEG, TGA or PNG. DDS files have their own reader (DdsReader).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ImageCodec {

// Container kinds, numbered as the image-file-format enumeration of the image helpers.
enum FileFormat : int {
    kBmp = 0,
    kJpg = 1,
    kTga = 2,
    kPng = 3,
    kDds = 4,
    kUnknown = -1,
};

struct Image {
    int Width = 0;
    int Height = 0;
    // True when the file stores an alpha channel (RGBA, grey with alpha, paletted with
    // transparency, 32-bit BMP with non-zero alpha).
    bool HasAlpha = false;
    std::vector<uint32_t> Pixels;  // Width * Height texels, 0xAARRGGBB
};

// Largest side we accept from a file (the largest texture side the renderer asks for);
// bigger images are rejected from their header, before a small file can claim a huge buffer.
constexpr int kMaxSide = 8192;

// The container kind of the bytes, by signature (TGA, which has none, when the decoder
// accepts the header); kUnknown when nothing here reads them.
FileFormat Identify(const uint8_t* data, size_t size);

// Reads only the header: size, alpha and kind. False for anything not decodable.
bool ReadInfo(const uint8_t* data, size_t size, int& width, int& height, bool& hasAlpha,
              FileFormat& format);

// Decodes PNG, JPEG, BMP or TGA. False (image left empty) for anything else, truncated or
// corrupt data, or sides beyond kMaxSide.
bool Decode(const uint8_t* data, size_t size, Image& image);

// Encodes as BMP, JPG, TGA or PNG. writeAlpha keeps the alpha channel where the container
// can hold it (PNG, TGA); BMP and JPEG are always written as RGB. False for other kinds or
// an empty image.
bool Encode(const Image& image, FileFormat format, bool writeAlpha, std::vector<uint8_t>& out);

}  // namespace ImageCodec
