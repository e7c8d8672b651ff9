// Pages from mmap, with transparent huge pages asked for where Linux has them.
#include "platform/Pages.h"

#include <sys/mman.h>

#include <cstdint>

namespace tarvex {
namespace platform {

void* allocPages(size_t n) {
    // Over-allocated by one alignment step, then trimmed to an aligned range.
    const size_t span = n + kPageBlockAlign;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + kPageBlockAlign - 1) & ~(uintptr_t{kPageBlockAlign} - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const uintptr_t end = start + span;
    if (end > aligned + n) ::munmap(reinterpret_cast<void*>(aligned + n), end - (aligned + n));
    void* p = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
    ::madvise(p, n, MADV_HUGEPAGE);
#endif
    return p;
}

void freePages(void* p, size_t n) {
    if (p) ::munmap(p, n);
}

}  // namespace platform
}  // namespace tarvex
