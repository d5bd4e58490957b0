// Lifetime of the objects a software device creates.
//
// External references (AddRef/Release) keep an object and, through it, its device alive, as
// the API promises. The device's own bindings (current texture, stream, indices, render
// target) keep an object alive without holding the device, so no reference cycle forms and
// a device released by its last user tears its bindings down. An object inside a container
// (a texture level, a back buffer) forwards both kinds of reference to the container.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

class DeviceChild {
public:
    // ownedByDevice: the device destroys the object itself (its implicit swap chain); it is
    // never deleted when its references run out.
    DeviceChild(IDirect3DDevice9* device, DeviceChild* container, bool ownedByDevice);
    virtual ~DeviceChild();
    DeviceChild(const DeviceChild&) = delete;
    DeviceChild& operator=(const DeviceChild&) = delete;

    ULONG AddRefChild();
    ULONG ReleaseChild();
    void Bind();
    void Unbind();

    IDirect3DDevice9* OwnerDevice() const { return device_; }
    DeviceChild* Container() const { return container_; }
    // References held by users (not bindings); those of contained objects count here too.
    ULONG ExternalRefs() const { return refs_; }

    // Marks a default-pool object: the device counts them, as a reset needs them all gone.
    void TrackAsDefaultPool();

    // The device's worker threads may still read (use) or write the object's memory for the
    // draw calls it queued up to these tickets; a contained object shares its container's.
    void MarkUse(uint64_t ticket);
    void MarkWrite(uint64_t ticket);
    uint64_t UseTicket() const;
    uint64_t WriteTicket() const;
    // Returns once no queued call reads or writes the object any more.
    void WaitUntilUnused() const;

    HRESULT SetPrivate(REFGUID guid, const void* data, DWORD size);
    HRESULT GetPrivate(REFGUID guid, void* data, DWORD* size) const;
    HRESULT FreePrivate(REFGUID guid);

private:
    struct PrivateData {
        GUID Key;
        std::vector<uint8_t> Bytes;
    };

    IDirect3DDevice9* device_;
    DeviceChild* container_;
    bool ownedByDevice_;
    bool defaultPool_ = false;
    void Destroy();

    ULONG refs_ = 0;
    ULONG binds_ = 0;
    uint64_t useTicket_ = 0;
    uint64_t writeTicket_ = 0;
    std::vector<PrivateData> private_;
};
