// BlockCache: the process's store of tree blocks that no tree uses.
//
// Trees carve their nodes out of large blocks (BlockHeap), whole pages from
// the system (platform/Pages.h). A released tree
// hands its blocks here, and the next tree takes them back warm instead of
// asking the allocator (and the system) for fresh pages. The store is bounded:
// up to kKeepBytes stay for as long as the process runs; whatever lies beyond
// that is given back to the allocator once the store has not been drawn from
// for kIdleMs (checked whenever a block is taken or given back). The store
// also keeps the buffer of the last document read and the pages of the last
// wide child list, within the same bound.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

class BlockCache {
public:
    static constexpr size_t kBlockSize = size_t{2} * 1024 * 1024;
    static constexpr size_t kKeepBytes = size_t{64} * 1024 * 1024;
    static constexpr uint32_t kIdleMs = 1000;

    // A block of kBlockSize bytes, from the store when it has one; null when
    // the allocator has no memory left. *fresh tells whether it came from
    // the system (its pages not yet touched).
    static void* Take(bool* fresh);
    // Returns a chain of blocks to the store: each block's first word points
    // at the next one, the last holds null.
    static void GiveChain(void* first, size_t count);
    // The document buffer kept from the last load, when it holds n bytes
    // and is not much larger (*bytes gets its size); null otherwise. Reading
    // the next document into it costs no fresh pages.
    static void* TakeText(size_t n, size_t* bytes);
    // Keeps a document buffer (from memAlloc, `bytes` long) that no tree uses
    // any more for the next load, in place of the one kept before, when it
    // fits within kKeepBytes beside the blocks; frees it otherwise. It is
    // the first thing given back when the store is trimmed.
    static void KeepText(void* memory, size_t bytes);
    // Pages of their own (platform::allocMapped) kept from the last wide
    // child list released, when they hold `n` bytes and not many times more
    // (*bytes gets their length); null otherwise. The next tree with a list
    // as wide reuses them warm instead of faulting fresh pages in.
    static void* TakeMapped(size_t n, size_t* bytes);
    // Keeps such pages (`bytes` long) in place of the ones kept before, when
    // they fit within kKeepBytes beside the rest; unmaps them otherwise.
    // They go back to the system with the document buffer when the store is
    // trimmed.
    static void KeepMapped(void* pages, size_t bytes);
    // Gives everything beyond kKeepBytes back to the allocator now.
    static void Trim();
    // Bytes the store holds.
    static size_t CachedBytes();
};

}  // namespace tarvex
