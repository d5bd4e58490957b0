// A vertex buffer of the software device: bytes in memory with the API's lock rules.
#pragma once

#include <d3d9.h>

#include "BufferStore.h"
#include "SoftResource9.h"

class SoftVertexBuffer9 final : public SoftResource9<IDirect3DVertexBuffer9> {
public:
    // Arguments are checked by the device; null when memory runs out.
    static SoftVertexBuffer9* Create(IDirect3DDevice9* device, const D3DVERTEXBUFFER_DESC& desc);

    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }

    const D3DVERTEXBUFFER_DESC& Desc() const { return desc_; }
    const BufferStore& Store() const { return store_; }

protected:
    void* CastTo(REFIID riid) override;

private:
    explicit SoftVertexBuffer9(IDirect3DDevice9* device);

    D3DVERTEXBUFFER_DESC desc_{};
    BufferStore store_;
};
