#include "render/CTexturedSprite.h"

#include <algorithm>
#include <cstdint>

#include "render/GVertexBuffer.h"

void CTexturedSprite::DrawTextured() {
    Texture.Set();
    DrawQuad();
}

void CTexturedSprite::DrawTexturedClipped(int left, int top, int right, int bottom) {
    Texture.Set();
    BaseSprite::DrawClipped(left, top, right, bottom);
}

void CTexturedSprite::SetTextureIfChanged(const std::string& name) {
    if (Texture.GetName() != name || Texture.GetTexture() == nullptr) Texture.SetByName(name);
}

void TexturedSpriteList::SortByTexture() {
    const size_t n = Sprites.size();
    Keys.resize(n);
    Distinct.clear();
    for (size_t i = 0; i < n; i++) {
        Keys[i] = reinterpret_cast<uintptr_t>(Sprites[i]->GetTexture());
        if (std::find(Distinct.begin(), Distinct.end(), Keys[i]) == Distinct.end()) {
            Distinct.push_back(Keys[i]);
            if (Distinct.size() > kMaxBuckets) break;
        }
    }
    if (Distinct.size() > kMaxBuckets) {
        std::stable_sort(Sprites.begin(), Sprites.end(),
                         [](CTexturedSprite* a, CTexturedSprite* b) {
                             return reinterpret_cast<uintptr_t>(a->GetTexture()) <
                                    reinterpret_cast<uintptr_t>(b->GetTexture());
                         });
        return;
    }
    // A list holds few textures, so a counting sort by them is one pass and keeps the order
    // of the sprites of each texture.
    std::sort(Distinct.begin(), Distinct.end());
    Starts.assign(Distinct.size() + 1, 0);
    for (size_t i = 0; i < n; i++) Keys[i] = Bucket(Keys[i]);
    for (size_t i = 0; i < n; i++) Starts[Keys[i] + 1]++;
    for (size_t b = 1; b < Starts.size(); b++) Starts[b] += Starts[b - 1];
    Sorted.resize(n);
    for (size_t i = 0; i < n; i++) Sorted[Starts[Keys[i]]++] = Sprites[i];
    Sprites.swap(Sorted);
}

size_t TexturedSpriteList::Bucket(uintptr_t key) const {
    return static_cast<size_t>(std::lower_bound(Distinct.begin(), Distinct.end(), key) -
                               Distinct.begin());
}

void TexturedSpriteList::Render(bool clear) {
    for (CTexturedSprite* sprite : Sprites) {
        GlobalVB.SetTexture(&sprite->Texture);
        sprite->AddToGlobalVB();
    }
    if (clear) Sprites.clear();
    GlobalVB.Flush();
}

void TexturedSpriteList::DrawAllClipped(int left, int top, int right, int bottom) {
    for (CTexturedSprite* sprite : Sprites) sprite->DrawClipped(left, top, right, bottom);
    Sprites.clear();
}
