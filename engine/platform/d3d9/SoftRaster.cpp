// The software device's pixel pipeline.
//
// Geometry: vertex positions snap to 1/256 pixel; a triangle covers the pixel centres (integer
// coordinates) strictly inside its edges plus those exactly on a top or left edge, so triangles
// that share an edge cover each pixel once. Two triangles that make an axis-aligned rectangle
// with one consistent attribute plane are drawn as that rectangle, which is the common case
// (sprites, glyphs) and saves the per-row edge work. Attributes are screen-linear planes
// evaluated at pixel centres.
//
// Shading runs over spans in chunks: sample the texture, combine it with the diffuse colour,
// then alpha-test, blend and store. Each stage is picked once per primitive or draw (by format,
// filter and blend mode), so the per-pixel loops carry no format switches. Colour arithmetic
// is 8-bit with exact rounding: x/255 rounds to the nearest integer everywhere.
#include "platform/d3d9/SoftRaster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/d3d9/PixelFormats.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace SoftRaster {
namespace {

using PixelFormats::Codec::Decode;

// State values in the graphics API's numbering.
enum : uint32_t {
    kTopDisable = 1,
    kTopSelectArg1 = 2,
    kTopSelectArg2 = 3,
    kTopModulate = 4,
    kTopModulate2x = 5,
    kTopModulate4x = 6,
    kTopAdd = 7,
    kTopAddSigned = 8,
    kTopAddSigned2x = 9,
    kTopSubtract = 10,
    kTopAddSmooth = 11,
    kTopBlendDiffuseAlpha = 12,
    kTopBlendTextureAlpha = 13,
    kTopBlendFactorAlpha = 14,
    kTopBlendTextureAlphaPm = 15,
    kTopBlendCurrentAlpha = 16,
};
enum : uint32_t {
    kArgDiffuse = 0,
    kArgCurrent = 1,
    kArgTexture = 2,
    kArgTFactor = 3,
    kArgConstant = 6,
    kArgSelectMask = 0xF,
    kArgComplement = 0x10,
    kArgAlphaReplicate = 0x20,
};
enum : uint32_t { kFilterLinear = 2, kFilterAnisotropic = 3 };
enum : uint32_t { kMipNone = 0, kMipPoint = 1 };
enum : uint32_t {
    kAddrWrap = 1,
    kAddrMirror = 2,
    kAddrClamp = 3,
    kAddrBorder = 4,
    kAddrMirrorOnce = 5
};
enum : uint32_t {
    kBlendZero = 1,
    kBlendOne = 2,
    kBlendSrcColor = 3,
    kBlendInvSrcColor = 4,
    kBlendSrcAlpha = 5,
    kBlendInvSrcAlpha = 6,
    kBlendDestAlpha = 7,
    kBlendInvDestAlpha = 8,
    kBlendDestColor = 9,
    kBlendInvDestColor = 10,
    kBlendSrcAlphaSat = 11,
    kBlendBothSrcAlpha = 12,
    kBlendBothInvSrcAlpha = 13,
    kBlendFactor = 14,
    kBlendInvFactor = 15,
};
enum : uint32_t { kOpAdd = 1, kOpSubtract = 2, kOpRevSubtract = 3, kOpMin = 4, kOpMax = 5 };
enum : uint32_t {
    kCmpNever = 1,
    kCmpLess = 2,
    kCmpEqual = 3,
    kCmpLessEqual = 4,
    kCmpGreater = 5,
    kCmpNotEqual = 6,
    kCmpGreaterEqual = 7,
    kCmpAlways = 8,
};
enum : uint32_t { kFillPoint = 1, kFillWireframe = 2 };
enum : uint32_t { kCullCw = 2, kCullCcw = 3 };
enum : uint32_t { kShadeFlat = 1 };

constexpr int kChunk = 64;   // pixels shaded per pass of a span
constexpr int kSubBits = 8;  // sub-pixel precision of snapped positions
constexpr int kSub = 1 << kSubBits;
constexpr double kGuard = 65536.0;  // positions beyond this many pixels are clipped first

// x / 255 rounded to nearest, exact for 0 <= x <= 65535.
inline uint32_t Div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}
inline uint32_t Ch(uint32_t c, int i) {
    return (c >> (8 * i)) & 0xFF;
}
inline uint32_t Alpha(uint32_t c) {
    return c >> 24;
}
inline uint32_t Clamp255(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : uint32_t(v);
}
inline uint32_t Modulate(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= Div255(Ch(a, i) * Ch(b, i)) << (8 * i);
    return r;
}
inline uint32_t Lerp256(uint32_t a, uint32_t b, uint32_t w) {  // w in 0..256 weighs b
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= ((Ch(a, i) * (256 - w) + Ch(b, i) * w + 128) >> 8) << (8 * i);
    return r;
}

struct Plane {
    double C = 0, Dx = 0, Dy = 0;
    double At(double x, double y) const { return C + Dx * x + Dy * y; }
};

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

// A value in 16.16 fixed point, saturated far outside any texture so stepping cannot overflow.
inline int64_t ToFixed(double v) {
    const double kLimit = 1099511627776.0;           // 2^40
    if (!(v > -kLimit)) return -(int64_t(1) << 56);  // also NaN
    if (v > kLimit) return int64_t(1) << 56;
    return int64_t(std::floor(v * 65536.0 + 0.5));
}
inline int RoundToInt(double v) {  // nearest, halves up; saturates
    if (!(v > -1e9)) return -1000000000;
    if (v > 1e9) return 1000000000;
    return int(std::floor(v + 0.5));
}
inline bool Finite(const Vertex& v) {
    return std::isfinite(v.X) && std::isfinite(v.Y);
}

struct FixPt {
    int64_t X, Y;
};
inline FixPt Snap(double x, double y) {
    return {int64_t(std::floor(x * kSub + 0.5)), int64_t(std::floor(y * kSub + 0.5))};
}
inline int64_t Area2(const FixPt& a, const FixPt& b, const FixPt& c) {
    return (b.X - a.X) * (c.Y - a.Y) - (c.X - a.X) * (b.Y - a.Y);
}

template <uint32_t F>
constexpr int Bpp() {
    return (F == PixelFormats::kA8R8G8B8 || F == PixelFormats::kX8R8G8B8) ? 4
           : (F == PixelFormats::kA8 || F == PixelFormats::kL8)           ? 1
                                                                          : 2;
}

// Texel indices along one axis; -1 marks a border texel.
void AxisPoint(int64_t s, int64_t ds, int n, int size, uint32_t mode, int* idx) {
    switch (mode) {
        case kAddrWrap:
            if ((size & (size - 1)) == 0) {
                for (int i = 0; i < n; ++i, s += ds) idx[i] = int((s >> 16) & (size - 1));
            } else {
                for (int i = 0; i < n; ++i, s += ds) {
                    const int64_t k = (s >> 16) % size;
                    idx[i] = int(k < 0 ? k + size : k);
                }
            }
            return;
        case kAddrMirror:
            for (int i = 0; i < n; ++i, s += ds) {
                int64_t k = (s >> 16) % (2 * int64_t(size));
                if (k < 0) k += 2 * int64_t(size);
                idx[i] = int(k < size ? k : 2 * int64_t(size) - 1 - k);
            }
            return;
        case kAddrMirrorOnce:
            for (int i = 0; i < n; ++i, s += ds) {
                int64_t k = s >> 16;
                if (k < 0) k = -1 - k;
                idx[i] = int(k >= size ? size - 1 : k);
            }
            return;
        case kAddrBorder:
            for (int i = 0; i < n; ++i, s += ds) {
                const int64_t k = s >> 16;
                idx[i] = (k < 0 || k >= size) ? -1 : int(k);
            }
            return;
        default:  // clamp
            for (int i = 0; i < n; ++i, s += ds) {
                const int64_t k = s >> 16;
                idx[i] = int(k < 0 ? 0 : k >= size ? size - 1 : k);
            }
            return;
    }
}

// Two neighbouring texel indices and the 8-bit weight of the second, for linear filtering.
void AxisLinear(int64_t s, int64_t ds, int n, int size, uint32_t mode, int* i0, int* i1,
                uint8_t* frac) {
    int64_t t = s;
    for (int i = 0; i < n; ++i, t += ds) frac[i] = uint8_t((t >> 8) & 0xFF);
    AxisPoint(s, ds, n, size, mode, i0);
    AxisPoint(s + 0x10000, ds, n, size, mode, i1);
}

struct SampleArgs {
    const Surface* Level;
    const int* U0;
    const int* U1;
    const uint8_t* Fu;
    const int* V0;
    const int* V1;
    const uint8_t* Fv;
    uint32_t Border;
    int Count;
};
using FetchFn = void (*)(const SampleArgs& a, uint32_t* out);

template <uint32_t F, bool kBorder>
inline uint32_t Texel(const SampleArgs& a, int u, int v) {
    if (kBorder && (u < 0 || v < 0)) return a.Border;
    return Decode<F>(a.Level->Bits + std::ptrdiff_t(v) * a.Level->Pitch +
                     std::ptrdiff_t(u) * Bpp<F>());
}

template <uint32_t F, bool kBorder>
void FetchPoint(const SampleArgs& a, uint32_t* out) {
    for (int i = 0; i < a.Count; ++i) out[i] = Texel<F, kBorder>(a, a.U0[i], a.V0[i]);
}

template <uint32_t F, bool kBorder>
void FetchLinear(const SampleArgs& a, uint32_t* out) {
    for (int i = 0; i < a.Count; ++i) {
        const uint32_t t00 = Texel<F, kBorder>(a, a.U0[i], a.V0[i]);
        const uint32_t t10 = Texel<F, kBorder>(a, a.U1[i], a.V0[i]);
        const uint32_t t01 = Texel<F, kBorder>(a, a.U0[i], a.V1[i]);
        const uint32_t t11 = Texel<F, kBorder>(a, a.U1[i], a.V1[i]);
        const uint32_t fu = a.Fu[i], fv = a.Fv[i];
        uint32_t r = 0;
        for (int c = 0; c < 4; ++c) {
            const uint32_t top = Ch(t00, c) * (256 - fu) + Ch(t10, c) * fu;
            const uint32_t bottom = Ch(t01, c) * (256 - fu) + Ch(t11, c) * fu;
            r |= ((top * (256 - fv) + bottom * fv + 32768) >> 16) << (8 * c);
        }
        out[i] = r;
    }
}

template <bool kLinear, bool kBorder>
FetchFn PickFetch(uint32_t format) {
    using namespace PixelFormats;
#define SOFTRASTER_FETCH(F) \
    case F:                 \
        return kLinear ? &FetchLinear<F, kBorder> : &FetchPoint<F, kBorder>
    switch (format) {
        SOFTRASTER_FETCH(kA8R8G8B8);
        SOFTRASTER_FETCH(kX8R8G8B8);
        SOFTRASTER_FETCH(kR5G6B5);
        SOFTRASTER_FETCH(kX1R5G5B5);
        SOFTRASTER_FETCH(kA1R5G5B5);
        SOFTRASTER_FETCH(kA4R4G4B4);
        SOFTRASTER_FETCH(kA8);
        SOFTRASTER_FETCH(kL8);
        SOFTRASTER_FETCH(kA8L8);
        default:
            return nullptr;
    }
#undef SOFTRASTER_FETCH
}

FetchFn PickFetch(uint32_t format, bool linear, bool border) {
    if (linear) return border ? PickFetch<true, true>(format) : PickFetch<true, false>(format);
    return border ? PickFetch<false, true>(format) : PickFetch<false, false>(format);
}

using FetchRowFn = void (*)(const uint8_t* row, int64_t u, int64_t du, int n, uint32_t* out);

template <uint32_t F>
void FetchRow(const uint8_t* row, int64_t u, int64_t du, int n, uint32_t* out) {
    for (int i = 0; i < n; ++i, u += du)
        out[i] = Decode<F>(row + std::ptrdiff_t(u >> 16) * Bpp<F>());
}

FetchRowFn PickFetchRow(uint32_t format) {
    using namespace PixelFormats;
    switch (format) {
        case kA8R8G8B8:
            return &FetchRow<kA8R8G8B8>;
        case kX8R8G8B8:
            return &FetchRow<kX8R8G8B8>;
        case kR5G6B5:
            return &FetchRow<kR5G6B5>;
        case kX1R5G5B5:
            return &FetchRow<kX1R5G5B5>;
        case kA1R5G5B5:
            return &FetchRow<kA1R5G5B5>;
        case kA4R4G4B4:
            return &FetchRow<kA4R4G4B4>;
        case kA8:
            return &FetchRow<kA8>;
        case kL8:
            return &FetchRow<kL8>;
        case kA8L8:
            return &FetchRow<kA8L8>;
        default:
            return nullptr;
    }
}

// Whether a 32-bit ARGB value in memory has the byte order of A8R8G8B8 texels.
constexpr bool NativeArgb() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return true;
#else
    return false;
#endif
}

bool ValidSurface(const Surface& s) {
    const int bpp = PixelFormats::BytesPerPixel(s.Format);
    return s.Bits != nullptr && bpp > 0 && s.Width > 0 && s.Height > 0 &&
           int64_t(s.Pitch) >= int64_t(s.Width) * bpp;
}

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

bool IsTexDiffusePair(uint32_t a, uint32_t b) {
    auto dif = [](uint32_t x) { return x == kArgDiffuse || x == kArgCurrent; };
    return (a == kArgTexture && dif(b)) || (dif(a) && b == kArgTexture);
}
bool Selects(uint32_t op, uint32_t a1, uint32_t a2, uint32_t what) {
    return (op == kTopSelectArg1 && a1 == what) || (op == kTopSelectArg2 && a2 == what);
}

enum class CombineKind { kModulate, kTexture, kGeneric };

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
#if defined(__SSE2__)
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
#endif
    for (; i < n; ++i) out[i] = Modulate(tex[i], dif ? dif[i] : constant);
}

struct Output;
using OutputFn = void (*)(const Output& o, uint8_t* dst, const uint32_t* src, int n);
// The same with the texels modulated by a constant colour first, where fused.
using ModulateOutputFn = void (*)(const Output& o, uint8_t* dst, const uint32_t* tex, int n,
                                  uint32_t color);

struct Output {
    uint32_t Format = 0;
    int Bpp = 0;
    bool Blend = false;
    bool AlphaTest = false;
    bool Pass[256];                   // alpha test outcome per source alpha
    uint32_t WriteMask = 0xFFFFFFFF;  // ARGB bits that are stored
    uint32_t SrcColor = kBlendOne, DestColor = kBlendZero, OpColor = kOpAdd;
    uint32_t SrcAlpha = kBlendOne, DestAlpha = kBlendZero, OpAlpha = kOpAdd;
    uint32_t BlendFactor = 0xFFFFFFFF;
    // The 32-bit fast path: per channel (B, G, R, A) the source factor is K + Pos*As - Neg*As,
    // the destination factor likewise; channels whose destination factor is ONE add the
    // destination with saturation instead.
    uint16_t SrcK[4], SrcPos[4], SrcNeg[4], DstK[4], DstPos[4], DstNeg[4];
    uint32_t DestAddMask = 0;
    uint16_t SrcOverDestMask[4];  // lanes that take the inverse source alpha, in source-over
    uint32_t Ref = 0;
    bool Less = false, Equal = false, Greater = false;
    OutputFn Fn = nullptr;
    ModulateOutputFn FnModulate = nullptr;  // null where not fused
};

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
// form; kModulate multiplies the texels by a constant diffuse colour on the way in.
template <bool kAlphaTest, bool kXrgb, bool kSrcOver, bool kModulate>
void Output8888(const Output& o, uint8_t* dst, const uint32_t* src, int n, uint32_t color) {
    const uint32_t force = kXrgb ? 0xFF000000u : 0;
    const bool masked = o.WriteMask != 0xFFFFFFFFu;
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(128);
    auto lanes = [](const uint16_t* v) {
        return _mm_set_epi16(short(v[3]), short(v[2]), short(v[1]), short(v[0]), short(v[3]),
                             short(v[2]), short(v[1]), short(v[0]));
    };
    const __m128i sk = lanes(o.SrcK), sp = lanes(o.SrcPos), sn = lanes(o.SrcNeg);
    const __m128i dk = lanes(o.DstK), dp = lanes(o.DstPos), dn = lanes(o.DstNeg);
    const __m128i overMask = lanes(o.SrcOverDestMask);
    const __m128i k255 = _mm_set1_epi16(255);
    const __m128i color16 = _mm_unpacklo_epi8(_mm_set1_epi32(int(color)), zero);
    const __m128i addMask = _mm_set1_epi32(int(o.DestAddMask));
    const __m128i writeMask = _mm_set1_epi32(int(o.WriteMask));
    const __m128i forceBits = _mm_set1_epi32(int(force));
    const __m128i ref = _mm_set1_epi32(int(o.Ref));
    const __m128i lessSel = _mm_set1_epi32(o.Less ? -1 : 0);
    const __m128i equalSel = _mm_set1_epi32(o.Equal ? -1 : 0);
    const __m128i greaterSel = _mm_set1_epi32(o.Greater ? -1 : 0);
    auto div255 = [&](__m128i t) {
        t = _mm_add_epi16(t, bias);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    auto half = [&](__m128i s16, __m128i d16) {
        const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
        __m128i fs, fd;
        if (kSrcOver) {
            fs = a;
            fd = _mm_and_si128(_mm_xor_si128(a, k255), overMask);
        } else {
            fs = _mm_sub_epi16(_mm_add_epi16(sk, _mm_and_si128(sp, a)), _mm_and_si128(sn, a));
            fd = _mm_sub_epi16(_mm_add_epi16(dk, _mm_and_si128(dp, a)), _mm_and_si128(dn, a));
        }
        return div255(_mm_add_epi16(_mm_mullo_epi16(s16, fs), _mm_mullo_epi16(d16, fd)));
    };
    for (; i + 4 <= n; i += 4) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + 4 * i));
        __m128i slo = _mm_unpacklo_epi8(s, zero), shi = _mm_unpackhi_epi8(s, zero);
        if (kModulate) {
            slo = div255(_mm_mullo_epi16(slo, color16));
            shi = div255(_mm_mullo_epi16(shi, color16));
            if (kAlphaTest) s = _mm_packus_epi16(slo, shi);
        }
        const __m128i lo = half(slo, _mm_unpacklo_epi8(d, zero));
        const __m128i hi = half(shi, _mm_unpackhi_epi8(d, zero));
        __m128i r = _mm_adds_epu8(_mm_packus_epi16(lo, hi), _mm_and_si128(d, addMask));
        if (kAlphaTest || masked) {
            __m128i keep = writeMask;
            if (kAlphaTest) {
                const __m128i a = _mm_srli_epi32(s, 24);
                const __m128i pass =
                    _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_cmplt_epi32(a, ref), lessSel),
                                              _mm_and_si128(_mm_cmpeq_epi32(a, ref), equalSel)),
                                 _mm_and_si128(_mm_cmpgt_epi32(a, ref), greaterSel));
                keep = _mm_and_si128(keep, pass);
            }
            r = _mm_or_si128(_mm_and_si128(r, keep), _mm_andnot_si128(keep, d));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_or_si128(r, forceBits));
    }
#endif
    for (; i < n; ++i) {
        uint8_t* p = dst + 4 * i;
        const uint32_t d = PixelFormats::Codec::Load32(p);
        const uint32_t s = kModulate ? Modulate(src[i], color) : src[i];
        if (kAlphaTest && !o.Pass[Alpha(s)]) continue;
        const uint32_t r = Fast8888Pixel(o, s, d);
        PixelFormats::Codec::Store32(p, ((r & o.WriteMask) | (d & ~o.WriteMask)) | force);
    }
}

template <bool kAlphaTest, bool kXrgb, bool kSrcOver>
void Output8888Plain(const Output& o, uint8_t* dst, const uint32_t* src, int n) {
    Output8888<kAlphaTest, kXrgb, kSrcOver, false>(o, dst, src, n, 0);
}

template <bool kAlphaTest, bool kXrgb, bool kSrcOver>
void PickOutput8888(Output& o) {
    o.Fn = &Output8888Plain<kAlphaTest, kXrgb, kSrcOver>;
    o.FnModulate = &Output8888<kAlphaTest, kXrgb, kSrcOver, true>;
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
        for (uint32_t a = 0; a < 256; ++a) {
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

struct LevelRef {
    const Surface* Surf = nullptr;
    FetchFn Fetch = nullptr;
    FetchRowFn FetchRow = nullptr;  // point sampling along one row, no addressing needed
    bool Direct = false;            // texels are stored as native 32-bit ARGB
};

// Everything a primitive's spans need, set up once per primitive.
struct Prim {
    bool Textured = false;
    Plane U, V;
    LevelRef Level[2];
    uint32_t MipWeight = 0;  // 0..256, weight of Level[1]
    bool Linear = false;
    bool ConstColor = true;
    uint32_t Color = 0;
    Plane Chan[4];  // B, G, R, A
};

struct AttrVertex {  // a vertex's attributes as doubles
    double X, Y, U, V;
    uint32_t Color;
};
inline AttrVertex Attr(const Vertex& v) {
    return {v.X, v.Y, v.U, v.V, v.Color};
}

class Rasterizer {
public:
    Rasterizer(const Surface& target, const State& st) : target_(target), st_(st) {
        clip_.Left = std::max(0, st.Viewport.Left);
        clip_.Top = std::max(0, st.Viewport.Top);
        clip_.Right = std::min(target.Width, st.Viewport.Right);
        clip_.Bottom = std::min(target.Height, st.Viewport.Bottom);
        SetupOutput(out_, target, st);
        combine_ = PickCombine(st);
        levels_ = 0;
        if (st.Tex != nullptr) {
            const int n = std::min(st.Tex->Levels, int(Texture::kMaxLevels));
            while (levels_ < n && ValidSurface(st.Tex->Level[levels_])) ++levels_;
        }
    }

    bool Empty() const { return clip_.Left >= clip_.Right || clip_.Top >= clip_.Bottom; }

    void Triangle(const Vertex& a, const Vertex& b, const Vertex& c);
    // Draws two triangles that may form a rectangle; false when they do not.
    bool Rectangle(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d,
                   const Vertex& e, const Vertex& f);
    void Line(const Vertex& a, const Vertex& b);
    void Point(const Vertex& a);
    bool SolidFill() const { return st_.FillMode != kFillWireframe && st_.FillMode != kFillPoint; }

private:
    bool Culled(int64_t area) const {
        return (st_.CullMode == kCullCcw && area < 0) || (st_.CullMode == kCullCw && area > 0);
    }
    bool SetupTriangle(const AttrVertex v[3], uint32_t flatColor, Prim& p) const;
    void SetupSampler(Prim& p) const;
    void CoverTriangle(FixPt v0, FixPt v1, FixPt v2, const Prim& p);
    void CoverClipped(const AttrVertex v[3], const Prim& p);
    void Shade(const Prim& p, int y, int x0, int x1);
    const uint32_t* Sample(const Prim& p, const LevelRef& l, double cx, double cy, int n,
                           uint32_t* out) const;

    const Surface& target_;
    const State& st_;
    Rect clip_;
    Output out_;
    CombineKind combine_;
    int levels_;
};

bool Rasterizer::SetupTriangle(const AttrVertex v[3], uint32_t flatColor, Prim& p) const {
    const double x1 = v[1].X - v[0].X, y1 = v[1].Y - v[0].Y;
    const double x2 = v[2].X - v[0].X, y2 = v[2].Y - v[0].Y;
    const double det = x1 * y2 - x2 * y1;
    if (det == 0 || !std::isfinite(det)) return false;
    auto plane = [&](double a0, double a1, double a2) {
        Plane pl;
        pl.Dx = ((a1 - a0) * y2 - (a2 - a0) * y1) / det;
        pl.Dy = ((a2 - a0) * x1 - (a1 - a0) * x2) / det;
        pl.C = a0 - pl.Dx * v[0].X - pl.Dy * v[0].Y;
        return pl;
    };
    const bool flat = st_.ShadeMode == kShadeFlat;
    p.ConstColor = flat || (v[0].Color == v[1].Color && v[0].Color == v[2].Color);
    p.Color = flat ? flatColor : v[0].Color;
    if (!p.ConstColor) {
        for (int c = 0; c < 4; ++c)
            p.Chan[c] = plane(Ch(v[0].Color, c), Ch(v[1].Color, c), Ch(v[2].Color, c));
    }
    p.Textured = levels_ > 0;
    if (p.Textured) {
        p.U = plane(v[0].U, v[1].U, v[2].U);
        p.V = plane(v[0].V, v[1].V, v[2].V);
        SetupSampler(p);
    }
    return true;
}

// Picks filter and mip levels from the primitive's texel rate on screen, which is constant
// across a screen-linear primitive.
void Rasterizer::SetupSampler(Prim& p) const {
    const Surface& base = st_.Tex->Level[0];
    const double w = base.Width, h = base.Height;
    const double rx = std::hypot(p.U.Dx * w, p.V.Dx * h);
    const double ry = std::hypot(p.U.Dy * w, p.V.Dy * h);
    const double rho = std::max(rx, ry);
    double lod = (rho > 0 && std::isfinite(rho)) ? std::log2(rho) : -1e9;
    lod += double(st_.MipLodBias);
    const int last = levels_ - 1;
    const int first = std::min<int>(int(std::min<uint32_t>(st_.MaxMipLevel, 64)), last);
    int level = first, next = first;
    uint32_t weight = 0;
    uint32_t filter = st_.MagFilter;
    if (lod > 0) {
        filter = st_.MinFilter;
        if (st_.MipFilter == kMipPoint) {
            level = std::clamp(first + int(std::floor(std::min(lod, 64.0) + 0.5)), first, last);
            next = level;
        } else if (st_.MipFilter != kMipNone) {
            const double l = std::min(lod, 64.0);
            const int whole = int(std::floor(l));
            level = std::clamp(first + whole, first, last);
            next = std::min(level + 1, last);
            weight = uint32_t(std::floor((l - whole) * 256.0 + 0.5));
            if (next == level || weight == 0) {
                weight = 0;
                next = level;
            } else if (weight >= 256) {
                level = next;
                weight = 0;
            }
        }
    }
    p.Linear = filter == kFilterLinear || filter == kFilterAnisotropic;
    const bool border = st_.AddressU == kAddrBorder || st_.AddressV == kAddrBorder;
    const int chosen[2] = {level, next};
    for (int i = 0; i < 2; ++i) {
        const Surface* s = &st_.Tex->Level[chosen[i]];
        p.Level[i].Surf = s;
        p.Level[i].Fetch = PickFetch(s->Format, p.Linear, border);
        p.Level[i].FetchRow = PickFetchRow(s->Format);
        p.Level[i].Direct = s->Format == PixelFormats::kA8R8G8B8 && NativeArgb();
    }
    p.MipWeight = weight;
}

// The texels for n pixels from (cx, cy), in out or, for a run of unscaled 32-bit texels,
// straight from the texture.
const uint32_t* Rasterizer::Sample(const Prim& p, const LevelRef& l, double cx, double cy, int n,
                                   uint32_t* out) const {
    const Surface& s = *l.Surf;
    const double w = s.Width, h = s.Height;
    int64_t u = ToFixed(p.U.At(cx, cy) * w), v = ToFixed(p.V.At(cx, cy) * h);
    const int64_t du = ToFixed(p.U.Dx * w), dv = ToFixed(p.V.Dx * h);
    if (!p.Linear && dv == 0) {
        // Inside the texture every addressing mode is the identity, so a row needs no
        // per-pixel addressing; common for sprites and glyphs.
        const int64_t row = v >> 16, first = u >> 16, last = (u + du * (n - 1)) >> 16;
        if (row >= 0 && row < s.Height && first >= 0 && first < s.Width && last >= 0 &&
            last < s.Width) {
            const uint8_t* bits = s.Bits + std::ptrdiff_t(row) * s.Pitch;
            if (l.Direct && du == 0x10000) {
                const uint8_t* texels = bits + std::ptrdiff_t(first) * 4;
                if (reinterpret_cast<uintptr_t>(texels) % alignof(uint32_t) == 0)
                    return reinterpret_cast<const uint32_t*>(texels);
            }
            l.FetchRow(bits, u, du, n, out);
            return out;
        }
    }
    int u0[kChunk], u1[kChunk], v0[kChunk], v1[kChunk];
    uint8_t fu[kChunk], fv[kChunk];
    SampleArgs a{&s, u0, u1, fu, v0, v1, fv, st_.BorderColor, n};
    if (p.Linear) {
        // Texel centres sit half a texel in from the texel's corner.
        u -= 0x8000;
        v -= 0x8000;
        AxisLinear(u, du, n, s.Width, st_.AddressU, u0, u1, fu);
        AxisLinear(v, dv, n, s.Height, st_.AddressV, v0, v1, fv);
    } else {
        AxisPoint(u, du, n, s.Width, st_.AddressU, u0);
        AxisPoint(v, dv, n, s.Height, st_.AddressV, v0);
    }
    l.Fetch(a, out);
    return out;
}

void Rasterizer::Shade(const Prim& p, int y, int x0, int x1) {
    uint8_t* row = target_.Bits + std::ptrdiff_t(y) * target_.Pitch;
    uint32_t tex[kChunk], tex2[kChunk], dif[kChunk], src[kChunk];
    for (int x = x0; x < x1; x += kChunk) {
        const int n = std::min(kChunk, x1 - x);
        const double cx = x, cy = y;
        if (!p.ConstColor) {
            int64_t c[4], dc[4];
            for (int k = 0; k < 4; ++k) {
                c[k] = int64_t(std::clamp(p.Chan[k].At(cx, cy), -1024.0, 1024.0) * 65536.0);
                dc[k] = int64_t(std::clamp(p.Chan[k].Dx, -1024.0, 1024.0) * 65536.0);
            }
            for (int i = 0; i < n; ++i) {
                uint32_t v = 0;
                for (int k = 0; k < 4; ++k) {
                    v |= Clamp255(int(std::clamp<int64_t>((c[k] + 0x8000) >> 16, -1, 256)))
                         << (8 * k);
                    c[k] += dc[k];
                }
                dif[i] = v;
            }
        }
        const uint32_t* colors = src;
        uint8_t* dst = row + std::ptrdiff_t(x) * out_.Bpp;
        if (!p.Textured) {
            if (p.ConstColor)
                std::fill(src, src + n, p.Color);
            else
                colors = dif;
        } else {
            const uint32_t* texels = Sample(p, p.Level[0], cx, cy, n, tex);
            if (p.MipWeight != 0) {
                const uint32_t* second = Sample(p, p.Level[1], cx, cy, n, tex2);
                for (int i = 0; i < n; ++i) tex[i] = Lerp256(texels[i], second[i], p.MipWeight);
                texels = tex;
            }
            switch (combine_) {
                case CombineKind::kModulate:
                    if (p.ConstColor && out_.FnModulate != nullptr) {
                        out_.FnModulate(out_, dst, texels, n, p.Color);
                        continue;
                    }
                    ModulateSpan(texels, p.ConstColor ? nullptr : dif, p.Color, n, src);
                    break;
                case CombineKind::kTexture:
                    colors = texels;
                    break;
                default:
                    for (int i = 0; i < n; ++i)
                        src[i] = CombineOne(st_, texels[i], p.ConstColor ? p.Color : dif[i]);
                    break;
            }
        }
        out_.Fn(out_, dst, colors, n);
    }
}

// Fills the pixel centres inside a triangle, with the top-left rule deciding centres that fall
// exactly on an edge.
void Rasterizer::CoverTriangle(FixPt v0, FixPt v1, FixPt v2, const Prim& p) {
    int64_t area = Area2(v0, v1, v2);
    if (area == 0) return;
    if (area < 0) std::swap(v1, v2);
    struct Edge {
        int64_t X, Y, Dx, Dy, Bias;
    };
    const FixPt pts[3] = {v0, v1, v2};
    Edge edges[3];
    for (int i = 0; i < 3; ++i) {
        const FixPt& a = pts[i];
        const FixPt& b = pts[(i + 1) % 3];
        Edge& e = edges[i];
        e.X = a.X;
        e.Y = a.Y;
        e.Dx = b.X - a.X;
        e.Dy = b.Y - a.Y;
        // With y growing downwards and this winding, top edges run right, left edges up.
        const bool topLeft = (e.Dy == 0 && e.Dx > 0) || e.Dy < 0;
        e.Bias = topLeft ? 0 : 1;
    }
    const int64_t minY = std::min({v0.Y, v1.Y, v2.Y}), maxY = std::max({v0.Y, v1.Y, v2.Y});
    const int yFirst = int(std::max<int64_t>(clip_.Top, CeilDiv(minY, kSub)));
    const int yLast = int(std::min<int64_t>(clip_.Bottom - 1, FloorDiv(maxY, kSub)));
    for (int y = yFirst; y <= yLast; ++y) {
        const int64_t py = int64_t(y) * kSub;
        int64_t lo = clip_.Left, hi = clip_.Right - 1;
        for (const Edge& e : edges) {
            // Inside when c - Dy * px >= Bias, px being the pixel centre in sub-pixels.
            const int64_t c = e.Dx * (py - e.Y) + e.Dy * e.X;
            if (e.Dy == 0) {
                if (c < e.Bias) hi = lo - 1;
            } else if (e.Dy < 0) {
                lo = std::max(lo, CeilDiv(e.Bias - c, -e.Dy * kSub));
            } else {
                hi = std::min(hi, FloorDiv(c - e.Bias, e.Dy * kSub));
            }
        }
        if (lo <= hi) Shade(p, y, int(lo), int(hi) + 1);
    }
}

// A triangle reaching far outside any target is cut to a guard band first, so snapped
// positions stay small enough for exact 64-bit edge arithmetic. Its attribute planes come
// from the original corners and are unaffected.
void Rasterizer::CoverClipped(const AttrVertex v[3], const Prim& p) {
    struct P {
        double X, Y;
    };
    P poly[16], next[16];
    int n = 3;
    for (int i = 0; i < 3; ++i) poly[i] = {v[i].X, v[i].Y};
    for (int side = 0; side < 4; ++side) {
        auto dist = [side](const P& q) {
            switch (side) {
                case 0:
                    return q.X + kGuard;
                case 1:
                    return kGuard - q.X;
                case 2:
                    return q.Y + kGuard;
                default:
                    return kGuard - q.Y;
            }
        };
        int m = 0;
        for (int i = 0; i < n; ++i) {
            const P& a = poly[i];
            const P& b = poly[(i + 1) % n];
            const double da = dist(a), db = dist(b);
            if (da >= 0) next[m++] = a;
            if ((da >= 0) != (db >= 0)) {
                const double t = da / (da - db);
                next[m++] = {a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t};
            }
        }
        n = m;
        std::copy(next, next + n, poly);
        if (n < 3) return;
    }
    const FixPt first = Snap(poly[0].X, poly[0].Y);
    for (int i = 1; i + 1 < n; ++i)
        CoverTriangle(first, Snap(poly[i].X, poly[i].Y), Snap(poly[i + 1].X, poly[i + 1].Y), p);
}

bool InGuard(const Vertex& v) {
    return std::fabs(v.X) <= kGuard && std::fabs(v.Y) <= kGuard;
}

void Rasterizer::Triangle(const Vertex& a, const Vertex& b, const Vertex& c) {
    if (!Finite(a) || !Finite(b) || !Finite(c)) return;
    const bool guarded = InGuard(a) && InGuard(b) && InGuard(c);
    if (guarded) {
        const int64_t area = Area2(Snap(a.X, a.Y), Snap(b.X, b.Y), Snap(c.X, c.Y));
        if (Culled(area)) return;
    } else {
        const double area =
            (double(b.X) - a.X) * (double(c.Y) - a.Y) - (double(c.X) - a.X) * (double(b.Y) - a.Y);
        if (Culled(area < 0 ? -1 : area > 0 ? 1 : 0)) return;
    }
    if (st_.FillMode == kFillWireframe) {
        Line(a, b);
        Line(b, c);
        Line(c, a);
        return;
    }
    if (st_.FillMode == kFillPoint) {
        Point(a);
        Point(b);
        Point(c);
        return;
    }
    const AttrVertex v[3] = {Attr(a), Attr(b), Attr(c)};
    Prim p;
    if (!SetupTriangle(v, a.Color, p)) return;
    if (guarded)
        CoverTriangle(Snap(a.X, a.Y), Snap(b.X, b.Y), Snap(c.X, c.Y), p);
    else
        CoverClipped(v, p);
}

bool SamePlace(const Vertex& a, const Vertex& b) {
    return a.X == b.X && a.Y == b.Y;
}
bool SameAttributes(const Vertex& a, const Vertex& b) {
    return a.Color == b.Color && a.U == b.U && a.V == b.V;
}

bool Rasterizer::Rectangle(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d,
                           const Vertex& e, const Vertex& f) {
    // Find the shared pair: first triangle (a, b, c), second (d, e, f).
    const Vertex* first[3] = {&a, &b, &c};
    const Vertex* second[3] = {&d, &e, &f};
    int sharedFirst[2], sharedSecond[2], count = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (SamePlace(*first[i], *second[j])) {
                if (count == 2) return false;
                sharedFirst[count] = i;
                sharedSecond[count] = j;
                ++count;
            }
    if (count != 2 || sharedFirst[0] == sharedFirst[1] || sharedSecond[0] == sharedSecond[1])
        return false;
    const Vertex& s0 = *first[sharedFirst[0]];
    const Vertex& s1 = *first[sharedFirst[1]];
    if (!SameAttributes(s0, *second[sharedSecond[0]]) ||
        !SameAttributes(s1, *second[sharedSecond[1]]))
        return false;
    const Vertex& o0 = *first[3 - sharedFirst[0] - sharedFirst[1]];
    const Vertex& o1 = *second[3 - sharedSecond[0] - sharedSecond[1]];
    // The shared edge must be the diagonal of an axis-aligned rectangle.
    if (!Finite(s0) || !Finite(s1) || !Finite(o0) || !Finite(o1)) return false;
    if (s0.X == s1.X || s0.Y == s1.Y) return false;
    const bool o0Ok = (o0.X == s0.X && o0.Y == s1.Y) || (o0.X == s1.X && o0.Y == s0.Y);
    const bool o1Ok = (o1.X == s0.X && o1.Y == s1.Y) || (o1.X == s1.X && o1.Y == s0.Y);
    if (!o0Ok || !o1Ok || SamePlace(o0, o1)) return false;
    if (!InGuard(s0) || !InGuard(s1)) return false;
    // One attribute plane for both halves: opposite corners sum alike.
    if (double(s0.U) + s1.U != double(o0.U) + o1.U || double(s0.V) + s1.V != double(o0.V) + o1.V)
        return false;
    const bool flat = st_.ShadeMode == kShadeFlat;
    if (flat && a.Color != d.Color) return false;
    if (!flat)
        for (int k = 0; k < 4; ++k)
            if (Ch(s0.Color, k) + Ch(s1.Color, k) != Ch(o0.Color, k) + Ch(o1.Color, k))
                return false;
    const int64_t areaA = Area2(Snap(a.X, a.Y), Snap(b.X, b.Y), Snap(c.X, c.Y));
    const int64_t areaB = Area2(Snap(d.X, d.Y), Snap(e.X, e.Y), Snap(f.X, f.Y));
    if (areaA == 0 || areaB == 0) return false;
    const bool culledA = Culled(areaA), culledB = Culled(areaB);
    if (culledA != culledB) return false;
    if (culledA) return true;

    const AttrVertex v[3] = {Attr(a), Attr(b), Attr(c)};
    Prim p;
    if (!SetupTriangle(v, a.Color, p)) return false;
    // The union of the halves under the top-left rule: centres in [left, right) x [top, bottom).
    const FixPt lt = Snap(std::min(s0.X, s1.X), std::min(s0.Y, s1.Y));
    const FixPt rb = Snap(std::max(s0.X, s1.X), std::max(s0.Y, s1.Y));
    const int x0 = int(std::max<int64_t>(clip_.Left, CeilDiv(lt.X, kSub)));
    const int x1 = int(std::min<int64_t>(clip_.Right, CeilDiv(rb.X, kSub)));
    const int y0 = int(std::max<int64_t>(clip_.Top, CeilDiv(lt.Y, kSub)));
    const int y1 = int(std::min<int64_t>(clip_.Bottom, CeilDiv(rb.Y, kSub)));
    if (x0 >= x1) return true;
    // Rows of a small rectangle lie a whole pitch apart; asking for the rows ahead early lets
    // their cache misses overlap the shading of this one.
    constexpr int kAhead = 3;
    const std::ptrdiff_t bytes = std::min<std::ptrdiff_t>(std::ptrdiff_t(x1 - x0) * out_.Bpp, 512);
    for (int y = y0; y < y1; ++y) {
        if (y + kAhead < y1) {
            const uint8_t* ahead = target_.Bits + std::ptrdiff_t(y + kAhead) * target_.Pitch +
                                   std::ptrdiff_t(x0) * out_.Bpp;
            for (std::ptrdiff_t b = 0; b < bytes; b += 64) __builtin_prefetch(ahead + b, 1);
            __builtin_prefetch(ahead + bytes - 1, 1);
        }
        Shade(p, y, x0, x1);
    }
    return true;
}

// Lines light, along their major axis, each pixel centre from the one nearest the start up to
// but not including the one nearest the end; the minor coordinate is the line's own, rounded.
// This is the diamond-exit rule for the common cases: a line lights the pixel it leaves, not
// the one it ends in, so strips light shared corners once and a horizontal line from x = 1 to
// x = 5 lights pixels 1 to 4. Attributes run linearly along the major axis.
void Rasterizer::Line(const Vertex& a, const Vertex& b) {
    if (!Finite(a) || !Finite(b)) return;
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    const bool xMajor = std::fabs(dx) >= std::fabs(dy);
    const double major0 = xMajor ? a.X : a.Y, major1 = xMajor ? b.X : b.Y;
    const double dMajor = major1 - major0;
    if (dMajor == 0) return;
    const int start = RoundToInt(major0), end = RoundToInt(major1);
    if (start == end) return;
    int lo = start < end ? start : end + 1;
    int hi = start < end ? end - 1 : start;
    const int clipLo = xMajor ? clip_.Left : clip_.Top;
    const int clipHi = (xMajor ? clip_.Right : clip_.Bottom) - 1;
    lo = std::max(lo, clipLo);
    hi = std::min(hi, clipHi);
    if (lo > hi) return;

    Prim p;
    auto plane = [&](double a0, double a1) {
        Plane pl;
        const double k = (a1 - a0) / dMajor;
        (xMajor ? pl.Dx : pl.Dy) = k;
        pl.C = a0 - k * major0;
        return pl;
    };
    const bool flat = st_.ShadeMode == kShadeFlat;
    p.ConstColor = flat || a.Color == b.Color;
    p.Color = a.Color;
    if (!p.ConstColor)
        for (int c = 0; c < 4; ++c) p.Chan[c] = plane(Ch(a.Color, c), Ch(b.Color, c));
    p.Textured = levels_ > 0;
    if (p.Textured) {
        p.U = plane(a.U, b.U);
        p.V = plane(a.V, b.V);
        SetupSampler(p);
    }
    const double slope = (xMajor ? dy : dx) / dMajor;
    const double minor0 = xMajor ? a.Y : a.X;
    const int minorLo = xMajor ? clip_.Top : clip_.Left;
    const int minorHi = (xMajor ? clip_.Bottom : clip_.Right) - 1;
    int runStart = 0, runRow = 0, runLength = 0;
    for (int m = lo; m <= hi; ++m) {
        const int minor = RoundToInt(minor0 + (m - major0) * slope);
        const bool inside = minor >= minorLo && minor <= minorHi;
        if (!xMajor) {
            if (inside) Shade(p, m, minor, minor + 1);
            continue;
        }
        // Runs of an x-major line in one row shade as one span.
        if (runLength > 0 && (!inside || minor != runRow)) {
            Shade(p, runRow, runStart, runStart + runLength);
            runLength = 0;
        }
        if (inside) {
            if (runLength == 0) {
                runStart = m;
                runRow = minor;
            }
            ++runLength;
        }
    }
    if (runLength > 0) Shade(p, runRow, runStart, runStart + runLength);
}

void Rasterizer::Point(const Vertex& a) {
    if (!Finite(a)) return;
    const int x = RoundToInt(a.X), y = RoundToInt(a.Y);
    if (x < clip_.Left || x >= clip_.Right || y < clip_.Top || y >= clip_.Bottom) return;
    Prim p;
    p.ConstColor = true;
    p.Color = a.Color;
    p.Textured = levels_ > 0;
    if (p.Textured) {
        p.U.C = a.U;
        p.V.C = a.V;
        SetupSampler(p);
    }
    Shade(p, y, x, x + 1);
}

uint32_t IndexAt(const void* indices, bool index32, uint32_t i) {
    if (indices == nullptr) return i;
    if (index32) {
        uint32_t v;
        std::memcpy(&v, static_cast<const uint8_t*>(indices) + 4 * size_t(i), 4);
        return v;
    }
    uint16_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(indices) + 2 * size_t(i), 2);
    return v;
}

bool KnownKind(Primitive kind) {
    return kind >= kPointList && kind <= kTriangleFan;
}

}  // namespace

uint32_t VerticesNeeded(Primitive kind, uint32_t primitiveCount) {
    if (primitiveCount == 0) return 0;
    uint64_t n = primitiveCount;
    switch (kind) {
        case kPointList:
            break;
        case kLineList:
            n *= 2;
            break;
        case kLineStrip:
            n += 1;
            break;
        case kTriangleList:
            n *= 3;
            break;
        case kTriangleStrip:
        case kTriangleFan:
            n += 2;
            break;
        default:
            return 0;
    }
    return uint32_t(std::min<uint64_t>(n, std::numeric_limits<uint32_t>::max()));
}

bool Draw(const Surface& target, const State& state, Primitive kind, const Vertex* vertices,
          const void* indices, bool index32, uint32_t primitiveCount) {
    if (!KnownKind(kind)) return false;
    if (primitiveCount == 0) return true;
    if (vertices == nullptr || !ValidSurface(target)) return false;
    Rasterizer r(target, state);
    if (r.Empty()) return true;
    auto v = [&](uint32_t i) -> const Vertex& { return vertices[IndexAt(indices, index32, i)]; };
    // The i-th triangle of a list or strip; odd strip triangles swap two corners to keep the
    // winding of the first.
    auto corner = [&](uint32_t t, int k) -> const Vertex& {
        if (kind == kTriangleList) return v(3 * t + k);
        if (kind == kTriangleFan) return k == 0 ? v(0) : v(t + k);
        if ((t & 1) && k < 2) return v(t + 1 - k);
        return v(t + k);
    };
    switch (kind) {
        case kPointList:
            for (uint32_t i = 0; i < primitiveCount; ++i) r.Point(v(i));
            break;
        case kLineList:
            for (uint32_t i = 0; i < primitiveCount; ++i) r.Line(v(2 * i), v(2 * i + 1));
            break;
        case kLineStrip:
            for (uint32_t i = 0; i < primitiveCount; ++i) r.Line(v(i), v(i + 1));
            break;
        default:
            for (uint32_t t = 0; t < primitiveCount; ++t) {
                if (r.SolidFill() && kind != kTriangleFan && t + 1 < primitiveCount &&
                    r.Rectangle(corner(t, 0), corner(t, 1), corner(t, 2), corner(t + 1, 0),
                                corner(t + 1, 1), corner(t + 1, 2))) {
                    ++t;
                    continue;
                }
                r.Triangle(corner(t, 0), corner(t, 1), corner(t, 2));
            }
            break;
    }
    return true;
}

bool Draw(const Surface& target, const State& state, Primitive kind, const Vertex* vertices,
          uint32_t vertexCount, const void* indices, bool index32, uint32_t primitiveCount) {
    if (!KnownKind(kind)) return false;
    const uint32_t needed = VerticesNeeded(kind, primitiveCount);
    if (indices == nullptr) {
        if (needed > vertexCount) return false;
    } else {
        for (uint32_t i = 0; i < needed; ++i)
            if (IndexAt(indices, index32, i) >= vertexCount) return false;
    }
    return Draw(target, state, kind, vertices, indices, index32, primitiveCount);
}

void Fill(const Surface& target, const Rect& rect, uint32_t argb) {
    if (!ValidSurface(target)) return;
    const int x0 = std::max(0, rect.Left), x1 = std::min(target.Width, rect.Right);
    const int y0 = std::max(0, rect.Top), y1 = std::min(target.Height, rect.Bottom);
    if (x0 >= x1 || y0 >= y1) return;
    const int bpp = PixelFormats::BytesPerPixel(target.Format);
    uint8_t texel[4];
    PixelFormats::Write(target.Format, texel, argb);
    uint8_t* first = target.Bits + std::ptrdiff_t(y0) * target.Pitch + std::ptrdiff_t(x0) * bpp;
    for (int x = 0; x < x1 - x0; ++x) std::memcpy(first + x * bpp, texel, size_t(bpp));
    const size_t bytes = size_t(x1 - x0) * size_t(bpp);
    for (int y = y0 + 1; y < y1; ++y)
        std::memcpy(target.Bits + std::ptrdiff_t(y) * target.Pitch + std::ptrdiff_t(x0) * bpp,
                    first, bytes);
}

}  // namespace SoftRaster
