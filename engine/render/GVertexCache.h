/// @file
/// A block of screen vertices laid out once (a text, say) and drawn again every frame through
/// GlobalVB, with whatever texture and blend mode the device has. Drawing keeps the vertices.
#pragma once

#include <cstdint>

#include "render/ScreenVertex.h"

class GVertexCache {
public:
    /// A capacity that cannot be allocated leaves an empty cache that takes nothing.
    explicit GVertexCache(int capacity);
    virtual ~GVertexCache();
    GVertexCache(const GVertexCache&) = delete;
    GVertexCache& operator=(const GVertexCache&) = delete;

    /// Appends as many vertices as fit; the rest are dropped.
    void AddVerts(const ScreenVertex* source, int count);
    void Clear() { Count = 0; }
    bool IsEmpty() const { return Count == 0; }
    /// Hands the vertices to GlobalVB and draws them.
    void Draw();

    int32_t Capacity = 0;
    int32_t Count = 0;
    ScreenVertex* Verts = nullptr;
};
