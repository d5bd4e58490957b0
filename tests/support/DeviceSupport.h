// What the graphics tests share on every device, ours or the system's Direct3D 9: a headless
// window to draw into, pixels read back from a render target, the one tolerance for what
// conforming devices may draw differently, and the skips for what a device cannot show.
//
// A test is one of three kinds. Exact tests compare what any conforming device must give
// (axis-aligned fills, unscaled point-sampled copies, glyph placement, logs, results). Tolerant
// tests compare through ColourNear or ShapeNear below. Tests of the software device's own hooks
// (call counters, injected failures, caps overrides, the lost-device switch) or of its own
// rasterizer rules start with SKIP_UNLESS_SOFTWARE_DEVICE.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/D3D9.h"
#include "platform/Window.h"

namespace TestSupport {

// True where the tests draw on the software device; false on the system's Direct3D.
extern const bool kSoftwareDevice;

// Whether a device can be made here at all, checked once per process: the system's Direct3D
// needs a display (under Wine an X server with GLX). False with the reason otherwise.
bool DeviceAvailable(std::string& reason);

// A headless window of the platform layer with that client size; null (and a failure) when
// none can be made.
std::unique_ptr<Platform::Window> MakeHeadlessWindow(int width, int height);

// The texels of a surface the CPU may lock (system memory, managed, lockable), as ARGB.
std::vector<uint32_t> LockedPixels(IDirect3DSurface9* surface);
// The pixels of a render target, the back buffer included, as ARGB. Read through a copy in
// system memory: a device need not let a render target be locked.
std::vector<uint32_t> RenderTargetPixels(IDirect3DDevice9* device, IDirect3DSurface9* target);
std::vector<uint32_t> BackBufferPixels(IDirect3DDevice9* device);

// The bytes of a PNG file (with alpha) of the ARGB pixels, row by row.
std::string PngBytes(int width, int height, const std::vector<uint32_t>& pixels);
// A PNG file's pixels as ARGB; false when it cannot be read.
bool ReadImageFile(const std::string& path, int& width, int& height, std::vector<uint32_t>& pixels);

// Blending, modulation by the diffuse colour and colour interpolation round differently from
// one device to the next: dividing by 255 or by 256, truncating or rounding, in 8 bits or in
// floating point. A conforming device stays within two levels a channel of the exact value.
constexpr int kRoundingLevels = 2;
::testing::AssertionResult ColourNear(uint32_t expected, uint32_t actual,
                                      int levels = kRoundingLevels);

// A shape drawn in one colour over another. Where a pixel's centre lies clearly inside or
// outside it, the pixel must be the inside or the outside colour (within levels); a pixel
// whose centre lies within edgeWidth of the edge may be either, since devices place edges
// with different sub-pixel precision and lines with different rules. inside(x, y) is the
// signed distance of the point from the edge in pixels, negative inside.
struct Shape {
    std::function<float(float x, float y)> Distance;
    uint32_t Inside = 0;
    uint32_t Outside = 0;
    float EdgeWidth = 1.0f;
    int Levels = kRoundingLevels;
};
::testing::AssertionResult ShapeNear(const std::vector<uint32_t>& pixels, int width, int height,
                                     const Shape& shape);

// The signed distance from a segment of the given thickness: lines, and the sides of outlines.
float SegmentDistance(float x, float y, float x1, float y1, float x2, float y2, float thickness);

}  // namespace TestSupport

// Skips the test where the device is the system's, saying why it can only run on ours.
#define SKIP_UNLESS_SOFTWARE_DEVICE(reason)            \
    if (!::TestSupport::kSoftwareDevice)               \
    GTEST_SKIP() << "software device only (" << reason \
                 << "): the system's "                 \
                    "Direct3D has no such hook or follows its own rule there"

// Skips the test, with the reason, where the system's Direct3D can make no device here. The
// software device can always make one: there a missing device fails the test.
#define SKIP_WITHOUT_DEVICE()                                         \
    do {                                                              \
        std::string deviceMissing_;                                   \
        if (::TestSupport::DeviceAvailable(deviceMissing_)) break;    \
        if (::TestSupport::kSoftwareDevice) FAIL() << deviceMissing_; \
        GTEST_SKIP() << "no graphics device: " << deviceMissing_;     \
    } while (0)
