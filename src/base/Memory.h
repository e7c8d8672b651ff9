// The library's allocator for buffers and tree nodes.
//
// Every block that buffers and nodes own goes through these calls; the
// allocator behind them is a platform service (platform/Allocator.h).
#pragma once

#include <cstddef>

#include "platform/Allocator.h"

namespace tarvex {

inline void* memAlloc(size_t n) { return platform::allocBytes(n); }
inline void* memAllocZeroed(size_t n) { return platform::allocZeroedBytes(n); }
inline void* memRealloc(void* p, size_t n) { return platform::reallocBytes(p, n); }
inline void memFree(void* p) { platform::freeBytes(p); }

// Bytes held in live blocks (see platform::bytesInUse).
inline size_t memBytesInUse() { return platform::bytesInUse(); }

}  // namespace tarvex
