// The library's allocator. mimalloc when the build found it (the build
// defines TARVEX_USE_MIMALLOC), otherwise the C heap. The choice is made for
// the whole library at build time, so a block is always freed by the
// allocator that made it. Only these functions call mimalloc: the process's
// own malloc and operator new stay as they are.
#include "base/Memory.h"

#include <atomic>
#include <cstdlib>

#if defined(TARVEX_USE_MIMALLOC)
#include <mimalloc.h>
#elif defined(__SANITIZE_ADDRESS__)
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
#elif !defined(TARVEX_USE_MIMALLOC) && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#define TARVEX_GLIBC_HEAP 1
#include <malloc.h>
#endif

namespace tarvex {

namespace {
std::atomic<long> gBlocks{0};
inline void countBlocks(long delta) { gBlocks.store(gBlocks.load(std::memory_order_relaxed) + delta, std::memory_order_relaxed); }
}  // namespace

long memBlocksInUse() { return gBlocks.load(std::memory_order_relaxed); }

#if defined(TARVEX_USE_MIMALLOC)

void* memAlloc(size_t n) {
    countBlocks(1);
    return mi_malloc(n ? n : 1);
}

void* memAllocZeroed(size_t n) {
    countBlocks(1);
    return mi_zalloc(n ? n : 1);
}

void* memRealloc(void* p, size_t n) {
    if (!p) countBlocks(1);
    return mi_realloc(p, n ? n : 1);
}

void memFree(void* p) {
    if (p) countBlocks(-1);
    mi_free(p);
}

size_t memBytesInUse() {
    // Page by page: the blocks in use times the block size.
    size_t total = 0;
    mi_heap_visit_blocks(
        mi_heap_get_default(), false,
        [](const mi_heap_t*, const mi_heap_area_t* area, void*, size_t, void* arg) {
            if (area) *static_cast<size_t*>(arg) += area->used * area->block_size;
            return true;
        },
        &total);
    return total;
}

#else

void* memAlloc(size_t n) {
    countBlocks(1);
    return std::malloc(n ? n : 1);
}

void* memAllocZeroed(size_t n) {
    countBlocks(1);
    return std::calloc(n ? n : 1, 1);
}

void* memRealloc(void* p, size_t n) {
    if (!p) countBlocks(1);
    return std::realloc(p, n ? n : 1);
}

void memFree(void* p) {
    if (p) countBlocks(-1);
    std::free(p);
}

size_t memBytesInUse() {
#if defined(TARVEX_ASAN_HEAP)
    return __sanitizer_get_current_allocated_bytes();
#elif defined(TARVEX_GLIBC_HEAP)
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#else
    return 0;
#endif
}

#endif

}  // namespace tarvex
