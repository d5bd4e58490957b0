#include "FontBaker.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace FontBake {

uint32_t CodePoint(unsigned char byte) {
    switch (byte) {
        case 0x80:
            return 0x20AC;  // euro sign
        case 0x8C:
            return 0x0152;  // capital ligature OE
        case 0x9C:
            return 0x0153;  // small ligature oe
        default:
            return byte;  // ASCII and the Latin-1 letters keep their values
    }
}

bool Blit(const Glyph& glyph, int baseline, int cellx, int celly, Atlas& atlas) {
    const int left = std::max(0, glyph.Left);
    const int top = baseline - glyph.Top;
    bool whole = true;
    for (int row = 0; row < glyph.Rows; row++) {
        const int y = top + row;
        const unsigned char* src = glyph.Pixels + static_cast<std::ptrdiff_t>(row) * glyph.Pitch;
        for (int col = 0; col < glyph.Width; col++) {
            const int x = left + col;
            const uint16_t a = src[col];
            if (a == 0) continue;
            if (y < 0 || y >= atlas.Cell || x >= atlas.Cell) {
                whole = false;
                continue;
            }
            atlas.Texels[static_cast<size_t>(celly + y) * atlas.Side + cellx + x] =
                static_cast<uint16_t>(a << 8 | 0xFF);
        }
    }
    return whole;
}

std::vector<uint8_t> DdsBytes(const Atlas& atlas) {
    std::vector<uint8_t> out(128 + atlas.Texels.size() * 2, 0);
    auto put = [&out](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    const uint32_t side = static_cast<uint32_t>(atlas.Side);
    std::memcpy(out.data(), "DDS ", 4);
    put(4, 124);                             // header size
    put(8, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
    put(12, side);                           // height
    put(16, side);                           // width
    put(20, side * 2);                       // pitch
    put(76, 32);                             // pixel format size
    put(80, 0x20000 | 0x1);                  // luminance with alpha
    put(88, 16);                             // bits per texel
    put(92, 0xFF);                           // luminance mask
    put(104, 0xFF00);                        // alpha mask
    put(108, 0x1000);                        // a texture
    for (size_t i = 0; i < atlas.Texels.size(); i++) {
        out[128 + 2 * i] = static_cast<uint8_t>(atlas.Texels[i]);
        out[128 + 2 * i + 1] = static_cast<uint8_t>(atlas.Texels[i] >> 8);
    }
    return out;
}

}  // namespace FontBake
