// Drawing through the software device: the state it hands the rasterizer, the vertex
// sources, and the frame a window receives. Every check reads pixels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "DeviceTestSupport.h"

using DeviceTest::DeviceFixture;
using DeviceTest::Quad;
using DeviceTest::ScreenVertex;
using DeviceTest::Vtx;

namespace {

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// Texels that all differ, so a shifted or flipped copy shows.
std::vector<uint32_t> Pattern(int w, int h) {
    std::vector<uint32_t> texels(w * h);
    for (int i = 0; i < w * h; i++) texels[i] = 0xFF000000u | (i * 0x0A0B0Cu + 0x102030u);
    return texels;
}

// The quad's vertices with texture coordinates covering the whole texture.
std::vector<ScreenVertex> TexturedQuad(int x, int y, int w, int h) {
    return Quad(x, y, w, h, kWhite);
}

}  // namespace

class DeviceDraw : public DeviceFixture {
protected:
    void SetUp() override {
        DeviceFixture::SetUp();
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
    }
    void TearDown() override {
        device->EndScene();
        DeviceFixture::TearDown();
    }

    // Copies 16-bit indices for quads q: 4q, 4q+1, 4q+2, 4q+2, 4q+1, 4q+3.
    IDirect3DIndexBuffer9* QuadIndices(int quads) {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(device->CreateIndexBuffer(quads * 12, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                            D3DPOOL_DEFAULT, &ib, nullptr),
                  D3D_OK);
        void* data = nullptr;
        EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
        uint16_t* idx = static_cast<uint16_t*>(data);
        for (int q = 0; q < quads; q++) {
            const uint16_t b = static_cast<uint16_t>(4 * q);
            const uint16_t six[6] = {b,
                                     uint16_t(b + 1),
                                     uint16_t(b + 2),
                                     uint16_t(b + 2),
                                     uint16_t(b + 1),
                                     uint16_t(b + 3)};
            std::memcpy(idx + 6 * q, six, sizeof(six));
        }
        ib->Unlock();
        return ib;
    }

    IDirect3DVertexBuffer9* VertexBuffer(const std::vector<ScreenVertex>& vertices) {
        IDirect3DVertexBuffer9* vb = nullptr;
        UINT bytes = static_cast<UINT>(vertices.size() * sizeof(ScreenVertex));
        EXPECT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                             D3DPOOL_DEFAULT, &vb, nullptr),
                  D3D_OK);
        void* data = nullptr;
        EXPECT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(data, vertices.data(), bytes);
        vb->Unlock();
        return vb;
    }
};

TEST_F(DeviceDraw, PresentHandsTheBackBufferToTheWindow) {
    SKIP_UNLESS_SOFTWARE_DEVICE("reads the frame a headless window of ours kept");
    D3DRECT corner = {0, 0, 4, 2};
    ASSERT_EQ(device->Clear(1, &corner, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    device->EndScene();
    SoftD3D::Frame frame;
    EXPECT_FALSE(SoftD3D::GetLastFrame(window, frame));
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_TRUE(SoftD3D::GetLastFrame(window, frame));
    EXPECT_EQ(frame.Width, kWidth);
    EXPECT_EQ(frame.Height, kHeight);
    EXPECT_EQ(frame.Number, 1u);
    EXPECT_EQ(frame.Pixels[3 + 1 * kWidth], 0xFFFF0000u);
    EXPECT_EQ(frame.Pixels[4 + 1 * kWidth], kBlack);
    EXPECT_EQ(frame.Pixels[3 + 2 * kWidth], kBlack);
    device->BeginScene();
}

TEST_F(DeviceDraw, PointSampledTextureDrawnOneToOneReproducesItExactly) {
    const int w = 7, h = 5;
    std::vector<uint32_t> texels = Pattern(w, h);
    IDirect3DTexture9* texture = MakeTexture(w, h, texels);
    device->SetTexture(0, texture);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    std::vector<ScreenVertex> quad = TexturedQuad(3, 2, w, h);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(ScreenVertex)),
              D3D_OK);

    std::vector<uint32_t> pixels = BackBufferPixels();
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            bool inside = x >= 3 && x < 3 + w && y >= 2 && y < 2 + h;
            uint32_t expected = inside ? texels[(y - 2) * w + (x - 3)] : kBlack;
            ASSERT_EQ(Pixel(pixels, x, y), expected) << x << "," << y;
        }
    texture->Release();
}

// The same quads drawn from buffers as the renderer draws them: a dynamic vertex buffer, a
// static index buffer of the quad pattern, and a base vertex per batch.
TEST_F(DeviceDraw, IndexedQuadsFromBuffersHonourTheBaseVertex) {
    std::vector<ScreenVertex> vertices = Quad(0, 0, 2, 2, 0xFFFF0000);  // never drawn
    for (const ScreenVertex& v : Quad(4, 4, 3, 2, 0xFF00FF00)) vertices.push_back(v);
    for (const ScreenVertex& v : Quad(7, 4, 3, 2, 0xFF0000FF)) vertices.push_back(v);
    IDirect3DVertexBuffer9* vb = VertexBuffer(vertices);
    IDirect3DIndexBuffer9* ib = QuadIndices(2);
    ASSERT_EQ(device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex)), D3D_OK);
    ASSERT_EQ(device->SetIndices(ib), D3D_OK);
    ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 8, 0, 4), D3D_OK);

    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 0, 0), kBlack);
    EXPECT_EQ(Pixel(pixels, 4, 4), 0xFF00FF00u);
    EXPECT_EQ(Pixel(pixels, 6, 5), 0xFF00FF00u);
    EXPECT_EQ(Pixel(pixels, 7, 4), 0xFF0000FFu);
    EXPECT_EQ(Pixel(pixels, 9, 5), 0xFF0000FFu);
    EXPECT_EQ(Pixel(pixels, 10, 5), kBlack);
    EXPECT_EQ(Pixel(pixels, 5, 6), kBlack);
    ib->Release();
    vb->Release();
}

TEST_F(DeviceDraw, DrawsThatWouldReadPastTheirBuffersAreRefused) {
    SKIP_UNLESS_SOFTWARE_DEVICE("a system's device need not check buffer ranges on each draw");
    IDirect3DVertexBuffer9* vb = VertexBuffer(Quad(0, 0, 4, 4, kWhite));
    IDirect3DIndexBuffer9* ib = QuadIndices(1);
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    device->SetIndices(ib);
    // Base vertex 1 makes index 3 address a fifth vertex the buffer does not have.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    // Three triangles need nine indices; the buffer has six.
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 3), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0xFFFFFFF0u, 2), D3DERR_INVALIDCALL);
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 1, 1), kBlack);

    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    EXPECT_EQ(Pixel(BackBufferPixels(), 1, 1), kWhite);
    ib->Release();
    vb->Release();
}

TEST_F(DeviceDraw, OnlyScreenVerticesInsideAScenesAreDrawn) {
    SKIP_UNLESS_SOFTWARE_DEVICE("a system's device may draw outside a scene and any vertex format");
    std::vector<ScreenVertex> quad = Quad(0, 0, 4, 4, kWhite);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(ScreenVertex)),
              D3DERR_INVALIDCALL);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    device->EndScene();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(ScreenVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    device->BeginScene();
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(Pixel(BackBufferPixels(), 1, 1), kBlack);
}

TEST_F(DeviceDraw, DrawingFromUserMemoryUnsetsTheStream) {
    SKIP_UNLESS_SOFTWARE_DEVICE("a system's device need not refuse a draw with no stream set");
    IDirect3DVertexBuffer9* vb = VertexBuffer(Quad(0, 0, 4, 4, kWhite));
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    std::vector<ScreenVertex> quad = Quad(8, 8, 2, 2, kWhite);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(ScreenVertex)),
              D3D_OK);
    IDirect3DVertexBuffer9* current = nullptr;
    UINT offset = 1, stride = 1;
    ASSERT_EQ(device->GetStreamSource(0, &current, &offset, &stride), D3D_OK);
    EXPECT_EQ(current, nullptr);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
    vb->Release();
}

TEST_F(DeviceDraw, WiderVertexStridesAreRead) {
    struct Padded {
        ScreenVertex V;
        uint32_t Extra;
    };
    std::vector<ScreenVertex> quad = Quad(2, 2, 3, 3, 0xFF808080);
    std::vector<Padded> padded;
    for (const ScreenVertex& v : quad) padded.push_back({v, 0xDEADBEEF});
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, padded.data(), sizeof(Padded)),
              D3D_OK);
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 2, 2), 0xFF808080u);
    EXPECT_EQ(Pixel(pixels, 4, 4), 0xFF808080u);
    EXPECT_EQ(Pixel(pixels, 5, 5), kBlack);
}

TEST_F(DeviceDraw, ViewportClipsDrawsAndClears) {
    D3DVIEWPORT9 vp = {4, 3, 10, 6, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    std::vector<ScreenVertex> all = Quad(0, 0, kWidth, kHeight, kWhite);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, all.data(), sizeof(ScreenVertex)),
              D3D_OK);
    D3DRECT wide = {0, 0, kWidth, 4};
    ASSERT_EQ(device->Clear(1, &wide, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);

    std::vector<uint32_t> pixels = BackBufferPixels();
    int white = 0, blue = 0;
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            uint32_t p = Pixel(pixels, x, y);
            bool inside = x >= 4 && x < 14 && y >= 3 && y < 9;
            if (!inside) {
                ASSERT_EQ(p, kBlack) << x << "," << y;
            } else if (y == 3) {
                ASSERT_EQ(p, 0xFF0000FFu) << x;
                blue++;
            } else {
                ASSERT_EQ(p, kWhite) << x << "," << y;
                white++;
            }
        }
    EXPECT_EQ(blue, 10);
    EXPECT_EQ(white, 50);
}

TEST_F(DeviceDraw, ViewportOutsideTheTargetIsRefused) {
    SKIP_UNLESS_SOFTWARE_DEVICE("a system's device may accept and clamp such a viewport");
    D3DVIEWPORT9 vp = {4, 3, 10, 6, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    D3DVIEWPORT9 outside = {30, 0, 4, 4, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&outside), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 got;
    device->GetViewport(&got);
    EXPECT_EQ(got.X, 4u);
}

TEST_F(DeviceDraw, ScissorTestLimitsDrawsAndClearsOnlyWhenEnabled) {
    RECT scissor = {2, 2, 6, 5};
    ASSERT_EQ(device->SetScissorRect(&scissor), D3D_OK);
    std::vector<ScreenVertex> all = Quad(0, 0, kWidth, kHeight, kWhite);
    // Off by default: the rectangle alone changes nothing.
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, all.data(), sizeof(ScreenVertex));
    EXPECT_EQ(Pixel(BackBufferPixels(), 0, 0), kWhite);

    device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kBlack, 1.0f, 0);
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 0, 0), kWhite);
    EXPECT_EQ(Pixel(pixels, 2, 2), kBlack);
    EXPECT_EQ(Pixel(pixels, 5, 4), kBlack);
    EXPECT_EQ(Pixel(pixels, 6, 4), kWhite);

    std::vector<ScreenVertex> red = Quad(0, 0, kWidth, kHeight, 0xFFFF0000);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, red.data(), sizeof(ScreenVertex));
    pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 2, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(pixels, 5, 4), 0xFFFF0000u);
    EXPECT_EQ(Pixel(pixels, 5, 5), kWhite);
    EXPECT_EQ(Pixel(pixels, 1, 3), kWhite);
}

TEST_F(DeviceDraw, RenderStatesReachThePixels_BlendAndAlphaTest) {
    // The renderer's normal mode: source alpha over the target, alpha 0 discarded.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    device->SetRenderState(D3DRS_ALPHAREF, 0);
    D3DRECT left = {0, 0, 16, kHeight};
    device->Clear(1, &left, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);

    std::vector<ScreenVertex> half = Quad(8, 0, 4, 4, 0x80FF0000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, half.data(), sizeof(ScreenVertex)),
              D3D_OK);
    // A colour with alpha 0 would still darken nothing under this blend, so draw it with
    // blending off: only the alpha test can keep it away.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    std::vector<ScreenVertex> clear = Quad(0, 8, 4, 4, 0x00FFFFFF);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, clear.data(), sizeof(ScreenVertex)),
              D3D_OK);
    // Additive: source alpha times source plus the target.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    std::vector<ScreenVertex> add = Quad(20, 0, 4, 4, 0xFF00FF00);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);  // whole viewport
    std::vector<ScreenVertex> base = Quad(20, 0, 4, 4, 0xFFFF0000);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, base.data(), sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, add.data(), sizeof(ScreenVertex));

    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 21, 1) & 0x00FFFFFF, 0x00FFFF00u);
    EXPECT_EQ(Pixel(pixels, 1, 9) & 0x00FFFFFF, 0u);  // cleared black, test dropped the quad
}

TEST_F(DeviceDraw, HalfAlphaOverBlueMixesTheColours) {
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    std::vector<ScreenVertex> half = Quad(0, 0, 4, 4, 0x80FF0000);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, half.data(), sizeof(ScreenVertex)),
              D3D_OK);
    uint32_t p = Pixel(BackBufferPixels(), 1, 1);
    int red = (p >> 16) & 0xFF, blue = p & 0xFF;
    EXPECT_NEAR(red, 0x80, 1);
    EXPECT_NEAR(blue, 0x7F, 1);
    EXPECT_EQ((p >> 8) & 0xFF, 0u);
}

TEST_F(DeviceDraw, DefaultCullingDropsCounterClockwiseTriangles) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    // Top-left, bottom-left, top-right runs counter-clockwise on a y-down screen.
    ScreenVertex ccw[3] = {Vtx(-0.5f, -0.5f, kWhite), Vtx(-0.5f, 7.5f, kWhite),
                           Vtx(7.5f, -0.5f, kWhite)};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ScreenVertex)), D3D_OK);
    EXPECT_EQ(Pixel(BackBufferPixels(), 1, 1), kBlack);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ScreenVertex)), D3D_OK);
    EXPECT_EQ(Pixel(BackBufferPixels(), 1, 1), kWhite);
}

TEST_F(DeviceDraw, LineStripHitsItsPixels) {
    ScreenVertex strip[3] = {Vtx(2, 2, kWhite), Vtx(8, 2, kWhite), Vtx(8, 6, kWhite)};
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_LINESTRIP, 2, strip, sizeof(ScreenVertex)), D3D_OK);
    std::vector<uint32_t> pixels = BackBufferPixels();
    for (int x = 2; x < 8; x++) EXPECT_EQ(Pixel(pixels, x, 2), kWhite) << x;
    for (int y = 3; y < 6; y++) EXPECT_EQ(Pixel(pixels, 8, y), kWhite) << y;
    EXPECT_EQ(Pixel(pixels, 1, 2), kBlack);
    EXPECT_EQ(Pixel(pixels, 2, 3), kBlack);
}

// Rendering into a texture, then drawing that texture: the render target brings its own
// viewport and its texels are what the second draw samples.
TEST_F(DeviceDraw, RenderTargetTextureCanBeDrawnAfterwards) {
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8,
                                    D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 8u);
    EXPECT_EQ(vp.Height, 8u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    std::vector<ScreenVertex> corner = Quad(0, 0, 4, 4, 0xFFFF0000);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, corner.data(), sizeof(ScreenVertex));

    ASSERT_EQ(device->SetRenderTarget(0, back), D3D_OK);
    device->SetTexture(0, target);
    std::vector<ScreenVertex> quad = TexturedQuad(10, 10, 8, 8);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad.data(), sizeof(ScreenVertex));
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(Pixel(pixels, 10, 10), 0xFFFF0000u);
    EXPECT_EQ(Pixel(pixels, 13, 13), 0xFFFF0000u);
    EXPECT_EQ(Pixel(pixels, 14, 13), 0xFF00FF00u);
    EXPECT_EQ(Pixel(pixels, 17, 17), 0xFF00FF00u);
    EXPECT_EQ(Pixel(pixels, 18, 18), kBlack);

    device->SetTexture(0, nullptr);
    back->Release();
    level->Release();
    target->Release();
}
