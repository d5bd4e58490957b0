// The text tests run the engine on a headless window with a synthetic font whose glyphs and
// widths the test knows: the cell of glyph g holds solid ink in columns 0 to Width(g) of rows
// kInkTop to kInkBottom - 1, so both the measured width and the drawn pixels follow from
// Width(g) alone.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "render/BaseSprite.h"
#include "render/GTextureManager.h"
#include "render/RenderTestSupport.h"
#include "text/TextEngine.h"

namespace TextTest {

constexpr int kCell = 16;
constexpr int kInkTop = 4;
constexpr int kInkBottom = 12;
inline const char* kFontName = "synthetic.tex";

inline int Width(int g) {
    return 3 + (g * 5) % 9;
}

// The glyph's cell of the synthetic texture: is texel (x, y) ink?
inline bool IsInk(int g, int x, int y) {
    return x <= Width(g) && y >= kInkTop && y < kInkBottom;
}

// A 16 x 16 cell A8L8 texture of the synthetic glyphs, registered with the texture manager.
inline IDirect3DTexture9* MakeFontTexture(IDirect3DDevice9* device, const std::string& name,
                                          D3DFORMAT format = D3DFMT_A8L8, int side = kCell * 16) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(side, side, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    const int bytes = format == D3DFMT_A8R8G8B8 ? 4 : 2;
    for (int y = 0; y < side; y++) {
        uint8_t* row = static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch;
        std::memset(row, 0, side * bytes);
        if (bytes != 2) continue;
        for (int x = 0; x < side; x++) {
            const int g = (y / kCell) * 16 + x / kCell;
            row[x * 2] = 0xFF;
            row[x * 2 + 1] = g < 256 && IsInk(g, x % kCell, y % kCell) ? 0xFF : 0x00;
        }
    }
    texture->UnlockRect(0);
    GTexture9* record = new GTexture9;
    record->PSurf = texture;
    record->Name = name;
    GetTextureManager().AddTexture(record);
    return texture;
}

// The little-endian .dat bytes of the synthetic widths.
inline std::string DatBytes() {
    std::string bytes;
    for (int g = 0; g < 256; g++) {
        const uint32_t w = static_cast<uint32_t>(Width(g));
        for (int i = 0; i < 4; i++) bytes.push_back(static_cast<char>(w >> (8 * i)));
    }
    return bytes;
}

class TextFixture : public RenderTest::EngineFixture {
protected:
    static constexpr int kWidth = 512;
    static constexpr int kHeight = 128;

    void SetUp() override {
        RenderTest::EngineFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        cwd = std::make_unique<TestSupport::CwdGuard>(temp.Path());
        std::filesystem::create_directories("data/fonts");
        UseWindow(kWidth, kHeight);
        ASSERT_TRUE(engine().Init(window, kWidth, kHeight, true));
        device = engine().PDevice;
        ScreenWidth = kWidth;
        ScreenHeight = kHeight;
        FillSinCosTables();
        MakeFontTexture(device, kFontName);
        TestSupport::WriteFile("synthetic.dat", DatBytes());
        text().Init();
        font = text().AddFont("synthetic.dat", kFontName, kCell, kCell, 16, 16);
        ASSERT_NE(font, nullptr);
        ASSERT_TRUE(text().SetFont(kFontName));
        text().SetSize(static_cast<float>(kCell));
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        engine().BeginScene();
        Mark();
    }

    void TearDown() override {
        if (engine().InScene) engine().EndScene();
        text().Release();
        text().FixedWidth = false;
        GetTextureManager().ReleaseTextures();
        cwd.reset();
        RenderTest::EngineFixture::TearDown();
    }

    static TextManager& text() { return GetTextManager(); }
    static int G(char c) { return LibFont::GetGlyphIndex(c); }

    // RGB of one back-buffer pixel.
    uint32_t Pixel(const std::vector<uint32_t>& pixels, int x, int y) const {
        return pixels[y * kWidth + x] & 0xFFFFFF;
    }

    TestSupport::TempDir temp;
    std::unique_ptr<TestSupport::CwdGuard> cwd;
    IDirect3DDevice9* device = nullptr;
    LibFont* font = nullptr;
};

}  // namespace TextTest
