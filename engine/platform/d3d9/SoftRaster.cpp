// The software device's pixel pipeline.
//
// Geometry: vertex positions snap to 1/256 pixel; a triangle covers the pixel centres (integer
// coordinates) strictly inside its edges plus those exactly on a top or left edge, so triangles
// that share an edge cover each pixel once. Two triangles that make an axis-aligned rectangle
// with one consistent attribute plane are drawn as that rectangle, which is the common case
// (sprites, glyphs) and saves the per-row edge work; two that make a convex quad (a turned
// sprite) are drawn as one polygon, one span per row. Attributes are screen-linear planes
// evaluated at pixel centres.
//
// Shading runs over spans in chunks: sample the texture, combine it with the diffuse colour,
// then alpha-test, blend and store. Each stage is picked once per primitive or draw (by format,
// filter and blend mode), so the per-pixel loops carry no format switches. Colour arithmetic
// is 8-bit with exact rounding: x/255 rounds to the nearest integer everywhere.
#include "platform/d3d9/SoftRaster.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftRasterPipeline.h"

namespace SoftRaster {
namespace detail {

bool ValidSurface(const Surface& s) {
    const int bpp = PixelFormats::BytesPerPixel(s.Format);
    return s.Bits != nullptr && bpp > 0 && s.Width > 0 && s.Height > 0 &&
           int64_t(s.Pitch) >= int64_t(s.Width) * bpp;
}

bool Rasterizer::TextureMeetsTarget() const {
    const uint8_t* begin = target_.Bits;
    const uint8_t* end = begin + std::ptrdiff_t(target_.Pitch) * target_.Height;
    for (int i = 0; i < levels_; ++i) {
        const Surface& l = st_.Tex->Level[i];
        const uint8_t* first = l.Bits;
        const uint8_t* last = first + std::ptrdiff_t(l.Pitch) * l.Height;
        if (first < end && begin < last) return true;
    }
    return false;
}

void Rasterizer::Shade(const Prim& p, int y, int x0, int x1) {
    uint8_t* row = target_.Bits + std::ptrdiff_t(y) * target_.Pitch;
    if (Batches(p)) {
        for (int x = x0; x < x1; x += kChunk) {
            const int n = std::min(kChunk, x1 - x);
            RoomForSpan(p, true);
            uint32_t* out = stage_ + staged_;
            const uint32_t* texels = Sample(p, p.Level[0], x, y, n, out);
            // Samplers write whole vectors of up to 16 texels.
            if (texels == out) staged_ += (n + 15) & ~15;
            AddSpan(row + std::ptrdiff_t(x) * out_.Bpp, texels, n);
        }
        return;
    }
    Flush();
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

bool Rasterizer::DirectRect(const Prim& p, int y0, int y1, int x0, int x1) {
    if (!Batches(p)) return false;
    const LevelRef& l = p.Level[0];
    // One texel per pixel along each row, and no change of texel row along it; the texture's
    // x does not change down the rectangle, nor its y across it. Each chunk of a row then reads
    // the texels Sample would hand Shade straight from the texture, at the same coordinates:
    // worked out here once per chunk across all rows and once per row for all chunks.
    if (!l.Direct || l.Du != 0x10000 || l.Dv != 0 || p.U.Dy != 0 || p.V.Dx != 0) return false;
    constexpr int kMaxChunks = 16;
    const int chunks = (x1 - x0 + kChunk - 1) / kChunk;
    if (chunks > kMaxChunks) return false;
    const Surface& s = *l.Surf;
    const double w = s.Width, h = s.Height;
    int64_t first[kMaxChunks];
    for (int c = 0; c < chunks; ++c) {
        const int x = x0 + c * kChunk, n = std::min(kChunk, x1 - x);
        const int64_t u = ToFixed(p.U.At(x, y0) * w);
        first[c] = u >> 16;
        const int64_t last = (u + l.Du * (n - 1)) >> 16;
        const bool centred = ((u - 0x8000) & 0xFF00) == 0;
        if (first[c] < 0 || first[c] >= s.Width || last < 0 || last >= s.Width ||
            (p.Linear && !centred))
            return false;
    }
    ForOwnedRows(rows_, y0, y1 - 1, [&](int y, int bandEnd) {
        if (y + kRowsAhead < y1 && y + kRowsAhead < bandEnd) PrefetchRow(y + kRowsAhead, x0, x1);
        const int64_t v = ToFixed(p.V.At(x0, y) * h);
        const int64_t row = v >> 16;
        const bool centred = ((v - 0x8000) & 0xFF00) == 0;
        if (row < 0 || row >= s.Height || (p.Linear && !centred)) {
            Shade(p, y, x0, x1);
            return;
        }
        uint8_t* dst = target_.Bits + std::ptrdiff_t(y) * target_.Pitch;
        const uint8_t* texels = s.Bits + std::ptrdiff_t(row) * s.Pitch;
        for (int c = 0; c < chunks; ++c) {
            const int x = x0 + c * kChunk;
            const uint8_t* from = texels + std::ptrdiff_t(first[c]) * 4;
            if (reinterpret_cast<uintptr_t>(from) % alignof(uint32_t) != 0) {
                Shade(p, y, x, std::min(x + kChunk, x1));
                continue;
            }
            RoomForSpan(p, false);
            AddSpan(dst + std::ptrdiff_t(x) * out_.Bpp, reinterpret_cast<const uint32_t*>(from),
                    std::min(kChunk, x1 - x));
        }
    });
    return true;
}

}  // namespace detail

namespace {

using namespace detail;

bool KnownKind(Primitive kind) {
    return kind >= kPointList && kind <= kTriangleFan;
}

// Whether the vertices lie wholly outside the share's rows, with a row to spare either side for
// rounding; anything not finite is kept for the primitive's own checks.
bool Misses(const RowShare& rows, const Vertex* const* v, int n) {
    if (rows.All()) return false;
    float top = v[0]->Y, bottom = v[0]->Y;
    for (int i = 1; i < n; ++i) {
        top = std::min(top, v[i]->Y);
        bottom = std::max(bottom, v[i]->Y);
    }
    int first, last;
    return RowsReached(top, bottom, first, last) && !rows.Meets(first, last);
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
          const void* indices, bool index32, uint32_t primitiveCount, const RowShare& rows) {
    if (!KnownKind(kind)) return false;
    if (primitiveCount == 0) return true;
    if (vertices == nullptr || !ValidSurface(target)) return false;
    Rasterizer r(target, state, rows);
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
    // Primitives outside the share's rows are passed over. Triangles are still paired as one
    // thread pairs them, since which triangle starts the next pair depends on it.
    auto line = [&](const Vertex& a, const Vertex& b) {
        const Vertex* ends[2] = {&a, &b};
        if (!Misses(rows, ends, 2)) r.Line(a, b);
    };
    switch (kind) {
        case kPointList:
            for (uint32_t i = 0; i < primitiveCount; ++i) {
                const Vertex* one = &v(i);
                if (!Misses(rows, &one, 1)) r.Point(*one);
            }
            break;
        case kLineList:
            for (uint32_t i = 0; i < primitiveCount; ++i) line(v(2 * i), v(2 * i + 1));
            break;
        case kLineStrip:
            for (uint32_t i = 0; i < primitiveCount; ++i) line(v(i), v(i + 1));
            break;
        default:
            for (uint32_t t = 0; t < primitiveCount; ++t) {
                const Vertex* c[6] = {&corner(t, 0), &corner(t, 1), &corner(t, 2)};
                if (r.SolidFill() && kind != kTriangleFan && t + 1 < primitiveCount) {
                    c[3] = &corner(t + 1, 0);
                    c[4] = &corner(t + 1, 1);
                    c[5] = &corner(t + 1, 2);
                    const bool outside = Misses(rows, c, 6);
                    // Outside, both are passed over; the next pair starts at t + 2 whether these
                    // two pair or not where t + 1 cannot pair with t + 2, and only otherwise
                    // does it take asking whether they do.
                    if (outside &&
                        (t + 2 >= primitiveCount || !MayPair(*c[3], *c[4], *c[5], corner(t + 2, 0),
                                                             corner(t + 2, 1), corner(t + 2, 2)))) {
                        ++t;
                        continue;
                    }
                    if (r.Pair(*c[0], *c[1], *c[2], *c[3], *c[4], *c[5], !outside)) {
                        ++t;
                        continue;
                    }
                    if (outside) continue;
                }
                if (!Misses(rows, c, 3)) r.Triangle(*c[0], *c[1], *c[2]);
            }
            break;
    }
    r.Finish();
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

void Fill(const Surface& target, const Rect& rect, uint32_t argb, const RowShare& rows) {
    if (!ValidSurface(target)) return;
    const int x0 = std::max(0, rect.Left), x1 = std::min(target.Width, rect.Right);
    const int y0 = std::max(0, rect.Top), y1 = std::min(target.Height, rect.Bottom);
    if (x0 >= x1 || y0 >= y1) return;
    const int bpp = PixelFormats::BytesPerPixel(target.Format);
    uint8_t texel[4];
    PixelFormats::Write(target.Format, texel, argb);
    const size_t bytes = size_t(x1 - x0) * size_t(bpp);
    // The first row is filled texel by texel, the others copied from it.
    const uint8_t* first = nullptr;
    ForOwnedRows(rows, y0, y1 - 1, [&](int y, int) {
        uint8_t* row = target.Bits + std::ptrdiff_t(y) * target.Pitch + std::ptrdiff_t(x0) * bpp;
        if (first != nullptr) {
            std::memcpy(row, first, bytes);
            return;
        }
        for (int x = 0; x < x1 - x0; ++x) std::memcpy(row + x * bpp, texel, size_t(bpp));
        first = row;
    });
}

}  // namespace SoftRaster
