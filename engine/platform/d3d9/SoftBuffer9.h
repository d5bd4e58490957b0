// Vertex and index buffers of the software device: bytes in memory with the API's lock rules.
// The two interfaces differ only in their names, so one template serves both.
#pragma once

#include <d3d9.h>

#include <new>

#include "BufferStore.h"
#include "SoftD3D.h"
#include "SoftResource9.h"

template <class Interface, class DescT, D3DRESOURCETYPE kType>
class SoftBuffer9 final : public SoftResource9<Interface> {
public:
    // Arguments are checked by the device; null when memory runs out.
    static SoftBuffer9* Create(IDirect3DDevice9* device, const DescT& desc) {
        SoftBuffer9* buffer = new (std::nothrow) SoftBuffer9(device);
        if (buffer == nullptr) return nullptr;
        if (!buffer->store_.Allocate(desc.Size, desc.Usage)) {
            delete buffer;
            return nullptr;
        }
        buffer->desc_ = desc;
        return buffer;
    }

    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override {
        if (HRESULT hooked = SOFTD3D_ENTER(Name(), "Lock"); hooked != S_OK) return hooked;
        return store_.Lock(offset, size, data, flags);
    }
    HRESULT STDMETHODCALLTYPE Unlock() override {
        if (HRESULT hooked = SOFTD3D_ENTER(Name(), "Unlock"); hooked != S_OK) return hooked;
        return store_.Unlock();
    }
    HRESULT STDMETHODCALLTYPE GetDesc(DescT* desc) override {
        if (HRESULT hooked = SOFTD3D_ENTER(Name(), "GetDesc"); hooked != S_OK) return hooked;
        if (desc == nullptr) return D3DERR_INVALIDCALL;
        *desc = desc_;
        return D3D_OK;
    }
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return kType; }

    const DescT& Desc() const { return desc_; }
    const BufferStore& Store() const { return store_; }

protected:
    void* CastTo(REFIID riid) override {
        const GUID& own =
            kType == D3DRTYPE_VERTEXBUFFER ? IID_IDirect3DVertexBuffer9 : IID_IDirect3DIndexBuffer9;
        if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == own) {
            return static_cast<Interface*>(this);
        }
        return nullptr;
    }

private:
    explicit SoftBuffer9(IDirect3DDevice9* device)
        : SoftResource9<Interface>(device, nullptr, false) {}

    static const char* Name() {
        return kType == D3DRTYPE_VERTEXBUFFER ? "IDirect3DVertexBuffer9" : "IDirect3DIndexBuffer9";
    }

    DescT desc_{};
    BufferStore store_;
};

using SoftVertexBuffer9 =
    SoftBuffer9<IDirect3DVertexBuffer9, D3DVERTEXBUFFER_DESC, D3DRTYPE_VERTEXBUFFER>;
using SoftIndexBuffer9 =
    SoftBuffer9<IDirect3DIndexBuffer9, D3DINDEXBUFFER_DESC, D3DRTYPE_INDEXBUFFER>;
