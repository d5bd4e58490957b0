// TGA: colour-mapped, true-colour and grey images, plain or run-length encoded. The format
// has no signature, so the header is checked field by field, and the file must hold every
// pixel it claims (for run-length data, a walk over the packets) before anything is allocated.
#include "platform/d3d9/ImageCodecFormats.h"

namespace ImageCodec {
namespace Formats {

namespace {

constexpr size_t kHeader = 18;

struct Layout {
    int Width = 0;
    int Height = 0;
    bool Mapped = false;
    bool Grey = false;
    bool RunLength = false;
    size_t PixelBytes = 0;
    int PixelBits = 0;
    bool TopDown = false;
    bool RightToLeft = false;
    int AlphaBits = 0;
    size_t MapAt = 0;
    size_t MapFirst = 0;
    size_t MapCount = 0;
    int MapBits = 0;
    size_t DataAt = 0;
};

bool ColourBitsValid(int bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

bool ReadLayout(const uint8_t* data, size_t size, Layout& l) {
    if (size < kHeader) return false;
    const int idLength = data[0];
    const int mapType = data[1];
    const int type = data[2];
    const int baseType = type & ~8;
    if (mapType > 1 || (type & ~(8 | 3)) != 0 || baseType == 0) return false;
    l.Mapped = baseType == 1;
    l.Grey = baseType == 3;
    l.RunLength = (type & 8) != 0;
    if (l.Mapped && mapType != 1) return false;
    l.MapFirst = ReadU16Le(data + 3);
    l.MapCount = ReadU16Le(data + 5);
    l.MapBits = data[7];
    if (mapType == 1 && (!ColourBitsValid(l.MapBits) || (l.Mapped && l.MapCount == 0))) {
        return false;
    }
    if (!SidesFit(ReadU16Le(data + 12), ReadU16Le(data + 14))) return false;
    l.Width = ReadU16Le(data + 12);
    l.Height = ReadU16Le(data + 14);
    l.PixelBits = data[16];
    const int descriptor = data[17];
    l.AlphaBits = descriptor & 0x0F;
    l.RightToLeft = (descriptor & 0x10) != 0;
    l.TopDown = (descriptor & 0x20) != 0;
    if (l.Mapped) {
        if (l.PixelBits != 8 && l.PixelBits != 16) return false;
    } else if (l.Grey) {
        if (l.PixelBits != 8 && l.PixelBits != 16) return false;
    } else if (!ColourBitsValid(l.PixelBits)) {
        return false;
    }
    l.PixelBytes = size_t(l.PixelBits + 7) / 8;
    l.MapAt = kHeader + size_t(idLength);
    const size_t mapBytes = mapType == 1 ? l.MapCount * (size_t(l.MapBits + 7) / 8) : 0;
    l.DataAt = l.MapAt + mapBytes;
    return l.DataAt <= size;
}

// True when the data holds every pixel: for run-length files, each packet header and the
// texels it carries are there until the pixel count is reached.
bool HoldsEveryPixel(const uint8_t* data, size_t size, const Layout& l) {
    const size_t count = size_t(l.Width) * size_t(l.Height);
    const size_t available = size - l.DataAt;
    if (!l.RunLength) return count * l.PixelBytes <= available;
    size_t p = l.DataAt;
    for (size_t done = 0; done < count;) {
        if (p >= size) return false;
        const uint8_t packet = data[p++];
        const size_t run = size_t(packet & 0x7F) + 1;
        const size_t stored = (packet & 0x80) != 0 ? 1 : run;
        if (stored * l.PixelBytes > size - p) return false;
        p += stored * l.PixelBytes;
        done += run;
    }
    return true;
}

// A 15, 16, 24 or 32-bit colour as stored (blue first); the top bit of a 16-bit colour is
// alpha only when the descriptor says the texels carry one.
uint32_t Colour(const uint8_t* p, int bits, bool alpha) {
    if (bits == 15 || bits == 16) {
        const uint32_t v = ReadU16Le(p);
        const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
        const uint32_t a = bits == 16 && alpha ? ((v & 0x8000) != 0 ? 0xFF : 0) : 0xFF;
        return Argb(a, (r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
    }
    return Argb(bits == 32 ? p[3] : 0xFF, p[2], p[1], p[0]);
}

uint32_t Texel(const uint8_t* data, const uint8_t* p, const Layout& l) {
    if (l.Grey) {
        return Argb(l.PixelBits == 16 ? p[1] : 0xFF, p[0], p[0], p[0]);
    }
    if (l.Mapped) {
        const size_t index = l.PixelBits == 16 ? ReadU16Le(p) : p[0];
        // Indices outside the map show black rather than whatever lies beside it.
        if (index < l.MapFirst || index - l.MapFirst >= l.MapCount) return 0xFF000000u;
        const size_t entry = size_t(l.MapBits + 7) / 8;
        return Colour(data + l.MapAt + (index - l.MapFirst) * entry, l.MapBits, l.AlphaBits > 0);
    }
    return Colour(p, l.PixelBits, l.AlphaBits > 0);
}

bool HasAlpha(const Layout& l) {
    const int bits = l.Mapped ? l.MapBits : l.PixelBits;
    if (l.Grey) return bits == 16;
    return bits == 32 || (bits == 16 && l.AlphaBits > 0);
}

}  // namespace

bool TgaInfo(const uint8_t* data, size_t size, Info& info) {
    Layout l;
    if (!ReadLayout(data, size, l)) return false;
    info.Width = l.Width;
    info.Height = l.Height;
    info.HasAlpha = HasAlpha(l);
    return true;
}

bool TgaDecode(const uint8_t* data, size_t size, Image& image) {
    Layout l;
    if (!ReadLayout(data, size, l) || !HoldsEveryPixel(data, size, l)) return false;
    image.Width = l.Width;
    image.Height = l.Height;
    image.HasAlpha = HasAlpha(l);
    const size_t count = size_t(l.Width) * size_t(l.Height);
    image.Pixels.resize(count);
    // Texels come in file order; each lands where the origin bits put it.
    const uint8_t* p = data + l.DataAt;
    size_t left = 0;  // texels still to come from the current packet
    bool repeat = false;
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (l.RunLength && left == 0) {
            const uint8_t packet = *p++;
            left = size_t(packet & 0x7F) + 1;
            repeat = (packet & 0x80) != 0;
            if (repeat) {
                value = Texel(data, p, l);
                p += l.PixelBytes;
            }
        }
        if (!l.RunLength || !repeat) {
            value = Texel(data, p, l);
            p += l.PixelBytes;
        }
        if (left > 0) --left;
        const size_t fileRow = i / size_t(l.Width);
        const size_t fileColumn = i % size_t(l.Width);
        const size_t y = l.TopDown ? fileRow : size_t(l.Height) - 1 - fileRow;
        const size_t x = l.RightToLeft ? size_t(l.Width) - 1 - fileColumn : fileColumn;
        image.Pixels[y * size_t(l.Width) + x] = value;
    }
    return true;
}

bool TgaEncode(const Image& image, bool alpha, std::vector<uint8_t>& out) {
    out.assign(kHeader, 0);
    out[2] = 2;  // uncompressed true colour
    out[12] = uint8_t(image.Width);
    out[13] = uint8_t(image.Width >> 8);
    out[14] = uint8_t(image.Height);
    out[15] = uint8_t(image.Height >> 8);
    out[16] = alpha ? 32 : 24;
    // Rows top down; the low bits count the alpha bits of each texel.
    out[17] = uint8_t(0x20 | (alpha ? 8 : 0));
    if (image.Width > 0xFFFF || image.Height > 0xFFFF) return false;
    out.reserve(kHeader + image.Pixels.size() * (alpha ? 4 : 3));
    for (uint32_t p : image.Pixels) {
        out.push_back(uint8_t(p));
        out.push_back(uint8_t(p >> 8));
        out.push_back(uint8_t(p >> 16));
        if (alpha) out.push_back(uint8_t(p >> 24));
    }
    return true;
}

}  // namespace Formats
}  // namespace ImageCodec
