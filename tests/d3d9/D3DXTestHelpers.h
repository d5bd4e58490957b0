// Builds small DDS files in memory for the image-loading tests.
#pragma once

#include <cstdint>
#include <vector>

namespace D3DXTest {

struct DdsPixelFormat {
    uint32_t Flags, FourCC, Bits, R, G, B, A;
};

// Pixel-format blocks as common writers store them.
inline DdsPixelFormat DdsA8R8G8B8() {
    return {0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
}
inline DdsPixelFormat DdsX8R8G8B8() {
    return {0x40, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
}
inline DdsPixelFormat DdsR5G6B5() {
    return {0x40, 0, 16, 0xF800, 0x7E0, 0x1F, 0};
}
inline DdsPixelFormat DdsX1R5G5B5() {
    return {0x40, 0, 16, 0x7C00, 0x3E0, 0x1F, 0};
}
inline DdsPixelFormat DdsA1R5G5B5() {
    return {0x41, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000};
}
inline DdsPixelFormat DdsA4R4G4B4() {
    return {0x41, 0, 16, 0xF00, 0xF0, 0xF, 0xF000};
}
inline DdsPixelFormat DdsA8() {
    return {0x2, 0, 8, 0, 0, 0, 0xFF};
}
inline DdsPixelFormat DdsL8() {
    return {0x20000, 0, 8, 0xFF, 0, 0, 0};
}
inline DdsPixelFormat DdsA8L8() {
    return {0x20001, 0, 16, 0xFF, 0, 0, 0xFF00};
}

inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A DDS file of the given size and pixel format; mipCount 0 leaves the mip-count flag off.
// The texel bytes follow the header unchanged.
inline std::vector<uint8_t> MakeDds(uint32_t w, uint32_t h, const DdsPixelFormat& pf,
                                    uint32_t mipCount, const std::vector<uint8_t>& texels) {
    std::vector<uint8_t> b(128 + texels.size(), 0);
    b[0] = 'D';
    b[1] = 'D';
    b[2] = 'S';
    b[3] = ' ';
    PutU32(b, 4, 124);
    PutU32(b, 8, 0x1007 | (mipCount ? 0x20000u : 0u));
    PutU32(b, 12, h);
    PutU32(b, 16, w);
    PutU32(b, 28, mipCount);
    PutU32(b, 76, 32);
    PutU32(b, 80, pf.Flags);
    PutU32(b, 84, pf.FourCC);
    PutU32(b, 88, pf.Bits);
    PutU32(b, 92, pf.R);
    PutU32(b, 96, pf.G);
    PutU32(b, 100, pf.B);
    PutU32(b, 104, pf.A);
    PutU32(b, 108, 0x1000 | (mipCount > 1 ? 0x400008u : 0u));
    for (size_t i = 0; i < texels.size(); ++i) b[128 + i] = texels[i];
    return b;
}

// Bytes 0, 1, 2, ... wrapping at 256: every texel distinct enough to catch reordering.
inline std::vector<uint8_t> CountingBytes(size_t n, uint8_t start = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(start + i * 7);
    return v;
}

}  // namespace D3DXTest
