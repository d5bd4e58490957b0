// The image codec's readers and writers, one set per container. Each reader checks the
// header (sides within kMaxSide, and for BMP and TGA that the file holds every pixel it
// claims) before it allocates anything, and leaves the image empty when it refuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d9/ImageCodec.h"

namespace ImageCodec {
namespace Formats {

struct Info {
    int Width = 0;
    int Height = 0;
    bool HasAlpha = false;
};

bool PngInfo(const uint8_t* data, size_t size, Info& info);
bool PngDecode(const uint8_t* data, size_t size, Image& image);
bool PngEncode(const Image& image, bool alpha, std::vector<uint8_t>& out);

bool JpegInfo(const uint8_t* data, size_t size, Info& info);
bool JpegDecode(const uint8_t* data, size_t size, Image& image);
bool JpegEncode(const Image& image, std::vector<uint8_t>& out);

bool BmpInfo(const uint8_t* data, size_t size, Info& info);
bool BmpDecode(const uint8_t* data, size_t size, Image& image);
bool BmpEncode(const Image& image, std::vector<uint8_t>& out);

bool TgaInfo(const uint8_t* data, size_t size, Info& info);
bool TgaDecode(const uint8_t* data, size_t size, Image& image);
bool TgaEncode(const Image& image, bool alpha, std::vector<uint8_t>& out);

inline bool SidesFit(long long w, long long h) {
    return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide;
}

inline uint16_t ReadU16Le(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t ReadU32Le(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint32_t ReadU32Be(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void PutU16Le(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void PutU32Le(std::vector<uint8_t>& out, uint32_t v) {
    PutU16Le(out, v & 0xFFFF);
    PutU16Le(out, v >> 16);
}

inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// The libraries write blue, green, red, alpha bytes, which is 0xAARRGGBB in a little-endian
// word; a big-endian host turns each texel round once the rows are in.
inline void BgraBytesToTexels(std::vector<uint32_t>& pixels) {
    const uint32_t probe = 1;
    uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    if (first == 1) return;
    for (uint32_t& p : pixels) {
        p = (p >> 24) | ((p >> 8) & 0xFF00) | ((p << 8) & 0xFF0000) | (p << 24);
    }
}

}  // namespace Formats
}  // namespace ImageCodec
