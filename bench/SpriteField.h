// The frame of bench_sprites, shared with the benchmarks that draw it with other renderers:
// 20,000 turning, tinted 32x32 sprites of 8 textures in a 1024x768 target, drawn through a
// sorted TexturedSpriteList and GlobalVB on the software device.
#pragma once

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/d3d9/SoftD3D.h"
#include "render/CTexturedSprite.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"

namespace SpriteField {

constexpr int kWidth = 1024, kHeight = 768;
constexpr int kSprites = 20000;
constexpr int kTextures = 8;
constexpr int kSide = 32;

// Texel (x, y) of texture t, ARGB: an opaque disc, transparent around it.
inline uint32_t Texel(int t, int x, int y) {
    const int dx = x - kSide / 2, dy = y - kSide / 2;
    const bool inside = dx * dx + dy * dy < (kSide / 2) * (kSide / 2);
    return inside ? 0xFF000000u | uint32_t(t * 32) << 16 | uint32_t(x * 8) << 8 | uint32_t(y * 8)
                  : 0u;
}

// A sprite with its place and the index of its texture.
struct Placed {
    CTexturedSprite Sprite;
    float X = 0, Y = 0;
    int TextureIndex = 0;
};

struct Field {
    Field() {
        window = SoftD3D::CreateHeadlessWindow(kWidth, kHeight);
        GD3D9& engine = GetD3DEngine();
        engine.Init(window, kWidth, kHeight, true);
        ScreenWidth = kWidth;
        ScreenHeight = kHeight;
        FillSinCosTables();
        GlobalVB.Init(GVertexBuffer::MAXVERTS, true);
        // The sprites are drawn at their textures' own size.
        engine.SetPointFiltering();
        for (int t = 0; t < kTextures; t++) {
            IDirect3DTexture9* texture = nullptr;
            engine.PDevice->CreateTexture(kSide, kSide, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          &texture, nullptr);
            D3DLOCKED_RECT lr;
            texture->LockRect(0, &lr, nullptr, 0);
            for (int y = 0; y < kSide; y++) {
                uint32_t* row =
                    reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch);
                for (int x = 0; x < kSide; x++) row[x] = Texel(t, x, y);
            }
            texture->UnlockRect(0);
            textures.push_back(texture);
            refs[t].SetFromTexture(texture);
        }
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        sprites.resize(kSprites);
        for (Placed& s : sprites) {
            s.X = static_cast<float>(next() % kWidth);
            s.Y = static_cast<float>(next() % kHeight);
            s.Sprite.Width = s.Sprite.Height = kSide;
            s.Sprite.Angle = static_cast<float>(next() % 360);
            s.Sprite.SetColour(0xFF000000u | next());
            s.TextureIndex = static_cast<int>(next() % kTextures);
            s.Sprite.Texture = refs[s.TextureIndex];
        }
    }

    ~Field() {
        GlobalVB.Release();
        for (IDirect3DTexture9* t : textures) t->Release();
        GetD3DEngine().Release();
        SoftD3D::DestroyHeadlessWindow(window);
    }

    void Turn(Placed& s) {
        s.Sprite.Rotate(1.0f);
        s.Sprite.SetPositionFast(s.X, s.Y);
    }

    // turn false draws the sprites as they stand, for renderers drawing the same frame.
    void Batched(bool turn = true) {
        for (Placed& s : sprites) {
            if (turn)
                Turn(s);
            else
                s.Sprite.SetPositionFast(s.X, s.Y);
            list.Add(&s.Sprite);
        }
        list.SortByTexture();
        list.Render(true);
    }

    void OneCallEach() {
        for (Placed& s : sprites) {
            Turn(s);
            s.Sprite.DrawTextured();
        }
    }

    // The floor for batching: quads written straight into per-texture blocks and copied into
    // the device buffer in chunks of its capacity.
    void HandBatched() {
        for (auto& block : blocks) block.clear();
        for (Placed& s : sprites) {
            s.Sprite.Rotate(1.0f);
            std::vector<ScreenVertex>& block = blocks[s.TextureIndex];
            const size_t at = block.size();
            block.resize(at + 4);
            std::memcpy(&block[at], s.Sprite.Verts, sizeof(s.Sprite.Verts));
            BaseSprite::PositionQuadFast(kSide, kSide, s.X, s.Y, s.Sprite.Angle, &block[at]);
        }
        IDirect3DDevice9* device = GetD3DEngine().PDevice;
        const std::clock_t start = std::clock();
        for (int t = 0; t < kTextures; t++) {
            refs[t].Set();
            const std::vector<ScreenVertex>& block = blocks[t];
            for (size_t first = 0; first < block.size(); first += GVertexBuffer::MAXVERTS) {
                const int n = static_cast<int>(
                    std::min<size_t>(GVertexBuffer::MAXVERTS, block.size() - first));
                void* mem = nullptr;
                GlobalVB.VertexBuffer->Lock(0, n * sizeof(ScreenVertex), &mem, D3DLOCK_DISCARD);
                std::memcpy(mem, &block[first], n * sizeof(ScreenVertex));
                GlobalVB.VertexBuffer->Unlock();
                device->SetStreamSource(0, GlobalVB.VertexBuffer, 0, sizeof(ScreenVertex));
                device->SetIndices(GlobalVB.IndexBuffer);
                device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, n, 0, n / 2);
            }
        }
        deviceSeconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }

    HWND window = nullptr;
    std::vector<IDirect3DTexture9*> textures;
    CTextureRef refs[kTextures];
    std::vector<Placed> sprites;
    std::vector<ScreenVertex> blocks[kTextures];
    TexturedSpriteList list;
    double deviceSeconds = 0;
};

}  // namespace SpriteField
