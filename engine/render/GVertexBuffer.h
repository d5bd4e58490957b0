/// @file
/// Batches of textured quads drawn in one indexed call. Callers append screen vertices to a
/// block of system memory; a draw copies the batch into a dynamic device buffer, appended
/// behind what the buffer holds since its last discard (no-overwrite lock) or, when it no
/// longer fits, from the start of a discarded buffer, and draws it through a static index
/// buffer that turns every four vertices into two triangles. The batch remembers a texture
/// and a blend mode and is drawn first when either changes.
///
/// GlobalVB is the process-wide buffer that sprites and the vertex cache draw through; the
/// host calls its Init, and again after a device restore.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/D3D9.h"
#include "render/CLoadedTexture.h"
#include "render/ScreenVertex.h"

class GVertexBuffer {
public:
    static const int32_t MAXVERTS = 8000;

    GVertexBuffer();
    virtual ~GVertexBuffer();
    GVertexBuffer(const GVertexBuffer&) = delete;
    GVertexBuffer& operator=(const GVertexBuffer&) = delete;

    // ---- Creation and release ----

    /// Capacity from 1 to MAXVERTS; quads selects the quad index pattern (else all zero).
    /// A second Init without a Release in between is refused.
    void Init(int vertexcount, bool quads);
    /// Creates the device buffers, fills the index buffer and allocates the batch. Device
    /// buffers still held are released first, so it can run again after a device reset.
    void CreateBuffers();
    /// Frees everything and forgets the batch; Init may follow.
    void Release();
    /// CreateBuffers for every buffer that ran Init and was not released since.
    static void RestoreAll();

    // ---- Batching into system memory ----

    /// Appends count vertices, drawing the batch first when they do not fit; of a call larger
    /// than the capacity only the first VertsUsed vertices are kept.
    void AddVerts(const ScreenVertex* source, int count);
    /// Room for count vertices at the end of the batch (drawing it first when they do not fit),
    /// to be filled and then committed. Null when count exceeds the capacity or nothing exists.
    ScreenVertex* GetWritePtr(int count);
    void CommitVerts(int count);
    /// The next draw copies count vertices straight from source, which the caller keeps alive
    /// until then. A count above the capacity is refused.
    void SetDeferredSource(const ScreenVertex* source, int count);
    bool HasPending() const { return PendingVerts > 0; }
    /// Forgets the batch, a deferred source included, without drawing it.
    void ClearPending();

    // ---- Batch state ----

    /// Draws the pending batch first when the texture changes. The reference is copied, so the
    /// caller's object may go away before the batch is drawn.
    void SetTexture(CTextureRef* texture);
    /// 0 normal, 1 additive, 2 none to apply.
    void SetBlendMode(int mode);
    /// Batches drawn from now on are moved by (-offsetx, -offsety) and then scaled.
    void SetTransform(float offsetx, float offsety, float scale);
    void ClearTransform() { Transform = false; }

    // ---- Drawing ----

    /// Draws the batch with its own texture and blend mode.
    void Flush();
    /// Draws the batch with whatever texture and blend mode the device has.
    void Draw();
    /// The device calls that draw primitives triangles of the quad pattern from BaseVertex.
    void DrawQuads(int primitives);

    // ---- Direct access, for callers that fill the device buffer themselves ----

    /// Locks the whole device buffer, discarding it; writing starts again at vertex 0.
    void LockAll();
    /// Copies into the locked buffer and returns the first vertex index of the block, or -1
    /// when the buffer is not locked or the block does not fit.
    int AddVertsDirect(const ScreenVertex* source, int count);
    void Unlock();
    void DrawQuadsAt(int firstvertex, int primitives);
    void ResetIndices();

    ScreenVertex* BufferMem = nullptr;
    int32_t VBWritePos = 0;
    IDirect3DVertexBuffer9* VertexBuffer = nullptr;
    IDirect3DIndexBuffer9* IndexBuffer = nullptr;
    uint16_t Indices[MAXVERTS / 4 * 6];
    ScreenVertex* LocalMem = nullptr;
    int32_t PendingVerts = 0;
    int32_t VertsUsed = 0;
    bool QuadIndices = false;
    bool BLocked = false;
    /// A copy of the caller's reference; HasTexture tells a set texture from none.
    CTextureRef Texture;
    bool HasTexture = false;
    int32_t BlendMode = 2;
    int32_t LocalCopyCount = 0;
    int32_t BaseVertex = 0;
    float Stride = 28.0f;
    bool Transform = false;
    float OffsetX = 0.0f;
    float OffsetY = 0.0f;
    float Scale = 1.0f;
    const ScreenVertex* DefferedCopySrc = nullptr;
    int32_t DeferredCount = 0;

private:
    /// Vertices handed over while there is no device buffer are dropped: says so once, until
    /// the buffers are created again, since the usual cause is a host that has not called Init
    /// (after the device engine's, and again after a restore).
    bool HasBuffers();
    void ReleaseDeviceBuffers();
    /// Forgets the pending batch and any deferred source.
    void ResetBatch();

    bool ReportedNoBuffers = false;
    /// Byte size of count vertices, as the buffers are sized.
    UINT Bytes(int count) const { return static_cast<UINT>(count * Stride); }
};

/// Every buffer that ran Init and was not released since, for re-creating them after a
/// device reset.
std::vector<GVertexBuffer*>& AllBuffers();

extern GVertexBuffer GlobalVB;
