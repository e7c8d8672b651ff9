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
};

size_t heldBytes(const Store& s) { return s.count * BlockCache::kBlockSize + s.textBytes; }

Store& store() {
    // Never destroyed: trees released during process exit may still give
    // blocks back.
    static Store* s = new Store();
    return *s;
}

void* next(void* block) { return *static_cast<void**>(block); }

// Frees what lies beyond the kept amount, the document buffer first; the
// caller holds the lock and frees the returned chain and *text after
// dropping it.
void* cutExcess(Store& s, size_t* cut, void** text) {
    *cut = 0;
    *text = nullptr;
    if (heldBytes(s) > BlockCache::kKeepBytes && s.text) {
        *text = s.text;
        s.text = nullptr;
        s.textBytes = 0;
    }
    const size_t keep = BlockCache::kKeepBytes / BlockCache::kBlockSize;
    if (s.count <= keep) return nullptr;
    void* excess = nullptr;
    while (s.count > keep) {
        void* b = s.first;
        s.first = next(b);
        *static_cast<void**>(b) = excess;
        excess = b;
        --s.count;
        ++*cut;
    }
    return excess;
}

void freeChain(void* b) {
    while (b) {
        void* n = next(b);
        platform::freePages(b, BlockCache::kBlockSize);
        b = n;
    }
}

bool idle(const Store& s) { return platform::tickCount() - s.lastTake >= BlockCache::kIdleMs; }

}  // namespace

void* BlockCache::Take(bool* fresh) {
    Store& s = store();
    void* excess = nullptr;
    void* text = nullptr;
    void* b = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        size_t cut;
        if (idle(s)) excess = cutExcess(s, &cut, &text);
        s.lastTake = platform::tickCount();
        if (s.first) {
            b = s.first;
            s.first = next(b);
            --s.count;
        }
    }
    freeChain(excess);
    memFree(text);
    *fresh = b == nullptr;
    return b ? b : platform::allocPages(kBlockSize);
}

void BlockCache::GiveChain(void* first, size_t count) {
    if (!first) return;
    Store& s = store();
    void* excess = nullptr;
    void* text = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        void* last = first;
        while (next(last)) last = next(last);
        *static_cast<void**>(last) = s.first;
        s.first = first;
        s.count += count;
        size_t cut;
        if (idle(s)) excess = cutExcess(s, &cut, &text);
    }
    freeChain(excess);
    memFree(text);
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
        // Within the bound beside the blocks, it replaces the one kept before.
        if (s.count * kBlockSize + bytes <= kKeepBytes) {
            old = s.text;
            s.text = memory;
            s.textBytes = bytes;
            memory = nullptr;
        }
    }
    memFree(memory);
    memFree(old);
}

void BlockCache::Trim() {
    Store& s = store();
    void* excess;
    void* text;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        size_t cut;
        excess = cutExcess(s, &cut, &text);
    }
    freeChain(excess);
    memFree(text);
}

size_t BlockCache::CachedBytes() {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    return heldBytes(s);
}

}  // namespace tarvex
