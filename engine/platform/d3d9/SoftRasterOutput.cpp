// The output merger: alpha test, blending and the colour write mask, with vector paths
// for 32-bit targets.
#include <atomic>

#include "platform/d3d9/SoftRasterPipeline.h"
#include "platform/d3d9/SoftRasterVectors.h"

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
        if (o.AlphaTest && !o.Passes(Alpha(src[i]))) {
            r[i] = d[i];
            continue;
        }
        const uint32_t v = o.Blend ? BlendPixel(o, src[i], d[i]) : src[i];
        r[i] = (v & o.WriteMask) | (d[i] & ~o.WriteMask);
    }
    PixelFormats::WriteRow(o.Format, dst, r, n);
}

}  // namespace

// The blend kernel for each instruction set.
#if SOFTRASTER_SSE2
namespace sse2 {
#include "SoftRasterBlendLanes.inc"
}  // namespace sse2
#endif
#if SOFTRASTER_X86_PATHS
SOFTRASTER_TARGET_AVX2
namespace avx2 {
#include "SoftRasterBlendLanes.inc"
}  // namespace avx2
SOFTRASTER_TARGET_END
SOFTRASTER_TARGET_AVX512
namespace avx512 {
#include "SoftRasterBlendLanes.inc"
}  // namespace avx512
SOFTRASTER_TARGET_END
#endif

namespace {

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
        if (kAlphaTest && !o.Passes(Alpha(s))) continue;
        const uint32_t r = Fast8888Pixel(o, s, d);
        PixelFormats::Codec::Store32(p, ((r & o.WriteMask) | (d & ~o.WriteMask)) | force);
    }
}

template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver>
void Output8888Plain(const Output& o, uint8_t* dst, const uint32_t* src, int n) {
    Output8888<kPath, kAlphaTest, kXrgb, kSrcOver, false>(o, dst, src, n, 0);
}

template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver>
void Output8888Spans(const Output& o, const Span* spans, int count, uint32_t color) {
#if SOFTRASTER_X86_PATHS
    if (kPath == int(VectorPath::kAvx512))
        return avx512::BlendSpans<kAlphaTest, kXrgb, kSrcOver, true>(o, spans, count, color);
    if (kPath == int(VectorPath::kAvx2))
        return avx2::BlendSpans<kAlphaTest, kXrgb, kSrcOver, true>(o, spans, count, color);
#endif
#if SOFTRASTER_SSE2
    if (kPath == int(VectorPath::kSse2))
        return sse2::BlendSpans<kAlphaTest, kXrgb, kSrcOver, true>(o, spans, count, color);
#endif
    for (int i = 0; i < count; ++i)
        Output8888<kPath, kAlphaTest, kXrgb, kSrcOver, true>(o, spans[i].Dst, spans[i].Src,
                                                             spans[i].Count, color);
}

template <int kPath, bool kAlphaTest, bool kXrgb, bool kSrcOver>
void PickOutput8888(Output& o) {
    o.Fn = &Output8888Plain<kPath, kAlphaTest, kXrgb, kSrcOver>;
    o.FnModulate = &Output8888<kPath, kAlphaTest, kXrgb, kSrcOver, true>;
    o.FnModulateSpans = &Output8888Spans<kPath, kAlphaTest, kXrgb, kSrcOver>;
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

// Read by the worker threads of every device as they set draws up.
std::atomic<VectorPath>& Limit() {
    static std::atomic<VectorPath> limit{WidestVectorPath()};
    return limit;
}

}  // namespace

VectorPath CurrentVectorPath() {
    return Limit().load(std::memory_order_relaxed);
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
    o.FnModulateSpans = nullptr;
    if (is8888 && SetupFastLanes(o)) {
        const bool over = o.SrcColor == kBlendSrcAlpha && o.DestColor == kBlendInvSrcAlpha &&
                          o.SrcAlpha == kBlendSrcAlpha &&
                          (o.DestAlpha == kBlendInvSrcAlpha || o.DestAlpha == kBlendOne ||
                           o.DestAlpha == kBlendZero);
        for (int c = 0; c < 4; ++c)
            o.SrcOverDestMask[c] = (c < 3 || o.DestAlpha == kBlendInvSrcAlpha) ? 0xFFFF : 0;
        // Source-over leaves a pixel of alpha 0 exactly as it was, so a test that only drops
        // alpha 0 (the renderer's default) changes nothing there and can be skipped.
        // Worked out from the comparison rather than over every alpha: draw calls set this up
        // once each, and a frame may make thousands of them.
        const bool onlyDropsZero = (o.Ref == 0 && !o.Equal && o.Greater) ||
                                   (o.Ref == 1 && !o.Less && o.Equal && o.Greater);
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
    detail::Limit().store(std::min(widest, WidestVectorPath()), std::memory_order_relaxed);
}

}  // namespace SoftRaster
