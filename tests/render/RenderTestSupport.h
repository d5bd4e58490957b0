// The renderer's tests run the process-wide engine on a headless window, with the logs
// captured, on the software device or the system's. Helpers read pixels back and write small
// image files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diagnostics/GDebugLog.h"
#include "platform/D3D9.h"
#include "platform/Window.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/GD3D9.h"
#include "render/GTextureManager.h"
#include "support/DeviceSupport.h"
#include "support/TestSupport.h"

namespace RenderTest {

// True when every text of expected appears among the messages, in that order.
inline bool InOrder(const std::vector<std::string>& messages,
                    const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& m : messages) {
        if (next < expected.size() && m == expected[next]) next++;
    }
    return next == expected.size();
}

inline size_t CountOf(const std::vector<std::string>& messages, const std::string& text) {
    size_t n = 0;
    for (const std::string& m : messages) n += (m == text);
    return n;
}

// The bytes of a PNG file of w x h texels of one colour.
inline std::string PngBytes(int w, int h, uint32_t colour) {
    return TestSupport::PngBytes(w, h, std::vector<uint32_t>(static_cast<size_t>(w) * h, colour));
}

inline void WritePng(const std::string& path, int w, int h, uint32_t colour) {
    TestSupport::WriteFile(path, PngBytes(w, h, colour));
}

// The texels of a 32-bit surface as ARGB, row by row.
inline std::vector<uint32_t> SurfacePixels(IDirect3DSurface9* surface) {
    return TestSupport::LockedPixels(surface);
}

// The texels of level 0 of a texture.
inline std::vector<uint32_t> TexturePixels(IDirect3DTexture9* texture) {
    IDirect3DSurface9* level = nullptr;
    if (texture->GetSurfaceLevel(0, &level) != D3D_OK) return {};
    std::vector<uint32_t> pixels = SurfacePixels(level);
    level->Release();
    return pixels;
}

class EngineFixture : public ::testing::Test {
protected:
    static constexpr int kWidth = 32;
    static constexpr int kHeight = 24;

    void SetUp() override {
        SKIP_WITHOUT_DEVICE();
        SoftD3D::ResetHooks();
        log = std::make_unique<TestSupport::LogCapture>();
        GD3D9& e = engine();
        e.Release();
        e.CloseDrawLog();
        // The engine is process-wide: every test starts from the state of a fresh one.
        e.BlendMode = 0;
        e.Wireframe = false;
        e.NonPow2Textures = true;
        e.HardwareTnL = true;
        e.ScreenshotPending = false;
        e.FrameTiming = false;
        e.Batching = false;
        GetTextureManager().RecordTextureUse = false;
        UseWindow(kWidth, kHeight);
        mark = log->Messages().size();
    }

    void TearDown() override {
        engine().Release();
        engine().CloseDrawLog();
        windowObject.reset();
        window = nullptr;
        SoftD3D::ResetHooks();
        log.reset();
    }

    // A fresh headless window of that client size for the engine to start on.
    void UseWindow(int width, int height) {
        windowObject = TestSupport::MakeHeadlessWindow(width, height);
        window = windowObject != nullptr ? windowObject->Handle() : nullptr;
    }

    GD3D9& engine() { return GetD3DEngine(); }
    // What was logged since the test's set-up.
    std::vector<std::string> Messages() const {
        const std::vector<std::string>& all = log->Messages();
        return std::vector<std::string>(all.begin() + static_cast<long>(mark), all.end());
    }
    bool Logged(const std::string& text) const { return CountOf(Messages(), text) > 0; }
    // Starts the log afresh for the part of a test that follows.
    void Mark() { mark = log->Messages().size(); }

    bool Start() { return engine().Init(window, kWidth, kHeight, true); }

    std::vector<uint32_t> BackBuffer() {
        std::vector<uint32_t> pixels = TestSupport::BackBufferPixels(engine().PDevice);
        EXPECT_FALSE(pixels.empty()) << "the back buffer could not be read";
        return pixels;
    }

    // RGB of one back-buffer pixel (the back buffer has no alpha).
    static uint32_t Rgb(const std::vector<uint32_t>& pixels, int x, int y) {
        return pixels[y * kWidth + x] & 0xFFFFFF;
    }

    std::unique_ptr<Platform::Window> windowObject;
    HWND window = nullptr;
    std::unique_ptr<TestSupport::LogCapture> log;
    size_t mark = 0;
};

}  // namespace RenderTest
