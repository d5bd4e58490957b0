// Drawing on worker threads: every scene a device draws on two or three threads must leave the
// pixels one thread leaves, bit for bit, whatever reads them back and whenever; and the host
// may lock, draw, reset and release while the workers are busy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "DeviceTestSupport.h"
#include "RasterTestImage.h"
#include "platform/d3d9/SoftRasterQueue.h"

using DeviceTest::ScreenVertex;
using DeviceTest::Vtx;

namespace {

// Odd sizes, so that the threads' bands differ in height.
constexpr int kWidth = 97;
constexpr int kHeight = 61;

// A window and a device that draws with a given number of threads, and what a scene read back
// from it: every read is kept, so a read in the middle of a frame is compared too.
class Rig {
public:
    explicit Rig(int threads) {
        SoftD3D::SetThreadCount(threads);
        window_ = SoftD3D::CreateHeadlessWindow(kWidth, kHeight);
        d3d_ = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = Params();
        EXPECT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_,
                                     D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &Device),
                  D3D_OK);
        SoftD3D::SetThreadCount(0);
        EXPECT_EQ(SoftD3D::DeviceThreadCount(Device), threads);
        Defaults();
    }
    ~Rig() {
        if (Device != nullptr) {
            EXPECT_EQ(Device->Release(), 0u);
        }
        d3d_->Release();
        SoftD3D::DestroyHeadlessWindow(window_);
    }

    D3DPRESENT_PARAMETERS Params() const {
        D3DPRESENT_PARAMETERS pp = DeviceTest::WindowedParams(window_);
        pp.BackBufferFormat = D3DFMT_A8R8G8B8;
        return pp;
    }
    void Defaults() {
        Device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        Device->SetRenderState(D3DRS_LIGHTING, FALSE);
    }

    // Keeps a surface's texels (of any format, as bytes) for the comparison.
    // Render targets cannot be locked: they are read through a copy in system memory, which
    // waits for the draws into them as a lock does.
    void Read(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc;
        surface->GetDesc(&desc);
        IDirect3DSurface9* readable = surface;
        if ((desc.Usage & D3DUSAGE_RENDERTARGET) != 0) {
            ASSERT_EQ(Device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                          D3DPOOL_SYSTEMMEM, &readable, nullptr),
                      D3D_OK);
            EXPECT_EQ(Device->GetRenderTargetData(surface, readable), D3D_OK);
        } else {
            readable->AddRef();
        }
        D3DLOCKED_RECT lr;
        ASSERT_EQ(readable->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        const uint8_t* bits = static_cast<const uint8_t*>(lr.pBits);
        Reads.emplace_back(bits, bits + size_t(lr.Pitch) * desc.Height);
        readable->UnlockRect();
        readable->Release();
    }
    void ReadBackBuffer() {
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(Device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        Read(back);
        back->Release();
    }

    IDirect3DDevice9* Device = nullptr;
    std::vector<std::vector<uint8_t>> Reads;

private:
    HWND window_ = nullptr;
    IDirect3D9* d3d_ = nullptr;
};

// Random texels of a format in every level of a new managed texture.
IDirect3DTexture9* RandomTexture(IDirect3DDevice9* device, int side, UINT levels, D3DFORMAT format,
                                 std::mt19937& rng) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(
        device->CreateTexture(side, side, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr),
        D3D_OK);
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(texture->LockRect(level, &lr, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y)
            for (int x = 0; x < lr.Pitch; ++x)
                static_cast<uint8_t*>(lr.pBits)[y * lr.Pitch + x] = uint8_t(rng());
        texture->UnlockRect(level);
    }
    return texture;
}

// A square turned about its centre, corners top-left, top-right, bottom-left, bottom-right.
void TurnedQuad(std::vector<ScreenVertex>& out, double cx, double cy, double side, double degrees,
                uint32_t color, double reach = 1) {
    const double a = degrees * 3.14159265358979323846 / 180;
    for (int k = 0; k < 4; ++k) {
        const double lx = (k & 1 ? 0.5 : -0.5) * side, ly = (k & 2 ? 0.5 : -0.5) * side;
        out.push_back(Vtx(float(cx + std::cos(a) * lx - std::sin(a) * ly),
                          float(cy + std::sin(a) * lx + std::cos(a) * ly), color,
                          float((k & 1) * reach), float((k >> 1) * reach)));
    }
}

// A slanted ladder drawn as a strip, textured over 64 texels. Its rungs, and the quads across
// their diagonals, have mappings that fit one plane to within 1/256 texel, so each is drawn
// whole with its first triangle's plane, which shows in linearly filtered texels; the mapping
// of vertex bentAt and every ninth after it is bent further, so the triangles around it are
// drawn alone and those after it pair the other way. Which triangle starts a pair thus shows
// in the pixels all along the ladder, into every band it crosses.
std::vector<SoftRaster::Vertex> Ladder(double x0, double y0, int bentAt) {
    std::vector<SoftRaster::Vertex> strip;
    for (int i = 0; i < 44; ++i) {
        const double along = i / 2 * 3.1, across = (i & 1) * 28.0;
        const float x = float(x0 + along * 0.6 + across * 0.8);
        const float y = float(y0 + along * 0.8 - across * 0.6);
        const float bend = i % 9 == bentAt ? 0.05f : i % 4 == 0 ? 0.003f / 64 : 0.0f;
        strip.push_back({x, y, 0, 1, 0xC0FFFFFF, x / 20 + bend, y / 20});
    }
    return strip;
}

std::vector<uint16_t> QuadIndices(size_t quads) {
    std::vector<uint16_t> indices;
    for (size_t q = 0; q < quads; ++q) {
        const uint16_t b = uint16_t(4 * q);
        indices.insert(indices.end(), {b, uint16_t(b + 1), uint16_t(b + 2), uint16_t(b + 2),
                                       uint16_t(b + 1), uint16_t(b + 3)});
    }
    return indices;
}

void SourceOver(IDirect3DDevice9* d) {
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

void Filter(IDirect3DDevice9* d, DWORD filter, DWORD mip = D3DTEXF_NONE) {
    d->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
}

// Many turned and standing sprites in indexed lists from a dynamic buffer, point sampled and
// then linearly filtered, blended over a clear; every few quads one whose texture mapping is
// bent, so that it is drawn as two triangles and the following triangles pair differently.
void Sprites(Rig& rig) {
    IDirect3DDevice9* d = rig.Device;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0, 1);
    IDirect3DTexture9* texture = RandomTexture(d, 16, 1, D3DFMT_A8R8G8B8, rng);
    std::vector<ScreenVertex> quads;
    for (int q = 0; q < 300; ++q) {
        const double degrees = q % 3 == 0 ? 0 : unit(rng) * 360;
        TurnedQuad(quads, unit(rng) * (kWidth + 20) - 10, unit(rng) * (kHeight + 20) - 10,
                   2 + unit(rng) * 30, degrees, rng() | 0x20000000, q % 4 == 1 ? 2.5 : 1);
        if (q % 7 == 3) quads.back().U += 0.3f;
    }
    const std::vector<uint16_t> indices = QuadIndices(quads.size() / 4);
    IDirect3DVertexBuffer9* vb = nullptr;
    const UINT bytes = UINT(quads.size() * sizeof(ScreenVertex));
    ASSERT_EQ(d->CreateVertexBuffer(bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                    D3DPOOL_DEFAULT, &vb, nullptr),
              D3D_OK);
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(d->CreateIndexBuffer(UINT(indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                   D3DPOOL_MANAGED, &ib, nullptr),
              D3D_OK);
    void* data = nullptr;
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices.data(), indices.size() * 2);
    ib->Unlock();
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1, 0);
    d->BeginScene();
    d->SetTexture(0, texture);
    d->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    d->SetIndices(ib);
    SourceOver(d);
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        Filter(d, filter);
        // Each pass rewrites the buffer, as a renderer filling it anew each frame does.
        vb->Lock(0, 0, &data, D3DLOCK_DISCARD);
        std::memcpy(data, quads.data(), bytes);
        vb->Unlock();
        for (size_t first = 0; first < quads.size() / 4; first += 50)
            d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, INT(4 * first), 0, 200, 0, 100);
        for (ScreenVertex& v : quads) v.X += 3;
    }
    d->EndScene();
    rig.ReadBackBuffer();
    d->SetTexture(0, nullptr);
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    vb->Release();
    ib->Release();
    texture->Release();
}

// Strips whose triangles pair where their texture mapping fits one plane and not elsewhere,
// fans, lines both ways, points, a wireframe mesh and Gouraud colours, mipmapped and
// wrapped, on the back buffer and through a viewport and scissor rectangle.
void Primitives(Rig& rig) {
    IDirect3DDevice9* d = rig.Device;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);
    IDirect3DTexture9* texture = RandomTexture(d, 64, 0, D3DFMT_A8R8G8B8, rng);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
    d->BeginScene();
    d->SetTexture(0, texture);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR);
    Filter(d, D3DTEXF_LINEAR);
    for (int bentAt : {4, 5})
        for (double y0 : {18.0, 9.0}) {
            const std::vector<SoftRaster::Vertex> ladder = Ladder(6, y0, bentAt);
            d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, UINT(ladder.size() - 2), ladder.data(),
                               sizeof(ScreenVertex));
        }
    rig.ReadBackBuffer();  // in the middle of the frame
    Filter(d, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    std::vector<ScreenVertex> strip;
    for (int i = 0; i < 40; ++i) {
        const float x = float(i * 2.5 + 40), y = float((i & 1) * 20 + unit(rng) * 4 + 5);
        strip.push_back(Vtx(x, y + i * 0.8f, i < 20 ? 0xFFFFFFFF : rng(), x / 16, y / 16));
        if (i % 5 == 0) strip.back().V += 0.2f;
    }
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, UINT(strip.size() - 2), strip.data(),
                       sizeof(ScreenVertex));
    std::vector<ScreenVertex> fan{Vtx(48, 30, 0xFFFFFFFF, 0.5f, 0.5f)};
    for (int i = 0; i <= 12; ++i)
        fan.push_back(Vtx(float(48 + 40 * std::cos(i * 0.5)), float(30 + 40 * std::sin(i * 0.5)),
                          rng(), float(std::cos(i * 0.5) * 4), float(std::sin(i * 0.5) * 4)));
    SourceOver(d);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 12, fan.data(), sizeof(ScreenVertex));
    d->SetTexture(0, nullptr);
    std::vector<ScreenVertex> lines;
    for (int i = 0; i < 60; ++i)
        lines.push_back(Vtx(float(unit(rng) * 120 - 10), float(unit(rng) * 80 - 10), rng()));
    d->DrawPrimitiveUP(D3DPT_LINELIST, 30, lines.data(), sizeof(ScreenVertex));
    d->DrawPrimitiveUP(D3DPT_LINESTRIP, 59, lines.data(), sizeof(ScreenVertex));
    d->DrawPrimitiveUP(D3DPT_POINTLIST, 60, lines.data(), sizeof(ScreenVertex));
    D3DVIEWPORT9 viewport = {5, 7, 60, 40, 0, 1};
    d->SetViewport(&viewport);
    const RECT scissor = {10, 3, 90, 33};
    d->SetScissorRect(&scissor);
    d->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 20, lines.data(), sizeof(ScreenVertex));
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 20, lines.data(), sizeof(ScreenVertex));
    const D3DRECT cleared[2] = {{0, 0, 30, 20}, {50, 30, 97, 61}};
    d->Clear(2, cleared, D3DCLEAR_TARGET, 0x80402010, 1, 0);
    d->EndScene();
    rig.ReadBackBuffer();
    d->SetTexture(0, nullptr);
    texture->Release();
}

// Text as the text engine draws it: many small glyph quads of an A8L8 texture in one call,
// filtered, tinted and alpha-tested, then the blend modes and write masks on a render target
// of another format.
void GlyphsAndBlends(Rig& rig) {
    IDirect3DDevice9* d = rig.Device;
    std::mt19937 rng(5);
    IDirect3DTexture9* font = RandomTexture(d, 32, 1, D3DFMT_A8L8, rng);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1, 0);
    d->BeginScene();
    d->SetTexture(0, font);
    SourceOver(d);
    d->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    d->SetRenderState(D3DRS_ALPHAREF, 0x40);
    Filter(d, D3DTEXF_LINEAR);
    std::vector<ScreenVertex> glyphs;
    for (int g = 0; g < 240; ++g) {
        const float x = float((g % 24) * 4 + 0.25), y = float((g / 24) * 6 + 0.5);
        const float u = float(g % 4) / 4, v = float(g / 4 % 4) / 4;
        glyphs.push_back(Vtx(x, y, 0xFFFFC080, u, v));
        glyphs.push_back(Vtx(x + 7, y, 0xFFFFC080, u + 0.25f, v));
        glyphs.push_back(Vtx(x, y + 9, 0xFFFFC080, u, v + 0.25f));
        glyphs.push_back(Vtx(x + 7, y + 9, 0xFFFFC080, u + 0.25f, v + 0.25f));
    }
    const std::vector<uint16_t> indices = QuadIndices(glyphs.size() / 4);
    d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(glyphs.size()), UINT(indices.size() / 3),
                              indices.data(), D3DFMT_INDEX16, glyphs.data(), sizeof(ScreenVertex));
    d->EndScene();
    rig.ReadBackBuffer();

    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(kWidth, kHeight, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R5G6B5,
                               D3DPOOL_DEFAULT, &target, nullptr),
              D3D_OK);
    IDirect3DSurface9* surface = nullptr;
    target->GetSurfaceLevel(0, &surface);
    d->SetRenderTarget(0, surface);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1, 0);
    d->BeginScene();
    d->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    const DWORD blends[][3] = {
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
        {D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR, D3DBLENDOP_SUBTRACT},
        {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX},
        {D3DBLEND_INVDESTALPHA, D3DBLEND_BLENDFACTOR, D3DBLENDOP_REVSUBTRACT}};
    d->SetRenderState(D3DRS_BLENDFACTOR, 0x80FF4020);
    for (int i = 0; i < 4; ++i) {
        d->SetRenderState(D3DRS_SRCBLEND, blends[i][0]);
        d->SetRenderState(D3DRS_DESTBLEND, blends[i][1]);
        d->SetRenderState(D3DRS_BLENDOP, blends[i][2]);
        d->SetRenderState(D3DRS_COLORWRITEENABLE, i == 3 ? 0x5 : 0xF);
        std::vector<ScreenVertex> moved = glyphs;
        for (ScreenVertex& v : moved) v.Y += float(i * 3 - 6);
        d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(moved.size()),
                                  UINT(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                  moved.data(), sizeof(ScreenVertex));
    }
    d->EndScene();
    rig.Read(surface);
    d->SetTexture(0, nullptr);
    IDirect3DSurface9* back = nullptr;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    d->SetRenderTarget(0, back);
    back->Release();
    surface->Release();
    target->Release();
    font->Release();
}

// A texture drawn into, then drawn from while more is drawn into it, drawn into itself, copied
// and filled by the device between draws, and read at each step.
void RenderTargets(Rig& rig) {
    IDirect3DDevice9* d = rig.Device;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0, 1);
    IDirect3DTexture9* source = RandomTexture(d, 8, 1, D3DFMT_A8R8G8B8, rng);
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(d->CreateTexture(64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                               &target, nullptr),
              D3D_OK);
    IDirect3DSurface9 *surface = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &surface);
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    std::vector<ScreenVertex> quads;
    for (int q = 0; q < 60; ++q)
        TurnedQuad(quads, unit(rng) * 64, unit(rng) * 64, 4 + unit(rng) * 20, unit(rng) * 90,
                   rng() | 0xFF000000);
    const std::vector<uint16_t> indices = QuadIndices(quads.size() / 4);
    auto draw = [&](IDirect3DTexture9* from, size_t first, size_t count) {
        d->SetTexture(0, from);
        d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(quads.size()), UINT(count * 2),
                                  &indices[first * 6], D3DFMT_INDEX16, quads.data(),
                                  sizeof(ScreenVertex));
    };
    d->BeginScene();
    d->SetRenderTarget(0, surface);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1, 0);
    // Much drawn into the texture's last rows, then at once drawn from them into the back
    // buffer's first rows: another thread draws those.
    std::vector<ScreenVertex> many;
    for (int q = 0; q < 400; ++q)
        TurnedQuad(many, unit(rng) * 64, 46 + unit(rng) * 18, 6, q, rng() | 0xFF000000);
    d->SetTexture(0, source);
    for (int q = 0; q < 400; ++q)
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &many[4 * q], sizeof(ScreenVertex));
    d->SetRenderTarget(0, back);
    d->SetTexture(0, target);
    const ScreenVertex band[4] = {Vtx(-0.5f, -0.5f, ~0u, 0, 0.75f),
                                  Vtx(96.5f, -0.5f, ~0u, 1, 0.75f), Vtx(-0.5f, 15.5f, ~0u, 0, 1),
                                  Vtx(96.5f, 15.5f, ~0u, 1, 1)};
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, band, sizeof(ScreenVertex));
    rig.ReadBackBuffer();
    d->SetRenderTarget(0, surface);
    draw(source, 0, 30);
    d->SetRenderTarget(0, back);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF304050, 1, 0);
    draw(target, 30, 20);
    d->SetRenderTarget(0, surface);
    draw(target, 50, 10);  // drawn from itself
    const RECT part = {3, 4, 40, 30};
    d->ColorFill(surface, &part, 0xFF00FF00);
    d->SetRenderTarget(0, back);
    draw(target, 0, 60);
    const RECT from = {0, 0, 64, 64}, to = {10, 5, 90, 50};
    d->StretchRect(surface, &from, back, &to, D3DTEXF_POINT);
    draw(source, 20, 40);
    d->EndScene();
    rig.Read(surface);
    rig.ReadBackBuffer();
    d->SetTexture(0, nullptr);
    back->Release();
    surface->Release();
    target->Release();
    source->Release();
}

struct SceneCase {
    const char* Name;
    void (*Draw)(Rig&);
};

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.Name;
}

class ParallelScenes : public ::testing::TestWithParam<SceneCase> {};

TEST_P(ParallelScenes, GiveOneThreadsPixelsAtAnyThreadCount) {
    std::vector<std::vector<uint8_t>> want;
    {
        Rig one(1);
        GetParam().Draw(one);
        want = one.Reads;
    }
    ASSERT_FALSE(want.empty());
    for (int threads : {2, 3, 5}) {
        Rig many(threads);
        GetParam().Draw(many);
        ASSERT_EQ(many.Reads.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_TRUE(many.Reads[i] == want[i])
                << "read " << i << " at " << threads << " threads";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, ParallelScenes,
                         ::testing::Values(SceneCase{"Sprites", Sprites},
                                           SceneCase{"Primitives", Primitives},
                                           SceneCase{"GlyphsAndBlends", GlyphsAndBlends},
                                           SceneCase{"RenderTargets", RenderTargets}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The queue deals rows out in bands of any height, down to single rows, or one band per thread
// (0); each way the threads must leave what one draw leaves.
TEST(RowShares, AnyBandHeightGivesOneDrawsPixels) {
    using namespace RasterTest;
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> unit(0, 1);
    Image texImg(64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) texImg.Set(x, y, rng());
    SoftRaster::Texture tex;
    tex.Levels = 1;
    tex.Level[0] = texImg.Surf();
    std::vector<SoftRaster::Vertex> quads;
    for (int q = 0; q < 200; ++q) {
        const auto quad = TurnedSquare(unit(rng) * 64, unit(rng) * 56, 1 + unit(rng) * 12,
                                       unit(rng) * 360, rng() | 0x40000000);
        quads.insert(quads.end(), quad.begin(), quad.end());
    }
    std::vector<uint32_t> indices;
    for (uint32_t q = 0; q < 200; ++q)
        for (uint32_t k : {0u, 1u, 2u, 2u, 1u, 3u}) indices.push_back(4 * q + k);
    std::vector<SoftRaster::Vertex> ladders[2] = {Ladder(2, 14, 4), Ladder(1, 16, 5)};
    auto draw = [&](Image& target, SoftRaster::Queue* queue) {
        SoftRaster::State st = StateFor(target);
        st.Tex = &tex;
        st.AlphaBlend = true;
        st.SrcBlend = 5;
        st.DestBlend = 6;
        st.MinFilter = st.MagFilter = 2;
        auto draw = [&](SoftRaster::Primitive kind, const std::vector<SoftRaster::Vertex>& v,
                        const uint32_t* indices, uint32_t count) {
            if (queue == nullptr)
                SoftRaster::Draw(target.Surf(), st, kind, v.data(), indices, true, count);
            else
                queue->Draw(target.Surf(), st, kind, reinterpret_cast<const uint8_t*>(v.data()),
                            sizeof(SoftRaster::Vertex), uint32_t(v.size()), indices, true, count);
        };
        if (queue == nullptr)
            SoftRaster::Fill(target.Surf(), {3, 2, 30, 20}, 0xFF00FF00);
        else
            queue->Fill(target.Surf(), {3, 2, 30, 20}, 0xFF00FF00);
        draw(SoftRaster::kTriangleList, quads, indices.data(), 400);
        for (const auto& ladder : ladders)
            draw(SoftRaster::kTriangleStrip, ladder, nullptr, uint32_t(ladder.size() - 2));
        if (queue != nullptr) queue->Finish();
    };
    Image want(64, 56, PixelFormats::kA8R8G8B8, 0xFF000000);
    draw(want, nullptr);
    for (int threads : {2, 3, 4})
        for (int band : {0, 1, 2, 7}) {
            SoftRaster::Queue queue(threads, 0, band);
            Image got(64, 56, PixelFormats::kA8R8G8B8, 0xFF000000);
            draw(got, &queue);
            EXPECT_TRUE(got.Bits == want.Bits) << threads << " threads, bands of " << band;
        }
}

// The host goes on while the workers draw: it rewrites a texture they sample, reads the target
// they draw into, draws from memory it reuses at once, releases what they still use, resets the
// device and finally releases it with draws queued. Each read must show what one thread shows
// at that point, and the sanitizers watch for memory used after its release and for races.
void HostMeddles(Rig& rig) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 12; ++round) {
        IDirect3DDevice9* d = rig.Device;
        SourceOver(d);
        IDirect3DTexture9* texture = RandomTexture(d, 16, 1, D3DFMT_A8R8G8B8, rng);
        IDirect3DVertexBuffer9* vb = nullptr;
        ASSERT_EQ(
            d->CreateVertexBuffer(400 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                  0, D3DPOOL_DEFAULT, &vb, nullptr),
            D3D_OK);
        d->BeginScene();
        d->SetTexture(0, texture);
        d->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
        for (int batch = 0; batch < 6; ++batch) {
            std::vector<ScreenVertex> quads;
            for (int q = 0; q < 100; ++q)
                TurnedQuad(quads, unit(rng) * kWidth, unit(rng) * kHeight, 3 + unit(rng) * 25,
                           unit(rng) * 360, rng());
            void* data = nullptr;
            ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
            std::memcpy(data, quads.data(), quads.size() * sizeof(ScreenVertex));
            vb->Unlock();
            for (int q = 0; q < 100; ++q) d->DrawPrimitive(D3DPT_TRIANGLESTRIP, UINT(4 * q), 2);
            // Drawn from memory that is overwritten as soon as the call returns.
            d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quads.data(), sizeof(ScreenVertex));
            std::fill(quads.begin(), quads.end(), Vtx(0, 0, 0));
            if (batch == 2) {
                D3DLOCKED_RECT lr;
                ASSERT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
                std::memset(lr.pBits, 0x80 + round, size_t(lr.Pitch) * 8);
                texture->UnlockRect(0);
            }
            if (batch == 4) rig.ReadBackBuffer();
        }
        d->EndScene();
        // Released while draws that sample it may still be queued.
        d->SetTexture(0, nullptr);
        texture->Release();
        d->SetStreamSource(0, nullptr, 0, 0);
        vb->Release();
        if (round % 4 == 3) {
            D3DPRESENT_PARAMETERS pp = rig.Params();
            ASSERT_EQ(d->Reset(&pp), D3D_OK);
            rig.Defaults();
            rig.ReadBackBuffer();
        }
        if (round % 3 == 0) {
            ASSERT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        }
    }
    rig.ReadBackBuffer();
    // The last frame is left queued for the release.
    IDirect3DDevice9* d = rig.Device;
    d->BeginScene();
    std::vector<ScreenVertex> last;
    for (int q = 0; q < 200; ++q)
        TurnedQuad(last, unit(rng) * kWidth, unit(rng) * kHeight, 20, q, rng());
    for (int q = 0; q < 200; ++q)
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &last[4 * q], sizeof(ScreenVertex));
    d->EndScene();
}

TEST(ParallelDevice, HostLocksDrawsResetsAndReleasesWhileWorkersDraw) {
    std::vector<std::vector<uint8_t>> want;
    {
        Rig one(1);
        HostMeddles(one);
        want = one.Reads;
    }
    for (int threads : {2, 3}) {
        Rig many(threads);
        HostMeddles(many);
        ASSERT_EQ(many.Reads.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            EXPECT_TRUE(many.Reads[i] == want[i])
                << "read " << i << " at " << threads << " threads";
    }
}

// A device's thread count changed between draws, down to one and back up, draws what was queued
// before what comes after: the overlapping, blended quads leave one thread's pixels.
TEST(ParallelDevice, ThreadCountChangedBetweenDrawsKeepsTheirOrder) {
    auto scene = [](Rig& rig, bool changing) {
        IDirect3DDevice9* d = rig.Device;
        SourceOver(d);
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> unit(0, 1);
        d->BeginScene();
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 0, 0);
        for (int threads : {1, 2, 3, 1, 2, 1}) {
            if (changing) {
                ASSERT_TRUE(SoftD3D::SetDeviceThreadCount(d, threads));
            }
            std::vector<ScreenVertex> quads;
            for (int q = 0; q < 60; ++q)
                TurnedQuad(quads, unit(rng) * kWidth, unit(rng) * kHeight, 24, q * 7, rng());
            for (int q = 0; q < 60; ++q)
                d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, &quads[4 * q], sizeof(ScreenVertex));
        }
        d->EndScene();
        rig.ReadBackBuffer();
    };
    Rig one(1);
    scene(one, false);
    Rig changed(2);
    scene(changed, true);
    EXPECT_TRUE(changed.Reads == one.Reads);
}

// A device whose draws go to workers still answers each call as one drawing at once does.
TEST(ParallelDevice, RefusesWhatOneThreadRefuses) {
    Rig rig(2);
    IDirect3DDevice9* d = rig.Device;
    d->BeginScene();
    const ScreenVertex quad[4] = {Vtx(0, 0, 0), Vtx(9, 0, 0), Vtx(0, 9, 0), Vtx(9, 9, 0)};
    const uint16_t beyond[6] = {0, 1, 2, 2, 1, 4};
    EXPECT_EQ(d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, beyond, D3DFMT_INDEX16, quad,
                                        sizeof(ScreenVertex)),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    d->EndScene();
}

}  // namespace
