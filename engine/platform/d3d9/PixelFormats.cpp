#include "platform/d3d9/PixelFormats.h"

#include <type_traits>

namespace PixelFormats {
namespace {

// Calls fn with the format as a compile-time constant, so each caller's loop is compiled once
// per format; returns false for a format the device does not store.
template <typename Fn>
bool WithFormat(uint32_t format, Fn&& fn) {
    switch (format) {
        case kA8R8G8B8:
            fn(std::integral_constant<uint32_t, kA8R8G8B8>());
            return true;
        case kX8R8G8B8:
            fn(std::integral_constant<uint32_t, kX8R8G8B8>());
            return true;
        case kR5G6B5:
            fn(std::integral_constant<uint32_t, kR5G6B5>());
            return true;
        case kX1R5G5B5:
            fn(std::integral_constant<uint32_t, kX1R5G5B5>());
            return true;
        case kA1R5G5B5:
            fn(std::integral_constant<uint32_t, kA1R5G5B5>());
            return true;
        case kA4R4G4B4:
            fn(std::integral_constant<uint32_t, kA4R4G4B4>());
            return true;
        case kA8:
            fn(std::integral_constant<uint32_t, kA8>());
            return true;
        case kL8:
            fn(std::integral_constant<uint32_t, kL8>());
            return true;
        case kA8L8:
            fn(std::integral_constant<uint32_t, kA8L8>());
            return true;
        default:
            return false;
    }
}

}  // namespace

int BytesPerPixel(uint32_t format) {
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

bool HasAlpha(uint32_t format) {
    switch (format) {
        case kA8R8G8B8:
        case kA1R5G5B5:
        case kA4R4G4B4:
        case kA8:
        case kA8L8:
            return true;
        default:
            return false;
    }
}

uint32_t Read(uint32_t format, const uint8_t* p) {
    uint32_t argb = 0;
    WithFormat(format, [&](auto f) { argb = Codec::Decode<decltype(f)::value>(p); });
    return argb;
}

void Write(uint32_t format, uint8_t* p, uint32_t argb) {
    WithFormat(format, [&](auto f) { Codec::Encode<decltype(f)::value>(p, argb); });
}

void ReadRow(uint32_t format, const uint8_t* src, uint32_t* argb, int count) {
    const bool known = WithFormat(format, [&](auto f) {
        constexpr uint32_t kFormat = decltype(f)::value;
        const int bpp = BytesPerPixel(kFormat);
        for (int i = 0; i < count; ++i) argb[i] = Codec::Decode<kFormat>(src + i * bpp);
    });
    if (!known) {
        for (int i = 0; i < count; ++i) argb[i] = 0;
    }
}

void WriteRow(uint32_t format, uint8_t* dst, const uint32_t* argb, int count) {
    WithFormat(format, [&](auto f) {
        constexpr uint32_t kFormat = decltype(f)::value;
        const int bpp = BytesPerPixel(kFormat);
        for (int i = 0; i < count; ++i) Codec::Encode<kFormat>(dst + i * bpp, argb[i]);
    });
}

}  // namespace PixelFormats
