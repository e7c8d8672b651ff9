// The platform seam for memory: where the library's buffers, nodes and tree
// blocks come from. The build picks one backend: mimalloc where it is
// installed (platform/mimalloc/), otherwise the C heap of the platform
// (platform/posix/, platform/win/). Only these calls reach the allocator,
// so a block is always freed by the allocator that made it.
#pragma once

#include <cstddef>

namespace tarvex {
namespace platform {

void* allocBytes(size_t n);          // n == 0 is served as 1
void* allocZeroedBytes(size_t n);
void* reallocBytes(void* p, size_t n);
void freeBytes(void* p);

// Bytes held in live blocks, for tests and benchmarks: with mimalloc those of
// the calling thread's heap, with the C heap the process total as the C
// library (or AddressSanitizer) reports it; 0 where neither can tell.
size_t bytesInUse();

// True when a memory checker watches every allocation (sanitizer builds):
// callers that would carve many objects out of one block then allocate each
// object on its own, so that misuse of any one of them is still caught.
bool checksEachAllocation();

}  // namespace platform
}  // namespace tarvex
