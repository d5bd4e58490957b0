// The output merger: alpha test, blending and the colour write mask, with vector paths
// for 32-bit targets.
#include <cstring>

#include "platform/d3d9/SoftRasterPipeline.h"

#if SOFTRASTER_X86_PATHS
#include <immintrin.h>
#elif SOFTRASTER_SSE2
#include <emmintrin.h>
#endif

namespace SoftRaster {
namespace detail {
namespace {

// One channel's blend factor (0..255) for the generic path.
uint32_t BlendFactorOf(uint32_t kind, uint32_t s, uint32_t d, int ch, uint32_t factor) {
    switch (kind) {
        case kBlendZero:
            return 0;
        case kBlendOne:
            return 255;
        case kBlendSrcColor:
            return Ch(s, ch);
        case kBlendInvSrcColor:
            return 255 - Ch(s, ch);
        case kBlendSrcAlpha:
            return Alpha(s);
        case kBlendInvSrcAlpha:
            return 255 - Alpha(s);
        case kBlendDestAlpha:
            return Alpha(d);
        case kBlendInvDestAlpha:
            return 255 - Alpha(d);
        case kBlendDestColor:
            return Ch(d, ch);
        case kBlendInvDestColor:
            return 255 - Ch(d, ch);
        case kBlendSrcAlphaSat:
            return ch == 3 ? 255 : std::min(Alpha(s), 255 - Alpha(d));
        case kBlendFactor:
            return Ch(factor, ch);
        case kBlendInvFactor:
            return 255 - Ch(factor, ch);
        default:
            return 255;
    }
}

uint32_t BlendChannel(uint32_t op, uint32_t s, uint32_t d, uint32_t fs, uint32_t fd) {
    int v;
    switch (op) {
        case kOpSubtract:
            v = int(s * fs) - int(d * fd);
            break;
        case kOpRevSubtract:
            v = int(d * fd) - int(s * fs);
            break;
        case kOpMin:
            return std::min(s, d);
        case kOpMax:
            return std::max(s, d);
        default:
            v = int(s * fs + d * fd);
            break;
    }
    return Div255(uint32_t(std::clamp(v, 0, 255 * 255)));
}

uint32_t BlendPixel(const Output& o, uint32_t s, uint32_t d) {
    uint32_t r = 0;
    for (int c = 0; c < 3; ++c) {
        const uint32_t fs = BlendFactorOf(o.SrcColor, s, d, c, o.BlendFactor);
        const uint32_t fd = BlendFactorOf(o.DestColor, s, d, c, o.BlendFactor);
        r |= BlendChannel(o.OpColor, Ch(s, c), Ch(d, c), fs, fd) << (8 * c);
    }
    const uint32_t fs = BlendFactorOf(o.SrcAlpha, s, d, 3, o.BlendFactor);
    const uint32_t fd = BlendFactorOf(o.DestAlpha, s, d, 3, o.BlendFactor);
    return r | (BlendChannel(o.OpAlpha, Alpha(s), Alpha(d), fs, fd) << 24);
}

// Any target format: read the span as ARGB, merge, write it back.
void OutputGeneric(const Output& o, uint8_t* dst, const uint32_t* src, int n) {
    uint32_t d[kChunk], r[kChunk];
    PixelFormats::ReadRow(o.Format, dst, d, n);
    for (int i = 0; i < n; ++i) {
        if (o.AlphaTest && !o.Pass[Alpha(src[i])]) {
            r[i] = d[i];
            continue;
        }
        const uint32_t v = o.Blend ? BlendPixel(o, src[i], d[i]) : src[i];
        r[i] = (v & o.WriteMask) | (d[i] & ~o.WriteMask);
    }
    PixelFormats::WriteRow(o.Format, dst, r, n);
}

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
#include "SoftRasterBlendLanes.inc"
}  // namespace sse2
#endif

#if SOFTRASTER_X86_PATHS
// The wider paths are compiled for their instruction sets here and run only where the
// processor has them. Their unpack and pack steps work within 128-bit lanes, so the pixel
// order comes out as it went in.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
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
    static T Srli16By8(T a) { return _mm256_srli_epi16(a, 8); }
    static T Srli32By24(T a) { return _mm256_srli_epi32(a, 24); }
    static T AlphaWords(T a) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0xFF), 0xFF);
    }
    static T And(T a, T b) { return _mm256_and_si256(a, b); }
    static T Or(T a, T b) { return _mm256_or_si256(a, b); }
    static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
    static T AndNot(T a, T b) { return _mm256_andnot_si256(a, b); }
    static T AddsU8(T a, T b) { return _mm256_adds_epu8(a, b); }
    static T CmpLt32(T a, T b) { return _mm256_cmpgt_epi32(b, a); }
    static T CmpEq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
    static T CmpGt32(T a, T b) { return _mm256_cmpgt_epi32(a, b); }
};
#include "SoftRasterBlendLanes.inc"
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
    static T Srli16By8(T a) { return _mm512_srli_epi16(a, 8); }
    static T Srli32By24(T a) { return _mm512_srli_epi32(a, 24); }
    static T AlphaWords(T a) {
        return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(a, 0xFF), 0xFF);
    }
    static T And(T a, T b) { return _mm512_and_si512(a, b); }
    static T Or(T a, T b) { return _mm512_or_si512(a, b); }
    static T Xor(T a, T b) { return _mm512_xor_si512(a, b); }
    static T AndNot(T a, T b) { return _mm512_andnot_si512(a, b); }
    static T AddsU8(T a, T b) { return _mm512_adds_epu8(a, b); }
    static T CmpLt32(T a, T b) { return _mm512_movm_epi32(_mm512_cmplt_epi32_mask(a, b)); }
    static T CmpEq32(T a, T b) { return _mm512_movm_epi32(_mm512_cmpeq_epi32_mask(a, b)); }
    static T CmpGt32(T a, T b) { return _mm512_movm_epi32(_mm512_cmpgt_epi32_mask(a, b)); }
};
#include "SoftRasterBlendLanes.inc"
}  // namespace avx512
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif
#endif  // SOFTRASTER_X86_PATHS

inline uint32_t Fast8888Pixel(const Output& o, uint32_t s, uint32_t d) {
    const uint32_t sa = Alpha(s);
    uint32_t r = 0;
    for (int c = 0; c < 4; ++c) {
        const uint32_t fs = o.SrcK[c] + (o.SrcPos[c] & sa) - (o.SrcNeg[c] & sa);
        const uint32_t fd = o.DstK[c] + (o.DstPos[c] & sa) - (o.DstNeg[c] & sa);
        uint32_t v = Div255(Ch(s, c) * fs + Ch(d, c) * fd);
        if ((o.DestAddMask >> (8 * c)) & 1) v = std::min<uint32_t>(255, v + Ch(d, c));
        r |= v << (8 * c);
    }
    return r;
}

// 32-bit targets with the blend modes whose exact result fits 16-bit lanes. kSrcOver is the
// renderer's usual mode (colour by source alpha and its inverse), whose factors cost less to
// form; kModulate multiplies the texels by a constant diffuse colour on the way in. kPath is
// the vector path used for the whole span; the scalar path goes pixel by pixel.
template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver, bool kModulate>
void Output8888(const Output& o, uint8_t* dst, const uint32_t* src, int n, uint32_t color) {
    int i = 0;
#if SOFTRASTER_X86_PATHS
    if (kPath == int(VectorPath::kAvx512))
        i = avx512::BlendLanes<kAlphaTest, kXrgb, kSrcOver, kModulate>(o, dst, src, n, color);
    if (kPath == int(VectorPath::kAvx2))
        i = avx2::BlendLanes<kAlphaTest, kXrgb, kSrcOver, kModulate>(o, dst, src, n, color);
#endif
#if SOFTRASTER_SSE2
    if (kPath == int(VectorPath::kSse2))
        i = sse2::BlendLanes<kAlphaTest, kXrgb, kSrcOver, kModulate>(o, dst, src, n, color);
#endif
    const uint32_t force = kXrgb ? 0xFF000000u : 0;
    for (; i < n; ++i) {
        uint8_t* p = dst + 4 * i;
        const uint32_t d = PixelFormats::Codec::Load32(p);
        const uint32_t s = kModulate ? Modulate(src[i], color) : src[i];
        if (kAlphaTest && !o.Pass[Alpha(s)]) continue;
        const uint32_t r = Fast8888Pixel(o, s, d);
        PixelFormats::Codec::Store32(p, ((r & o.WriteMask) | (d & ~o.WriteMask)) | force);
    }
}

template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver>
void Output8888Plain(const Output& o, uint8_t* dst, const uint32_t* src, int n) {
    Output8888<kPath, kAlphaTest, kXrgb, kSrcOver, false>(o, dst, src, n, 0);
}

template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver>
void PickOutput8888(Output& o) {
    o.Fn = &Output8888Plain<kPath, kAlphaTest, kXrgb, kSrcOver>;
    o.FnModulate = &Output8888<kPath, kAlphaTest, kXrgb, kSrcOver, true>;
}

template <bool kAlphaTest, bool kXrgb, bool kSrcOver>
void PickOutput8888(Output& o) {
    switch (CurrentVectorPath()) {
        case VectorPath::kAvx512:
            PickOutput8888<int(VectorPath::kAvx512), kAlphaTest, kXrgb, kSrcOver>(o);
            break;
        case VectorPath::kAvx2:
            PickOutput8888<int(VectorPath::kAvx2), kAlphaTest, kXrgb, kSrcOver>(o);
            break;
        case VectorPath::kSse2:
            PickOutput8888<int(VectorPath::kSse2), kAlphaTest, kXrgb, kSrcOver>(o);
            break;
        default:
            PickOutput8888<int(VectorPath::kScalar), kAlphaTest, kXrgb, kSrcOver>(o);
            break;
    }
}

// Factors the 32-bit path computes exactly: constants and the source alpha, with sums that
// cannot pass 255 unless the destination factor is ONE.
bool FastFactor(uint32_t kind, uint16_t& k, uint16_t& pos, uint16_t& neg) {
    k = pos = neg = 0;
    switch (kind) {
        case kBlendZero:
            return true;
        case kBlendOne:
            k = 255;
            return true;
        case kBlendSrcAlpha:
            pos = 0xFFFF;
            return true;
        case kBlendInvSrcAlpha:
            k = 255;
            neg = 0xFFFF;
            return true;
        default:
            return false;
    }
}

bool SetupFastLanes(Output& o) {
    if (o.OpColor != kOpAdd || o.OpAlpha != kOpAdd) return false;
    o.DestAddMask = 0;
    for (int c = 0; c < 4; ++c) {
        const uint32_t src = c == 3 ? o.SrcAlpha : o.SrcColor;
        uint32_t dst = c == 3 ? o.DestAlpha : o.DestColor;
        // A channel the mask leaves alone needs no factors at all.
        const bool written = (o.WriteMask >> (8 * c)) & 0xFF;
        if (!written) {
            o.SrcK[c] = o.SrcPos[c] = o.SrcNeg[c] = o.DstK[c] = o.DstPos[c] = o.DstNeg[c] = 0;
            continue;
        }
        if (dst == kBlendOne) {
            o.DestAddMask |= 0xFFu << (8 * c);
            dst = kBlendZero;
        }
        if (!FastFactor(src, o.SrcK[c], o.SrcPos[c], o.SrcNeg[c]) ||
            !FastFactor(dst, o.DstK[c], o.DstPos[c], o.DstNeg[c]))
            return false;
        // Both factors are linear in the source alpha, so their sum peaks at an end.
        for (uint32_t a : {0u, 255u}) {
            const uint32_t fs = o.SrcK[c] + (o.SrcPos[c] & a) - (o.SrcNeg[c] & a);
            const uint32_t fd = o.DstK[c] + (o.DstPos[c] & a) - (o.DstNeg[c] & a);
            if (fs + fd > 255) return false;
        }
    }
    return true;
}

void NormaliseFactors(uint32_t& src, uint32_t& dst) {
    if (src == kBlendBothSrcAlpha) {
        src = kBlendSrcAlpha;
        dst = kBlendInvSrcAlpha;
    } else if (src == kBlendBothInvSrcAlpha) {
        src = kBlendInvSrcAlpha;
        dst = kBlendSrcAlpha;
    }
    if (src < kBlendZero || src > kBlendInvFactor || src == kBlendBothSrcAlpha ||
        src == kBlendBothInvSrcAlpha)
        src = kBlendOne;
    if (dst < kBlendZero || dst > kBlendInvFactor || dst == kBlendBothSrcAlpha ||
        dst == kBlendBothInvSrcAlpha)
        dst = kBlendZero;
}

}  // namespace

namespace {

VectorPath Detect() {
#if SOFTRASTER_X86_PATHS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq"))
        return VectorPath::kAvx512;
    if (__builtin_cpu_supports("avx2")) return VectorPath::kAvx2;
#endif
    return SOFTRASTER_SSE2 ? VectorPath::kSse2 : VectorPath::kScalar;
}

VectorPath& Limit() {
    static VectorPath limit = WidestVectorPath();
    return limit;
}

}  // namespace

VectorPath CurrentVectorPath() {
    return Limit();
}

void SetupOutput(Output& o, const Surface& target, const State& st) {
    o.Format = target.Format;
    o.Bpp = PixelFormats::BytesPerPixel(target.Format);
    o.Blend = st.AlphaBlend;
    o.AlphaTest = st.AlphaTest && st.AlphaFunc != kCmpAlways;
    o.Ref = std::min<uint32_t>(st.AlphaRef, 255);
    const uint32_t func =
        (st.AlphaFunc >= kCmpNever && st.AlphaFunc <= kCmpAlways) ? st.AlphaFunc : kCmpAlways;
    o.Less =
        func == kCmpLess || func == kCmpLessEqual || func == kCmpNotEqual || func == kCmpAlways;
    o.Equal = func == kCmpEqual || func == kCmpLessEqual || func == kCmpGreaterEqual ||
              func == kCmpAlways;
    o.Greater = func == kCmpGreater || func == kCmpGreaterEqual || func == kCmpNotEqual ||
                func == kCmpAlways;
    for (uint32_t a = 0; a < 256; ++a)
        o.Pass[a] = (a < o.Ref && o.Less) || (a == o.Ref && o.Equal) || (a > o.Ref && o.Greater);
    o.WriteMask = 0;
    const int order[4] = {2, 1, 0, 3};  // mask bits red, green, blue, alpha -> ARGB byte
    for (int bit = 0; bit < 4; ++bit)
        if (st.ColorWriteMask & (1u << bit)) o.WriteMask |= 0xFFu << (8 * order[bit]);
    o.BlendFactor = st.BlendFactor;
    if (o.Blend) {
        o.SrcColor = st.SrcBlend;
        o.DestColor = st.DestBlend;
        NormaliseFactors(o.SrcColor, o.DestColor);
        o.OpColor = (st.BlendOp >= kOpAdd && st.BlendOp <= kOpMax) ? st.BlendOp : kOpAdd;
        if (st.SeparateAlphaBlend) {
            o.SrcAlpha = st.SrcBlendAlpha;
            o.DestAlpha = st.DestBlendAlpha;
            NormaliseFactors(o.SrcAlpha, o.DestAlpha);
            o.OpAlpha =
                (st.BlendOpAlpha >= kOpAdd && st.BlendOpAlpha <= kOpMax) ? st.BlendOpAlpha : kOpAdd;
        } else {
            o.SrcAlpha = o.SrcColor;
            o.DestAlpha = o.DestColor;
            o.OpAlpha = o.OpColor;
        }
    } else {
        o.SrcColor = o.SrcAlpha = kBlendOne;
        o.DestColor = o.DestAlpha = kBlendZero;
        o.OpColor = o.OpAlpha = kOpAdd;
    }
    const bool is8888 = o.Format == PixelFormats::kA8R8G8B8 || o.Format == PixelFormats::kX8R8G8B8;
    o.FnModulate = nullptr;
    if (is8888 && SetupFastLanes(o)) {
        const bool over = o.SrcColor == kBlendSrcAlpha && o.DestColor == kBlendInvSrcAlpha &&
                          o.SrcAlpha == kBlendSrcAlpha &&
                          (o.DestAlpha == kBlendInvSrcAlpha || o.DestAlpha == kBlendOne ||
                           o.DestAlpha == kBlendZero);
        for (int c = 0; c < 4; ++c)
            o.SrcOverDestMask[c] = (c < 3 || o.DestAlpha == kBlendInvSrcAlpha) ? 0xFFFF : 0;
        // Source-over leaves a pixel of alpha 0 exactly as it was, so a test that only drops
        // alpha 0 (the renderer's default) changes nothing there and can be skipped.
        bool onlyDropsZero = !o.Pass[0];
        for (int alpha = 1; alpha < 256; ++alpha) onlyDropsZero = onlyDropsZero && o.Pass[alpha];
        const bool test = o.AlphaTest && !(over && o.DestAlpha != kBlendZero && onlyDropsZero);
        const bool x = o.Format == PixelFormats::kX8R8G8B8;
        const int pick = (test ? 4 : 0) | (x ? 2 : 0) | (over ? 1 : 0);
        switch (pick) {
            case 0:
                PickOutput8888<false, false, false>(o);
                break;
            case 1:
                PickOutput8888<false, false, true>(o);
                break;
            case 2:
                PickOutput8888<false, true, false>(o);
                break;
            case 3:
                PickOutput8888<false, true, true>(o);
                break;
            case 4:
                PickOutput8888<true, false, false>(o);
                break;
            case 5:
                PickOutput8888<true, false, true>(o);
                break;
            case 6:
                PickOutput8888<true, true, false>(o);
                break;
            default:
                PickOutput8888<true, true, true>(o);
                break;
        }
    } else {
        o.Fn = &OutputGeneric;
    }
}

}  // namespace detail
}  // namespace SoftRaster

namespace SoftRaster {

VectorPath WidestVectorPath() {
    static const VectorPath widest = detail::Detect();
    return widest;
}

void LimitVectorPath(VectorPath widest) {
    detail::Limit() = std::min(widest, WidestVectorPath());
}

}  // namespace SoftRaster
