// Pages from VirtualAlloc (aligned to the 64 KiB allocation granularity;
// large pages need a privilege callers rarely hold, so none are asked for).
#include "platform/Pages.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace tarvex {
namespace platform {

void* allocPages(size_t n) { return VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void freePages(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

void* allocMapped(size_t n) { return VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void* reallocMapped(void* p, size_t oldN, size_t newN) {
    void* q = allocMapped(newN);
    if (!q) return nullptr;
    std::memcpy(q, p, oldN < newN ? oldN : newN);
    VirtualFree(p, 0, MEM_RELEASE);
    return q;
}

void freeMapped(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

// Fresh committed pages are cheap to fault here; nothing to ask for.
void prefaultPages(void*, size_t) {}

void discardPages(void* p, size_t n) {
    const size_t page = 4096;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(uintptr_t{page} - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + n) & ~(uintptr_t{page} - 1);
    // The pages stay committed; their contents need not be kept.
    if (end > start) VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESET, PAGE_READWRITE);
}

}  // namespace platform
}  // namespace tarvex
