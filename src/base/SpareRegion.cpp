#include "base/SpareRegion.h"

#include <new>

#include "base/Memory.h"

namespace tarvex {

SpareRegion* SpareRegion::Adopt(void* memory) {
    void* place = memAlloc(sizeof(SpareRegion));
    if (!place) return nullptr;
    return new (place) SpareRegion(memory);
}

void SpareRegion::Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    void* memory = memory_;
    this->~SpareRegion();
    memFree(this);
    memFree(memory);
}

}  // namespace tarvex
