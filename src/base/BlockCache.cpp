#include "base/BlockCache.h"

#include <mutex>

#include "platform/Pages.h"
#include "platform/Platform.h"

namespace tarvex {

namespace {

struct Store {
    std::mutex lock;
    void* first = nullptr;   // chained through each block's first word
    size_t count = 0;
    uint32_t lastTake = 0;   // tick of the last draw
};

Store& store() {
    // Never destroyed: trees released during process exit may still give
    // blocks back.
    static Store* s = new Store();
    return *s;
}

void* next(void* block) { return *static_cast<void**>(block); }

// Frees blocks beyond the kept amount; the caller holds the lock and frees
// the returned chain after dropping it.
void* cutExcess(Store& s, size_t* cut) {
    const size_t keep = BlockCache::kKeepBytes / BlockCache::kBlockSize;
    *cut = 0;
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
    void* b = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        size_t cut;
        if (idle(s)) excess = cutExcess(s, &cut);
        s.lastTake = platform::tickCount();
        if (s.first) {
            b = s.first;
            s.first = next(b);
            --s.count;
        }
    }
    freeChain(excess);
    *fresh = b == nullptr;
    return b ? b : platform::allocPages(kBlockSize);
}

void BlockCache::GiveChain(void* first, size_t count) {
    if (!first) return;
    Store& s = store();
    void* excess = nullptr;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        void* last = first;
        while (next(last)) last = next(last);
        *static_cast<void**>(last) = s.first;
        s.first = first;
        s.count += count;
        size_t cut;
        if (idle(s)) excess = cutExcess(s, &cut);
    }
    freeChain(excess);
}

void BlockCache::Trim() {
    Store& s = store();
    void* excess;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        size_t cut;
        excess = cutExcess(s, &cut);
    }
    freeChain(excess);
}

size_t BlockCache::CachedBytes() {
    Store& s = store();
    std::lock_guard<std::mutex> hold(s.lock);
    return s.count * kBlockSize;
}

}  // namespace tarvex
