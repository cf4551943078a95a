#pragma once
// The LZMA SDK's allocator over the C runtime's heap, which every thread may use: the installer's
// decoder (core/CodedEntry.cpp) and the packer's encoder (packer/Compression.cpp) take it alike.

#include <cstdlib>

#include "Types.h"

namespace tazel {

inline void* LzmaAllocate(void*, size_t size)
{
    return std::malloc(size);
}

inline void LzmaRelease(void*, void* address)
{
    std::free(address);
}

// Not const: the SDK takes it by a plain pointer.
inline ISzAlloc lzmaHeap = {LzmaAllocate, LzmaRelease};

} // namespace tazel
