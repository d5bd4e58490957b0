// Batches of textured quads drawn in one indexed call. GlobalVB is the process-wide buffer
// that sprites and the vertex cache draw through; the device engine draws and flushes it and
// the texture manager releases it for a device restore.
//
// So far the buffer has its release and its draw entry points; batching fills them in.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/D3D9.h"
#include "render/ScreenVertex.h"

class GVertexBuffer {
public:
    static const int32_t MAXVERTS = 8000;

    GVertexBuffer() = default;
    virtual ~GVertexBuffer();
    GVertexBuffer(const GVertexBuffer&) = delete;
    GVertexBuffer& operator=(const GVertexBuffer&) = delete;

    // Releases the graphics buffers and the system-memory batch; the buffer can be set up again.
    void Release();
    // Draws the batch with its own texture and blend mode.
    void Flush();
    // Draws the batch with whatever texture and blend mode the device has.
    void Draw();
    bool HasPending() const { return PendingVerts > 0; }

private:
    void ReleaseResources();

    IDirect3DVertexBuffer9* VertexBuffer = nullptr;
    IDirect3DIndexBuffer9* IndexBuffer = nullptr;
    ScreenVertex* LocalMem = nullptr;
    int32_t PendingVerts = 0;
    int32_t LocalCopyCount = 0;
    const ScreenVertex* DefferedCopySrc = nullptr;
    int32_t DeferredCount = 0;
};

// Every buffer that is set up, for re-creating them after a device reset.
std::vector<GVertexBuffer*>& AllBuffers();

extern GVertexBuffer GlobalVB;
