// Memory from the C heap, for builds without mimalloc.
#include "platform/Allocator.h"

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define TARVEX_ASAN_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TARVEX_ASAN_HEAP 1
#endif
#endif

#if defined(TARVEX_ASAN_HEAP)
// From the AddressSanitizer runtime (sanitizer/allocator_interface.h, which
// not every toolchain installs).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#elif defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#define TARVEX_GLIBC_HEAP 1
#include <malloc.h>
#endif

namespace tarvex {
namespace platform {

void* allocBytes(size_t n) { return std::malloc(n ? n : 1); }

void* allocZeroedBytes(size_t n) { return std::calloc(n ? n : 1, 1); }

void* reallocBytes(void* p, size_t n) { return std::realloc(p, n ? n : 1); }

void freeBytes(void* p) { std::free(p); }

size_t bytesInUse() {
#if defined(TARVEX_ASAN_HEAP)
    return __sanitizer_get_current_allocated_bytes();
#elif defined(TARVEX_GLIBC_HEAP)
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return 0;
#endif
}

bool checksEachAllocation() {
#if defined(TARVEX_ASAN_HEAP)
    return true;
#else
    return false;
#endif
}

}  // namespace platform
}  // namespace tarvex
