#include "platform/d3d9/DdsReader.h"

#include <cstring>

namespace DdsReader {

namespace {

// Header layout: "DDS " then a 124-byte header whose pixel-format block sits at byte 76.
constexpr size_t kHeaderEnd = 4 + 124;
constexpr uint32_t kHeaderSize = 124;
constexpr uint32_t kPixelFormatSize = 32;

constexpr uint32_t kFlagMipMapCount = 0x20000;
constexpr uint32_t kCaps2CubeMap = 0x200;
constexpr uint32_t kCaps2Volume = 0x200000;

constexpr uint32_t kPfAlphaPixels = 0x1;
constexpr uint32_t kPfAlpha = 0x2;
constexpr uint32_t kPfFourCC = 0x4;
constexpr uint32_t kPfRgb = 0x40;
constexpr uint32_t kPfLuminance = 0x20000;

// D3DFORMAT values of the texel layouts we store.
constexpr uint32_t kA8R8G8B8 = 21, kX8R8G8B8 = 22, kR5G6B5 = 23, kX1R5G5B5 = 24, kA1R5G5B5 = 25,
                   kA4R4G4B4 = 26, kA8 = 28, kL8 = 50, kA8L8 = 51;

constexpr int kMaxSide = 16384;

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int BytesPerTexel(uint32_t format) {
    switch (format) {
        case kA8R8G8B8:
        case kX8R8G8B8:
            return 4;
        case kR5G6B5:
        case kX1R5G5B5:
        case kA1R5G5B5:
        case kA4R4G4B4:
        case kA8L8:
            return 2;
        case kA8:
        case kL8:
            return 1;
        default:
            return 0;
    }
}

struct PixelFormat {
    uint32_t Flags, FourCC, Bits, R, G, B, A;
};

// Maps the file's masks to a format; 0 when it is not one we store.
uint32_t FormatOf(const PixelFormat& pf) {
    // Some writers store the format number itself where a four-character code would go.
    if (pf.Flags & kPfFourCC) return BytesPerTexel(pf.FourCC) != 0 ? pf.FourCC : 0;
    const uint32_t a = (pf.Flags & (kPfAlphaPixels | kPfAlpha)) ? pf.A : 0;
    if (pf.Flags & kPfRgb) {
        if (pf.Bits == 32 && pf.R == 0xFF0000 && pf.G == 0xFF00 && pf.B == 0xFF) {
            if (a == 0xFF000000) return kA8R8G8B8;
            if (a == 0) return kX8R8G8B8;
        }
        if (pf.Bits == 16) {
            if (pf.R == 0xF800 && pf.G == 0x7E0 && pf.B == 0x1F && a == 0) return kR5G6B5;
            if (pf.R == 0x7C00 && pf.G == 0x3E0 && pf.B == 0x1F) {
                if (a == 0x8000) return kA1R5G5B5;
                if (a == 0) return kX1R5G5B5;
            }
            if (pf.R == 0xF00 && pf.G == 0xF0 && pf.B == 0xF && a == 0xF000) return kA4R4G4B4;
        }
        return 0;
    }
    if (pf.Flags & kPfLuminance) {
        if (pf.Bits == 8 && pf.R == 0xFF && a == 0) return kL8;
        if (pf.Bits == 16 && pf.R == 0xFF && a == 0xFF00) return kA8L8;
        return 0;
    }
    if ((pf.Flags & kPfAlpha) && pf.Bits == 8 && pf.A == 0xFF) return kA8;
    return 0;
}

}  // namespace

bool IsDds(const uint8_t* data, size_t size) {
    return data != nullptr && size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
}

bool Read(const uint8_t* data, size_t size, Image& image) {
    image = Image();
    if (!IsDds(data, size) || size < kHeaderEnd) return false;
    const uint8_t* h = data + 4;
    if (U32(h) != kHeaderSize || U32(h + 72) != kPixelFormatSize) return false;
    const uint32_t flags = U32(h + 4);
    const uint32_t height = U32(h + 8);
    const uint32_t width = U32(h + 12);
    const uint32_t mipCount = U32(h + 24);
    PixelFormat pf{U32(h + 76), U32(h + 80), U32(h + 84), U32(h + 88),
                   U32(h + 92), U32(h + 96), U32(h + 100)};
    const uint32_t caps2 = U32(h + 108);

    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
    if (caps2 & (kCaps2CubeMap | kCaps2Volume)) return false;
    const uint32_t format = FormatOf(pf);
    if (format == 0) return false;

    int fullChain = 1;
    for (uint32_t side = width > height ? width : height; side > 1; side >>= 1) ++fullChain;
    int levels = 1;
    if ((flags & kFlagMipMapCount) && mipCount > 1) {
        if (mipCount > static_cast<uint32_t>(fullChain)) return false;
        levels = static_cast<int>(mipCount);
    }

    const int bpp = BytesPerTexel(format);
    size_t offset = kHeaderEnd;
    image.Levels.reserve(levels);
    for (int i = 0; i < levels; ++i) {
        Level level;
        level.Width = static_cast<int>(width >> i) > 0 ? static_cast<int>(width >> i) : 1;
        level.Height = static_cast<int>(height >> i) > 0 ? static_cast<int>(height >> i) : 1;
        level.Pitch = level.Width * bpp;
        level.Offset = offset;
        // Sides are at most 16384 and texels at most 4 bytes, so this cannot overflow.
        const size_t bytes = static_cast<size_t>(level.Pitch) * level.Height;
        if (bytes > size - offset) {
            image = Image();
            return false;
        }
        offset += bytes;
        image.Levels.push_back(level);
    }
    image.Format = format;
    image.Width = static_cast<int>(width);
    image.Height = static_cast<int>(height);
    return true;
}

}  // namespace DdsReader
