// BMP: uncompressed rows of 1, 4 or 8-bit palette indices, 16, 24 or 32-bit colour, and
// 16 or 32-bit colour with explicit channel masks. Run-length files are refused. The header
// is checked to fit the file, pixel rows included, before anything is allocated.
#include "platform/d3d9/ImageCodecFormats.h"

namespace ImageCodec {
namespace Formats {

namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;

// One channel of a packed texel: where it sits and how to widen it to eight bits.
struct Channel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0;

    explicit Channel(uint32_t mask = 0) : Mask(mask) {
        if (mask == 0) return;
        while (((mask >> Shift) & 1) == 0) ++Shift;
        Max = mask >> Shift;
    }
    uint32_t Get(uint32_t texel, uint32_t absent) const {
        if (Max == 0) return absent;
        return uint32_t((uint64_t((texel & Mask) >> Shift) * 255 + Max / 2) / Max);
    }
};

struct Layout {
    int Width = 0;
    int Height = 0;
    bool TopDown = false;
    int Bits = 0;
    Channel R, G, B, A;
    size_t PaletteAt = 0;
    size_t PaletteEntrySize = 4;
    size_t PaletteCount = 0;
    size_t PixelsAt = 0;
    size_t Stride = 0;
};

bool ReadLayout(const uint8_t* data, size_t size, Layout& l) {
    if (size < kFileHeader + 12 || data[0] != 'B' || data[1] != 'M') return false;
    const uint32_t headerSize = ReadU32Le(data + 14);
    const uint8_t* h = data + kFileHeader;
    uint32_t compression = kRgb;
    uint32_t colours = 0;
    long long width = 0, height = 0;
    if (headerSize == 12) {
        width = ReadU16Le(h + 4);
        height = ReadU16Le(h + 6);
        l.Bits = ReadU16Le(h + 10);
        l.PaletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 124 && size >= kFileHeader + headerSize) {
        width = int32_t(ReadU32Le(h + 4));
        height = int32_t(ReadU32Le(h + 8));
        l.Bits = ReadU16Le(h + 14);
        compression = ReadU32Le(h + 16);
        colours = ReadU32Le(h + 32);
    } else {
        return false;
    }
    l.TopDown = height < 0;
    if (height < 0) height = -height;
    if (!SidesFit(width, height)) return false;
    l.Width = int(width);
    l.Height = int(height);

    const size_t afterHeader = kFileHeader + headerSize;
    if (compression == kBitFields && (l.Bits == 16 || l.Bits == 32)) {
        // Version 1 headers keep the three masks just after the header, later ones inside it
        // (with the alpha mask from version 4 on).
        const size_t masksAt = headerSize == 40 ? afterHeader : kFileHeader + 40;
        const bool hasAlphaMask = headerSize >= 56;
        if (masksAt + 12 > size) return false;
        l.R = Channel(ReadU32Le(data + masksAt));
        l.G = Channel(ReadU32Le(data + masksAt + 4));
        l.B = Channel(ReadU32Le(data + masksAt + 8));
        if (hasAlphaMask) l.A = Channel(ReadU32Le(data + masksAt + 12));
    } else if (compression != kRgb) {
        return false;
    } else if (l.Bits == 16) {
        l.R = Channel(0x7C00);
        l.G = Channel(0x3E0);
        l.B = Channel(0x1F);
    } else if (l.Bits == 24 || l.Bits == 32) {
        l.R = Channel(0xFF0000);
        l.G = Channel(0xFF00);
        l.B = Channel(0xFF);
        if (l.Bits == 32) l.A = Channel(0xFF000000u);
    } else if (l.Bits == 1 || l.Bits == 4 || l.Bits == 8) {
        const size_t most = size_t(1) << l.Bits;
        l.PaletteCount = colours == 0 || colours > most ? most : colours;
        l.PaletteAt = afterHeader;
        if (l.PaletteAt + l.PaletteCount * l.PaletteEntrySize > size) return false;
    } else {
        return false;
    }

    l.PixelsAt = ReadU32Le(data + 10);
    l.Stride = (size_t(l.Width) * size_t(l.Bits) + 31) / 32 * 4;
    // Every row must be there; only the padding after the last one may be missing.
    const size_t lastRow = (size_t(l.Width) * size_t(l.Bits) + 7) / 8;
    const size_t need = l.Stride * size_t(l.Height - 1) + lastRow;
    return l.PixelsAt >= kFileHeader + 12 && l.PixelsAt <= size && need <= size - l.PixelsAt;
}

uint32_t PaletteEntry(const uint8_t* data, const Layout& l, uint32_t index) {
    // Indices past the palette show black rather than whatever follows it.
    if (index >= l.PaletteCount) return 0xFF000000u;
    const uint8_t* e = data + l.PaletteAt + index * l.PaletteEntrySize;
    return Argb(0xFF, e[2], e[1], e[0]);
}

}  // namespace

bool BmpInfo(const uint8_t* data, size_t size, Info& info) {
    Layout l;
    if (!ReadLayout(data, size, l)) return false;
    info.Width = l.Width;
    info.Height = l.Height;
    info.HasAlpha = l.A.Max != 0;
    return true;
}

bool BmpDecode(const uint8_t* data, size_t size, Image& image) {
    Layout l;
    if (!ReadLayout(data, size, l)) return false;
    image.Width = l.Width;
    image.Height = l.Height;
    image.Pixels.resize(size_t(l.Width) * size_t(l.Height));
    const size_t bytesPerTexel = size_t(l.Bits) / 8;
    bool anyAlpha = false;
    for (int y = 0; y < l.Height; ++y) {
        const uint8_t* row = data + l.PixelsAt + size_t(y) * l.Stride;
        uint32_t* out = &image.Pixels[size_t(l.TopDown ? y : l.Height - 1 - y) * size_t(l.Width)];
        for (int x = 0; x < l.Width; ++x) {
            if (l.PaletteCount != 0) {
                const size_t bit = size_t(x) * size_t(l.Bits);
                const uint32_t index =
                    (row[bit / 8] >> (8 - l.Bits - bit % 8)) & ((1u << l.Bits) - 1);
                out[x] = PaletteEntry(data, l, index);
                continue;
            }
            const uint8_t* p = row + size_t(x) * bytesPerTexel;
            const uint32_t texel = l.Bits == 16   ? ReadU16Le(p)
                                   : l.Bits == 24 ? uint32_t(p[0] | (p[1] << 8) | (p[2] << 16))
                                                  : ReadU32Le(p);
            const uint32_t a = l.A.Get(texel, 0xFF);
            anyAlpha = anyAlpha || (l.A.Max != 0 && a != 0);
            out[x] = Argb(a, l.R.Get(texel, 0), l.G.Get(texel, 0), l.B.Get(texel, 0));
        }
    }
    // Many writers leave the fourth byte of 32-bit texels zero: an alpha channel that is
    // zero everywhere means an opaque picture, not an invisible one.
    image.HasAlpha = anyAlpha;
    if (l.A.Max != 0 && !anyAlpha) {
        for (uint32_t& p : image.Pixels) p |= 0xFF000000u;
    }
    return true;
}

bool BmpEncode(const Image& image, std::vector<uint8_t>& out) {
    const size_t stride = (size_t(image.Width) * 3 + 3) & ~size_t(3);
    const size_t pixelBytes = stride * size_t(image.Height);
    const size_t headers = kFileHeader + 40;
    out.clear();
    out.reserve(headers + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    PutU32Le(out, uint32_t(headers + pixelBytes));
    PutU32Le(out, 0);
    PutU32Le(out, uint32_t(headers));
    PutU32Le(out, 40);
    PutU32Le(out, uint32_t(image.Width));
    PutU32Le(out, uint32_t(image.Height));
    PutU16Le(out, 1);
    PutU16Le(out, 24);
    PutU32Le(out, kRgb);
    PutU32Le(out, uint32_t(pixelBytes));
    for (int i = 0; i < 4; ++i) PutU32Le(out, 0);
    // Rows go bottom up, each padded to four bytes.
    for (int y = image.Height - 1; y >= 0; --y) {
        const uint32_t* in = &image.Pixels[size_t(y) * size_t(image.Width)];
        for (int x = 0; x < image.Width; ++x) {
            out.push_back(uint8_t(in[x]));
            out.push_back(uint8_t(in[x] >> 8));
            out.push_back(uint8_t(in[x] >> 16));
        }
        out.insert(out.end(), stride - size_t(image.Width) * 3, 0);
    }
    return true;
}

}  // namespace Formats
}  // namespace ImageCodec
