// Point sampling of 32-bit ARGB texels, and linear filtering of those and of two-byte
// luminance-alpha texels, along a span, where both texture coordinates may change from pixel
// to pixel (turned sprites and glyphs). The coordinates step in 16.16 fixed
// point as the general sampler steps them; the caller hands over only spans whose coordinates
// stay within 32 bits from the first pixel to the last, so 32-bit lanes step them exactly.
#include <cstring>

#include "platform/d3d9/SoftRasterPipeline.h"
#include "platform/d3d9/SoftRasterVectors.h"

namespace SoftRaster {
namespace detail {
namespace {

// One axis's texel index: clamped to the last texel, or wrapped by a power-of-two mask.
template <bool kWrap>
inline int32_t AxisIndex(uint32_t s, int32_t max) {
    const int32_t k = int32_t(s) >> 16;
    if (kWrap) return k & max;
    return k < 0 ? 0 : k > max ? max : k;
}

// One pixel at a time: the path for processors without gathers.
template <bool kWrapU, bool kWrapV>
void WalkOneByOne(const TexelWalk& w, int32_t u, int32_t du, int32_t v, int32_t dv, int n,
                  uint32_t* out) {
    uint32_t su = uint32_t(u), sv = uint32_t(v);
    for (int i = 0; i < n; ++i, su += uint32_t(du), sv += uint32_t(dv)) {
        const uint8_t* texel = w.Bits + std::ptrdiff_t(AxisIndex<kWrapV>(sv, w.VMax)) * w.Pitch +
                               std::ptrdiff_t(AxisIndex<kWrapU>(su, w.UMax)) * 4;
        std::memcpy(&out[i], texel, 4);
    }
}

}  // namespace

#if SOFTRASTER_X86_PATHS
SOFTRASTER_TARGET_AVX2
namespace avx2 {
#include "SoftRasterLinearLanes.inc"
#include "SoftRasterWalkLanes.inc"
}  // namespace avx2
SOFTRASTER_TARGET_END
SOFTRASTER_TARGET_AVX512
namespace avx512 {
#include "SoftRasterLinearLanes.inc"
#include "SoftRasterWalkLanes.inc"
}  // namespace avx512
SOFTRASTER_TARGET_END
#endif

namespace {

template <bool kWrapU, bool kWrapV>
WalkFn PickWalk() {
    switch (CurrentVectorPath()) {
#if SOFTRASTER_X86_PATHS
        case VectorPath::kAvx512:
            return &avx512::Walk<kWrapU, kWrapV>;
        case VectorPath::kAvx2:
            return &avx2::Walk<kWrapU, kWrapV>;
#endif
        case VectorPath::kScalar:
            // The reference keeps to the general sampler, which the walks must match.
            return nullptr;
        default:
            return &WalkOneByOne<kWrapU, kWrapV>;
    }
}

// Linear filtering needs gathers: other paths keep to the general sampler.
template <uint32_t kFormat, bool kWrapU, bool kWrapV>
WalkFn PickLinearWalk() {
    switch (CurrentVectorPath()) {
#if SOFTRASTER_X86_PATHS
        case VectorPath::kAvx512:
            return &avx512::LinearWalk<kFormat, kWrapU, kWrapV>;
        case VectorPath::kAvx2:
            return &avx2::LinearWalk<kFormat, kWrapU, kWrapV>;
#endif
        default:
            return nullptr;
    }
}

template <uint32_t kFormat>
WalkFn PickLinearWalk(bool wrapU, bool wrapV) {
    if (wrapU)
        return wrapV ? PickLinearWalk<kFormat, true, true>()
                     : PickLinearWalk<kFormat, true, false>();
    return wrapV ? PickLinearWalk<kFormat, false, true>() : PickLinearWalk<kFormat, false, false>();
}

// How a walk handles an axis: 0 clamps, 1 wraps, -1 cannot.
int WalkAxis(uint32_t mode, int size) {
    switch (mode) {
        case kAddrWrap:
            return (size & (size - 1)) == 0 ? 1 : -1;
        case kAddrMirror:
        case kAddrMirrorOnce:
        case kAddrBorder:
            return -1;
        default:  // clamp, as the general sampler treats unknown modes
            return 0;
    }
}

// Fills walk for a level whose every texel byte offset fits the lanes; false where it cannot.
bool FillWalk(const Surface& level, int bpp, TexelWalk& walk) {
    if (int64_t(level.Height - 1) * level.Pitch + int64_t(level.Width) * bpp > INT32_MAX)
        return false;
    walk.Bits = level.Bits;
    walk.Pitch = level.Pitch;
    walk.UMax = level.Width - 1;
    walk.VMax = level.Height - 1;
    return true;
}

}  // namespace

WalkFn PickLinearWalk(const Surface& level, uint32_t addressU, uint32_t addressV, TexelWalk& walk) {
    using namespace PixelFormats;
    if (!NativeArgb()) return nullptr;
    const int wrapU = WalkAxis(addressU, level.Width), wrapV = WalkAxis(addressV, level.Height);
    if (wrapU < 0 || wrapV < 0) return nullptr;
    switch (level.Format) {
        case kA8R8G8B8:
            return FillWalk(level, 4, walk) ? PickLinearWalk<kA8R8G8B8>(wrapU, wrapV) : nullptr;
        case kA8L8:
            // Texels are read in pairs, which a level one texel wide does not have.
            if (level.Width < 2) return nullptr;
            return FillWalk(level, 2, walk) ? PickLinearWalk<kA8L8>(wrapU, wrapV) : nullptr;
        default:
            return nullptr;
    }
}

WalkFn PickWalk(const Surface& level, uint32_t addressU, uint32_t addressV, TexelWalk& walk) {
    if (level.Format != PixelFormats::kA8R8G8B8 || !NativeArgb()) return nullptr;
    const int wrapU = WalkAxis(addressU, level.Width), wrapV = WalkAxis(addressV, level.Height);
    if (wrapU < 0 || wrapV < 0) return nullptr;
    if (!FillWalk(level, 4, walk)) return nullptr;
    if (wrapU) return wrapV ? PickWalk<true, true>() : PickWalk<true, false>();
    return wrapV ? PickWalk<false, true>() : PickWalk<false, false>();
}

}  // namespace detail
}  // namespace SoftRaster
