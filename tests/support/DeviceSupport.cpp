#include "support/DeviceSupport.h"

// The image files the tests write and read back go through the stb headers, the same on
// every system, independent of the device under test.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace TestSupport {

namespace {

std::string ResultText(HRESULT hr) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// Makes a device once and says why not. On the system's Direct3D the reason names what
// Wine needs, since that is where the tests run without a desktop.
bool ProbeDevice(std::string& reason) {
    std::string error;
    Platform::WindowSettings settings;
    settings.Title = "device probe";
    settings.ClientWidth = 16;
    settings.ClientHeight = 16;
    settings.Headless = true;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    const char* display = std::getenv("DISPLAY");
    const std::string where =
        kSoftwareDevice
            ? std::string()
            : std::string(" (under Wine Direct3D needs an X display with GLX; DISPLAY is ") +
                  (display != nullptr && display[0] != '\0' ? display : "unset") + ")";
    if (window == nullptr) {
        reason = "no window: " + error + where;
        return false;
    }
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (d3d == nullptr) {
        reason = "Direct3DCreate9 gave no object" + where;
        return false;
    }
    D3DPRESENT_PARAMETERS pp;
    std::memset(&pp, 0, sizeof pp);
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = window->Handle();
    IDirect3DDevice9* device = nullptr;
    const HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window->Handle(),
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    if (device != nullptr) device->Release();
    d3d->Release();
    if (FAILED(hr)) {
        reason = "CreateDevice failed with " + ResultText(hr) + where;
        return false;
    }
    return true;
}

int Channel(uint32_t colour, int shift) {
    return static_cast<int>(colour >> shift & 0xFF);
}

int LargestChannelDifference(uint32_t a, uint32_t b) {
    int largest = 0;
    for (int shift = 0; shift < 32; shift += 8)
        largest = std::max(largest, std::abs(Channel(a, shift) - Channel(b, shift)));
    return largest;
}

std::string Hex(uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", colour);
    return text;
}

}  // namespace

bool DeviceAvailable(std::string& reason) {
    static std::string why;
    static const bool available = ProbeDevice(why);
    reason = why;
    return available;
}

std::unique_ptr<Platform::Window> MakeHeadlessWindow(int width, int height) {
    Platform::WindowSettings settings;
    settings.Title = "test";
    settings.ClientWidth = width;
    settings.ClientHeight = height;
    settings.Headless = true;
    settings.Resizable = false;
    std::string error;
    std::unique_ptr<Platform::Window> window = Platform::Window::Create(settings, error);
    EXPECT_NE(window, nullptr) << error;
    return window;
}

std::vector<uint32_t> LockedPixels(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc;
    if (surface == nullptr || surface->GetDesc(&desc) != D3D_OK) return {};
    D3DLOCKED_RECT lr;
    if (surface->LockRect(&lr, nullptr, D3DLOCK_READONLY) != D3D_OK) return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; y++)
        std::memcpy(&pixels[y * desc.Width], static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch,
                    desc.Width * 4);
    surface->UnlockRect();
    return pixels;
}

std::vector<uint32_t> RenderTargetPixels(IDirect3DDevice9* device, IDirect3DSurface9* target) {
    D3DSURFACE_DESC desc;
    if (device == nullptr || target == nullptr || target->GetDesc(&desc) != D3D_OK) return {};
    IDirect3DSurface9* copy = nullptr;
    if (device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                            &copy, nullptr) != D3D_OK)
        return {};
    std::vector<uint32_t> pixels;
    if (device->GetRenderTargetData(target, copy) == D3D_OK) pixels = LockedPixels(copy);
    copy->Release();
    return pixels;
}

std::vector<uint32_t> BackBufferPixels(IDirect3DDevice9* device) {
    IDirect3DSurface9* back = nullptr;
    if (device == nullptr || device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back) != D3D_OK)
        return {};
    std::vector<uint32_t> pixels = RenderTargetPixels(device, back);
    back->Release();
    return pixels;
}

namespace {

void Append(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<size_t>(size));
}

std::vector<uint8_t> Rgba(const std::vector<uint32_t>& pixels) {
    std::vector<uint8_t> rgba;
    rgba.reserve(pixels.size() * 4);
    for (uint32_t p : pixels)
        for (int shift : {16, 8, 0, 24}) rgba.push_back(static_cast<uint8_t>(p >> shift));
    return rgba;
}

}  // namespace

std::string PngBytes(int width, int height, const std::vector<uint32_t>& pixels) {
    std::string out;
    stbi_write_png_to_func(Append, &out, width, height, 4, Rgba(pixels).data(), width * 4);
    return out;
}

bool ReadImageFile(const std::string& path, int& width, int& height,
                   std::vector<uint32_t>& pixels) {
    int channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (data == nullptr) return false;
    pixels.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = uint32_t(data[i * 4 + 3]) << 24 | uint32_t(data[i * 4]) << 16 |
                    uint32_t(data[i * 4 + 1]) << 8 | data[i * 4 + 2];
    stbi_image_free(data);
    return true;
}

::testing::AssertionResult ColourNear(uint32_t expected, uint32_t actual, int levels) {
    const int difference = LargestChannelDifference(expected, actual);
    if (difference <= levels) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "colour " << Hex(actual) << " is " << difference << " levels from " << Hex(expected)
           << " (at most " << levels << " allowed)";
}

::testing::AssertionResult ShapeNear(const std::vector<uint32_t>& pixels, int width, int height,
                                     const Shape& shape) {
    if (pixels.size() != static_cast<size_t>(width) * height)
        return ::testing::AssertionFailure() << "no picture of " << width << " x " << height;
    int wrong = 0;
    std::string first;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const float d = shape.Distance(x + 0.5f, y + 0.5f);
            const uint32_t actual = pixels[static_cast<size_t>(y) * width + x];
            const bool isInside = LargestChannelDifference(actual, shape.Inside) <= shape.Levels;
            const bool isOutside = LargestChannelDifference(actual, shape.Outside) <= shape.Levels;
            bool ok;
            if (d <= -shape.EdgeWidth)
                ok = isInside;
            else if (d >= shape.EdgeWidth)
                ok = isOutside;
            else
                ok = isInside || isOutside;
            if (ok) continue;
            if (wrong++ == 0)
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " + Hex(actual) +
                        " at " + std::to_string(d) + " px from the edge";
        }
    }
    if (wrong == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << wrong << " pixels are neither the shape's colour " << Hex(shape.Inside)
           << " nor the background " << Hex(shape.Outside) << " where they must be; first "
           << first;
}

float SegmentDistance(float x, float y, float x1, float y1, float x2, float y2, float thickness) {
    const float dx = x2 - x1, dy = y2 - y1;
    const float length2 = dx * dx + dy * dy;
    float t = length2 > 0 ? ((x - x1) * dx + (y - y1) * dy) / length2 : 0.0f;
    t = std::min(1.0f, std::max(0.0f, t));
    const float px = x1 + t * dx - x, py = y1 + t * dy - y;
    return std::sqrt(px * px + py * py) - thickness / 2;
}

}  // namespace TestSupport
