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
    staleFrom_ = length;
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
    // A discard gives up the old contents. They are scribbled over so that code which still
    // reads them (or draws vertices it has not rewritten) fails visibly, as on hardware; only
    // the bytes a lock hands out are scribbled, when it hands them out, so a discard costs what
    // the caller writes and not the size of the buffer.
    const UINT end = size == 0 ? length : offset + size;
    if ((flags & D3DLOCK_DISCARD) != 0) {
        std::memset(bytes_.data(), 0xCD, end);
        staleFrom_ = end;
    } else if (end > staleFrom_) {
        std::memset(bytes_.data() + staleFrom_, 0xCD, end - staleFrom_);
        staleFrom_ = end;
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
