#include "SoftVertexBuffer9.h"

#include <new>

#include "SoftD3D.h"

#define BUFFER_ENTER(method)                                                   \
    do {                                                                       \
        HRESULT hooked = SoftD3D::EnterCall("IDirect3DVertexBuffer9", method); \
        if (hooked != S_OK) return hooked;                                     \
    } while (0)

SoftVertexBuffer9::SoftVertexBuffer9(IDirect3DDevice9* device)
    : SoftResource9<IDirect3DVertexBuffer9>(device, nullptr, false) {}

SoftVertexBuffer9* SoftVertexBuffer9::Create(IDirect3DDevice9* device,
                                             const D3DVERTEXBUFFER_DESC& desc) {
    SoftVertexBuffer9* buffer = new (std::nothrow) SoftVertexBuffer9(device);
    if (buffer == nullptr) return nullptr;
    if (!buffer->store_.Allocate(desc.Size, desc.Usage)) {
        delete buffer;
        return nullptr;
    }
    buffer->desc_ = desc;
    return buffer;
}

void* SoftVertexBuffer9::CastTo(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 ||
        riid == IID_IDirect3DVertexBuffer9)
        return static_cast<IDirect3DVertexBuffer9*>(this);
    return nullptr;
}

HRESULT SoftVertexBuffer9::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    BUFFER_ENTER("Lock");
    return store_.Lock(offset, size, data, flags);
}

HRESULT SoftVertexBuffer9::Unlock() {
    BUFFER_ENTER("Unlock");
    return store_.Unlock();
}

HRESULT SoftVertexBuffer9::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    BUFFER_ENTER("GetDesc");
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}
