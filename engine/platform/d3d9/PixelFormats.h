// Texel encodings of the formats the software device stores, by D3DFORMAT value.
//
// Narrow channels widen by bit replication (so 0 stays 0 and the maximum becomes 255) and
// narrow with rounding to the nearest step; a value read, written and read again is unchanged.
// Formats without alpha read as opaque and store their unused bits as ones. Luminance fills
// R, G and B when read and is stored as the rounded Rec. 601 weighting of R, G and B, so a grey
// colour keeps its level. A8 reads as black with its alpha, as fixed-function sampling does.
#pragma once

#include <cstdint>

namespace PixelFormats {

enum Format : uint32_t {
    kA8R8G8B8 = 21,
    kX8R8G8B8 = 22,
    kR5G6B5 = 23,
    kX1R5G5B5 = 24,
    kA1R5G5B5 = 25,
    kA4R4G4B4 = 26,
    kA8 = 28,
    kL8 = 50,
    kA8L8 = 51,
};

// Bytes per texel, or 0 for a format the device does not store.
int BytesPerPixel(uint32_t format);
// Whether texels of the format keep an alpha channel of their own.
bool HasAlpha(uint32_t format);
// The texel at p as 0xAARRGGBB (formats without alpha read as opaque; luminance fills RGB).
uint32_t Read(uint32_t format, const uint8_t* p);
// Stores 0xAARRGGBB at p in the format, rounding each channel to its width.
void Write(uint32_t format, uint8_t* p, uint32_t argb);

// Whole runs of texels, converted with one format dispatch per call. Unknown formats read as
// zero and write nothing.
void ReadRow(uint32_t format, const uint8_t* src, uint32_t* argb, int count);
void WriteRow(uint32_t format, uint8_t* dst, const uint32_t* argb, int count);

// Per-format codecs for loops that pick the format once, outside the loop.
namespace Codec {

inline uint32_t Load16(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
}
inline uint32_t Load32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint32_t Widen5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
inline uint32_t Widen6(uint32_t v) {
    return (v << 2) | (v >> 4);
}
inline uint32_t Widen4(uint32_t v) {
    return v * 17;
}
// An 8-bit channel to `bits` bits, rounded to the nearest step.
inline uint32_t Narrow(uint32_t c, int bits) {
    const uint32_t top = (1u << bits) - 1;
    return (c * top + 127) / 255;
}
inline uint32_t Luminance(uint32_t argb) {
    const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    return (77 * r + 150 * g + 29 * b + 128) >> 8;
}
inline uint32_t Grey(uint32_t a, uint32_t l) {
    return (a << 24) | (l << 16) | (l << 8) | l;
}

template <uint32_t F>
inline uint32_t Decode(const uint8_t* p);
template <uint32_t F>
inline void Encode(uint8_t* p, uint32_t argb);

template <>
inline uint32_t Decode<kA8R8G8B8>(const uint8_t* p) {
    return Load32(p);
}
template <>
inline uint32_t Decode<kX8R8G8B8>(const uint8_t* p) {
    return Load32(p) | 0xFF000000u;
}
template <>
inline uint32_t Decode<kR5G6B5>(const uint8_t* p) {
    const uint32_t v = Load16(p);
    return 0xFF000000u | (Widen5(v >> 11) << 16) | (Widen6((v >> 5) & 0x3F) << 8) |
           Widen5(v & 0x1F);
}
template <>
inline uint32_t Decode<kA1R5G5B5>(const uint8_t* p) {
    const uint32_t v = Load16(p);
    return ((v & 0x8000) ? 0xFF000000u : 0) | (Widen5((v >> 10) & 0x1F) << 16) |
           (Widen5((v >> 5) & 0x1F) << 8) | Widen5(v & 0x1F);
}
template <>
inline uint32_t Decode<kX1R5G5B5>(const uint8_t* p) {
    return Decode<kA1R5G5B5>(p) | 0xFF000000u;
}
template <>
inline uint32_t Decode<kA4R4G4B4>(const uint8_t* p) {
    const uint32_t v = Load16(p);
    return (Widen4(v >> 12) << 24) | (Widen4((v >> 8) & 0xF) << 16) |
           (Widen4((v >> 4) & 0xF) << 8) | Widen4(v & 0xF);
}
template <>
inline uint32_t Decode<kA8>(const uint8_t* p) {
    return uint32_t(p[0]) << 24;
}
template <>
inline uint32_t Decode<kL8>(const uint8_t* p) {
    return Grey(0xFF, p[0]);
}
template <>
inline uint32_t Decode<kA8L8>(const uint8_t* p) {
    return Grey(p[1], p[0]);
}

template <>
inline void Encode<kA8R8G8B8>(uint8_t* p, uint32_t argb) {
    Store32(p, argb);
}
template <>
inline void Encode<kX8R8G8B8>(uint8_t* p, uint32_t argb) {
    Store32(p, argb | 0xFF000000u);
}
template <>
inline void Encode<kR5G6B5>(uint8_t* p, uint32_t argb) {
    Store16(p, (Narrow((argb >> 16) & 0xFF, 5) << 11) | (Narrow((argb >> 8) & 0xFF, 6) << 5) |
                   Narrow(argb & 0xFF, 5));
}
template <>
inline void Encode<kA1R5G5B5>(uint8_t* p, uint32_t argb) {
    Store16(p, (Narrow(argb >> 24, 1) << 15) | (Narrow((argb >> 16) & 0xFF, 5) << 10) |
                   (Narrow((argb >> 8) & 0xFF, 5) << 5) | Narrow(argb & 0xFF, 5));
}
template <>
inline void Encode<kX1R5G5B5>(uint8_t* p, uint32_t argb) {
    Encode<kA1R5G5B5>(p, argb | 0xFF000000u);
}
template <>
inline void Encode<kA4R4G4B4>(uint8_t* p, uint32_t argb) {
    Store16(p, (Narrow(argb >> 24, 4) << 12) | (Narrow((argb >> 16) & 0xFF, 4) << 8) |
                   (Narrow((argb >> 8) & 0xFF, 4) << 4) | Narrow(argb & 0xFF, 4));
}
template <>
inline void Encode<kA8>(uint8_t* p, uint32_t argb) {
    p[0] = uint8_t(argb >> 24);
}
template <>
inline void Encode<kL8>(uint8_t* p, uint32_t argb) {
    p[0] = uint8_t(Luminance(argb));
}
template <>
inline void Encode<kA8L8>(uint8_t* p, uint32_t argb) {
    p[0] = uint8_t(Luminance(argb));
    p[1] = uint8_t(argb >> 24);
}

}  // namespace Codec
}  // namespace PixelFormats
