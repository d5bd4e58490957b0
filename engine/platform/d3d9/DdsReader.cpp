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

constexpr int kMaxSide = 16384;

// The texel layouts we store (D3DFORMAT value), as a pixel-format block describes them.
struct Layout {
    uint32_t Format, Kind, Bits, R, G, B, A;
};
constexpr Layout kLayouts[] = {
    {21, kPfRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {22, kPfRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {23, kPfRgb, 16, 0xF800, 0x7E0, 0x1F, 0},
    {24, kPfRgb, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {25, kPfRgb, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {26, kPfRgb, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {28, kPfAlpha, 8, 0, 0, 0, 0xFF},
    {50, kPfLuminance, 8, 0xFF, 0, 0, 0},
    {51, kPfLuminance, 16, 0xFF, 0, 0, 0xFF00},
};

const Layout* LayoutOf(uint32_t format) {
    for (const Layout& l : kLayouts) {
        if (l.Format == format) return &l;
    }
    return nullptr;
}

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct PixelFormat {
    uint32_t Flags, FourCC, Bits, R, G, B, A;
};

// Maps the file's masks to a format; 0 when it is not one we store.
uint32_t FormatOf(const PixelFormat& pf) {
    // Some writers store the format number itself where a four-character code would go.
    if (pf.Flags & kPfFourCC) return LayoutOf(pf.FourCC) != nullptr ? pf.FourCC : 0;
    const uint32_t a = (pf.Flags & (kPfAlphaPixels | kPfAlpha)) ? pf.A : 0;
    const uint32_t kind = (pf.Flags & kPfRgb)         ? kPfRgb
                          : (pf.Flags & kPfLuminance) ? kPfLuminance
                          : (pf.Flags & kPfAlpha)     ? kPfAlpha
                                                      : 0;
    for (const Layout& l : kLayouts) {
        // Colour masks of an alpha-only layout mean nothing, whatever a writer left there.
        const bool colours = kind == kPfAlpha || (pf.R == l.R && pf.G == l.G && pf.B == l.B);
        if (l.Kind == kind && l.Bits == pf.Bits && colours && l.A == a) return l.Format;
    }
    return 0;
}

}  // namespace

bool IsDds(const uint8_t* data, size_t size) {
    return data != nullptr && size >= 4 && std::memcmp(data, "DDS ", 4) == 0;
}

std::vector<uint8_t> Header(uint32_t format, int width, int height) {
    const Layout* l = LayoutOf(format);
    if (l == nullptr || width <= 0 || height <= 0) return {};
    std::vector<uint8_t> b(kHeaderEnd, 0);
    std::memcpy(b.data(), "DDS ", 4);
    uint8_t* h = b.data() + 4;
    PutU32(h, kHeaderSize);
    PutU32(h + 4, 0x100F);  // caps, height, width, pitch and pixel format are valid
    PutU32(h + 8, uint32_t(height));
    PutU32(h + 12, uint32_t(width));
    PutU32(h + 16, uint32_t(width) * (l->Bits / 8));
    PutU32(h + 72, kPixelFormatSize);
    PutU32(h + 76, l->Kind | (l->A != 0 && l->Kind != kPfAlpha ? kPfAlphaPixels : 0));
    PutU32(h + 84, l->Bits);
    PutU32(h + 88, l->R);
    PutU32(h + 92, l->G);
    PutU32(h + 96, l->B);
    PutU32(h + 100, l->A);
    PutU32(h + 104, 0x1000);  // a plain texture
    return b;
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

    const int bpp = int(LayoutOf(format)->Bits / 8);
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
