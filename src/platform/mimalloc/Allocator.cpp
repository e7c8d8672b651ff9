// Memory from mimalloc, chosen by the build in place of the C heap backend.
// Only these calls reach mimalloc: the process's own malloc and operator new
// stay as they are.
#include "platform/Allocator.h"

#include <mimalloc.h>

namespace tarvex {
namespace platform {

void* allocBytes(size_t n) { return mi_malloc(n ? n : 1); }

void* allocZeroedBytes(size_t n) { return mi_zalloc(n ? n : 1); }

void* reallocBytes(void* p, size_t n) { return mi_realloc(p, n ? n : 1); }

void freeBytes(void* p) { mi_free(p); }

size_t bytesInUse() {
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

// Sanitizer builds never take mimalloc.
bool checksEachAllocation() { return false; }

}  // namespace platform
}  // namespace tarvex
