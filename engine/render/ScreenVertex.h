/// @file
/// The renderer's one vertex layout: pre-transformed screen position, colour, one texture
/// coordinate pair. 28 bytes, shared by the device engine, vertex buffers, sprites and text.
#pragma once

#include <cstdint>

struct ScreenVertex {
    float X;
    float Y;
    float Z;
    float Rhw;
    uint32_t Color;  ///< ARGB
    float U;
    float V;
};
static_assert(sizeof(ScreenVertex) == 28, "ScreenVertex is the 28-byte vertex the device reads");

/// D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1
constexpr unsigned long kScreenVertexFVF = 0x144;
