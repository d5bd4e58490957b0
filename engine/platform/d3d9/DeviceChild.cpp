#include "DeviceChild.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "SoftDevice9.h"

DeviceChild::DeviceChild(IDirect3DDevice9* device, DeviceChild* container, bool ownedByDevice)
    : device_(device), container_(container), ownedByDevice_(ownedByDevice) {}

DeviceChild::~DeviceChild() {
    // The device outlives its children: users' references hold it, and it drops its own
    // bindings before it goes.
    if (defaultPool_) static_cast<SoftDevice9*>(device_)->CountDefaultPool(-1);
}

void DeviceChild::TrackAsDefaultPool() {
    if (defaultPool_ || container_ != nullptr) return;
    defaultPool_ = true;
    static_cast<SoftDevice9*>(device_)->CountDefaultPool(1);
}

void DeviceChild::MarkUse(uint64_t ticket) {
    if (container_ != nullptr) return container_->MarkUse(ticket);
    useTicket_ = std::max(useTicket_, ticket);
}

void DeviceChild::MarkWrite(uint64_t ticket) {
    if (container_ != nullptr) return container_->MarkWrite(ticket);
    useTicket_ = std::max(useTicket_, ticket);
    writeTicket_ = std::max(writeTicket_, ticket);
}

uint64_t DeviceChild::UseTicket() const {
    return container_ != nullptr ? container_->UseTicket() : useTicket_;
}

uint64_t DeviceChild::WriteTicket() const {
    return container_ != nullptr ? container_->WriteTicket() : writeTicket_;
}

void DeviceChild::WaitUntilUnused() const {
    static_cast<SoftDevice9*>(device_)->WaitFor(UseTicket());
}

// The worker threads may still draw from or into the object's memory.
void DeviceChild::Destroy() {
    WaitUntilUnused();
    delete this;
}

ULONG DeviceChild::AddRefChild() {
    if (container_ != nullptr) return container_->AddRefChild();
    if (refs_++ == 0) device_->AddRef();
    return refs_;
}

ULONG DeviceChild::ReleaseChild() {
    if (container_ != nullptr) return container_->ReleaseChild();
    // An extra Release must not wrap the count and free the object under its other users.
    if (refs_ == 0) return 0;
    ULONG left = --refs_;
    if (left == 0) {
        IDirect3DDevice9* device = device_;
        if (!ownedByDevice_ && binds_ == 0) Destroy();
        device->Release();
    }
    return left;
}

void DeviceChild::Bind() {
    if (container_ != nullptr) {
        container_->Bind();
        return;
    }
    binds_++;
}

void DeviceChild::Unbind() {
    if (container_ != nullptr) {
        container_->Unbind();
        return;
    }
    if (binds_ == 0) return;
    if (--binds_ == 0 && refs_ == 0 && !ownedByDevice_) Destroy();
}

HRESULT DeviceChild::SetPrivate(REFGUID guid, const void* data, DWORD size) {
    if (data == nullptr && size != 0) return D3DERR_INVALIDCALL;
    FreePrivate(guid);
    PrivateData entry{guid, {}};
    if (size != 0) {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        entry.Bytes.assign(bytes, bytes + size);
    }
    private_.push_back(std::move(entry));
    return D3D_OK;
}

HRESULT DeviceChild::GetPrivate(REFGUID guid, void* data, DWORD* size) const {
    if (size == nullptr) return D3DERR_INVALIDCALL;
    for (const PrivateData& entry : private_) {
        if (entry.Key != guid) continue;
        DWORD needed = static_cast<DWORD>(entry.Bytes.size());
        if (data == nullptr || *size < needed) {
            *size = needed;
            return data == nullptr ? D3D_OK : D3DERR_MOREDATA;
        }
        if (needed != 0) std::memcpy(data, entry.Bytes.data(), needed);
        *size = needed;
        return D3D_OK;
    }
    return D3DERR_NOTFOUND;
}

HRESULT DeviceChild::FreePrivate(REFGUID guid) {
    for (auto it = private_.begin(); it != private_.end(); ++it) {
        if (it->Key == guid) {
            private_.erase(it);
            return D3D_OK;
        }
    }
    return D3DERR_NOTFOUND;
}
