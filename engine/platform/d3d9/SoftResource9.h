// The IUnknown and IDirect3DResource9 methods every device resource shares, on top of the
// lifetime rules of DeviceChild.
#pragma once

#include <d3d9.h>

#include "DeviceChild.h"

template <class Interface>
class SoftResource9 : public Interface, public DeviceChild {
public:
    using DeviceChild::DeviceChild;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = CastTo(riid);
        if (*object == nullptr) return E_NOINTERFACE;
        AddRefChild();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefChild(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseChild(); }

    HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
        if (device == nullptr) return D3DERR_INVALIDCALL;
        *device = OwnerDevice();
        (*device)->AddRef();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPrivateData(REFGUID guid, const void* data, DWORD size,
                                             DWORD /*flags*/) override {
        return SetPrivate(guid, data, size);
    }
    HRESULT STDMETHODCALLTYPE GetPrivateData(REFGUID guid, void* data, DWORD* size) override {
        return GetPrivate(guid, data, size);
    }
    HRESULT STDMETHODCALLTYPE FreePrivateData(REFGUID guid) override { return FreePrivate(guid); }
    DWORD STDMETHODCALLTYPE SetPriority(DWORD priority) override {
        DWORD old = priority_;
        priority_ = priority;
        return old;
    }
    DWORD STDMETHODCALLTYPE GetPriority() override { return priority_; }
    void STDMETHODCALLTYPE PreLoad() override {}

protected:
    // The object as the asked interface, or null.
    virtual void* CastTo(REFIID riid) = 0;

private:
    DWORD priority_ = 0;
};
