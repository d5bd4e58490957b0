#include "render/BaseSprite.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "diagnostics/GDebugLog.h"
#include "render/GD3D9.h"
#include "render/GVertexBuffer.h"

int ScreenWidth = 0;
int ScreenHeight = 0;
float SinTable[360];
float CosTable[360];

void FillSinCosTables() {
    for (int degree = 0; degree < 360; degree++) {
        const double radians = degree * 3.14159265358979323846 / 180.0;
        SinTable[degree] = static_cast<float>(std::sin(radians));
        CosTable[degree] = static_cast<float>(std::cos(radians));
    }
}

namespace {

const float kRadiansPerDegree = 0.017453292f;

// The table entry for an angle: whole degrees wrapped into [0, 360), so any angle a host has
// let run past a full turn still reads inside the tables.
int TableIndex(float angle) {
    if (angle >= 0.0f && angle < 360.0f) return static_cast<int>(angle);
    if (!std::isfinite(angle)) return 0;
    int index = static_cast<int>(std::fmod(angle, 360.0f));
    if (index < 0) index += 360;
    return index;
}

void ReportMisuse(const char* operation, const char* expression) {
    char message[256];
    snprintf(message, sizeof(message), "BaseSprite::%s: assertion failed: %s", operation,
             expression);
    GetDebugLog().Log(message);
}

bool StrictlyBetween(float value, float low, float high) {
    return low < value && value < high;
}

// Moves the two corners of one edge to a clip line, shifting their texture coordinate with it.
void CutEdge(ScreenVertex& a, ScreenVertex& b, float ScreenVertex::*position,
             float ScreenVertex::*texture, int line, float shift) {
    a.*position = b.*position = static_cast<float>(line);
    a.*texture += shift;
    b.*texture += shift;
}

}  // namespace

int TruncateToInt(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(value);
}

BaseSprite::BaseSprite() {
    static const float kU[4] = {0.0f, 1.0f, 0.0f, 1.0f};
    static const float kV[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    for (int i = 0; i < 4; i++) Verts[i] = {0.0f, 0.0f, 0.0f, 1.0f, 0xFFFFFFFFu, kU[i], kV[i]};
}

BaseSprite::BaseSprite(int left, int top, int right, int bottom) : BaseSprite() {
    Width = static_cast<float>(static_cast<int64_t>(right) - left);
    Height = static_cast<float>(static_cast<int64_t>(bottom) - top);
    BaseSprite::SetPosition(static_cast<float>((static_cast<double>(right) + left) / 2.0),
                            static_cast<float>((static_cast<double>(top) + bottom) / 2.0));
}

bool BaseSprite::Contains(float x, float y) const {
    return StrictlyBetween(x, Verts[0].X, Verts[1].X) && StrictlyBetween(y, Verts[0].Y, Verts[2].Y);
}

void BaseSprite::SetPosition(float cx, float cy) {
    PositionQuad(Width, Height, cx, cy, IgnoreAngle ? 0.0f : Angle, Verts);
}

void BaseSprite::SetPositionFast(float cx, float cy) {
    PositionQuadFast(Width, Height, cx, cy, IgnoreAngle ? 0.0f : Angle, Verts);
}

void BaseSprite::SetPositionUnrotated(float cx, float cy) {
    PositionQuadUnrotated(cx, cy, Width, Height, Verts);
}

void BaseSprite::SetPositionSinCos(float cx, float cy, float sine, float cosine) {
    PositionQuadSinCos(cx, cy, sine, cosine, Width, Height, Verts);
}

void BaseSprite::PositionQuad(float width, float height, float cx, float cy, float angle,
                              ScreenVertex* vertices) {
    if (angle == 0.0f) {
        PositionQuadUnrotated(cx, cy, width, height, vertices);
        return;
    }
    const float radians = angle * kRadiansPerDegree;
    PositionQuadSinCos(cx, cy, std::sin(radians), std::cos(radians), width, height, vertices);
}

void BaseSprite::PositionQuadFast(float width, float height, float cx, float cy, float angle,
                                  ScreenVertex* vertices) {
    if (angle == 0.0f) {
        PositionQuadUnrotated(cx, cy, width, height, vertices);
        return;
    }
    // Unfilled tables would put every corner on the centre, and the sprite would vanish.
    static bool reportedEmptyTables = false;
    if (CosTable[0] != 1.0f) {
        if (!reportedEmptyTables)
            GetDebugLog().Log(
                "SinTable and CosTable are not filled: turned sprites are not drawn (call "
                "FillSinCosTables before positioning sprites)");
        reportedEmptyTables = true;
    } else {
        reportedEmptyTables = false;
    }
    const int index = TableIndex(angle);
    PositionQuadSinCos(cx, cy, SinTable[index], CosTable[index], width, height, vertices);
}

void BaseSprite::PositionQuadUnrotated(float cx, float cy, float width, float height,
                                       ScreenVertex* vertices) {
    const float hw = width / 2.0f;
    const float hh = height / 2.0f;
    vertices[0].X = cx - hw;
    vertices[0].Y = cy - hh;
    vertices[1].X = cx + hw;
    vertices[1].Y = cy - hh;
    vertices[2].X = cx - hw;
    vertices[2].Y = cy + hh;
    vertices[3].X = cx + hw;
    vertices[3].Y = cy + hh;
}

void BaseSprite::PositionQuadSinCos(float cx, float cy, float sine, float cosine, float width,
                                    float height, ScreenVertex* vertices) {
    const float hw = width / 2.0f;
    const float hh = height / 2.0f;
    const float dx[4] = {-hw, hw, -hw, hw};
    const float dy[4] = {-hh, -hh, hh, hh};
    for (int i = 0; i < 4; i++) {
        vertices[i].X = dx[i] * cosine - dy[i] * sine + cx;
        vertices[i].Y = dx[i] * sine + dy[i] * cosine + cy;
    }
}

void BaseSprite::SetCorners(float left, float top, float right, float bottom) {
    Verts[0].X = Verts[2].X = left;
    Verts[1].X = Verts[3].X = right;
    Verts[0].Y = Verts[1].Y = top;
    Verts[2].Y = Verts[3].Y = bottom;
}

void BaseSprite::Rotate(float delta) {
    Angle += delta;
    if (Angle >= 360.0f) {
        Angle -= 360.0f;
    } else if (Angle < 0.0f) {
        Angle += 360.0f;
    }
}

void BaseSprite::Move(float dx, float dy) {
    for (ScreenVertex& v : Verts) {
        v.X += dx;
        v.Y += dy;
    }
}

void BaseSprite::SnapToPixels() {
    for (ScreenVertex& v : Verts) {
        v.X = std::trunc(v.X) + 0.5f;
        v.Y = std::trunc(v.Y) + 0.5f;
    }
}

void BaseSprite::CopyPositions(const BaseSprite& other) {
    CopyPositionsOffset(other, 0.0f, 0.0f);
}

void BaseSprite::CopyPositionsOffset(const BaseSprite& other, float dx, float dy) {
    for (int i = 0; i < 4; i++) {
        Verts[i].X = other.Verts[i].X + dx;
        Verts[i].Y = other.Verts[i].Y + dy;
    }
}

float BaseSprite::GetCentreX() const {
    return (Verts[0].X + Verts[1].X + Verts[2].X + Verts[3].X) / 4.0f;
}

float BaseSprite::GetCentreY() const {
    return (Verts[0].Y + Verts[1].Y + Verts[2].Y + Verts[3].Y) / 4.0f;
}

void BaseSprite::GetBoundingRect(RECT& rect) const {
    float left = Verts[0].X, right = left, top = Verts[0].Y, bottom = top;
    for (const ScreenVertex& v : Verts) {
        left = std::min(left, v.X);
        right = std::max(right, v.X);
        top = std::min(top, v.Y);
        bottom = std::max(bottom, v.Y);
    }
    rect.left = TruncateToInt(left);
    rect.top = TruncateToInt(top);
    rect.right = TruncateToInt(right);
    rect.bottom = TruncateToInt(bottom);
}

void BaseSprite::SetQuadColour(int red, int green, int blue, int alpha, ScreenVertex* vertices) {
    // Unsigned: an alpha of 128 and above would overflow a signed shift.
    const uint32_t argb =
        static_cast<uint32_t>(alpha) << 24 | (static_cast<uint32_t>(red) & 255u) << 16 |
        (static_cast<uint32_t>(green) & 255u) << 8 | (static_cast<uint32_t>(blue) & 255u);
    for (int i = 0; i < 4; i++) vertices[i].Color = argb;
}

void BaseSprite::SetColour(uint32_t argb) {
    for (ScreenVertex& v : Verts) v.Color = argb;
}

void BaseSprite::SetColour(int red, int green, int blue, int alpha) {
    SetQuadColour(red, green, blue, alpha, Verts);
}

void BaseSprite::SetColour(const SpriteColour& colour) {
    SetQuadColour(colour.Red, colour.Green, colour.Blue, colour.Alpha, Verts);
}

void BaseSprite::SetAlpha(int alpha) {
    SetColour((Verts[0].Color & 0x00FFFFFFu) | static_cast<uint32_t>(alpha) << 24);
}

void BaseSprite::SetUV(float leftU, float topV, float rightU, float bottomV) {
    Verts[0].U = leftU;
    Verts[0].V = topV;
    Verts[1].U = rightU;
    Verts[1].V = topV;
    Verts[2].U = leftU;
    Verts[2].V = bottomV;
    Verts[3].U = rightU;
    Verts[3].V = bottomV;
}

void BaseSprite::ResetUV() {
    SetUV(0.0f, 0.0f, 1.0f, 1.0f);
}

void BaseSprite::SetUVFromPixels(float textureSize, float left, float top, float right,
                                 float bottom) {
    SetUV(left / textureSize, top / textureSize, right / textureSize, bottom / textureSize);
}

void BaseSprite::SetSquare(int numsquares, int squareid) {
    if (squareid >= numsquares) {
        ReportMisuse("SetSquare", "squareid <numsquares");
        return;
    }
    if (numsquares < 4) {
        ReportMisuse("SetSquare", "numsquares >= 4");
        return;
    }
    if (squareid < 0) {
        ReportMisuse("SetSquare", "squareid >= 0");
        return;
    }
    const int n = static_cast<int>(std::sqrt(static_cast<double>(numsquares)));
    const int row = squareid / n;
    const int column = squareid % n;
    const float step = 1.0f / n;
    SetUV(column * step, row * step, (column + 1) * step, (row + 1) * step);
}

void BaseSprite::SetFrame(int rows, int columns, int frame) {
    if (columns < 1 || rows < 1) {
        ReportMisuse("SetFrame", "rows >= 1 && columns >= 1");
        return;
    }
    if (frame < 0 || frame >= static_cast<int64_t>(rows) * columns) {
        ReportMisuse("SetFrame", "frame >= 0 && frame < rows * columns");
        return;
    }
    const int row = frame / columns;
    const int column = frame % columns;
    const float across = 1.0f / columns;
    const float down = 1.0f / rows;
    SetUV(column * across, row * down, (column + 1) * across, (row + 1) * down);
}

void BaseSprite::MapUVToSubRect(float left, float top, float right, float bottom) {
    const float w = right - left;
    const float h = bottom - top;
    SetUV(Verts[0].U * w + left, Verts[0].V * h + top, Verts[1].U * w + left, Verts[2].V * h + top);
}

void BaseSprite::FlipVertical() {
    const float top = Verts[0].V;
    const float bottom = Verts[2].V;
    Verts[0].V = Verts[1].V = bottom;
    Verts[2].V = Verts[3].V = top;
}

void BaseSprite::FlipHorizontal() {
    const float left = Verts[0].U;
    const float right = Verts[1].U;
    Verts[0].U = Verts[2].U = right;
    Verts[1].U = Verts[3].U = left;
}

void BaseSprite::InsetUV(float amount) {
    Verts[0].U += amount;
    Verts[0].V += amount;
    Verts[1].U -= amount;
    Verts[1].V += amount;
    Verts[2].U += amount;
    Verts[2].V -= amount;
    Verts[3].U -= amount;
    Verts[3].V -= amount;
}

bool BaseSprite::IsOnScreen() const {
    // Without a screen size every sprite is off screen; said once until the host sets it.
    static bool reportedNoScreen = false;
    if (ScreenWidth <= 0 || ScreenHeight <= 0) {
        if (!reportedNoScreen)
            GetDebugLog().Log(
                "ScreenWidth and ScreenHeight are not set: sprites are not drawn (set them to "
                "the back buffer's size)");
        reportedNoScreen = true;
        return false;
    }
    reportedNoScreen = false;
    const float w = static_cast<float>(ScreenWidth);
    const float h = static_cast<float>(ScreenHeight);
    if (Angle != 0.0f) {
        RECT box;
        GetBoundingRect(box);
        return std::max<LONG>(box.left, 0) < std::min<LONG>(box.right, ScreenWidth) &&
               std::max<LONG>(box.top, 0) < std::min<LONG>(box.bottom, ScreenHeight);
    }
    for (const ScreenVertex& v : Verts) {
        if (StrictlyBetween(v.X, 0.0f, w) && StrictlyBetween(v.Y, 0.0f, h)) return true;
    }
    // No corner inside: the sprite is visible when it still overlaps the screen with some area,
    // as one that spans the screen does. Edges lying exactly on a screen edge count as
    // overlapping only from the inside, so a screen-sized sprite draws and one that merely
    // touches the screen from outside does not.
    const float left = std::min(Verts[0].X, Verts[1].X);
    const float right = std::max(Verts[0].X, Verts[1].X);
    const float top = std::min(Verts[0].Y, Verts[2].Y);
    const float bottom = std::max(Verts[0].Y, Verts[2].Y);
    return left < w && right > 0.0f && top < h && bottom > 0.0f;
}

void BaseSprite::Draw() {
    if (!IsOnScreen()) return;
    GD3D9& engine = GetD3DEngine();
    if (!engine.InScene) engine.BeginScene();
    DrawQuad();
}

void BaseSprite::DrawQuad() {
    GetD3DEngine().DrawUserPrimitives(D3DPT_TRIANGLESTRIP, 2, Verts, sizeof(ScreenVertex));
}

void BaseSprite::DrawClipped(int left, int top, int right, int bottom) {
    const float x0 = Verts[0].X, x1 = Verts[1].X, y0 = Verts[0].Y, y2 = Verts[2].Y;
    // A clip that misses the sprite would move its edges past each other and draw a mirrored
    // quad outside the clip.
    if (!(left < x1 && x0 < right && top < y2 && y0 < bottom)) return;
    // Cut in proportion to the corners' own span, so the image stays in place even when Width
    // and Height no longer match the corners (after SetCorners, say).
    const float spanX = x1 - x0;
    const float spanY = y2 - y0;
    const float spanU = Verts[1].U - Verts[0].U;
    const float spanV = Verts[2].V - Verts[0].V;

    BaseSprite copy;
    copy.Width = Width;
    copy.Height = Height;
    for (int i = 0; i < 4; i++) copy.Verts[i] = Verts[i];
    if (left > x0) {
        CutEdge(copy.Verts[0], copy.Verts[2], &ScreenVertex::X, &ScreenVertex::U, left,
                (left - x0) / spanX * spanU);
    }
    if (x1 > right) {
        CutEdge(copy.Verts[1], copy.Verts[3], &ScreenVertex::X, &ScreenVertex::U, right,
                -(x1 - right) / spanX * spanU);
    }
    if (top > y0) {
        CutEdge(copy.Verts[0], copy.Verts[1], &ScreenVertex::Y, &ScreenVertex::V, top,
                (top - y0) / spanY * spanV);
    }
    if (y2 > bottom) {
        CutEdge(copy.Verts[2], copy.Verts[3], &ScreenVertex::Y, &ScreenVertex::V, bottom,
                -(y2 - bottom) / spanY * spanV);
    }
    copy.Draw();
}

void BaseSprite::AddToGlobalVB() {
    GlobalVB.AddVerts(Verts, 4);
}

void BaseSprite::DrawBoundingRect(uint32_t colour) {
    GetD3DEngine().DrawSpriteRect(*this, colour);
}

void BaseSpriteList::DrawAll() {
    for (BaseSprite* sprite : Sprites) sprite->Draw();
    Sprites.clear();
}
