// BlockHeap: the memory of a group of trees, carved out of large blocks.
//
// Nodes, tags, contents, attribute lists and child arrays of a tree come from
// its heap: pieces up to kMediumMax bytes are cut one after another from
// blocks at the size asked for (in 8-byte steps), so building a tree touches
// few pages; a freed piece waits on the free list of the largest size class
// it holds in full (8-byte steps up to kSmallMax, then eight classes per
// doubling) for the next one. Pieces up to kCarvedMax are cut from blocks
// too, and a freed one is cut up into the free lists. Larger pieces are
// allocations of their own, kept on a list. Releasing the last tree of a group returns whole
// blocks (to the BlockCache, warm for the next tree) instead of freeing
// piece by piece.
//
// A piece must be freed with the size it was allocated with. When nodes move
// between trees (adoption, swaps), the two heaps are joined into one group:
// the absorbed heap forwards to the group's root and its blocks, pieces and
// tree count move there. The group lives while any of its trees does.
//
// Where a memory checker watches every allocation (platform::
// checksEachAllocation), every piece is an allocation of its own, so misuse
// of any one node is still caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tarvex {

class SpareRegion;

class BlockHeap {
public:
    static constexpr size_t kSmallMax = 512;
    static constexpr size_t kMediumMax = 64 * 1024;
    // Larger pieces (a wide node's child list) are cut from blocks up to
    // this size: growing one leaves its old piece to the free lists.
    static constexpr size_t kCarvedMax = 512 * 1024;

    // A heap with one tree.
    static BlockHeap* Create();
    BlockHeap(const BlockHeap&) = delete;
    BlockHeap& operator=(const BlockHeap&) = delete;

    // The group's root (itself unless joined into another heap).
    BlockHeap* Root() { return parent_ ? FindRoot() : this; }
    // Joins the groups of a and b; returns the root of the joined group.
    static BlockHeap* Join(BlockHeap* a, BlockHeap* b);

    // Tree counting, on the root. The last release frees the group.
    void AddTree();
    void ReleaseTree();
    int32_t Trees() const { return trees_; }

    // Pieces, on the root. Null when memory is exhausted.
    void* Alloc(size_t n) {
        n = Round(n);
        if (!slow_ && n <= kSmallMax) {
            void*& head = free_[n / 8 - 1];
            if (head) {
                void* p = head;
                head = *static_cast<void**>(p);
                return p;
            }
            if (static_cast<size_t>(end_ - cur_) >= n) {
                void* p = cur_;
                cur_ += n;
                return p;
            }
        }
        return AllocSlow(n);
    }
    void Free(void* p, size_t n) {
        if (!p) return;
        n = Round(n);
        if (!slow_ && n <= kSmallMax) {
            void*& head = free_[n / 8 - 1];
            *static_cast<void**>(p) = head;
            head = p;
            return;
        }
        FreeSlow(p, n);
    }
    // Grows or shrinks a piece; the bytes up to the smaller size are kept.
    void* Realloc(void* p, size_t oldN, size_t newN);

    // Pieces of outside memory held by the group's nodes: while there are
    // any, a released tree is walked node by node.
    void AddForeign(int32_t delta);
    int32_t Foreign() const { return foreign_; }

    // Bytes in blocks and large pieces (what the group holds, used or not).
    size_t HeldBytes() const { return held_; }

    // Offers [p, p + n) of `region`, pages already read and no longer needed,
    // as room for pieces: they are used before any new block, so building a
    // tree from a document reuses the document's warm pages. Returns false
    // (the caller then gives the pages back) where the group does not carve
    // (a memory checker, a shared group) or the stretch is too small to keep.
    bool TakeSpare(char* p, size_t n, SpareRegion* region);

private:
    struct Block;
    struct Large;
    struct RegionRef;
    static constexpr size_t kMinSpare = 4096;
    static constexpr size_t kSmallClasses = kSmallMax / 8;
    static constexpr size_t kClasses = kSmallClasses + 7 * 8;   // medium: 513 B to 64 KiB
    static_assert(kClasses - kSmallClasses <= 64, "one bit per medium class");
    static constexpr size_t kFirstRegion = 512;

    BlockHeap() = default;
    static size_t Round(size_t n) { return n < 8 ? 8 : (n + 7) & ~size_t{7}; }
    // The size class of a rounded size up to kMediumMax, and its piece size.
    static size_t ClassOf(size_t n, size_t* pieceSize);
    // The smallest piece a medium class holds.
    static size_t MediumClassSize(size_t c);
    // Puts a freed piece of n (rounded) bytes on the list of the largest
    // class it holds in full.
    void PushFree(void* p, size_t n);
    // Takes the first piece of the (non-empty) list of class c.
    void* PopFree(size_t c);
    BlockHeap* FindRoot();
    void* AllocSlow(size_t n);
    // A freed piece for n (a medium size) bytes, whole or cut from a larger
    // one; null when there is none.
    void* FromFreeLists(size_t n);
    void FreeSlow(void* p, size_t n);
    void* AllocLarge(size_t n);
    void FreeLarge(void* p);
    bool NewBlock(size_t n);
    // Moves carving to the waiting spare stretch when n bytes fit there.
    bool UseSpare(size_t n);
    // Takes up the block left for spare pages again, when n bytes fit.
    bool ResumeBlock(size_t n);
    // Backs the next pages of the newest block; false when n bytes do not fit.
    bool ExtendBacked(size_t n);
    void Destroy();

    char* cur_ = nullptr;             // the free part of the newest block
    char* end_ = nullptr;             // ... as far as its pages are backed
    char* blockEnd_ = nullptr;        // the end of the newest block
    void* free_[kClasses] = {};       // one free list per 8-byte size class
    uint64_t mediumLists_ = 0;        // bit i: free_[kSmallClasses + i] is not empty
    Block* blocks_ = nullptr;         // every block of the group
    Large* large_ = nullptr;          // large pieces, doubly linked
    RegionRef* regions_ = nullptr;    // regions whose pages the group took
    char* spareCur_ = nullptr;        // a stretch of spare pages waiting
    char* spareEnd_ = nullptr;
    char* resumeCur_ = nullptr;       // the block left for spare pages: null or
    char* resumeEnd_ = nullptr;       // its free part, backed end and end
    char* resumeBlockEnd_ = nullptr;
    BlockHeap* parent_ = nullptr;     // set once absorbed into another group
    BlockHeap* absorbed_ = nullptr;   // heaps absorbed into this one, chained
    size_t held_ = 0;
    size_t nextBlock_ = 4096;
    int32_t trees_ = 1;
    int32_t foreign_ = 0;
    // True where pieces take the locked or one-allocation-each path: a group
    // shared by several trees (which may live on different threads), or a
    // build whose memory checker watches every allocation.
    bool slow_ = false;
    bool shared_ = false;
    bool each_ = false;
    bool inSpare_ = false;            // the newest region is spare pages, not a block
    std::mutex lock_;
};

}  // namespace tarvex
