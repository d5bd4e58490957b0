#include "BufferStore.h"

#include <cstring>
#include <new>

bool BufferStore::Allocate(UINT length, DWORD usage) {
    try {
        bytes_.assign(length, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    usage_ = usage;
    return true;
}

HRESULT BufferStore::Lock(UINT offset, UINT size, void** data, DWORD flags) {
    if (data == nullptr) return D3DERR_INVALIDCALL;
    *data = nullptr;
    const DWORD dynamicOnly = D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE;
    if ((flags & dynamicOnly) != 0 && (usage_ & D3DUSAGE_DYNAMIC) == 0) return D3DERR_INVALIDCALL;
    if ((flags & dynamicOnly) == dynamicOnly) return D3DERR_INVALIDCALL;
    UINT length = Length();
    if (offset > length || (size != 0 && size > length - offset)) return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) != 0) {
        // The caller gives up the old contents; scribble them so code that still reads them
        // (or draws vertices it has not rewritten) fails visibly here as it would on hardware.
        std::memset(bytes_.data(), 0xCD, bytes_.size());
    }
    locks_++;
    *data = bytes_.data() + offset;
    return D3D_OK;
}

HRESULT BufferStore::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    locks_--;
    return D3D_OK;
}
