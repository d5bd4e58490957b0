// Small in-memory targets and textures for driving the rasterizer directly in tests, and the
// rasterizer's draw as the device makes it at the thread count the program runs with.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/d3d9/PixelFormats.h"
#include "platform/d3d9/SoftD3D.h"
#include "platform/d3d9/SoftRaster.h"
#include "platform/d3d9/SoftRasterQueue.h"

namespace RasterTest {

struct Image {
    Image(int width, int height, uint32_t format = PixelFormats::kA8R8G8B8, uint32_t fill = 0)
        : Width(width),
          Height(height),
          Format(format),
          Pitch(width * PixelFormats::BytesPerPixel(format) + 4),  // padded like a real pitch
          Bits(size_t(Pitch) * height, 0) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) Set(x, y, fill);
    }
    SoftRaster::Surface Surf() {
        SoftRaster::Surface s;
        s.Bits = Bits.data();
        s.Pitch = Pitch;
        s.Width = Width;
        s.Height = Height;
        s.Format = Format;
        return s;
    }
    uint8_t* At(int x, int y) {
        return Bits.data() + size_t(y) * Pitch + size_t(x) * PixelFormats::BytesPerPixel(Format);
    }
    uint32_t Get(int x, int y) { return PixelFormats::Read(Format, At(x, y)); }
    void Set(int x, int y, uint32_t argb) { PixelFormats::Write(Format, At(x, y), argb); }

    int Width, Height;
    uint32_t Format;
    int Pitch;
    std::vector<uint8_t> Bits;
};

inline SoftRaster::Vertex Vert(float x, float y, uint32_t color, float u = 0, float v = 0) {
    return SoftRaster::Vertex{x, y, 0.0f, 1.0f, color, u, v};
}

// Corners in the order top-left, top-right, bottom-left, bottom-right.
inline std::vector<SoftRaster::Vertex> Quad(float x0, float y0, float x1, float y1, uint32_t color,
                                            float u0 = 0, float v0 = 0, float u1 = 1,
                                            float v1 = 1) {
    return {Vert(x0, y0, color, u0, v0), Vert(x1, y0, color, u1, v0), Vert(x0, y1, color, u0, v1),
            Vert(x1, y1, color, u1, v1)};
}
inline const uint16_t kQuadIndices[6] = {0, 1, 2, 2, 1, 3};

// A square of the given side turned clockwise on screen about a centre, corners in Quad's
// order, with texture coordinates from (u0, v0) to reach beyond them across it.
inline std::vector<SoftRaster::Vertex> TurnedSquare(double cx, double cy, double side,
                                                    double degrees, uint32_t color, double u0 = 0,
                                                    double v0 = 0, double reach = 1) {
    const double a = degrees * 3.14159265358979323846 / 180;
    std::vector<SoftRaster::Vertex> q;
    for (int k = 0; k < 4; ++k) {
        const double lx = (k & 1 ? 0.5 : -0.5) * side, ly = (k & 2 ? 0.5 : -0.5) * side;
        q.push_back(Vert(float(cx + std::cos(a) * lx - std::sin(a) * ly),
                         float(cy + std::sin(a) * lx + std::cos(a) * ly), color,
                         float(u0 + (k & 1) * reach), float(v0 + (k >> 1) * reach)));
    }
    return q;
}

// SoftRaster::Draw at the device's thread count (SoftD3D::ThreadCount, which the environment
// sets): on this thread for one, else on that many worker threads drawing their own rows, waited
// for. So every scene drawn with it is checked at the count the test program runs at, and ctest
// runs it at several. (The target is taken as a temporary, such as Image::Surf gives, which
// makes these a closer match than the rasterizer's own Draw that argument lookup also finds.)
inline bool Draw(SoftRaster::Surface&& target, const SoftRaster::State& st,
                 SoftRaster::Primitive kind, const SoftRaster::Vertex* vertices,
                 uint32_t vertexCount, const void* indices, bool index32, uint32_t primitiveCount) {
    const int threads = SoftD3D::ThreadCount();
    if (threads <= 1)
        return SoftRaster::Draw(target, st, kind, vertices, vertexCount, indices, index32,
                                primitiveCount);
    static std::unique_ptr<SoftRaster::Queue> queue;
    if (queue == nullptr || queue->Threads() != threads)
        queue = std::make_unique<SoftRaster::Queue>(threads);
    const auto result =
        queue->Draw(target, st, kind, reinterpret_cast<const uint8_t*>(vertices),
                    sizeof(SoftRaster::Vertex), vertexCount, indices, index32, primitiveCount);
    queue->Finish();
    return result == SoftRaster::Queue::Result::kQueued;
}
inline bool Draw(SoftRaster::Surface&& target, const SoftRaster::State& st,
                 SoftRaster::Primitive kind, const SoftRaster::Vertex* vertices,
                 const void* indices, bool index32, uint32_t primitiveCount) {
    return RasterTest::Draw(std::move(target), st, kind, vertices, 0xFFFFFFFFu, indices, index32,
                            primitiveCount);
}

inline SoftRaster::State StateFor(const Image& target) {
    SoftRaster::State st;
    st.Viewport = {0, 0, target.Width, target.Height};
    return st;
}

// Draws a quad as an indexed list of two triangles.
inline bool DrawQuad(Image& target, const SoftRaster::State& st,
                     const std::vector<SoftRaster::Vertex>& quad) {
    return Draw(target.Surf(), st, SoftRaster::kTriangleList, quad.data(), kQuadIndices, false, 2);
}

}  // namespace RasterTest
