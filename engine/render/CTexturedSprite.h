/// @file
/// A sprite that carries its own texture, and the list that draws many of them in as few
/// batches as their textures allow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/BaseSprite.h"
#include "render/CLoadedTexture.h"

class CTexturedSprite : public BaseSprite {
public:
    using BaseSprite::BaseSprite;

    /// Sets the texture on stage 0 and draws the quad as it stands (no visibility test).
    void DrawTextured();
    void DrawTexturedClipped(int left, int top, int right, int bottom);
    void SetTexture(const char* name) { Texture.SetByName(name != nullptr ? name : ""); }
    void SetTexture(const std::string& name) { Texture.SetByName(name); }
    /// Looks the name up only when it differs from the current one or nothing was found.
    void SetTextureIfChanged(const std::string& name);
    CTextureRef& GetTextureRef() { return Texture; }
    IDirect3DTexture9* GetTexture() { return Texture.GetTexture(); }

    CTextureRef Texture;
};

/// Textured sprites collected for one batched draw through GlobalVB; the list does not own
/// them.
class TexturedSpriteList {
public:
    void Add(CTexturedSprite* sprite) {
        if (sprite != nullptr) Sprites.push_back(sprite);
    }
    /// Groups sprites of one texture together, keeping their order otherwise, so that Render
    /// changes texture, and so draws, as rarely as possible.
    void SortByTexture();
    /// Queues every sprite in GlobalVB, drawing whenever the texture changes, then draws the
    /// rest. clear empties the list.
    void Render(bool clear);
    void DrawAllClipped(int left, int top, int right, int bottom);
    void Clear() { Sprites.clear(); }
    size_t Size() const { return Sprites.size(); }

private:
    static const size_t kMaxBuckets = 64;
    /// The place of a texture address among the distinct ones, in ascending order.
    size_t Bucket(uintptr_t key) const;

    std::vector<CTexturedSprite*> Sprites;
    /// Scratch space of the sort, kept to spare an allocation per frame.
    std::vector<uintptr_t> Keys;
    std::vector<uintptr_t> Distinct;
    std::vector<size_t> Starts;
    std::vector<CTexturedSprite*> Sorted;
};
