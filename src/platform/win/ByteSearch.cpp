// Byte search on Windows, which has no memmem: memchr for the first byte, then
// memcmp for the rest.
#include "platform/ByteSearch.h"

#include <cstring>

namespace tarvex {
namespace platform {

const char* findBytes(const char* hay, size_t n, const char* needle, size_t m) {
    if (m > n) return nullptr;
    const char* p = hay;
    const char* last = hay + (n - m);
    while (p <= last) {
        const void* q = std::memchr(p, static_cast<unsigned char>(needle[0]), static_cast<size_t>(last - p) + 1);
        if (!q) return nullptr;
        p = static_cast<const char*>(q);
        if (std::memcmp(p + 1, needle + 1, m - 1) == 0) return p;
        ++p;
    }
    return nullptr;
}

bool findBytesIsLinear() { return false; }

}  // namespace platform
}  // namespace tarvex
