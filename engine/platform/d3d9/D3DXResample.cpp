#include "platform/d3d9/D3DXResample.h"

#include <algorithm>
#include <cmath>

namespace D3DXResample {

namespace {

struct Tap {
    int Index;
    float Weight;
};

// For each destination index along one axis, the source texels it draws from.
std::vector<std::vector<Tap>> AxisTaps(int src, int dst, Filter filter) {
    std::vector<std::vector<Tap>> taps(dst);
    const double scale = double(src) / double(dst);
    for (int d = 0; d < dst; ++d) {
        std::vector<Tap>& list = taps[d];
        if (filter == Filter::kPoint) {
            list.push_back({int(int64_t(d) * src / dst), 1.0f});
        } else if (dst <= src) {
            // Every source texel weighs by how much of it the destination texel covers.
            const double begin = d * scale;
            const double end = (d + 1) * scale;
            for (int s = int(begin); s < src && s < end; ++s) {
                const double overlap = std::fmin(end, s + 1.0) - std::fmax(begin, double(s));
                if (overlap > 0) list.push_back({s, float(overlap / scale)});
            }
        } else {
            const double centre = (d + 0.5) * scale - 0.5;
            int i0 = int(std::floor(centre));
            const float f = float(centre - i0);
            const int i1 = i0 + 1 < src ? i0 + 1 : src - 1;
            if (i0 < 0) i0 = 0;
            list.push_back({i0, 1.0f - f});
            list.push_back({i1, f});
        }
    }
    return taps;
}

uint32_t Pack(const float* c) {
    uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        long v = std::lround(c[k]);
        v = v < 0 ? 0 : (v > 255 ? 255 : v);
        out |= uint32_t(v) << (24 - 8 * k);
    }
    return out;
}

}  // namespace

Filter FromFilterWord(uint32_t word) {
    if (word == 0xFFFFFFFFu) return Filter::kBox;
    switch (word & 0xFFFF) {
        case 1:
            return Filter::kNone;
        case 2:
            return Filter::kPoint;
        default:
            return Filter::kBox;
    }
}

std::vector<uint32_t> Resize(const std::vector<uint32_t>& src, int sw, int sh, int dw, int dh,
                             Filter filter) {
    if (sw == dw && sh == dh) return src;
    std::vector<uint32_t> out(size_t(dw) * dh, 0);
    if (filter == Filter::kNone) {
        for (int y = 0; y < dh && y < sh; ++y) {
            for (int x = 0; x < dw && x < sw; ++x)
                out[size_t(y) * dw + x] = src[size_t(y) * sw + x];
        }
        return out;
    }
    const std::vector<std::vector<Tap>> xt = AxisTaps(sw, dw, filter);
    const std::vector<std::vector<Tap>> yt = AxisTaps(sh, dh, filter);
    // Row by row: each output row sums its source rows, each filtered across first. Only
    // two rows of floats are alive at a time, so large textures cost no large buffers.
    std::vector<float> across(size_t(dw) * 4);
    std::vector<float> sum(size_t(dw) * 4);
    for (int y = 0; y < dh; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (const Tap& ty : yt[y]) {
            const uint32_t* line = &src[size_t(ty.Index) * sw];
            std::fill(across.begin(), across.end(), 0.0f);
            for (int x = 0; x < dw; ++x) {
                float* acc = &across[size_t(x) * 4];
                for (const Tap& t : xt[x]) {
                    const uint32_t p = line[t.Index];
                    for (int k = 0; k < 4; ++k) {
                        acc[k] += t.Weight * float((p >> (24 - 8 * k)) & 0xFF);
                    }
                }
            }
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += ty.Weight * across[i];
        }
        for (int x = 0; x < dw; ++x) out[size_t(y) * dw + x] = Pack(&sum[size_t(x) * 4]);
    }
    return out;
}

}  // namespace D3DXResample
