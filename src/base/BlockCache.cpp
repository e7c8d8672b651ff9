#include "base/BlockCache.h"

#include <mutex>

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
    void* text = nullptr;    // one document buffer kept for the next read (memAlloc)
    size_t textBytes = 0;
    void* pages = nullptr;   // one child list's pages kept (platform::allocMapped)
    size_t pagesBytes = 0;
};

size_t heldBytes(const Store& s) { return s.count * BlockCache::kBlockSize + s.textBytes + s.pagesBytes; }

// What the store lets go of: blocks chained, a document buffer, list pages.
struct Excess {
    void* blocks = nullptr;
    void* text = nullptr;
    void* pages = nullptr;
    size_t pagesBytes = 0;
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
    if (heldBytes(s) > BlockCache::kKeepBytes && s.pages) {
        e.pages = s.pages;
        e.pagesBytes = s.pagesBytes;
        s.pages = nullptr;
        s.pagesBytes = 0;
    }
    if (heldBytes(s) > BlockCache::kKeepBytes && s.text) {
        e.text = s.text;
        s.text = nullptr;
        s.textBytes = 0;
    }
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
    memFree(e.text);
    if (e.pages) platform::freeMapped(e.pages, e.pagesBytes);
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
    Store& s = store();
    void* text = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        // Not for a much smaller document: its buffer would hold the pages.
        if (s.text && s.textBytes >= n && s.textBytes - n <= n / 4) {
            text = s.text;
            *bytes = s.textBytes;
            s.text = nullptr;
            s.textBytes = 0;
            s.lastTake = platform::tickCount();
        }
    }
    return text;
}

void BlockCache::KeepText(void* memory, size_t bytes) {
    if (!memory) return;
    Store& s = store();
    void* old = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        // Within the bound beside the rest, it replaces the one kept before.
        if (s.count * kBlockSize + s.pagesBytes + bytes <= kKeepBytes) {
            old = s.text;
            s.text = memory;
            s.textBytes = bytes;
            memory = nullptr;
        }
    }
    memFree(memory);
    memFree(old);
}

void* BlockCache::TakeMapped(size_t n, size_t* bytes) {
    Store& s = store();
    void* pages = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        // Not for a much narrower list: its pages would be held for nothing.
        if (s.pages && s.pagesBytes >= n && s.pagesBytes / 8 <= n) {
            pages = s.pages;
            *bytes = s.pagesBytes;
            s.pages = nullptr;
            s.pagesBytes = 0;
            s.lastTake = platform::tickCount();
        }
    }
    return pages;
}

void BlockCache::KeepMapped(void* pages, size_t bytes) {
    if (!pages) return;
    Store& s = store();
    Excess old;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.count * kBlockSize + s.textBytes + bytes <= kKeepBytes) {
            old.pages = s.pages;
            old.pagesBytes = s.pagesBytes;
            s.pages = pages;
            s.pagesBytes = bytes;
            pages = nullptr;
        }
    }
    if (pages) platform::freeMapped(pages, bytes);
    release(old);
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
