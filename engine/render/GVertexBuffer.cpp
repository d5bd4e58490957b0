#include "render/GVertexBuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "diagnostics/GDebugLog.h"
#include "render/GD3D9.h"

std::vector<GVertexBuffer*>& AllBuffers() {
    static std::vector<GVertexBuffer*> buffers;
    return buffers;
}

GVertexBuffer GlobalVB;

namespace {

void ReportMisuse(const char* operation, const char* expression) {
    char message[256];
    snprintf(message, sizeof(message), "GVertexBuffer::%s: assertion failed: %s", operation,
             expression);
    GetDebugLog().Log(message);
}

}  // namespace

GVertexBuffer::GVertexBuffer() {
    // Objects with static storage are destroyed in the reverse order of their construction.
    // Building the registry and the log first keeps both alive until every buffer, GlobalVB
    // included, has released itself at process exit.
    AllBuffers();
    GetDebugLog();
    std::memset(Indices, 0, sizeof(Indices));
}

GVertexBuffer::~GVertexBuffer() {
    Release();
}

void GVertexBuffer::Init(int vertexcount, bool quads) {
    if (VertexBuffer != nullptr || IndexBuffer != nullptr || LocalMem != nullptr) {
        ReportMisuse("Init", "!VertexBuffer");
        return;
    }
    if (vertexcount <= 0 || vertexcount > MAXVERTS) {
        ReportMisuse("Init", "vertsused > 0 && vertsused <= MAXVERTS");
        return;
    }
    VertsUsed = vertexcount;
    QuadIndices = quads;
    CreateBuffers();
    std::vector<GVertexBuffer*>& all = AllBuffers();
    if (std::find(all.begin(), all.end(), this) == all.end()) all.push_back(this);
    if (VertexBuffer == nullptr) ReportMisuse("Init", "VertexBuffer");
}

void GVertexBuffer::CreateBuffers() {
    if (VertsUsed <= 0 || VertsUsed > MAXVERTS) {
        ReportMisuse("CreateBuffers", "VertsUsed > 0 && VertsUsed <= MAXVERTS");
        return;
    }
    IDirect3DDevice9* device = GetD3DEngine().PDevice;
    if (device == nullptr) {
        GetDebugLog().Log(
            "GVertexBuffer::CreateBuffers: no Direct3D device (create buffers after "
            "GD3D9::Init)");
        return;
    }
    // Buffers of an earlier device would leak, and a reset waits for every default-pool
    // buffer to go.
    Unlock();
    ReleaseDeviceBuffers();
    VBWritePos = 0;
    BaseVertex = 0;

    HRESULT hr = device->CreateVertexBuffer(Bytes(VertsUsed), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                            0, D3DPOOL_DEFAULT, &VertexBuffer, nullptr);
    if (FAILED(hr)) {
        VertexBuffer = nullptr;
        GD3D9::LogD3DError(hr, "Vertex Buffer creation failure");
        return;
    }
    const int n = (VertsUsed / 4) * 6;
    hr = device->CreateIndexBuffer(2 * n, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                   &IndexBuffer, nullptr);
    if (FAILED(hr)) {
        IndexBuffer = nullptr;
        GD3D9::LogD3DError(hr, "Index buffer creation failure");
        return;
    }

    BufferMem = nullptr;
    if (QuadIndices) {
        for (int q = 0; q < VertsUsed / 4; q++) {
            const uint16_t first = static_cast<uint16_t>(4 * q);
            uint16_t* quad = Indices + 6 * q;
            quad[0] = first;
            quad[1] = first + 1;
            quad[2] = first + 2;
            quad[3] = first + 2;
            quad[4] = first + 1;
            quad[5] = first + 3;
        }
    } else {
        std::memset(Indices, 0, sizeof(Indices));
    }

    void* indexMem = nullptr;
    hr = IndexBuffer->Lock(0, 0, &indexMem, 0);
    if (FAILED(hr) || indexMem == nullptr) {
        GD3D9::LogD3DError(hr, "Locking IndexBuffer");
        IndexBuffer->Release();
        IndexBuffer = nullptr;
        return;
    }
    std::memcpy(indexMem, Indices, 2 * n);
    hr = IndexBuffer->Unlock();
    if (FAILED(hr)) {
        GD3D9::LogD3DError(hr, "Unlocking IndexBuffer");
        IndexBuffer->Release();
        IndexBuffer = nullptr;
        return;
    }

    // The batch survives a re-creation: it lives in system memory, sized by VertsUsed.
    if (LocalMem == nullptr) LocalMem = new (std::nothrow) ScreenVertex[VertsUsed];
    ReportedNoBuffers = false;
}

bool GVertexBuffer::HasBuffers() {
    if (LocalMem != nullptr && VertexBuffer != nullptr) return true;
    if (!ReportedNoBuffers) {
        ReportedNoBuffers = true;
        GetDebugLog().Log(this == &GlobalVB
                              ? "GlobalVB has no buffer: sprites and cached vertices are not "
                                "drawn (call GlobalVB.Init after GD3D9::Init, and again after "
                                "a Restore)"
                              : "Vertex buffer has no buffer: its vertices are not drawn (Init "
                                "it after GD3D9::Init, and again after a Restore)");
    }
    return false;
}

void GVertexBuffer::ReleaseDeviceBuffers() {
    if (VertexBuffer != nullptr) {
        VertexBuffer->Release();
        VertexBuffer = nullptr;
    }
    if (IndexBuffer != nullptr) {
        IndexBuffer->Release();
        IndexBuffer = nullptr;
    }
}

void GVertexBuffer::Release() {
    ReleaseDeviceBuffers();
    std::vector<GVertexBuffer*>& all = AllBuffers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    delete[] LocalMem;
    LocalMem = nullptr;
    BufferMem = nullptr;
    BLocked = false;
    VBWritePos = 0;
    BaseVertex = 0;
    ResetBatch();
    ReportedNoBuffers = false;
    GetDebugLog().Log("Vertex Buffer Released");
}

void GVertexBuffer::RestoreAll() {
    for (GVertexBuffer* buffer : AllBuffers()) buffer->CreateBuffers();
}

void GVertexBuffer::AddVerts(const ScreenVertex* source, int count) {
    if (count <= 0 || source == nullptr) return;
    if (!HasBuffers()) return;
    if (DefferedCopySrc != nullptr) {
        // The deferred block would be drawn in place of these vertices; draw it first.
        ReportMisuse("AddVerts", "!DefferedCopySrc");
        Flush();
    }
    if (LocalCopyCount + static_cast<int64_t>(count) > VertsUsed) Flush();
    // What still fits; after the flush that is the whole capacity.
    count = std::min(count, VertsUsed - LocalCopyCount);
    if (count <= 0) return;
    std::memcpy(LocalMem + LocalCopyCount, source, count * sizeof(ScreenVertex));
    LocalCopyCount += count;
    PendingVerts += count;
}

ScreenVertex* GVertexBuffer::GetWritePtr(int count) {
    if (count < 0 || count > VertsUsed) return nullptr;
    if (!HasBuffers()) return nullptr;
    if (DefferedCopySrc != nullptr) {
        ReportMisuse("GetWritePtr", "!DefferedCopySrc");
        Flush();
    }
    if (LocalCopyCount + count > VertsUsed) Flush();
    if (LocalCopyCount + count > VertsUsed) return nullptr;
    return LocalMem + LocalCopyCount;
}

void GVertexBuffer::CommitVerts(int count) {
    if (count <= 0 || LocalMem == nullptr) return;
    if (LocalCopyCount + static_cast<int64_t>(count) > VertsUsed) {
        // More than was asked room for: the extra vertices were never written.
        ReportMisuse("CommitVerts", "LocalCopyCount <= VertsUsed");
        count = VertsUsed - LocalCopyCount;
    }
    LocalCopyCount += count;
    PendingVerts += count;
}

void GVertexBuffer::SetDeferredSource(const ScreenVertex* source, int count) {
    if (count <= 0) return;
    if (source == nullptr || count > VertsUsed) {
        ReportMisuse("SetDeferredSource", "source && count <= VertsUsed");
        return;
    }
    if (!HasBuffers()) return;
    if (LocalCopyCount != 0) Flush();
    DefferedCopySrc = source;
    DeferredCount = count;
    LocalCopyCount = count;
}

void GVertexBuffer::ClearPending() {
    ResetBatch();
}

void GVertexBuffer::ResetBatch() {
    PendingVerts = 0;
    LocalCopyCount = 0;
    DefferedCopySrc = nullptr;
    DeferredCount = 0;
}

void GVertexBuffer::SetTexture(CTextureRef* texture) {
    if (PendingVerts > 0) {
        const bool changed = texture == nullptr || !HasTexture
                                 ? (texture == nullptr) != !HasTexture
                                 : texture->GetTexture() != Texture.GetTexture();
        if (changed) Flush();
    }
    HasTexture = texture != nullptr;
    Texture = HasTexture ? *texture : CTextureRef();
}

void GVertexBuffer::SetBlendMode(int mode) {
    if (mode == BlendMode) return;
    if (PendingVerts > 0) Flush();
    BlendMode = mode;
}

void GVertexBuffer::SetTransform(float offsetx, float offsety, float scale) {
    Flush();
    OffsetX = offsetx;
    OffsetY = offsety;
    Scale = scale;
    Transform = true;
}

void GVertexBuffer::Flush() {
    if (PendingVerts < 1 && DefferedCopySrc == nullptr) return;
    if (BLocked) Unlock();
    if (HasTexture) Texture.Set();
    if (BlendMode != 2) {
        GetD3DEngine().SetBlendMode(BlendMode);
        BlendMode = 2;
    }
    Draw();
}

void GVertexBuffer::Draw() {
    if (BLocked) {
        ReportMisuse("Draw", "!BLocked");
        Unlock();
    }
    if (PendingVerts < 1 && DefferedCopySrc == nullptr) return;
    const int count = LocalCopyCount;
    if (LocalMem == nullptr || VertexBuffer == nullptr || count <= 0 || count > VertsUsed) {
        ResetBatch();
        return;
    }

    // The fit test is strict: a batch that would end exactly at the capacity restarts the ring.
    const bool append = count + VBWritePos < VertsUsed;
    const int first = append ? VBWritePos : 0;
    void* mem = nullptr;
    HRESULT hr = VertexBuffer->Lock(Bytes(first), Bytes(count), &mem,
                                    append ? D3DLOCK_NOOVERWRITE : D3DLOCK_DISCARD);
    if (FAILED(hr) || mem == nullptr) {
        // Nothing was copied, so nothing of this batch may be drawn later either.
        GD3D9::LogD3DError(hr, "Error locking VB");
        if (SUCCEEDED(hr)) VertexBuffer->Unlock();
        GetDebugLog().Log(
            "GVertexBuffer::Draw: batch dropped, the vertex buffer could not be locked");
        ResetBatch();
        return;
    }
    BufferMem = static_cast<ScreenVertex*>(mem);
    BLocked = true;
    BaseVertex = first;
    VBWritePos = first + count;

    if (DefferedCopySrc != nullptr) {
        // Deferred vertices belong to the caller and are drawn as given.
        std::memcpy(BufferMem, DefferedCopySrc, DeferredCount * sizeof(ScreenVertex));
    } else {
        if (Transform) {
            for (int i = 0; i < std::min(PendingVerts, VertsUsed); i++) {
                LocalMem[i].X = (LocalMem[i].X - OffsetX) * Scale;
                LocalMem[i].Y = (LocalMem[i].Y - OffsetY) * Scale;
            }
        }
        std::memcpy(BufferMem, LocalMem, count * sizeof(ScreenVertex));
    }
    Unlock();
    DrawQuads(count / 2);
    ResetBatch();
}

void GVertexBuffer::DrawQuads(int primitives) {
    if (primitives <= 0) return;
    if (VertexBuffer == nullptr || IndexBuffer == nullptr) return;
    GD3D9& engine = GetD3DEngine();
    IDirect3DDevice9* device = engine.PDevice;
    if (device == nullptr) return;
    HRESULT hr = device->SetStreamSource(0, VertexBuffer, 0, static_cast<UINT>(Stride));
    if (FAILED(hr)) GD3D9::LogD3DError(hr, "SetStreamSource()");
    hr = device->SetIndices(IndexBuffer);
    if (FAILED(hr)) GD3D9::LogD3DError(hr, "SetIndices()");
    hr = device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, BaseVertex, 0, 2 * primitives, 0,
                                      primitives);
    if (FAILED(hr))
        GD3D9::LogD3DError(hr, "DrawIndexedPrimitive()");
    else
        engine.DrawCalls++;
}

void GVertexBuffer::LockAll() {
    if (VertexBuffer == nullptr) return;
    if (BLocked) Unlock();
    BaseVertex = 0;
    VBWritePos = 0;
    void* mem = nullptr;
    HRESULT hr = VertexBuffer->Lock(0, 0, &mem, D3DLOCK_DISCARD);
    if (FAILED(hr) || mem == nullptr) {
        GD3D9::LogD3DError(hr, "Error locking VB");
        if (SUCCEEDED(hr)) VertexBuffer->Unlock();
        return;
    }
    BufferMem = static_cast<ScreenVertex*>(mem);
    BLocked = true;
}

int GVertexBuffer::AddVertsDirect(const ScreenVertex* source, int count) {
    if (!BLocked || BufferMem == nullptr || source == nullptr || count < 0) return -1;
    if (VBWritePos + static_cast<int64_t>(count) > VertsUsed) return -1;
    std::memcpy(BufferMem + VBWritePos, source, count * sizeof(ScreenVertex));
    const int first = VBWritePos;
    VBWritePos += count;
    return first;
}

void GVertexBuffer::Unlock() {
    if (!BLocked) return;
    if (VertexBuffer != nullptr) {
        HRESULT hr = VertexBuffer->Unlock();
        if (hr != 0) GD3D9::LogD3DError(hr, "Unlock VB");
    }
    BufferMem = nullptr;
    BLocked = false;
}

void GVertexBuffer::DrawQuadsAt(int firstvertex, int primitives) {
    if (BLocked) return;
    const int saved = BaseVertex;
    BaseVertex = firstvertex;
    DrawQuads(primitives);
    BaseVertex = saved;
}

void GVertexBuffer::ResetIndices() {
    std::memset(Indices, 0, std::min(VertsUsed, MAXVERTS / 4 * 6) * sizeof(uint16_t));
    VBWritePos = 0;
}
