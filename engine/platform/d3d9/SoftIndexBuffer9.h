// A index buffer of the software device: bytes in memory with the API's lock rules.
#pragma once

#include <d3d9.h>

#include "BufferStore.h"
#include "SoftResource9.h"

class SoftIndexBuffer9 final : public SoftResource9<IDirect3DIndexBuffer9> {
public:
    // Arguments are checked by the device; null when memory runs out.
    static SoftIndexBuffer9* Create(IDirect3DDevice9* device, const D3DINDEXBUFFER_DESC& desc);

    HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Unlock() override;
    HRESULT STDMETHODCALLTYPE GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    D3DRESOURCETYPE STDMETHODCALLTYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }

    const D3DINDEXBUFFER_DESC& Desc() const { return desc_; }
    const BufferStore& Store() const { return store_; }

protected:
    void* CastTo(REFIID riid) override;

private:
    explicit SoftIndexBuffer9(IDirect3DDevice9* device);

    D3DINDEXBUFFER_DESC desc_{};
    BufferStore store_;
};
