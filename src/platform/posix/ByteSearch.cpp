// Byte search on POSIX systems: memmem.
#include "platform/ByteSearch.h"

#include <cstring>

namespace tarvex {
namespace platform {

const char* findBytes(const char* hay, size_t n, const char* needle, size_t m) {
    return static_cast<const char*>(memmem(hay, n, needle, m));
}

bool findBytesIsLinear() {
#if defined(__GLIBC__)
    return true;   // glibc's memmem is the two-way algorithm
#else
    return false;
#endif
}

}  // namespace platform
}  // namespace tarvex
