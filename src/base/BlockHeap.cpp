#include "base/BlockHeap.h"

#include <cstring>
#include <new>

#include "base/BlockCache.h"
#include "base/SpareRegion.h"
#include "base/Memory.h"
#include "platform/Pages.h"

namespace tarvex {

// Each block starts with this header; its first word chains the group's
// blocks (and, once released, the cache's).
struct BlockHeap::Block {
    Block* next;      // the first word: the cache chains blocks through it
    uint32_t size;    // BlockCache::kBlockSize for blocks of the cache
    uint32_t backed;  // bytes from the block's start whose pages were touched
};

// Each large piece is preceded by this header.
struct BlockHeap::Large {
    Large* prev;
    Large* next;
    size_t size;    // bytes allocated, this header included
    size_t mapped;  // nonzero: pages of its own (platform::allocMapped), this many bytes, at least size
};

// A region whose pages the group took (see TakeSpare), held until the group goes.
struct BlockHeap::RegionRef {
    SpareRegion* region;
    RegionRef* next;
};

static_assert(sizeof(BlockHeap::kSmallMax) > 0 && BlockHeap::kSmallMax % 8 == 0, "8-byte size classes");

namespace {
constexpr size_t kHeader = 16;        // Block header, keeping pieces 16-byte aligned
constexpr size_t kLargeHeader = 32;   // Large header
// Large pieces from this size on are pages of their own, which grow by
// moving page mappings rather than copying (a wide node's child list).
constexpr size_t kMappedMin = 1024 * 1024;

// A wide child list's pages are kept for the next list as wide.
void releaseLarge(void* l, size_t mapped) {
    if (mapped) BlockCache::KeepMapped(l, mapped);
    else memFree(l);
}
constexpr size_t kMaxGrownBlock = 256 * 1024;
constexpr size_t kBackedStep = 256 * 1024;   // pages of a large block backed at once
}  // namespace

size_t BlockHeap::ClassOf(size_t n, size_t* pieceSize) {
    if (n <= kSmallMax) {
        *pieceSize = n;
        return n / 8 - 1;
    }
    // n in (2^b, 2^(b+1)], in steps of 2^(b-3).
    int b = 0;
    for (size_t v = n - 1; v > 1; v >>= 1) ++b;
    const size_t step = size_t{1} << (b - 3);
    const size_t rounded = (n + step - 1) & ~(step - 1);
    *pieceSize = rounded;
    return kSmallClasses + static_cast<size_t>(b - 9) * 8 + (rounded >> (b - 3)) - 9;
}

size_t BlockHeap::MediumClassSize(size_t c) {
    const size_t k = c - kSmallClasses;
    const size_t b = 9 + k / 8;
    return (k % 8 + 9) << (b - 3);
}

BlockHeap* BlockHeap::Create() {
    // The heap and its first small region are one allocation, so a tree of a
    // few nodes costs one block.
    const size_t head = (sizeof(BlockHeap) + 15) & ~size_t{15};
    void* mem = memAlloc(head + kFirstRegion);
    if (!mem) return nullptr;
    BlockHeap* h = new (mem) BlockHeap();
    h->cur_ = static_cast<char*>(mem) + head;
    h->end_ = h->blockEnd_ = h->cur_ + kFirstRegion;
    h->held_ = head + kFirstRegion;
    h->each_ = platform::checksEachAllocation();
    h->slow_ = h->each_;
    return h;
}

BlockHeap* BlockHeap::FindRoot() {
    BlockHeap* root = this;
    while (root->parent_) root = root->parent_;
    for (BlockHeap* h = this; h != root;) {
        BlockHeap* up = h->parent_;
        h->parent_ = root;
        h = up;
    }
    return root;
}

BlockHeap* BlockHeap::Join(BlockHeap* a, BlockHeap* b) {
    BlockHeap* ra = a->Root();
    BlockHeap* rb = b->Root();
    if (ra == rb) return ra;
    std::scoped_lock hold(ra->lock_, rb->lock_);
    // Blocks and large pieces change hands; nothing moves in memory.
    if (rb->blocks_) {
        Block* tail = rb->blocks_;
        while (tail->next) tail = tail->next;
        tail->next = ra->blocks_;
        ra->blocks_ = rb->blocks_;
    }
    if (rb->large_) {
        Large* tail = rb->large_;
        while (tail->next) tail = tail->next;
        tail->next = ra->large_;
        if (ra->large_) ra->large_->prev = tail;
        ra->large_ = rb->large_;
    }
    if (rb->regions_) {
        RegionRef* tail = rb->regions_;
        while (tail->next) tail = tail->next;
        tail->next = ra->regions_;
        ra->regions_ = rb->regions_;
    }
    for (size_t c = 0; c < kClasses; ++c) {
        void* list = rb->free_[c];
        if (!list) continue;
        void* tail = list;
        while (*static_cast<void**>(tail)) tail = *static_cast<void**>(tail);
        *static_cast<void**>(tail) = ra->free_[c];
        ra->free_[c] = list;
    }
    // rb (with the heaps it absorbed) joins ra's absorbed chain; rb's first
    // region, inside its own allocation, lives until the group goes.
    BlockHeap* last = rb;
    while (last->absorbed_) last = last->absorbed_;
    last->absorbed_ = ra->absorbed_;
    ra->absorbed_ = rb;
    ra->held_ += rb->held_;
    ra->trees_ += rb->trees_;
    ra->foreign_ += rb->foreign_;
    ra->shared_ = ra->slow_ = true;
    rb->blocks_ = nullptr;
    rb->large_ = nullptr;
    rb->regions_ = nullptr;
    std::memset(rb->free_, 0, sizeof rb->free_);
    rb->cur_ = rb->end_ = rb->blockEnd_ = nullptr;
    rb->spareCur_ = rb->spareEnd_ = nullptr;
    rb->resumeCur_ = nullptr;
    rb->inSpare_ = false;
    rb->held_ = 0;
    rb->trees_ = 0;
    rb->foreign_ = 0;
    rb->parent_ = ra;
    return ra;
}

void BlockHeap::AddTree() {
    std::lock_guard<std::mutex> hold(lock_);
    ++trees_;
    shared_ = slow_ = true;
}

void BlockHeap::ReleaseTree() {
    bool last;
    {
        std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
        if (shared_) hold.lock();
        last = --trees_ <= 0;
    }
    if (last) Destroy();
}

void BlockHeap::AddForeign(int32_t delta) {
    std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
    if (shared_) hold.lock();
    foreign_ += delta;
}

bool BlockHeap::NewBlock(size_t n) {
    size_t size = nextBlock_;
    Block* b;
    bool fresh = false;
    if (size >= BlockCache::kBlockSize && n + kHeader <= BlockCache::kBlockSize) {
        size = BlockCache::kBlockSize;
        b = static_cast<Block*>(BlockCache::Take(&fresh));
    } else {
        // The first blocks grow from small to large, so small trees stay small.
        while (size < n + kHeader) size *= 2;
        b = static_cast<Block*>(memAlloc(size));
        if (nextBlock_ < kMaxGrownBlock) nextBlock_ *= 4;
        else nextBlock_ = BlockCache::kBlockSize;
    }
    if (!b) return false;
    const bool cached = size == BlockCache::kBlockSize;
    b->next = blocks_;
    b->size = static_cast<uint32_t>(size);
    if (fresh || !cached) b->backed = kHeader;
    blocks_ = b;
    held_ += size;
    inSpare_ = false;
    resumeCur_ = nullptr;
    cur_ = reinterpret_cast<char*>(b) + kHeader;
    blockEnd_ = reinterpret_cast<char*>(b) + (size & ~size_t{15});
    if (!cached) {
        // Small blocks: their pages are few.
        end_ = blockEnd_;
        return true;
    }
    // A block back from the store is warm as far as its last user backed it.
    end_ = reinterpret_cast<char*>(b) + b->backed;
    if (static_cast<size_t>(end_ - cur_) >= n) return true;
    return ExtendBacked(n);
}

bool BlockHeap::ExtendBacked(size_t n) {
    if (blockEnd_ <= end_ || static_cast<size_t>(blockEnd_ - cur_) < n) return false;
    // Pages are backed a step at a time as the block fills: one request per
    // step costs far less than a fault per page, and a tree that stops
    // early does not hold a whole block of touched pages.
    // A heap fed with a document's pages needs fresh ones only for what its
    // tree outgrows them by: smaller steps leave less backed and unused.
    const size_t usual = static_cast<size_t>(end_ - cur_) + (regions_ ? kBackedStep / 16 : kBackedStep);
    const size_t step = usual < n ? n : usual;
    char* to = static_cast<size_t>(blockEnd_ - cur_) <= step ? blockEnd_ : cur_ + step;
    // A piece larger than the step (a wide child list) is backed as it is
    // written: its slots past the children are never touched.
    char* warm = step > usual ? cur_ + usual : to;
    if (warm > end_) platform::prefaultPages(end_, static_cast<size_t>(warm - end_));
    end_ = to;
    // Recorded in the block, so its next user knows how far it is warm.
    char* const block = reinterpret_cast<char*>(blocks_);
    if (end_ > block && end_ <= block + blocks_->size) blocks_->backed = static_cast<uint32_t>(end_ - block);
    return true;
}

bool BlockHeap::TakeSpare(char* p, size_t n, SpareRegion* region) {
    // Only a group of one tree on one thread, carving its pieces.
    if (slow_ || parent_ || !region || !p) return false;
    char* const end = p + n;
    if (inSpare_ && blockEnd_ == p) {
        // The next stretch of the region being carved now: it grows.
        end_ = blockEnd_ = end;
        held_ += n;
        return true;
    }
    char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
    if (end - start < static_cast<ptrdiff_t>(kMinSpare)) return false;
    bool held = false;
    for (RegionRef* r = regions_; r && !held; r = r->next) held = r->region == region;
    if (!held) {
        RegionRef* ref = static_cast<RegionRef*>(memAlloc(sizeof(RegionRef)));
        if (!ref) return false;
        region->AddRef();
        ref->region = region;
        ref->next = regions_;
        regions_ = ref;
    }
    held_ += static_cast<size_t>(end - start);
    if (spareEnd_ == p) {
        spareEnd_ = end;   // waiting stretches join
    } else {
        spareCur_ = start;
        spareEnd_ = end;
    }
    // Pages already there come first: the block being carved waits, so its
    // untouched pages stay untouched while spare ones are at hand.
    if (!inSpare_) UseSpare(0);
    return true;
}

bool BlockHeap::UseSpare(size_t n) {
    if (static_cast<size_t>(spareEnd_ - spareCur_) < n) return false;
    if (!inSpare_ && blockEnd_ > cur_) {
        // The block has room still: it is taken up again later.
        resumeCur_ = cur_;
        resumeEnd_ = end_;
        resumeBlockEnd_ = blockEnd_;
    }
    cur_ = spareCur_;
    end_ = blockEnd_ = spareEnd_;
    spareCur_ = spareEnd_ = nullptr;
    inSpare_ = true;
    return true;
}

bool BlockHeap::ResumeBlock(size_t n) {
    if (!resumeCur_) return false;
    cur_ = resumeCur_;
    end_ = resumeEnd_;
    blockEnd_ = resumeBlockEnd_;
    resumeCur_ = nullptr;
    inSpare_ = false;
    return static_cast<size_t>(end_ - cur_) >= n || ExtendBacked(n);
}

void* BlockHeap::AllocLarge(size_t n) {
    const size_t size = n + kLargeHeader;
    const bool mapped = !each_ && size >= kMappedMin;
    size_t pages = size;
    Large* l;
    if (mapped) {
        l = static_cast<Large*>(BlockCache::TakeMapped(size, &pages));
        if (!l) l = static_cast<Large*>(platform::allocMapped(size));
    } else {
        l = static_cast<Large*>(memAlloc(size));
    }
    if (!l) return nullptr;
    l->prev = nullptr;
    l->next = large_;
    l->size = size;
    l->mapped = mapped ? pages : 0;
    if (large_) large_->prev = l;
    large_ = l;
    held_ += size;
    return reinterpret_cast<char*>(l) + kLargeHeader;
}

void BlockHeap::FreeLarge(void* p) {
    Large* l = reinterpret_cast<Large*>(static_cast<char*>(p) - kLargeHeader);
    if (l->prev) l->prev->next = l->next;
    else large_ = l->next;
    if (l->next) l->next->prev = l->prev;
    held_ -= l->size;
    releaseLarge(l, l->mapped);
}

void* BlockHeap::AllocSlow(size_t n) {
    std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
    if (shared_) hold.lock();
    if (each_ || n > kCarvedMax) return AllocLarge(n);
    if (n <= kMediumMax) {
        if (void* p = FromFreeLists(n)) return p;
    }
    if (static_cast<size_t>(end_ - cur_) < n) {
        if (inSpare_) {
            // The stretch is too short for this piece: its rest waits, and
            // the region's next stretch joins it.
            spareCur_ = cur_;
            spareEnd_ = blockEnd_;
            cur_ = end_ = blockEnd_ = nullptr;
            inSpare_ = false;
        }
        // Spare pages, already there, come before backing more of a block; a
        // block left for them is taken up again once they are used.
        if (!UseSpare(n) && !ResumeBlock(n) && !ExtendBacked(n) && !NewBlock(n)) return nullptr;
    }
    void* p = cur_;
    cur_ += n;
    return p;
}

void* BlockHeap::FromFreeLists(size_t n) {
    // A freed piece of the class holds at least the class size; a new one is
    // cut at the size asked for, so texts made once at their final size
    // waste nothing to rounding.
    size_t classSize;
    const size_t c = ClassOf(n, &classSize);
    if (free_[c]) return PopFree(c);
    if (c < kSmallClasses) return nullptr;
    // A larger freed piece (a child list that grew, a content replaced) is
    // cut: its front serves, the rest goes back on a list.
    const size_t i = c - kSmallClasses;
    const uint64_t larger = mediumLists_ & ~((uint64_t{2} << i) - 1);
    if (!larger) return nullptr;
    const size_t big = kSmallClasses + static_cast<size_t>(__builtin_ctzll(larger));
    void* p = PopFree(big);
    PushFree(static_cast<char*>(p) + n, MediumClassSize(big) - n);
    return p;
}

void* BlockHeap::PopFree(size_t c) {
    void* p = free_[c];
    free_[c] = *static_cast<void**>(p);
    if (!free_[c] && c >= kSmallClasses) mediumLists_ &= ~(uint64_t{1} << (c - kSmallClasses));
    return p;
}

void BlockHeap::FreeSlow(void* p, size_t n) {
    std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
    if (shared_) hold.lock();
    if (each_ || n > kCarvedMax) {
        FreeLarge(p);
        return;
    }
    // A carved piece above the classes goes to the lists in pieces.
    char* c = static_cast<char*>(p);
    for (; n > kMediumMax; n -= kMediumMax, c += kMediumMax) PushFree(c, kMediumMax);
    PushFree(c, n);
}

void BlockHeap::PushFree(void* p, size_t n) {
    // The piece goes to the largest class it can serve in full.
    size_t classSize;
    size_t c = ClassOf(n, &classSize);
    if (classSize > n) --c;
    void*& head = free_[c];
    *static_cast<void**>(p) = head;
    head = p;
    if (c >= kSmallClasses) mediumLists_ |= uint64_t{1} << (c - kSmallClasses);
}

void* BlockHeap::Realloc(void* p, size_t oldN, size_t newN) {
    if (!p) return Alloc(newN);
    oldN = Round(oldN);
    newN = Round(newN);
    if (oldN == newN) return p;
    const bool large = each_ || oldN > kCarvedMax;
    if (!large && newN <= kMediumMax && oldN <= kMediumMax) {
        if (newN < oldN && oldN - newN < oldN / 8) return p;   // a small shrink keeps the piece
    }
    if (large && (each_ || newN > kCarvedMax)) {
        // Both large: the allocator may grow the piece in place.
        std::unique_lock<std::mutex> hold(lock_, std::defer_lock);
        if (shared_) hold.lock();
        Large* l = reinterpret_cast<Large*>(static_cast<char*>(p) - kLargeHeader);
        const size_t size = newN + kLargeHeader;
        const bool mapped = l->mapped != 0;
        if (mapped != (!each_ && size >= kMappedMin)) {
            // Between the allocator and pages of its own: a new piece.
            if (hold.owns_lock()) hold.unlock();
            void* q = Alloc(newN);
            if (!q) return nullptr;
            std::memcpy(q, p, oldN < newN ? oldN : newN);
            Free(p, oldN);
            return q;
        }
        Large* prev = l->prev;
        Large* next = l->next;
        const size_t old = l->size;
        Large* moved;
        if (!mapped) {
            moved = static_cast<Large*>(memRealloc(l, size));
        } else if (size <= l->mapped) {
            moved = l;   // its pages hold the new size already
        } else {
            moved = static_cast<Large*>(platform::reallocMapped(l, l->mapped, size));
            if (moved) moved->mapped = size;
        }
        if (!moved) return nullptr;
        if (prev) prev->next = moved;
        else large_ = moved;
        if (next) next->prev = moved;
        moved->size = size;
        held_ += size;
        held_ -= old;
        return reinterpret_cast<char*>(moved) + kLargeHeader;
    }
    void* q = Alloc(newN);
    if (!q) return nullptr;
    std::memcpy(q, p, oldN < newN ? oldN : newN);
    Free(p, oldN);
    return q;
}

void BlockHeap::Destroy() {
    for (Large* l = large_; l;) {
        Large* next = l->next;
        releaseLarge(l, l->mapped);
        l = next;
    }
    // Blocks of the cache's size go back to it in one chain; the small first
    // blocks are freed.
    Block* cached = nullptr;
    size_t count = 0;
    for (Block* b = blocks_; b;) {
        Block* next = b->next;
        if (b->size == BlockCache::kBlockSize) {
            b->next = cached;
            cached = b;
            ++count;
        } else {
            memFree(b);
        }
        b = next;
    }
    BlockCache::GiveChain(cached, count);
    for (RegionRef* r = regions_; r;) {
        RegionRef* next = r->next;
        r->region->Release();
        memFree(r);
        r = next;
    }
    for (BlockHeap* h = absorbed_; h;) {
        BlockHeap* next = h->absorbed_;
        h->~BlockHeap();
        memFree(h);
        h = next;
    }
    this->~BlockHeap();
    memFree(this);
}

}  // namespace tarvex
