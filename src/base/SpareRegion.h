// SpareRegion: an allocation read once, front to back, whose pages are
// reused as they are passed: the text of a document being parsed. The pages
// a parse has read are still resident and warm; a tree's heap takes them as
// room for its pieces instead of asking the system for fresh ones (each a
// page fault), and the text and the tree built from it share one set of
// pages.
//
// The parse holds one reference and each heap that took pages of the region
// holds another; the allocation is freed with the last of them.
#pragma once

#include <atomic>
#include <cstddef>

namespace tarvex {

class SpareRegion {
public:
    // Takes ownership of `memory` (from memAlloc, `bytes` long). Null when
    // out of memory; `memory` is then still the caller's.
    static SpareRegion* Adopt(void* memory, size_t bytes);

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Ends the region with the last reference; its memory goes to the block
    // store, warm for the next document read (see BlockCache::KeepText).
    void Release();

    SpareRegion(const SpareRegion&) = delete;
    SpareRegion& operator=(const SpareRegion&) = delete;

private:
    SpareRegion(void* memory, size_t bytes) : memory_(memory), bytes_(bytes) {}
    ~SpareRegion() = default;

    void* memory_;
    size_t bytes_;
    std::atomic<int> refs_{1};
};

}  // namespace tarvex
