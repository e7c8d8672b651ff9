// Pages from VirtualAlloc (aligned to the 64 KiB allocation granularity;
// large pages need a privilege callers rarely hold, so none are asked for).
#include "platform/Pages.h"

#include <windows.h>

namespace tarvex {
namespace platform {

void* allocPages(size_t n) { return VirtualAlloc(nullptr, n, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void freePages(void* p, size_t) {
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace platform
}  // namespace tarvex
