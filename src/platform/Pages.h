// The platform seam for whole pages: large blocks taken straight from the
// system, for memory that millions of small pieces share (tree blocks).
// Where the system can back them with huge pages on request, it is asked
// to, so that filling a block costs one page fault rather than hundreds.
#pragma once

#include <cstddef>

namespace tarvex {
namespace platform {

constexpr size_t kPageBlockAlign = size_t{2} * 1024 * 1024;

// n bytes (a multiple of kPageBlockAlign), aligned to kPageBlockAlign,
// zero-filled; null when the system has none left.
void* allocPages(size_t n);
// Gives the pages back to the system; n as allocated.
void freePages(void* p, size_t n);

// Page-granular blocks for single large pieces that grow (a wide node's
// child list): resizing moves page mappings where the system can, instead
// of copying the bytes into fresh pages. Sizes are rounded up to pages.
void* allocMapped(size_t n);
void* reallocMapped(void* p, size_t oldN, size_t newN);   // null on failure, p kept
void freeMapped(void* p, size_t n);

// Memory the caller owns in [p, p + n) is about to be written through:
// the system backs its pages now, in one request, instead of one fault per
// page. A hint only; nothing changes where the system cannot.
void prefaultPages(void* p, size_t n);

// The whole pages inside [p, p + n) of memory the caller owns are no longer
// needed: the system may take them back now. Their bytes are lost (they may
// read back as anything); the range stays valid memory of its owner.
void discardPages(void* p, size_t n);

}  // namespace platform
}  // namespace tarvex
