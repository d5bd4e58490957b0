// Coverage: which pixel centres a triangle, rectangle, line or point lights, with clipping to
// the viewport and a guard band, and each primitive's attribute planes.
#include "platform/d3d9/SoftRasterPipeline.h"

namespace SoftRaster {
namespace detail {

bool Rasterizer::SetupTriangle(const AttrVertex v[3], uint32_t flatColor, Prim& p,
                               bool sampler) const {
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
        if (sampler) SetupSampler(p);
    }
    return true;
}

// Fills the pixel centres inside a triangle, with the top-left rule deciding centres that fall
// exactly on an edge.
void Rasterizer::CoverTriangle(FixPt v0, FixPt v1, FixPt v2, const Prim& p) {
    const FixPt pts[3] = {v0, v1, v2};
    CoverConvex(pts, 3, p);
}

// The same for a strictly convex polygon of three or four corners in either winding. The top-
// left rule lights a centre on an edge exactly when the centre nudged a hair right (and far
// less down) lies inside, so a convex quad lights what its two halves would light together.
void Rasterizer::CoverConvex(const FixPt* corners, int n, const Prim& p) {
    const int64_t area = Area2(corners[0], corners[1], corners[2]);
    if (area == 0) return;
    FixPt pts[4];
    for (int i = 0; i < n; ++i) pts[i] = area > 0 ? corners[i] : corners[i == 0 ? 0 : n - i];
    struct Edge {
        int64_t X, Y, Dx, Dy, Bias;
    };
    Edge edges[4];
    int64_t minY = corners[0].Y, maxY = corners[0].Y;
    for (int i = 0; i < n; ++i) {
        const FixPt& a = pts[i];
        const FixPt& b = pts[(i + 1) % n];
        minY = std::min(minY, a.Y);
        maxY = std::max(maxY, a.Y);
        Edge& e = edges[i];
        e.X = a.X;
        e.Y = a.Y;
        e.Dx = b.X - a.X;
        e.Dy = b.Y - a.Y;
        // With y growing downwards and this winding, top edges run right, left edges up.
        const bool topLeft = (e.Dy == 0 && e.Dx > 0) || e.Dy < 0;
        e.Bias = topLeft ? 0 : 1;
    }
    const int yFirst = int(std::max<int64_t>(clip_.Top, CeilDiv(minY, kSub)));
    const int yLast = int(std::min<int64_t>(clip_.Bottom - 1, FloorDiv(maxY, kSub)));
    // A small polygon's rows lie a pitch apart, each in cache lines of its own.
    int64_t minX = pts[0].X, maxX = pts[0].X;
    for (int i = 1; i < n; ++i) {
        minX = std::min(minX, pts[i].X);
        maxX = std::max(maxX, pts[i].X);
    }
    const int xFirst = int(std::max<int64_t>(clip_.Left, CeilDiv(minX, kSub)));
    const int xEnd = int(std::min<int64_t>(clip_.Right, FloorDiv(maxX, kSub) + 1));
    const bool small = int64_t(xEnd - xFirst) * out_.Bpp <= kPrefetchBytes;
    // A centre is inside an edge when c - Dy * px >= Bias, px being the centre in sub-pixels
    // and c = Dx * (py - Y) + Dy * X: a sloped edge bounds a row's centres on the left (Dy < 0)
    // or right at floor(N / D) pixels, N = c - Bias and D = |Dy| * kSub, or its negation. N
    // grows by Dx * kSub a row, so the bound is kept as quotient and remainder and stepped
    // without dividing; it is worked out afresh only where the rows jump past another
    // thread's band.
    struct Bound {
        const Edge* E;
        int64_t D, StepQ, StepR, Q, R;
    };
    Bound bounds[4];
    const Edge* flat[4];
    int sloped = 0, flats = 0;
    for (int i = 0; i < n; ++i) {
        const Edge& e = edges[i];
        if (e.Dy == 0) {
            flat[flats++] = &e;
            continue;
        }
        Bound& b = bounds[sloped++];
        b.E = &e;
        b.D = (e.Dy < 0 ? -e.Dy : e.Dy) * kSub;
        b.StepQ = FloorDiv(e.Dx * kSub, b.D);
        b.StepR = e.Dx * kSub - b.StepQ * b.D;
    }
    int stepped = -1;  // the row the bounds hold, if any
    ForOwnedRows(rows_, yFirst, yLast, [&](int y, int bandEnd) {
        // Rows past the band are another thread's to fetch.
        if (small && y + kRowsAhead <= yLast && y + kRowsAhead < bandEnd)
            PrefetchRow(y + kRowsAhead, xFirst, xEnd);
        const int64_t py = int64_t(y) * kSub;
        int64_t lo = clip_.Left, hi = clip_.Right - 1;
        for (int i = 0; i < flats; ++i)
            if (flat[i]->Dx * (py - flat[i]->Y) < flat[i]->Bias) hi = lo - 1;
        for (int i = 0; i < sloped; ++i) {
            Bound& b = bounds[i];
            const Edge& e = *b.E;
            if (y != stepped) {
                const int64_t num = e.Dx * (py - e.Y) + e.Dy * e.X - e.Bias;
                b.Q = FloorDiv(num, b.D);
                b.R = num - b.Q * b.D;
            }
            if (e.Dy < 0)
                lo = std::max(lo, -b.Q);
            else
                hi = std::min(hi, b.Q);
            // Without a branch: which rows carry is as good as random.
            b.R += b.StepR;
            const int64_t carry = b.R >= b.D;
            b.R -= carry * b.D;
            b.Q += b.StepQ + carry;
        }
        stepped = y + 1;
        if (lo <= hi) Shade(p, y, int(lo), int(hi) + 1);
    });
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

// Beyond this many pixels the guard-band clip's double arithmetic loses the target's own
// pixels, so such triangles are dropped like those with non-finite corners.
constexpr double kFarthest = 1099511627776.0;  // 2^40

bool Reachable(const Vertex& v) {
    return std::fabs(v.X) <= kFarthest && std::fabs(v.Y) <= kFarthest;  // false for NaN
}

bool InGuard(const Vertex& v) {
    return std::fabs(v.X) <= kGuard && std::fabs(v.Y) <= kGuard;
}

void Rasterizer::Triangle(const Vertex& a, const Vertex& b, const Vertex& c) {
    if (!Reachable(a) || !Reachable(b) || !Reachable(c)) return;
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

// Whether the triangles share exactly one edge: two corners each, in one place. Which corners
// they are goes to sharedFirst and sharedSecond.
bool SharedEdge(const Vertex* const first[3], const Vertex* const second[3], int sharedFirst[2],
                int sharedSecond[2]) {
    int count = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (SamePlace(*first[i], *second[j])) {
                if (count == 2) return false;
                sharedFirst[count] = i;
                sharedSecond[count] = j;
                ++count;
            }
    return count == 2 && sharedFirst[0] != sharedFirst[1] && sharedSecond[0] != sharedSecond[1];
}

bool MayPair(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d, const Vertex& e,
             const Vertex& f) {
    const Vertex* first[3] = {&a, &b, &c};
    const Vertex* second[3] = {&d, &e, &f};
    int sharedFirst[2], sharedSecond[2];
    return SharedEdge(first, second, sharedFirst, sharedSecond);
}

bool Rasterizer::Pair(const Vertex& a, const Vertex& b, const Vertex& c, const Vertex& d,
                      const Vertex& e, const Vertex& f, bool draw) {
    // Find the shared pair: first triangle (a, b, c), second (d, e, f).
    const Vertex* first[3] = {&a, &b, &c};
    const Vertex* second[3] = {&d, &e, &f};
    int sharedFirst[2], sharedSecond[2];
    if (!SharedEdge(first, second, sharedFirst, sharedSecond)) return false;
    const Vertex& s0 = *first[sharedFirst[0]];
    const Vertex& s1 = *first[sharedFirst[1]];
    if (!SameAttributes(s0, *second[sharedSecond[0]]) ||
        !SameAttributes(s1, *second[sharedSecond[1]]))
        return false;
    const Vertex& o0 = *first[3 - sharedFirst[0] - sharedFirst[1]];
    const Vertex& o1 = *second[3 - sharedSecond[0] - sharedSecond[1]];
    if (!Finite(s0) || !Finite(s1) || !Finite(o0) || !Finite(o1)) return false;
    if (!InGuard(s0) || !InGuard(s1) || !InGuard(o0) || !InGuard(o1)) return false;
    const int64_t areaA = Area2(Snap(a.X, a.Y), Snap(b.X, b.Y), Snap(c.X, c.Y));
    const int64_t areaB = Area2(Snap(d.X, d.Y), Snap(e.X, e.Y), Snap(f.X, f.Y));
    if (areaA == 0 || areaB == 0) return false;
    const bool culled = Culled(areaA);
    if (culled != Culled(areaB)) return false;
    // The shared edge must be the diagonal of an axis-aligned rectangle, or else of a convex
    // quad.
    const bool o0Ok = (o0.X == s0.X && o0.Y == s1.Y) || (o0.X == s1.X && o0.Y == s0.Y);
    const bool o1Ok = (o1.X == s0.X && o1.Y == s1.Y) || (o1.X == s1.X && o1.Y == s0.Y);
    if (s0.X == s1.X || s0.Y == s1.Y || !o0Ok || !o1Ok || SamePlace(o0, o1))
        return ConvexQuad(a, d, s0, s1, o0, o1, culled, draw);
    // One attribute plane for both halves: opposite corners sum alike.
    if (double(s0.U) + s1.U != double(o0.U) + o1.U || double(s0.V) + s1.V != double(o0.V) + o1.V)
        return false;
    const bool flat = st_.ShadeMode == kShadeFlat;
    if (flat && a.Color != d.Color) return false;
    if (!flat)
        for (int k = 0; k < 4; ++k)
            if (Ch(s0.Color, k) + Ch(s1.Color, k) != Ch(o0.Color, k) + Ch(o1.Color, k))
                return false;
    if (culled) return true;

    const AttrVertex v[3] = {Attr(a), Attr(b), Attr(c)};
    Prim p;
    if (!SetupTriangle(v, a.Color, p, draw)) return false;
    if (!draw) return true;
    // The union of the halves under the top-left rule: centres in [left, right) x [top, bottom).
    const FixPt lt = Snap(std::min(s0.X, s1.X), std::min(s0.Y, s1.Y));
    const FixPt rb = Snap(std::max(s0.X, s1.X), std::max(s0.Y, s1.Y));
    const int x0 = int(std::max<int64_t>(clip_.Left, CeilDiv(lt.X, kSub)));
    const int x1 = int(std::min<int64_t>(clip_.Right, CeilDiv(rb.X, kSub)));
    const int y0 = int(std::max<int64_t>(clip_.Top, CeilDiv(lt.Y, kSub)));
    const int y1 = int(std::min<int64_t>(clip_.Bottom, CeilDiv(rb.Y, kSub)));
    if (x0 >= x1 || DirectRect(p, y0, y1, x0, x1)) return true;
    ForOwnedRows(rows_, y0, y1 - 1, [&](int y, int bandEnd) {
        if (y + kRowsAhead < y1 && y + kRowsAhead < bandEnd) PrefetchRow(y + kRowsAhead, x0, x1);
        Shade(p, y, x0, x1);
    });
    return true;
}

// Two triangles, (a, ...) and (d, ...), that share the diagonal s0-s1 of a quad, such as a
// turned sprite, drawn as one convex polygon with the first triangle's attribute plane: each
// row is one span, set up once. It lights the pixels the two triangles light. Only where the
// quad is strictly convex, its colour constant, and that plane gives the fourth corner its own
// texture coordinates to within 1/256 texel, so that a pixel can show another texel than the
// triangles would only where its centre lies that close to a texel's edge (snapping corners to
// 1/256 pixel moves edges as far); false otherwise, with nothing drawn.
bool Rasterizer::ConvexQuad(const Vertex& a, const Vertex& d, const Vertex& s0, const Vertex& s1,
                            const Vertex& o0, const Vertex& o1, bool culled, bool draw) {
    const FixPt corners[4] = {Snap(s0.X, s0.Y), Snap(o0.X, o0.Y), Snap(s1.X, s1.Y),
                              Snap(o1.X, o1.Y)};
    // Each diagonal has the other's ends strictly on either side.
    auto apart = [](int64_t p, int64_t q) { return (p > 0 && q < 0) || (p < 0 && q > 0); };
    if (!apart(Area2(corners[0], corners[2], corners[1]),
               Area2(corners[0], corners[2], corners[3])) ||
        !apart(Area2(corners[1], corners[3], corners[0]),
               Area2(corners[1], corners[3], corners[2])))
        return false;
    if (st_.ShadeMode == kShadeFlat
            ? a.Color != d.Color
            : s0.Color != o0.Color || s1.Color != o0.Color || o1.Color != o0.Color)
        return false;
    if (culled) return true;
    const AttrVertex v[3] = {Attr(s0), Attr(o0), Attr(s1)};
    Prim p;
    if (!SetupTriangle(v, a.Color, p, draw)) return false;
    if (p.Textured) {
        constexpr double kTolerance = 1.0 / 256;
        const Surface& base = st_.Tex->Level[0];
        const double du = (p.U.At(o1.X, o1.Y) - o1.U) * base.Width;
        const double dv = (p.V.At(o1.X, o1.Y) - o1.V) * base.Height;
        if (!(std::fabs(du) <= kTolerance && std::fabs(dv) <= kTolerance)) return false;
    }
    if (draw) CoverConvex(corners, 4, p);
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
        const bool inside = minor >= minorLo && minor <= minorHi && (!xMajor || rows_.Owns(minor));
        if (!xMajor) {
            if (inside && rows_.Owns(m)) Shade(p, m, minor, minor + 1);
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
    if (!rows_.Owns(y)) return;
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

}  // namespace detail
}  // namespace SoftRaster
