// Pages from mmap, aligned for tree blocks. Huge pages are not asked for:
// on these machines they made the first parse of a large document slower.
#include "platform/Pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

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
    return p;
}

void freePages(void* p, size_t n) {
    if (p) ::munmap(p, n);
}

namespace {
size_t roundToPages(size_t n) {
    const size_t page = 4096;
    return (n + page - 1) & ~(page - 1);
}
}  // namespace

void* allocMapped(size_t n) {
    void* p = ::mmap(nullptr, roundToPages(n), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void* reallocMapped(void* p, size_t oldN, size_t newN) {
    const size_t from = roundToPages(oldN);
    const size_t to = roundToPages(newN);
    if (from == to) return p;
#if defined(__linux__)
    void* q = ::mremap(p, from, to, MREMAP_MAYMOVE);
    return q == MAP_FAILED ? nullptr : q;
#else
    void* q = allocMapped(newN);
    if (!q) return nullptr;
    std::memcpy(q, p, from < to ? from : to);
    ::munmap(p, from);
    return q;
#endif
}

void freeMapped(void* p, size_t n) {
    if (p) ::munmap(p, roundToPages(n));
}

void prefaultPages(void* p, size_t n) {
#ifdef MADV_POPULATE_WRITE
    const size_t page = 4096;
    const uintptr_t start = reinterpret_cast<uintptr_t>(p) & ~(uintptr_t{page} - 1);
    const uintptr_t end = reinterpret_cast<uintptr_t>(p) + n;
    // Older kernels refuse the request; the pages then fault in one by one.
    if (n > 0) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)p;
    (void)n;
#endif
}

void discardPages(void* p, size_t n) {
    const size_t page = 4096;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(uintptr_t{page} - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(uintptr_t{page} - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

}  // namespace platform
}  // namespace tarvex
