// Point sampling of 32-bit ARGB texels along a slanted span, where both texture coordinates
// change from pixel to pixel (turned sprites and glyphs). The coordinates step in 16.16 fixed
// point as the general sampler steps them; the caller hands over only spans whose coordinates
// stay within 32 bits from the first pixel to the last, so 32-bit lanes step them exactly.
#include <cstring>

#include "platform/d3d9/SoftRasterPipeline.h"

#if SOFTRASTER_X86_PATHS
#include <immintrin.h>
#endif

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

#if SOFTRASTER_X86_PATHS
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {
template <bool kWrap>
inline __m256i AxisIndex(__m256i s, __m256i max) {
    const __m256i k = _mm256_srai_epi32(s, 16);
    if (kWrap) return _mm256_and_si256(k, max);
    return _mm256_min_epi32(_mm256_max_epi32(k, _mm256_setzero_si256()), max);
}

template <bool kWrapU, bool kWrapV>
void Walk(const TexelWalk& w, int32_t u, int32_t du, int32_t v, int32_t dv, int n, uint32_t* out) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i su =
        _mm256_add_epi32(_mm256_set1_epi32(u), _mm256_mullo_epi32(lane, _mm256_set1_epi32(du)));
    __m256i sv =
        _mm256_add_epi32(_mm256_set1_epi32(v), _mm256_mullo_epi32(lane, _mm256_set1_epi32(dv)));
    const __m256i stepU = _mm256_set1_epi32(int32_t(uint32_t(du) * 8u));
    const __m256i stepV = _mm256_set1_epi32(int32_t(uint32_t(dv) * 8u));
    const __m256i maxU = _mm256_set1_epi32(w.UMax), maxV = _mm256_set1_epi32(w.VMax);
    const __m256i pitch = _mm256_set1_epi32(w.Pitch);
    const int* base = reinterpret_cast<const int*>(w.Bits);
    // The output holds whole vectors, so only the gather of a tail needs its mask.
    for (int i = 0; i < n; i += 8) {
        const __m256i offset =
            _mm256_add_epi32(_mm256_mullo_epi32(AxisIndex<kWrapV>(sv, maxV), pitch),
                             _mm256_slli_epi32(AxisIndex<kWrapU>(su, maxU), 2));
        const __m256i live = _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), lane);
        const __m256i t =
            _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, offset, live, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), t);
        su = _mm256_add_epi32(su, stepU);
        sv = _mm256_add_epi32(sv, stepV);
    }
}
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512dq"))), \
                             apply_to = function)
#else
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512dq")
// The compiler's own AVX-512 header starts some results from a deliberately undefined value,
// which its flow analysis then reports as used uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
namespace avx512 {
template <bool kWrap>
inline __m512i AxisIndex(__m512i s, __m512i max) {
    const __m512i k = _mm512_srai_epi32(s, 16);
    if (kWrap) return _mm512_and_si512(k, max);
    return _mm512_min_epi32(_mm512_max_epi32(k, _mm512_setzero_si512()), max);
}

template <bool kWrapU, bool kWrapV>
void Walk(const TexelWalk& w, int32_t u, int32_t du, int32_t v, int32_t dv, int n, uint32_t* out) {
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i su =
        _mm512_add_epi32(_mm512_set1_epi32(u), _mm512_mullo_epi32(lane, _mm512_set1_epi32(du)));
    __m512i sv =
        _mm512_add_epi32(_mm512_set1_epi32(v), _mm512_mullo_epi32(lane, _mm512_set1_epi32(dv)));
    const __m512i stepU = _mm512_set1_epi32(int32_t(uint32_t(du) * 16u));
    const __m512i stepV = _mm512_set1_epi32(int32_t(uint32_t(dv) * 16u));
    const __m512i maxU = _mm512_set1_epi32(w.UMax), maxV = _mm512_set1_epi32(w.VMax);
    const __m512i pitch = _mm512_set1_epi32(w.Pitch);
    for (int i = 0; i < n; i += 16) {
        const __m512i offset =
            _mm512_add_epi32(_mm512_mullo_epi32(AxisIndex<kWrapV>(sv, maxV), pitch),
                             _mm512_slli_epi32(AxisIndex<kWrapU>(su, maxU), 2));
        const __mmask16 live = n - i >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - i)) - 1);
        const __m512i t =
            _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), live, offset, w.Bits, 1);
        _mm512_storeu_si512(out + i, t);
        su = _mm512_add_epi32(su, stepU);
        sv = _mm512_add_epi32(sv, stepV);
    }
}
}  // namespace avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif
#endif  // SOFTRASTER_X86_PATHS

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

}  // namespace

WalkFn PickWalk(const Surface& level, uint32_t addressU, uint32_t addressV, TexelWalk& walk) {
    if (level.Format != PixelFormats::kA8R8G8B8 || !NativeArgb()) return nullptr;
    const int wrapU = WalkAxis(addressU, level.Width), wrapV = WalkAxis(addressV, level.Height);
    if (wrapU < 0 || wrapV < 0) return nullptr;
    // Byte offsets of every texel must fit the lanes.
    if (int64_t(level.Height - 1) * level.Pitch + int64_t(level.Width) * 4 > INT32_MAX)
        return nullptr;
    walk.Bits = level.Bits;
    walk.Pitch = level.Pitch;
    walk.UMax = level.Width - 1;
    walk.VMax = level.Height - 1;
    if (wrapU) return wrapV ? PickWalk<true, true>() : PickWalk<true, false>();
    return wrapV ? PickWalk<false, true>() : PickWalk<false, false>();
}

}  // namespace detail
}  // namespace SoftRaster
