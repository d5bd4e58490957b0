/// @file
/// Screen-space sprites: a quad of four pre-transformed vertices positioned from a centre, a
/// size and a rotation, coloured, given texture coordinates, tested against the screen and
/// drawn at once or queued in GlobalVB. Corners run top-left, top-right, bottom-left,
/// bottom-right, the order of a two-triangle strip.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/D3D9.h"
#include "render/ScreenVertex.h"

/// Set by the host: the screen size that IsOnScreen tests against, and the sine and cosine of
/// every whole degree that the fast positioning reads.
extern int ScreenWidth;
extern int ScreenHeight;
extern float SinTable[360];
extern float CosTable[360];
/// For hosts: fills SinTable and CosTable. Nothing in the library calls it.
void FillSinCosTables();

/// Truncates toward zero like a cast, but saturates instead of overflowing; NaN gives 0.
int TruncateToInt(float value);

/// A colour given as four integer channels.
struct SpriteColour {
    int Red, Green, Blue, Alpha;
};

class BaseSprite {
public:
    BaseSprite();
    /// Width and height from the rectangle, centred on it, unrotated.
    BaseSprite(int left, int top, int right, int bottom);
    virtual ~BaseSprite() = default;

    /// Strictly inside the rectangle of corners 0, 1 and 2; rotation is not taken into account.
    virtual bool Contains(float x, float y) const;
    /// Exact sine and cosine of Angle.
    virtual void SetPosition(float cx, float cy);
    /// Table sine and cosine of Angle's whole degrees.
    virtual void SetPositionFast(float cx, float cy);
    /// Queues nothing: draws at once when on screen, with whatever texture stage 0 holds.
    virtual void Draw();
    /// Draws the part of the sprite inside the rectangle, the image staying in place.
    virtual void DrawClipped(int left, int top, int right, int bottom);

    void SetPositionUnrotated(float cx, float cy);
    /// Lets many sprites share one sine and cosine.
    void SetPositionSinCos(float cx, float cy, float sine, float cosine);
    void SetCorners(float left, float top, float right, float bottom);
    void Rotate(float delta);
    void Move(float dx, float dy);
    void SnapToPixels();
    void CopyPositions(const BaseSprite& other);
    void CopyPositionsOffset(const BaseSprite& other, float dx, float dy);
    float GetCentreX() const;
    float GetCentreY() const;
    void GetBoundingRect(RECT& rect) const;

    /// The same layouts on a caller's four vertices; only x and y are written.
    static void PositionQuad(float width, float height, float cx, float cy, float angle,
                             ScreenVertex* vertices);
    static void PositionQuadFast(float width, float height, float cx, float cy, float angle,
                                 ScreenVertex* vertices);
    static void PositionQuadUnrotated(float cx, float cy, float width, float height,
                                      ScreenVertex* vertices);
    static void PositionQuadSinCos(float cx, float cy, float sine, float cosine, float width,
                                   float height, ScreenVertex* vertices);
    static void SetQuadColour(int red, int green, int blue, int alpha, ScreenVertex* vertices);

    void SetColour(uint32_t argb);
    void SetColour(int red, int green, int blue, int alpha);
    void SetColour(const SpriteColour& colour);
    void SetAlpha(int alpha);

    void SetUV(float leftU, float topV, float rightU, float bottomV);
    void ResetUV();
    void SetUVFromPixels(float textureSize, float left, float top, float right, float bottom);
    /// Cell squareid of a square grid of numsquares cells, left to right, then top to bottom.
    void SetSquare(int numsquares, int squareid);
    void SetFrame(int rows, int columns, int frame);
    void MapUVToSubRect(float left, float top, float right, float bottom);
    void FlipVertical();
    void FlipHorizontal();
    void InsetUV(float amount);

    bool IsOnScreen() const;
    /// Draws the quad as it stands: no visibility test, no scene check.
    void DrawQuad();
    void AddToGlobalVB();
    void DrawBoundingRect(uint32_t colour);

    float Angle = 0.0f;
    float Width = 0.0f;
    float Height = 0.0f;
    ScreenVertex Verts[4];
    bool IgnoreAngle = false;
};

/// Sprites drawn one by one, each with its own Draw; the list does not own them.
class BaseSpriteList {
public:
    void Add(BaseSprite* sprite) {
        if (sprite != nullptr) Sprites.push_back(sprite);
    }
    /// Draws every sprite in order, then empties the list.
    void DrawAll();
    size_t Size() const { return Sprites.size(); }

private:
    std::vector<BaseSprite*> Sprites;
};
