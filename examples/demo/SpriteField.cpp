#include "SpriteField.h"

#include <cmath>

#include "render/GD3D9.h"

namespace {

// Texture names below the demo's texture folder; the glow is the last.
const char* const kShapes[] = {"ball.png", "ring.png", "diamond.png", "star.png", "glow.png"};
constexpr int kShapeCount = sizeof kShapes / sizeof kShapes[0];
constexpr int kGlow = kShapeCount - 1;

// Moves one coordinate and turns it back at the edges [low, high].
void Bounce(float& position, float& speed, float seconds, float low, float high) {
    position += speed * seconds;
    if (high <= low) {
        position = (low + high) / 2;
    } else if (position < low) {
        position = low;
        speed = std::fabs(speed);
    } else if (position > high) {
        position = high;
        speed = -std::fabs(speed);
    }
}

}  // namespace

SpriteField::SpriteField() {
    for (const char* name : kShapes) {
        textures_.emplace_back();
        textures_.back().SetByName(name);
    }
}

uint32_t SpriteField::Random(uint32_t index, uint32_t which) {
    // A hash of the two, so that a sprite keeps its looks when the count changes.
    uint32_t x = index * 0x9E3779B9u ^ (which + 1) * 0x85EBCA6Bu;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

void SpriteField::Resize(int count, float width, float height) {
    if (count < 0) count = 0;
    const size_t wanted = static_cast<size_t>(count);
    if (wanted < sprites_.size()) {
        sprites_.resize(wanted);
        motion_.resize(wanted);
        return;
    }
    sprites_.reserve(wanted);
    motion_.reserve(wanted);
    for (uint32_t i = static_cast<uint32_t>(sprites_.size()); i < wanted; i++) {
        auto unit = [i](uint32_t which) { return (Random(i, which) & 0xFFFFFF) / 16777216.0f; };
        Motion m;
        m.Glow = Random(i, 0) % 4 == 0;
        m.X = unit(1) * width;
        m.Y = unit(2) * height;
        const float heading = unit(3) * 6.2831853f;
        const float speed = 40 + unit(4) * 160;
        m.SpeedX = speed * std::cos(heading);
        m.SpeedY = speed * std::sin(heading);
        m.Spin = (unit(5) - 0.5f) * 360;
        motion_.push_back(m);

        CTexturedSprite sprite;
        const int shape = m.Glow ? kGlow : static_cast<int>(Random(i, 6) % kGlow);
        sprite.Texture = textures_[shape];
        sprite.Width = sprite.Height = 8 + unit(7) * (m.Glow ? 32 : 20);
        sprite.Angle = unit(8) * 360;
        const int red = 64 + static_cast<int>(Random(i, 9) % 192);
        const int green = 64 + static_cast<int>(Random(i, 10) % 192);
        const int blue = 64 + static_cast<int>(Random(i, 11) % 192);
        sprite.SetColour(red, green, blue, m.Glow ? 160 : 230);
        sprite.SetPositionFast(m.X, m.Y);
        sprites_.push_back(sprite);
    }
}

void SpriteField::Step(float seconds, float width, float height) {
    for (size_t i = 0; i < sprites_.size(); i++) {
        Motion& m = motion_[i];
        CTexturedSprite& sprite = sprites_[i];
        const float halfWidth = sprite.Width / 2;
        const float halfHeight = sprite.Height / 2;
        Bounce(m.X, m.SpeedX, seconds, halfWidth, width - halfWidth);
        Bounce(m.Y, m.SpeedY, seconds, halfHeight, height - halfHeight);
        sprite.Angle = std::fmod(sprite.Angle + m.Spin * seconds + 360.0f, 360.0f);
        sprite.SetPositionFast(m.X, m.Y);
    }
}

void SpriteField::Draw(bool batched) {
    GD3D9& engine = GetD3DEngine();
    for (int pass = 0; pass < 2; pass++) {
        const bool glow = pass == 1;
        engine.SetBlendMode(glow ? 1 : 0);
        if (!batched) {
            for (size_t i = 0; i < sprites_.size(); i++)
                if (motion_[i].Glow == glow) sprites_[i].DrawTextured();
            continue;
        }
        TexturedSpriteList& list = glow ? glow_ : plain_;
        for (size_t i = 0; i < sprites_.size(); i++)
            if (motion_[i].Glow == glow) list.Add(&sprites_[i]);
        list.SortByTexture();
        list.Render(true);
    }
    engine.SetBlendMode(0);
}
