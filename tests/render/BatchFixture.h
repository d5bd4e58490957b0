// The device engine started on a small headless window in a scene, with the sprite globals
// set, plus helpers to build textures and quads and to read pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "RenderTestSupport.h"
#include "d3d9/DeviceTestSupport.h"
#include "platform/D3D9.h"
#include "platform/d3d9/SoftD3D.h"
#include "render/BaseSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"

class BatchFixture : public RenderTest::EngineFixture {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;

    void SetUp() override {
        RenderTest::EngineFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        UseWindow(kWidth, kHeight);
        ASSERT_TRUE(Start());
        device = engine().PDevice;
        ScreenWidth = kWidth;
        ScreenHeight = kHeight;
        FillSinCosTables();
        engine().SetPointFiltering();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        engine().BeginScene();
    }

    void TearDown() override {
        if (engine().InScene) engine().EndScene();
        GlobalVB.Release();
        GlobalVB.ClearTransform();
        GlobalVB.SetTexture(nullptr);
        for (IDirect3DTexture9* t : textures) t->Release();
        RenderTest::EngineFixture::TearDown();
    }

    // A managed A8R8G8B8 texture, w x h texels given row by row, owned by the fixture.
    IDirect3DTexture9* MakeTexture(int w, int h, const std::vector<uint32_t>& texels) {
        textures.push_back(DeviceTest::MakeTexture(device, w, h, texels));
        return textures.back();
    }

    // A one-texel texture of one colour, as a reference.
    CTextureRef SolidTexture(uint32_t argb) {
        CTextureRef ref;
        ref.SetFromTexture(MakeTexture(1, 1, {argb}));
        return ref;
    }

    // The four corners of a quad covering the pixels [x, x+w) x [y, y+h).
    static void Quad(ScreenVertex* v, float x, float y, float w, float h,
                     uint32_t colour = 0xFFFFFFFF) {
        BaseSprite s;
        s.SetCorners(x, y, x + w, y + h);
        s.SetColour(colour);
        std::memcpy(v, s.Verts, sizeof(s.Verts));
    }

    std::vector<uint32_t> Pixels() { return BackBuffer(); }
    // RGB of one back-buffer pixel.
    uint32_t Pixel(int x, int y) { return BackBuffer()[y * kWidth + x] & 0xFFFFFF; }

    IDirect3DDevice9* device = nullptr;
    std::vector<IDirect3DTexture9*> textures;
};
