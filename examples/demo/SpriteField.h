// The demo's field of bouncing sprites: each moves at its own speed, turns, and bounces off
// the edges of the screen. One in four glows: it is drawn with additive blending over the
// others, so where glows cross they brighten.
#pragma once

#include <cstdint>
#include <vector>

#include "render/CTexturedSprite.h"

class SpriteField {
public:
    SpriteField();

    // Grows or shrinks the field to count sprites. New ones start anywhere in the area; the
    // same count always gives the same sprites, whatever the steps in between.
    void Resize(int count, float width, float height);
    int Count() const { return static_cast<int>(sprites_.size()); }
    // Moves every sprite on by seconds of its motion, keeping it inside width x height.
    void Step(float seconds, float width, float height);
    // Draws the plain sprites, then the glowing ones; batched through sorted lists, or with
    // one draw call per sprite as a host without batching would.
    void Draw(bool batched);

private:
    struct Motion {
        float X, Y;
        float SpeedX, SpeedY;
        float Spin;  // degrees a second, clockwise
        bool Glow;
    };
    // The random numbers of sprite index i, a pure function of i.
    static uint32_t Random(uint32_t index, uint32_t which);

    std::vector<Motion> motion_;
    std::vector<CTexturedSprite> sprites_;
    std::vector<CTextureRef> textures_;
    TexturedSpriteList plain_;
    TexturedSpriteList glow_;
};
