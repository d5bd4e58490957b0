// The pieces of the software rasterizer that its stages share: state values in the graphics
// API's numbering, exact 8-bit colour arithmetic, and the rasterizer with its per-primitive
// setup. Private to the rasterizer's own files.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftRaster.h"

// Vector paths: SSE2 wherever the compiler targets it, and on x86 with GCC or Clang the AVX2
// and AVX-512 paths, compiled for those sets alone and chosen at run time. A build with
// SOFTRASTER_SCALAR defined keeps to the scalar code, so that it is tested as well.
#if defined(__SSE2__) && !defined(SOFTRASTER_SCALAR)
#define SOFTRASTER_SSE2 1
#else
#define SOFTRASTER_SSE2 0
#endif
#if SOFTRASTER_SSE2 && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SOFTRASTER_X86_PATHS 1
#else
#define SOFTRASTER_X86_PATHS 0
#endif

// Code between SOFTRASTER_TARGET_AVX2 or SOFTRASTER_TARGET_AVX512 and SOFTRASTER_TARGET_END is
// compiled for that instruction set alone, to be run only where the processor has it. (GCC's
// own AVX-512 header starts some results from a deliberately undefined value, which its flow
// analysis then reports as used uninitialised.)
#define SOFTRASTER_PRAGMA(x) _Pragma(#x)
#if SOFTRASTER_X86_PATHS && defined(__clang__)
#define SOFTRASTER_TARGET(set) \
    SOFTRASTER_PRAGMA(clang attribute push(__attribute__((target(set))), apply_to = function))
#define SOFTRASTER_TARGET_END SOFTRASTER_PRAGMA(clang attribute pop)
#elif SOFTRASTER_X86_PATHS
#define SOFTRASTER_TARGET(set)             \
    SOFTRASTER_PRAGMA(GCC push_options)    \
    SOFTRASTER_PRAGMA(GCC target(set))     \
    SOFTRASTER_PRAGMA(GCC diagnostic push) \
    SOFTRASTER_PRAGMA(GCC diagnostic ignored "-Wmaybe-uninitialized")
#define SOFTRASTER_TARGET_END \
    SOFTRASTER_PRAGMA(GCC diagnostic pop) SOFTRASTER_PRAGMA(GCC pop_options)
#endif
#define SOFTRASTER_TARGET_AVX2 SOFTRASTER_TARGET("avx2")
#define SOFTRASTER_TARGET_AVX512 SOFTRASTER_TARGET("avx512f,avx512bw,avx512dq")

namespace SoftRaster {
namespace detail {

// The path draws use now: the widest available, within the limit set.
VectorPath CurrentVectorPath();

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

// Index i of a draw call's index list (16- or 32-bit), or i itself without one.
inline uint32_t IndexAt(const void* indices, bool index32, uint32_t i) {
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

// The rows from top to bottom y can reach, with one to spare either side; false, with nothing
// set, where they are not finite and near.
inline bool RowsReached(float top, float bottom, int& first, int& last) {
    constexpr float kFar = 1e9f;
    if (!(top > -kFar && bottom < kFar)) return false;
    first = int(std::floor(top)) - 1;
    last = int(std::ceil(bottom)) + 1;
    return true;
}

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

// floor(v) as an integer, saturated beyond +-2^62 (NaN gives the lower bound). Positions and
// texture coordinates are floored per row and per corner; the library call is too slow there.
inline int64_t FloorToInt(double v) {
    const double kLimit = 4611686018427387904.0;  // 2^62
    if (!(v > -kLimit)) return -(int64_t(1) << 62);
    if (v > kLimit) return int64_t(1) << 62;
    const int64_t t = int64_t(v);  // exact: truncates toward zero
    return double(t) > v ? t - 1 : t;
}

// A value in 16.16 fixed point, saturated far outside any texture so stepping cannot overflow.
inline int64_t ToFixed(double v) {
    const double kLimit = 1099511627776.0;           // 2^40
    if (!(v > -kLimit)) return -(int64_t(1) << 56);  // also NaN
    if (v > kLimit) return int64_t(1) << 56;
    return FloorToInt(v * 65536.0 + 0.5);
}
inline int RoundToInt(double v) {  // nearest, halves up; saturates
    if (!(v > -1e9)) return -1000000000;
    if (v > 1e9) return 1000000000;
    return int(FloorToInt(v + 0.5));
}
inline bool Finite(const Vertex& v) {
    return std::isfinite(v.X) && std::isfinite(v.Y);
}

struct FixPt {
    int64_t X, Y;
};
inline FixPt Snap(double x, double y) {
    return {FloorToInt(x * kSub + 0.5), FloorToInt(y * kSub + 0.5)};
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

bool ValidSurface(const Surface& s);

// Texel sampling.
struct SampleArgs;
using FetchFn = void (*)(const SampleArgs& a, uint32_t* out);
using FetchRowFn = void (*)(const uint8_t* row, int64_t u, int64_t du, int n, uint32_t* out);
FetchFn PickFetch(uint32_t format, bool linear, bool border);
FetchRowFn PickFetchRow(uint32_t format);

// Sampling of a level along a span whose coordinates (16.16, stepped per
// pixel) stay within 32 bits: a vector path's shortcut past the general sampler.
struct TexelWalk {
    const uint8_t* Bits = nullptr;
    int Pitch = 0;
    int32_t UMax = 0, VMax = 0;  // the last texel when clamping, the mask when wrapping
};
using WalkFn = void (*)(const TexelWalk& w, int32_t u, int32_t du, int32_t v, int32_t dv, int n,
                        uint32_t* out);
// The walk for a level and its addressing on the current vector path, with walk filled in;
// null where the general sampler must do it (the scalar path among them).
WalkFn PickWalk(const Surface& level, uint32_t addressU, uint32_t addressV, TexelWalk& walk);
// The same for linear filtering, whose coordinates the caller moves to the texel corners
// first (half a texel back).
WalkFn PickLinearWalk(const Surface& level, uint32_t addressU, uint32_t addressV, TexelWalk& walk);

// Whether a 32-bit ARGB value in memory has the byte order of A8R8G8B8 texels.
constexpr bool NativeArgb() {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return true;
#else
    return false;
#endif
}

// The texture stage.
enum class CombineKind { kModulate, kTexture, kGeneric };
CombineKind PickCombine(const State& st);
uint32_t CombineOne(const State& st, uint32_t tex, uint32_t dif);
void ModulateSpan(const uint32_t* tex, const uint32_t* dif, uint32_t constant, int n,
                  uint32_t* out);

// The output merger.
struct Output;
using OutputFn = void (*)(const Output& o, uint8_t* dst, const uint32_t* src, int n);
// The same with the texels modulated by a constant colour first, where fused.
using ModulateOutputFn = void (*)(const Output& o, uint8_t* dst, const uint32_t* tex, int n,
                                  uint32_t color);
// Count pixels at Dst, from the texels at Src.
struct Span {
    uint8_t* Dst;
    const uint32_t* Src;
    int Count;
};
// ModulateOutputFn over many spans in one call, in order.
using ModulateSpansFn = void (*)(const Output& o, const Span* spans, int count, uint32_t color);

struct Output {
    uint32_t Format = 0;
    int Bpp = 0;
    bool Blend = false;
    bool AlphaTest = false;
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
    // The alpha test's outcome for a source alpha.
    bool Passes(uint32_t alpha) const {
        return (alpha < Ref && Less) || (alpha == Ref && Equal) || (alpha > Ref && Greater);
    }
    OutputFn Fn = nullptr;
    ModulateOutputFn FnModulate = nullptr;      // null where not fused
    ModulateSpansFn FnModulateSpans = nullptr;  // null where FnModulate is
};

void SetupOutput(Output& o, const Surface& target, const State& st);

struct LevelRef {
    const Surface* Surf = nullptr;
    FetchFn Fetch = nullptr;
    FetchRowFn FetchRow = nullptr;  // point sampling along one row, no addressing needed
    bool Direct = false;            // texels are stored as native 32-bit ARGB
    int64_t Du = 0, Dv = 0;         // texel steps per pixel along x, 16.16
    WalkFn Walk = nullptr;          // sampling of slanted spans in lanes, where it applies
    TexelWalk WalkArgs;
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

// Calls row(y, bandEnd) for each row from first to last (inclusive) that the share owns, in
// order; bandEnd is the row after the owned band holding y, where another share's rows begin.
template <class RowFn>
inline void ForOwnedRows(const RowShare& rows, int first, int last, RowFn&& row) {
    int y = rows.First(first);
    int end = rows.BandEnd(y);
    while (y <= last) {
        row(y, end);
        if (++y == end) {
            y += rows.Gap();
            end = y + rows.Band;
        }
    }
}

// Whether two triangles share an edge, the first thing Rasterizer::Pair asks of them: those
// that do not are never drawn as one shape.
bool MayPair(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d, const Vertex& e,
             const Vertex& f);

class Rasterizer {
public:
    Rasterizer(const Surface& target, const State& st, const RowShare& rows)
        : target_(target), st_(st), rows_(rows) {
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
        batch_ = out_.FnModulateSpans != nullptr && combine_ == CombineKind::kModulate &&
                 !TextureMeetsTarget();
    }
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Blends what is batched; the last thing a draw does.
    void Finish() { Flush(); }

    bool Empty() const { return clip_.Left >= clip_.Right || clip_.Top >= clip_.Bottom; }

    void Triangle(const Vertex& a, const Vertex& b, const Vertex& c);
    // Draws two triangles that form an axis-aligned rectangle or a convex quad with one
    // attribute plane as that one shape; false, with nothing drawn, when they do not.
    // With draw false it only says whether it would draw them as one shape (culled or not),
    // which a share of the rows needs to know to pair the following triangles as others do.
    bool Pair(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d, const Vertex& e,
              const Vertex& f, bool draw = true);
    void Line(const Vertex& a, const Vertex& b);
    void Point(const Vertex& a);
    bool SolidFill() const { return st_.FillMode != kFillWireframe && st_.FillMode != kFillPoint; }

private:
    bool Culled(int64_t area) const {
        return (st_.CullMode == kCullCcw && area < 0) || (st_.CullMode == kCullCw && area > 0);
    }
    // False for a triangle without area. The sampler is set up only when asked: deciding how
    // to draw a quad needs its texture planes alone.
    bool SetupTriangle(const AttrVertex v[3], uint32_t flatColor, Prim& p,
                       bool sampler = true) const;
    void SetupSampler(Prim& p) const;
    bool ConvexQuad(const Vertex& a, const Vertex& d, const Vertex& s0, const Vertex& s1,
                    const Vertex& o0, const Vertex& o1, bool culled, bool draw);
    // Rows of a small primitive lie a whole pitch apart; asking for the rows ahead early lets
    // their cache misses overlap the shading of this one. At most kPrefetchBytes from x0.
    // Always inlined: a function that only prefetches has no effect the compiler must keep,
    // and calls to it vanish.
    static constexpr int kRowsAhead = 3;
    static constexpr int kPrefetchBytes = 512;
    __attribute__((always_inline)) void PrefetchRow(int y, int x0, int x1) const {
        const uint8_t* ahead =
            target_.Bits + std::ptrdiff_t(y) * target_.Pitch + std::ptrdiff_t(x0) * out_.Bpp;
        const std::ptrdiff_t bytes =
            std::min<std::ptrdiff_t>(std::ptrdiff_t(x1 - x0) * out_.Bpp, kPrefetchBytes);
        for (std::ptrdiff_t b = 0; b < bytes; b += 64) __builtin_prefetch(ahead + b, 1);
        __builtin_prefetch(ahead + bytes - 1, 1);
    }
    void CoverTriangle(FixPt v0, FixPt v1, FixPt v2, const Prim& p);
    void CoverConvex(const FixPt* corners, int n, const Prim& p);
    void CoverClipped(const AttrVertex v[3], const Prim& p);
    // Fills the rows of an axis-aligned rectangle whose texels are read straight from the
    // texture, a span per row, with the blend kernel called once for many rows; false, with
    // nothing drawn, where the primitive is not such a one.
    bool DirectRect(const Prim& p, int y0, int y1, int x0, int x1);
    void Shade(const Prim& p, int y, int x0, int x1);
    // Spans of textured primitives modulated by a constant colour are not blended at once but
    // batched, many rows of many primitives, and blended by one call of the kernel in the
    // order they came, on a colour change, when the batch is full, before anything else is
    // drawn, and at the end of the draw. Their texels are read from the texture or kept here,
    // so this changes no pixel, unless the texture is the target itself: then nothing is
    // batched.
    bool Batches(const Prim& p) const {
        return batch_ && p.Textured && p.ConstColor && p.MipWeight == 0;
    }
    // Makes room for a span of p's, with staged texels or without; a span goes in after this.
    void RoomForSpan(const Prim& p, bool staged) {
        if (spans_ == kSpans || (spans_ > 0 && p.Color != batchColor_) ||
            (staged && staged_ + kChunk > kStaged - 16))
            Flush();
        batchColor_ = p.Color;
    }
    void AddSpan(uint8_t* dst, const uint32_t* src, int n) { span_[spans_++] = {dst, src, n}; }
    void Flush() {
        if (spans_ > 0) out_.FnModulateSpans(out_, span_, spans_, batchColor_);
        spans_ = 0;
        staged_ = 0;
    }
    bool TextureMeetsTarget() const;
    const uint32_t* Sample(const Prim& p, const LevelRef& l, double cx, double cy, int n,
                           uint32_t* out) const;

    const Surface& target_;
    const State& st_;
    const RowShare rows_;
    Rect clip_;
    Output out_;
    CombineKind combine_;
    int levels_;

    static constexpr int kSpans = 64;
    // Room for a chunk of texels per span, each rounded up to whole vectors of the widest path.
    static constexpr int kStaged = kSpans * kChunk + 16;
    bool batch_ = false;
    int spans_ = 0;
    int staged_ = 0;
    uint32_t batchColor_ = 0;
    Span span_[kSpans];
    alignas(64) uint32_t stage_[kStaged];
};

}  // namespace detail
}  // namespace SoftRaster
