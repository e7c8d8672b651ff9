// The platform seam for searching bytes in bytes: the C library's substring
// search where it has one, a plain scan elsewhere.
#pragma once

#include <cstddef>

namespace tarvex {
namespace platform {

// Leftmost occurrence of needle[0..m) in hay[0..n), or nullptr. m >= 1.
const char* findBytes(const char* hay, size_t n, const char* needle, size_t m);
// True when findBytes runs in time linear in n + m whatever the bytes are;
// callers then need no fallback for long needles.
bool findBytesIsLinear();

}  // namespace platform
}  // namespace tarvex
