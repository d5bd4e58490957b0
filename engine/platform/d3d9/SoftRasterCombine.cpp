// The texture stage: colour and alpha operations on the texel and the diffuse colour.
#include "platform/d3d9/SoftRasterPipeline.h"

#if SOFTRASTER_SSE2
#include <emmintrin.h>
#endif

namespace SoftRaster {
namespace detail {
namespace {

uint32_t StageArg(uint32_t arg, uint32_t tex, uint32_t dif, uint32_t factor) {
    uint32_t v;
    switch (arg & kArgSelectMask) {
        case kArgDiffuse:
        case kArgCurrent:
            v = dif;
            break;
        case kArgTexture:
            v = tex;
            break;
        case kArgTFactor:
        case kArgConstant:
            v = factor;
            break;
        default:
            v = 0;
            break;  // no specular colour or temporary register here
    }
    if (arg & kArgComplement) v = ~v;
    if (arg & kArgAlphaReplicate) v = (v >> 24) * 0x01010101u;
    return v;
}

// One channel of a stage operation; blend weights are the alphas the operation names.
uint32_t StageOp(uint32_t op, uint32_t a1, uint32_t a2, uint32_t texA, uint32_t difA,
                 uint32_t factorA) {
    switch (op) {
        case kTopSelectArg1:
            return a1;
        case kTopSelectArg2:
            return a2;
        case kTopModulate2x:
            return std::min<uint32_t>(255, (2 * a1 * a2 + 127) / 255);
        case kTopModulate4x:
            return std::min<uint32_t>(255, (4 * a1 * a2 + 127) / 255);
        case kTopAdd:
            return std::min<uint32_t>(255, a1 + a2);
        case kTopAddSigned:
            return Clamp255(int(a1 + a2) - 128);
        case kTopAddSigned2x:
            return Clamp255(2 * (int(a1 + a2) - 128));
        case kTopSubtract:
            return a1 > a2 ? a1 - a2 : 0;
        case kTopAddSmooth:
            return a1 + Div255(a2 * (255 - a1));
        case kTopBlendDiffuseAlpha:
        case kTopBlendCurrentAlpha:
            return Div255(a1 * difA + a2 * (255 - difA));
        case kTopBlendTextureAlpha:
            return Div255(a1 * texA + a2 * (255 - texA));
        case kTopBlendFactorAlpha:
            return Div255(a1 * factorA + a2 * (255 - factorA));
        case kTopBlendTextureAlphaPm:
            return std::min<uint32_t>(255, a1 + Div255(a2 * (255 - texA)));
        default:
            return Div255(a1 * a2);  // modulate, and what this device does not model
    }
}

bool IsTexDiffusePair(uint32_t a, uint32_t b) {
    auto dif = [](uint32_t x) { return x == kArgDiffuse || x == kArgCurrent; };
    return (a == kArgTexture && dif(b)) || (dif(a) && b == kArgTexture);
}
bool Selects(uint32_t op, uint32_t a1, uint32_t a2, uint32_t what) {
    return (op == kTopSelectArg1 && a1 == what) || (op == kTopSelectArg2 && a2 == what);
}

}  // namespace

uint32_t CombineOne(const State& st, uint32_t tex, uint32_t dif) {
    if (st.ColorOp == kTopDisable) return dif;
    const uint32_t tf = st.TextureFactor;
    const uint32_t c1 = StageArg(st.ColorArg1, tex, dif, tf);
    const uint32_t c2 = StageArg(st.ColorArg2, tex, dif, tf);
    uint32_t out = 0;
    for (int i = 0; i < 3; ++i)
        out |= StageOp(st.ColorOp, Ch(c1, i), Ch(c2, i), Alpha(tex), Alpha(dif), Alpha(tf))
               << (8 * i);
    uint32_t a = Alpha(dif);
    if (st.AlphaOp != kTopDisable) {
        const uint32_t a1 = Alpha(StageArg(st.AlphaArg1, tex, dif, tf));
        const uint32_t a2 = Alpha(StageArg(st.AlphaArg2, tex, dif, tf));
        a = StageOp(st.AlphaOp, a1, a2, Alpha(tex), Alpha(dif), Alpha(tf));
    }
    return out | (a << 24);
}

CombineKind PickCombine(const State& st) {
    if (st.ColorOp == kTopModulate && st.AlphaOp == kTopModulate &&
        IsTexDiffusePair(st.ColorArg1, st.ColorArg2) &&
        IsTexDiffusePair(st.AlphaArg1, st.AlphaArg2))
        return CombineKind::kModulate;
    if (Selects(st.ColorOp, st.ColorArg1, st.ColorArg2, kArgTexture) &&
        Selects(st.AlphaOp, st.AlphaArg1, st.AlphaArg2, kArgTexture))
        return CombineKind::kTexture;
    return CombineKind::kGeneric;
}

void ModulateSpan(const uint32_t* tex, const uint32_t* dif, uint32_t constant, int n,
                  uint32_t* out) {
    int i = 0;
#if SOFTRASTER_SSE2
    if (CurrentVectorPath() != VectorPath::kScalar) {
        const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(128);
        const __m128i kc = _mm_unpacklo_epi8(_mm_set1_epi32(int(constant)), zero);
        for (; i + 4 <= n; i += 4) {
            const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tex + i));
            __m128i dl = kc, dh = kc;
            if (dif) {
                const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dif + i));
                dl = _mm_unpacklo_epi8(d, zero);
                dh = _mm_unpackhi_epi8(d, zero);
            }
            __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(t, zero), dl), bias);
            __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(t, zero), dh), bias);
            lo = _mm_srli_epi16(_mm_add_epi16(lo, _mm_srli_epi16(lo, 8)), 8);
            hi = _mm_srli_epi16(_mm_add_epi16(hi, _mm_srli_epi16(hi, 8)), 8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < n; ++i) out[i] = Modulate(tex[i], dif ? dif[i] : constant);
}

}  // namespace detail
}  // namespace SoftRaster
