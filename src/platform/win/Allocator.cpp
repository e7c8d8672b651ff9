// Memory from the C runtime's heap on Windows.
#include "platform/Allocator.h"

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define TARVEX_ASAN_HEAP 1
#endif

namespace tarvex {
namespace platform {

void* allocBytes(size_t n) { return std::malloc(n ? n : 1); }

void* allocZeroedBytes(size_t n) { return std::calloc(n ? n : 1, 1); }

void* reallocBytes(void* p, size_t n) { return std::realloc(p, n ? n : 1); }

void freeBytes(void* p) { std::free(p); }

size_t bytesInUse() { return 0; }

bool checksEachAllocation() {
#if defined(TARVEX_ASAN_HEAP)
    return true;
#else
    return false;
#endif
}

}  // namespace platform
}  // namespace tarvex
