// The software device's pixel pipeline: pre-transformed vertices in, pixels of a render
// target out. It knows nothing of COM objects; the device hands it plain surfaces and the
// current state, with the state values in the graphics API's own numbering (blend factors,
// compare functions, filters, formats) so the device can pass its state words through.
#pragma once

#include <cstdint>

namespace SoftRaster {

// One mip level or render target: bits laid out row by row, pitch bytes apart.
struct Surface {
    uint8_t* Bits = nullptr;
    int Pitch = 0;
    int Width = 0;
    int Height = 0;
    uint32_t Format = 0;  // D3DFORMAT value
};

struct Texture {
    static constexpr int kMaxLevels = 16;
    int Levels = 0;
    Surface Level[kMaxLevels];
};

// The one vertex layout: x, y, z, 1/w, ARGB colour, u, v (28 bytes).
struct Vertex {
    float X, Y, Z, Rhw;
    uint32_t Color;
    float U, V;
};
static_assert(sizeof(Vertex) == 28, "pre-transformed vertex layout");

struct Rect {
    int Left, Top, Right, Bottom;  // right and bottom exclusive
};

struct State {
    Rect Viewport{0, 0, 0, 0};     // clip rectangle in target pixels
    const Texture* Tex = nullptr;  // stage 0 texture, or null for diffuse only

    // Texture stage 0: colour and alpha operations (D3DTOP values); modulate by default.
    uint32_t ColorOp = 4;  // D3DTOP_MODULATE
    uint32_t AlphaOp = 4;
    uint32_t ColorArg1 = 2, ColorArg2 = 0;  // D3DTA_TEXTURE, D3DTA_DIFFUSE
    uint32_t AlphaArg1 = 2, AlphaArg2 = 0;

    // Sampler 0 (D3DTEXTUREFILTERTYPE and D3DTEXTUREADDRESS values).
    uint32_t MinFilter = 1, MagFilter = 1, MipFilter = 0;  // point, point, none
    uint32_t AddressU = 3, AddressV = 3;                   // clamp
    uint32_t BorderColor = 0;                              // ARGB, for D3DTADDRESS_BORDER
    float MipLodBias = 0.0f;                               // added to the chosen level of detail
    uint32_t MaxMipLevel = 0;                              // most detailed level used
    uint32_t TextureFactor = 0xFFFFFFFF;                   // ARGB, D3DTA_TFACTOR

    // Output merger (D3DBLEND, D3DBLENDOP, D3DCMPFUNC values).
    bool AlphaBlend = false;
    uint32_t SrcBlend = 2, DestBlend = 1;  // one, zero
    uint32_t BlendOp = 1;                  // add
    bool SeparateAlphaBlend = false;
    uint32_t SrcBlendAlpha = 2, DestBlendAlpha = 1;
    uint32_t BlendOpAlpha = 1;
    bool AlphaTest = false;
    uint32_t AlphaFunc = 8;  // always
    uint32_t AlphaRef = 0;
    uint32_t FillMode = 3;  // D3DFILL_SOLID; 2 wireframe
    uint32_t ColorWriteMask = 0xF;
    uint32_t BlendFactor = 0xFFFFFFFF;  // ARGB, D3DBLEND_BLENDFACTOR
    uint32_t ShadeMode = 2;             // D3DSHADE_GOURAUD; 1 flat (first vertex's colour)
    // D3DCULL values. No culling here by default; a device passes its own state, which
    // starts at D3DCULL_CCW (3), so counter-clockwise triangles vanish as they would there.
    uint32_t CullMode = 1;
};

// Primitive kinds (D3DPRIMITIVETYPE values).
enum Primitive : uint32_t {
    kPointList = 1,
    kLineList = 2,
    kLineStrip = 3,
    kTriangleList = 4,
    kTriangleStrip = 5,
    kTriangleFan = 6,
};

// The rows of a target that one of several threads draws: bands of Band rows dealt out in turn
// to Count threads, this one taking every band whose number modulo Count is Index. Each row has
// exactly one owner, and every pixel is computed from its own row's inputs alone, so threads
// that each draw the same calls in the same order into their own rows leave the pixels one
// thread would. The default is every row.
struct RowShare {
    int Band = 1;
    int Count = 1;
    int Index = 0;
    bool All() const { return Count <= 1; }
    bool Owns(int y) const { return All() || (y / Band) % Count == Index; }
    // The first row at or after y (y >= 0) that this share owns.
    int First(int y) const {
        if (All()) return y;
        const int band = y / Band, owner = band % Count;
        if (owner == Index) return y;
        return (band + (Index - owner + Count) % Count) * Band;
    }
    // The row after the owned band that holds row y.
    int BandEnd(int y) const { return All() ? 0x7FFFFFFF : (y / Band + 1) * Band; }
    // Rows from the end of one owned band to the start of the next.
    int Gap() const { return (Count - 1) * Band; }
    // Whether any row from top to bottom (inclusive) is owned.
    bool Meets(int top, int bottom) const {
        if (top < 0) top = 0;
        return top <= bottom && First(top) <= bottom;
    }
};

// Draws primitiveCount primitives from vertices (indices, when not null, pick the vertices:
// 16-bit when index32 is false). Returns false for a primitive kind it cannot draw. With a
// share of the rows, only the pixels in those rows are drawn.
bool Draw(const Surface& target, const State& state, Primitive kind, const Vertex* vertices,
          const void* indices, bool index32, uint32_t primitiveCount,
          const RowShare& rows = RowShare());
// The same, for callers that know how many vertices there are: nothing is drawn and false is
// returned when the primitives would read a vertex at or past vertexCount.
bool Draw(const Surface& target, const State& state, Primitive kind, const Vertex* vertices,
          uint32_t vertexCount, const void* indices, bool index32, uint32_t primitiveCount);

// How many vertices (or indices, when indexed) primitiveCount primitives of a kind read, or 0
// for an unknown kind.
uint32_t VerticesNeeded(Primitive kind, uint32_t primitiveCount);

// Fills the part of rect inside the target (and in the share's rows) with an ARGB colour
// converted to the target format.
void Fill(const Surface& target, const Rect& rect, uint32_t argb,
          const RowShare& rows = RowShare());

// The instruction sets the pixel loops may use, narrowest first. Every path gives the same
// pixels; wider ones are faster.
enum class VectorPath { kScalar, kSse2, kAvx2, kAvx512 };
// The widest path this build and this processor can run.
VectorPath WidestVectorPath();
// Keeps later draws to paths no wider than widest (the widest available when it is wider),
// so tests and measurements can compare the paths on one machine. Draws a device has queued
// for its threads may be drawn on the paths before or after the change.
void LimitVectorPath(VectorPath widest);

}  // namespace SoftRaster
