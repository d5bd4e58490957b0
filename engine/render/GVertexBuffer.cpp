#include "render/GVertexBuffer.h"

#include <algorithm>

#include "diagnostics/GDebugLog.h"

GVertexBuffer GlobalVB;

std::vector<GVertexBuffer*>& AllBuffers() {
    // Never destroyed: buffers with static storage (GlobalVB) unregister at exit, after
    // function-local statics are gone.
    static std::vector<GVertexBuffer*>* buffers = new std::vector<GVertexBuffer*>;
    return *buffers;
}

GVertexBuffer::~GVertexBuffer() {
    // No log line: at exit the debug log may already be destroyed.
    ReleaseResources();
}

void GVertexBuffer::Release() {
    ReleaseResources();
    GetDebugLog().Log("Vertex Buffer Released");
}

void GVertexBuffer::ReleaseResources() {
    if (VertexBuffer != nullptr) {
        VertexBuffer->Release();
        VertexBuffer = nullptr;
    }
    if (IndexBuffer != nullptr) {
        IndexBuffer->Release();
        IndexBuffer = nullptr;
    }
    std::vector<GVertexBuffer*>& all = AllBuffers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    delete[] LocalMem;
    LocalMem = nullptr;
    PendingVerts = 0;
    LocalCopyCount = 0;
}

void GVertexBuffer::Flush() {
    if (PendingVerts < 1 && DefferedCopySrc == nullptr) return;
    Draw();
}

void GVertexBuffer::Draw() {
    if (PendingVerts < 1 && DefferedCopySrc == nullptr) return;
    // Nothing can be pending before batching exists.
    PendingVerts = 0;
    LocalCopyCount = 0;
    DefferedCopySrc = nullptr;
    DeferredCount = 0;
}
