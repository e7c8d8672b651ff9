#include "base/BlockCache.h"

#include <mutex>
#include <utility>

#include "base/Memory.h"
#include "platform/Pages.h"
#include "platform/Platform.h"

namespace tarvex {

namespace {

struct Store {
    std::mutex lock;
    void* first = nullptr;   // chained through each block's first word
    size_t count = 0;
    uint32_t lastTake = 0;   // tick of the last draw
    struct Slot {
        void* memory = nullptr;
        size_t bytes = 0;
    };
    Slot text;    // one document buffer kept for the next read (memAlloc)
    Slot pages;   // one child list's pages kept (platform::allocMapped)
};

size_t heldBytes(const Store& s) { return s.count * BlockCache::kBlockSize + s.text.bytes + s.pages.bytes; }

// What the store lets go of: blocks chained, a document buffer, list pages.
struct Excess {
    void* blocks = nullptr;
    Store::Slot text;
    Store::Slot pages;
};

Store& store() {
    // Never destroyed: trees released during process exit may still give
    // blocks back.
    static Store* s = new Store();
    return *s;
}

void* next(void* block) { return *static_cast<void**>(block); }

// Takes out what lies beyond the kept amount, the list pages and the
// document buffer first; the caller holds the lock and frees it (release())
// after dropping it.
Excess cutExcess(Store& s) {
    Excess e;
    if (heldBytes(s) > BlockCache::kKeepBytes) std::swap(e.pages, s.pages);
    if (heldBytes(s) > BlockCache::kKeepBytes) std::swap(e.text, s.text);
    const size_t keep = BlockCache::kKeepBytes / BlockCache::kBlockSize;
    while (s.count > keep) {
        void* b = s.first;
        s.first = next(b);
        *static_cast<void**>(b) = e.blocks;
        e.blocks = b;
        --s.count;
    }
    return e;
}

void release(const Excess& e) {
    for (void* b = e.blocks; b;) {
        void* n = next(b);
        platform::freePages(b, BlockCache::kBlockSize);
        b = n;
    }
    memFree(e.text.memory);
    if (e.pages.memory) platform::freeMapped(e.pages.memory, e.pages.bytes);
}

// Takes what `slot` keeps when it holds at least n and at most `most` bytes.
void* takeSlot(Store::Slot Store::*which, size_t n, size_t most, size_t* bytes) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    Store::Slot& slot = s.*which;
    if (!slot.memory || slot.bytes < n || slot.bytes > most) return nullptr;
    void* memory = slot.memory;
    *bytes = slot.bytes;
    slot = Store::Slot();
    s.lastTake = platform::tickCount();
    return memory;
}

// Puts (memory, bytes) in `slot` when it fits within the bound beside the
// rest of the store; returns what the caller frees: the slot's old
// contents, or the memory itself when it did not fit.
Store::Slot keepSlot(Store::Slot Store::*which, void* memory, size_t bytes) {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    Store::Slot& slot = s.*which;
    Store::Slot out{memory, bytes};
    if (heldBytes(s) - slot.bytes + bytes <= BlockCache::kKeepBytes) std::swap(out, slot);
    return out;
}

bool idle(const Store& s) { return platform::tickCount() - s.lastTake >= BlockCache::kIdleMs; }

}  // namespace

void* BlockCache::Take(bool* fresh) {
    Store& s = store();
    Excess excess;
    void* b = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (idle(s)) excess = cutExcess(s);
        s.lastTake = platform::tickCount();
        if (s.first) {
            b = s.first;
            s.first = next(b);
            --s.count;
        }
    }
    release(excess);
    *fresh = b == nullptr;
    return b ? b : platform::allocPages(kBlockSize);
}

void BlockCache::GiveChain(void* first, size_t count) {
    if (!first) return;
    Store& s = store();
    Excess excess;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        void* last = first;
        while (next(last)) last = next(last);
        *static_cast<void**>(last) = s.first;
        s.first = first;
        s.count += count;
        if (idle(s)) excess = cutExcess(s);
    }
    release(excess);
}

void* BlockCache::TakeText(size_t n, size_t* bytes) {
    // Not for a much smaller document: its buffer would hold the pages.
    return takeSlot(&Store::text, n, n + n / 4, bytes);
}

void BlockCache::KeepText(void* memory, size_t bytes) {
    if (memory) memFree(keepSlot(&Store::text, memory, bytes).memory);
}

void* BlockCache::TakeMapped(size_t n, size_t* bytes) {
    // Not for a much narrower list: its pages would be held for nothing.
    return takeSlot(&Store::pages, n, n * 8, bytes);
}

void BlockCache::KeepMapped(void* pages, size_t bytes) {
    if (!pages) return;
    Store::Slot out = keepSlot(&Store::pages, pages, bytes);
    if (out.memory) platform::freeMapped(out.memory, out.bytes);
}

void BlockCache::Trim() {
    Store& s = store();
    Excess excess;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        excess = cutExcess(s);
    }
    release(excess);
}

size_t BlockCache::CachedBytes() {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    return heldBytes(s);
}

}  // namespace tarvex
