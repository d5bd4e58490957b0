// Texel sampling: addressing modes, point and linear filtering, mip level choice.
#include <cstring>

#include "platform/d3d9/SoftRasterPipeline.h"

namespace SoftRaster {
namespace detail {

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

namespace {

using PixelFormats::Codec::Decode;

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

template <uint32_t F>
void FetchRow(const uint8_t* row, int64_t u, int64_t du, int n, uint32_t* out) {
    for (int i = 0; i < n; ++i, u += du)
        out[i] = Decode<F>(row + std::ptrdiff_t(u >> 16) * Bpp<F>());
}

}  // namespace

FetchFn PickFetch(uint32_t format, bool linear, bool border) {
    if (linear) return border ? PickFetch<true, true>(format) : PickFetch<true, false>(format);
    return border ? PickFetch<false, true>(format) : PickFetch<false, false>(format);
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

// Picks filter and mip levels from the primitive's texel rate on screen, which is constant
// across a screen-linear primitive.
void Rasterizer::SetupSampler(Prim& p) const {
    // The level of detail decides only between the two filters and among mip levels; where
    // neither choice exists, its logarithm is not worth taking.
    double lod = -1e9;
    if (st_.MinFilter != st_.MagFilter || (st_.MipFilter != kMipNone && levels_ > 1)) {
        const Surface& base = st_.Tex->Level[0];
        const double w = base.Width, h = base.Height;
        const double rx = std::hypot(p.U.Dx * w, p.V.Dx * h);
        const double ry = std::hypot(p.U.Dy * w, p.V.Dy * h);
        const double rho = std::max(rx, ry);
        lod = (rho > 0 && std::isfinite(rho)) ? std::log2(rho) : -1e9;
        lod += double(st_.MipLodBias);
    }
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
        p.Level[i].Du = ToFixed(p.U.Dx * s->Width);
        p.Level[i].Dv = ToFixed(p.V.Dx * s->Height);
        p.Level[i].Walk = p.Linear
                              ? PickLinearWalk(*s, st_.AddressU, st_.AddressV, p.Level[i].WalkArgs)
                              : PickWalk(*s, st_.AddressU, st_.AddressV, p.Level[i].WalkArgs);
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
    const int64_t du = l.Du, dv = l.Dv;
    // Filtering an unscaled row whose pixel centres fall on texel centres, to the 8 bits of
    // fraction kept, weighs each pixel's own texel alone, as point sampling reads it.
    const bool onCentres = p.Linear && du == 0x10000 && dv == 0 && ((u - 0x8000) & 0xFF00) == 0 &&
                           ((v - 0x8000) & 0xFF00) == 0;
    if ((!p.Linear || onCentres) && dv == 0) {
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
    if (p.Linear) {
        // Texel centres sit half a texel in from the texel's corner.
        u -= 0x8000;
        v -= 0x8000;
    }
    if (l.Walk != nullptr) {
        // Linear in the pixel, so both ends inside 32 bits keep every pixel between inside.
        auto fits = [](int64_t s) { return s >= INT32_MIN && s <= INT32_MAX; };
        if (fits(u) && fits(v) && fits(u + du * (n - 1)) && fits(v + dv * (n - 1))) {
            // Steps too wide for 32 bits still land right modulo 2^32, which is all a
            // coordinate that stays within 32 bits needs.
            l.Walk(l.WalkArgs, int32_t(u), int32_t(uint32_t(du)), int32_t(v), int32_t(uint32_t(dv)),
                   n, out);
            return out;
        }
    }
    int u0[kChunk], u1[kChunk], v0[kChunk], v1[kChunk];
    uint8_t fu[kChunk], fv[kChunk];
    SampleArgs a{&s, u0, u1, fu, v0, v1, fv, st_.BorderColor, n};
    if (p.Linear) {
        AxisLinear(u, du, n, s.Width, st_.AddressU, u0, u1, fu);
        AxisLinear(v, dv, n, s.Height, st_.AddressV, v0, v1, fv);
    } else {
        AxisPoint(u, du, n, s.Width, st_.AddressU, u0);
        AxisPoint(v, dv, n, s.Height, st_.AddressV, v0);
    }
    l.Fetch(a, out);
    return out;
}

}  // namespace detail
}  // namespace SoftRaster
