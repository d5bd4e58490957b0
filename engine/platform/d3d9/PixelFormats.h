// Texel encodings of the formats the software device stores, by D3DFORMAT value.
#pragma once

#include <cstdint>

namespace PixelFormats {

// Bytes per texel, or 0 for a format the device does not store.
int BytesPerPixel(uint32_t format);
// The texel at p as 0xAARRGGBB (formats without alpha read as opaque; luminance fills RGB).
uint32_t Read(uint32_t format, const uint8_t* p);
// Stores 0xAARRGGBB at p in the format, rounding each channel to its width.
void Write(uint32_t format, uint8_t* p, uint32_t argb);

}  // namespace PixelFormats
