#include "SoftIndexBuffer9.h"

#include <new>

#include "SoftD3D.h"

#define BUFFER_ENTER(method)                                                  \
    do {                                                                      \
        HRESULT hooked = SoftD3D::EnterCall("IDirect3DIndexBuffer9", method); \
        if (hooked != S_OK) return hooked;                                    \
    } while (0)

SoftIndexBuffer9::SoftIndexBuffer9(IDirect3DDevice9* device)
    : SoftResource9<IDirect3DIndexBuffer9>(device, nullptr, false) {}

SoftIndexBuffer9* SoftIndexBuffer9::Create(IDirect3DDevice9* device,
                                           const D3DINDEXBUFFER_DESC& desc) {
    SoftIndexBuffer9* buffer = new (std::nothrow) SoftIndexBuffer9(device);
    if (buffer == nullptr) return nullptr;
    if (!buffer->store_.Allocate(desc.Size, desc.Usage)) {
        delete buffer;
        return nullptr;
    }
    buffer->desc_ = desc;
    return buffer;
}

void* SoftIndexBuffer9::CastTo(REFIID riid) {
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DIndexBuffer9)
        return static_cast<IDirect3DIndexBuffer9*>(this);
    return nullptr;
}

HRESULT SoftIndexBuffer9::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    BUFFER_ENTER("Lock");
    return store_.Lock(offset, size, data, flags);
}

HRESULT SoftIndexBuffer9::Unlock() {
    BUFFER_ENTER("Unlock");
    return store_.Unlock();
}

HRESULT SoftIndexBuffer9::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    BUFFER_ENTER("GetDesc");
    if (desc == nullptr) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return D3D_OK;
}
