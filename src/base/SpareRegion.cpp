#include "base/SpareRegion.h"

#include <new>

#include "base/BlockCache.h"
#include "base/Memory.h"

namespace tarvex {

SpareRegion* SpareRegion::Adopt(void* memory, size_t bytes) {
    void* place = memAlloc(sizeof(SpareRegion));
    if (!place) return nullptr;
    return new (place) SpareRegion(memory, bytes);
}

void SpareRegion::Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    void* memory = memory_;
    const size_t bytes = bytes_;
    this->~SpareRegion();
    memFree(this);
    BlockCache::KeepText(memory, bytes);
}

}  // namespace tarvex
