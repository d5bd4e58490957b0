// The memory and lock rules shared by vertex and index buffers.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <vector>

class BufferStore {
public:
    // False when the memory cannot be had.
    bool Allocate(UINT length, DWORD usage);

    // offset and size in bytes; size 0 locks from offset to the end. D3DLOCK_DISCARD and
    // D3DLOCK_NOOVERWRITE are accepted on dynamic buffers only.
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
    HRESULT Unlock();

    const uint8_t* Data() const { return bytes_.data(); }
    UINT Length() const { return static_cast<UINT>(bytes_.size()); }
    bool Locked() const { return locks_ != 0; }

private:
    std::vector<uint8_t> bytes_;
    DWORD usage_ = 0;
    UINT locks_ = 0;
    UINT staleFrom_ = 0;  // bytes from here on were discarded and not handed out since
};
