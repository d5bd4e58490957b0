// The vector types the pixel loops are written against, one per instruction set, each
// wrapping its set's intrinsics under the same names. A kernel written once against V (an .inc
// file included in each set's namespace, within its target region) compiles for every width.
// Private to the rasterizer's own files.
#pragma once

#include <cstring>

#include "platform/d3d9/SoftRasterPipeline.h"

#if SOFTRASTER_X86_PATHS
#include <immintrin.h>
#elif SOFTRASTER_SSE2
#include <emmintrin.h>
#endif

namespace SoftRaster {
namespace detail {

#if SOFTRASTER_SSE2
// Four 16-bit values as one 64-bit word, the first lowest: one pixel's lanes.
inline int64_t FourWords(const uint16_t* v) {
    return int64_t(uint64_t(v[0]) | uint64_t(v[1]) << 16 | uint64_t(v[2]) << 32 |
                   uint64_t(v[3]) << 48);
}

namespace sse2 {
struct V {
    using T = __m128i;
    static constexpr int kPixels = 4;
    static T Zero() { return _mm_setzero_si128(); }
    static T Set16(short v) { return _mm_set1_epi16(v); }
    static T Set32(int v) { return _mm_set1_epi32(v); }
    // Four 16-bit values, once per pixel.
    static T Lanes(const uint16_t* v) { return _mm_set1_epi64x(FourWords(v)); }
    static T Load(const void* p) { return _mm_loadu_si128(static_cast<const T*>(p)); }
    static void Store(void* p, T v) { _mm_storeu_si128(static_cast<T*>(p), v); }
    // The first n < kPixels pixels, through a buffer: the set has no masked moves.
    static T LoadTail(const void* p, int n) {
        uint32_t b[kPixels] = {};
        std::memcpy(b, p, 4 * size_t(n));
        return Load(b);
    }
    static void StoreTail(void* p, T v, int n) {
        uint32_t b[kPixels];
        Store(b, v);
        std::memcpy(p, b, 4 * size_t(n));
    }
    static T Unpacklo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
    static T Unpackhi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
    static T Packus16(T a, T b) { return _mm_packus_epi16(a, b); }
    static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
    static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
    static T Mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
    static T MulhiU16(T a, T b) { return _mm_mulhi_epu16(a, b); }
    static T Srli16By8(T a) { return _mm_srli_epi16(a, 8); }
    static T Srli32By24(T a) { return _mm_srli_epi32(a, 24); }
    static T AlphaWords(T a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0xFF), 0xFF); }
    static T And(T a, T b) { return _mm_and_si128(a, b); }
    static T Or(T a, T b) { return _mm_or_si128(a, b); }
    static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
    static T AndNot(T a, T b) { return _mm_andnot_si128(a, b); }
    static T AddsU8(T a, T b) { return _mm_adds_epu8(a, b); }
    static T CmpLt32(T a, T b) { return _mm_cmplt_epi32(a, b); }
    static T CmpEq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
    static T CmpGt32(T a, T b) { return _mm_cmpgt_epi32(a, b); }
};
}  // namespace sse2
#endif

#if SOFTRASTER_X86_PATHS
// The wider paths are compiled for their instruction sets here and run only where the
// processor has them. Their unpack and pack steps work within 128-bit lanes, so the pixel
// order comes out as it went in.
SOFTRASTER_TARGET_AVX2
namespace avx2 {
struct V {
    using T = __m256i;
    static constexpr int kPixels = 8;
    static T Zero() { return _mm256_setzero_si256(); }
    static T Set16(short v) { return _mm256_set1_epi16(v); }
    static T Set32(int v) { return _mm256_set1_epi32(v); }
    static T Lanes(const uint16_t* v) { return _mm256_set1_epi64x(FourWords(v)); }
    static T Load(const void* p) { return _mm256_loadu_si256(static_cast<const T*>(p)); }
    static void Store(void* p, T v) { _mm256_storeu_si256(static_cast<T*>(p), v); }
    static T TailMask(int n) {
        return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    }
    static T LoadTail(const void* p, int n) {
        return _mm256_maskload_epi32(static_cast<const int*>(p), TailMask(n));
    }
    static void StoreTail(void* p, T v, int n) {
        _mm256_maskstore_epi32(static_cast<int*>(p), TailMask(n), v);
    }
    static T Unpacklo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
    static T Unpackhi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
    static T Packus16(T a, T b) { return _mm256_packus_epi16(a, b); }
    static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
    static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
    static T Mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
    static T MulhiU16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
    static T Srli16By8(T a) { return _mm256_srli_epi16(a, 8); }
    static T Srli32By24(T a) { return _mm256_srli_epi32(a, 24); }
    // Each pixel's fourth word in all four of its words, in one byte shuffle.
    static T AlphaWords(T a) {
        return _mm256_shuffle_epi8(
            a, _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15, 6, 7, 6, 7,
                                6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15));
    }
    static T And(T a, T b) { return _mm256_and_si256(a, b); }
    static T Or(T a, T b) { return _mm256_or_si256(a, b); }
    static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
    static T AndNot(T a, T b) { return _mm256_andnot_si256(a, b); }
    static T AddsU8(T a, T b) { return _mm256_adds_epu8(a, b); }
    static T CmpLt32(T a, T b) { return _mm256_cmpgt_epi32(b, a); }
    static T CmpEq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
    static T CmpGt32(T a, T b) { return _mm256_cmpgt_epi32(a, b); }
    static T LaneIndex() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    static T Add32(T a, T b) { return _mm256_add_epi32(a, b); }
    static T Mullo32(T a, T b) { return _mm256_mullo_epi32(a, b); }
    static T Srai32By16(T a) { return _mm256_srai_epi32(a, 16); }
    static T Slli32By2(T a) { return _mm256_slli_epi32(a, 2); }
    static T Min32(T a, T b) { return _mm256_min_epi32(a, b); }
    static T Max32(T a, T b) { return _mm256_max_epi32(a, b); }
    static T Sub32(T a, T b) { return _mm256_sub_epi32(a, b); }
    template <int kBits>
    static T Srli32(T a) {
        return _mm256_srli_epi32(a, kBits);
    }
    template <int kBits>
    static T Slli32(T a) {
        return _mm256_slli_epi32(a, kBits);
    }
    static T Srlv32(T a, T bits) { return _mm256_srlv_epi32(a, bits); }
    static T Madd16(T a, T b) { return _mm256_madd_epi16(a, b); }
    // The 32-bit values at byte offsets from base, in the first n lanes only (zero in the rest).
    static T Gather(const uint8_t* base, T offset, int n) {
        return _mm256_mask_i32gather_epi32(Zero(), reinterpret_cast<const int*>(base), offset,
                                           TailMask(n), 1);
    }
    // The pairs of 32-bit values at byte offsets from base, in the first n lanes only: each
    // pair's first in one vector and its second in the other, in lane order. Half as many
    // elements as two gathers.
    static void GatherPairs(const uint8_t* base, T offset, int n, T& first, T& second) {
        const auto* at = reinterpret_cast<const long long*>(base);
        const T live = TailMask(n);
        const __m128i lowOffsets = _mm256_castsi256_si128(offset);
        const __m128i highOffsets = _mm256_extracti128_si256(offset, 1);
        // Each 32-bit lane's mask widened to its 64-bit element.
        const T lowLive = _mm256_cvtepi32_epi64(_mm256_castsi256_si128(live));
        const T highLive = _mm256_cvtepi32_epi64(_mm256_extracti128_si256(live, 1));
        const __m256 low =
            _mm256_castsi256_ps(_mm256_mask_i32gather_epi64(Zero(), at, lowOffsets, lowLive, 1));
        const __m256 high =
            _mm256_castsi256_ps(_mm256_mask_i32gather_epi64(Zero(), at, highOffsets, highLive, 1));
        // Within 128-bit halves, then the halves' 64-bit quarters into lane order.
        first = _mm256_permute4x64_epi64(
            _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0))),
            _MM_SHUFFLE(3, 1, 2, 0));
        second = _mm256_permute4x64_epi64(
            _mm256_castps_si256(_mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1))),
            _MM_SHUFFLE(3, 1, 2, 0));
    }
    // a where mask's lane is all ones, b where it is zero.
    static T Select(T mask, T a, T b) { return _mm256_blendv_epi8(b, a, mask); }
    static bool Any(T mask) { return !_mm256_testz_si256(mask, mask); }
};
}  // namespace avx2
SOFTRASTER_TARGET_END
SOFTRASTER_TARGET_AVX512
namespace avx512 {
struct V {
    using T = __m512i;
    static constexpr int kPixels = 16;
    static T Zero() { return _mm512_setzero_si512(); }
    static T Set16(short v) { return _mm512_set1_epi16(v); }
    static T Set32(int v) { return _mm512_set1_epi32(v); }
    static T Lanes(const uint16_t* v) { return _mm512_set1_epi64(FourWords(v)); }
    static T Load(const void* p) { return _mm512_loadu_si512(p); }
    static void Store(void* p, T v) { _mm512_storeu_si512(p, v); }
    static __mmask16 TailMask(int n) { return __mmask16((1u << n) - 1); }
    static T LoadTail(const void* p, int n) { return _mm512_maskz_loadu_epi32(TailMask(n), p); }
    static void StoreTail(void* p, T v, int n) { _mm512_mask_storeu_epi32(p, TailMask(n), v); }
    static T Unpacklo8(T a, T b) { return _mm512_unpacklo_epi8(a, b); }
    static T Unpackhi8(T a, T b) { return _mm512_unpackhi_epi8(a, b); }
    static T Packus16(T a, T b) { return _mm512_packus_epi16(a, b); }
    static T Add16(T a, T b) { return _mm512_add_epi16(a, b); }
    static T Sub16(T a, T b) { return _mm512_sub_epi16(a, b); }
    static T Mullo16(T a, T b) { return _mm512_mullo_epi16(a, b); }
    static T MulhiU16(T a, T b) { return _mm512_mulhi_epu16(a, b); }
    static T Srli16By8(T a) { return _mm512_srli_epi16(a, 8); }
    static T Srli32By24(T a) { return _mm512_srli_epi32(a, 24); }
    static T AlphaWords(T a) {
        return _mm512_shuffle_epi8(a, _mm512_broadcast_i32x4(_mm_setr_epi8(
                                          6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15)));
    }
    static T And(T a, T b) { return _mm512_and_si512(a, b); }
    static T Or(T a, T b) { return _mm512_or_si512(a, b); }
    static T Xor(T a, T b) { return _mm512_xor_si512(a, b); }
    static T AndNot(T a, T b) { return _mm512_andnot_si512(a, b); }
    static T AddsU8(T a, T b) { return _mm512_adds_epu8(a, b); }
    static T CmpLt32(T a, T b) { return _mm512_movm_epi32(_mm512_cmplt_epi32_mask(a, b)); }
    static T CmpEq32(T a, T b) { return _mm512_movm_epi32(_mm512_cmpeq_epi32_mask(a, b)); }
    static T CmpGt32(T a, T b) { return _mm512_movm_epi32(_mm512_cmpgt_epi32_mask(a, b)); }
    static T LaneIndex() {
        return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    }
    static T Add32(T a, T b) { return _mm512_add_epi32(a, b); }
    static T Mullo32(T a, T b) { return _mm512_mullo_epi32(a, b); }
    static T Srai32By16(T a) { return _mm512_srai_epi32(a, 16); }
    static T Slli32By2(T a) { return _mm512_slli_epi32(a, 2); }
    static T Min32(T a, T b) { return _mm512_min_epi32(a, b); }
    static T Max32(T a, T b) { return _mm512_max_epi32(a, b); }
    static T Sub32(T a, T b) { return _mm512_sub_epi32(a, b); }
    template <int kBits>
    static T Srli32(T a) {
        return _mm512_srli_epi32(a, kBits);
    }
    template <int kBits>
    static T Slli32(T a) {
        return _mm512_slli_epi32(a, kBits);
    }
    static T Srlv32(T a, T bits) { return _mm512_srlv_epi32(a, bits); }
    static T Madd16(T a, T b) { return _mm512_madd_epi16(a, b); }
    static T Gather(const uint8_t* base, T offset, int n) {
        const __mmask16 live = n >= kPixels ? __mmask16(0xFFFF) : TailMask(n);
        return _mm512_mask_i32gather_epi32(Zero(), live, offset, base, 1);
    }
    static void GatherPairs(const uint8_t* base, T offset, int n, T& first, T& second) {
        const __mmask16 live = n >= kPixels ? __mmask16(0xFFFF) : TailMask(n);
        const T low = _mm512_mask_i32gather_epi64(Zero(), __mmask8(live),
                                                  _mm512_castsi512_si256(offset), base, 1);
        T high = Zero();
        if (n > kPixels / 2)
            high = _mm512_mask_i32gather_epi64(Zero(), __mmask8(live >> 8),
                                               _mm512_extracti64x4_epi64(offset, 1), base, 1);
        first = _mm512_permutex2var_epi32(
            low, _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30),
            high);
        second = _mm512_permutex2var_epi32(
            low, _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31),
            high);
    }
    static T Select(T mask, T a, T b) { return _mm512_ternarylogic_epi32(mask, a, b, 0xCA); }
    static bool Any(T mask) { return _mm512_test_epi32_mask(mask, mask) != 0; }
};
}  // namespace avx512
SOFTRASTER_TARGET_END
#endif  // SOFTRASTER_X86_PATHS

}  // namespace detail
}  // namespace SoftRaster
