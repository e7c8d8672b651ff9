#include "base/ExtIntArray.h"

#include <cstring>

#include "base/Memory.h"

namespace tarvex {

void* ExtIntArray::operator new(size_t n) { return memAlloc(n); }
void ExtIntArray::operator delete(void* p) { memFree(p); }

ExtIntArray::ExtIntArray(int32_t capacity, int32_t step)
    : step_(step),
      capacity_(capacity < 1 ? 2 : capacity),
      count_(0),
      elements_(static_cast<int32_t*>(memAllocZeroed(sizeof(int32_t) * static_cast<size_t>(capacity_)))) {}

ExtIntArray::~ExtIntArray() { memFree(elements_); }

void ExtIntArray::Grow() {
    int64_t grown = static_cast<int64_t>(capacity_) + (step_ > 0 ? step_ : 1);
    int32_t newCapacity = grown > count_ ? static_cast<int32_t>(grown) : count_ + 1;
    size_t bytes = sizeof(int32_t) * static_cast<size_t>(newCapacity);
    elements_ = static_cast<int32_t*>(memRealloc(elements_, bytes));
    std::memset(elements_ + capacity_, 0,
                sizeof(int32_t) * static_cast<size_t>(newCapacity - capacity_));
    capacity_ = newCapacity;
    if (step_ < kMaxStep) step_ = newCapacity < kMaxStep ? newCapacity : kMaxStep;
}

void ExtIntArray::Append(int32_t v) {
    if (count_ >= capacity_) Grow();
    elements_[count_++] = v;
}

void ExtIntArray::Set(int32_t i, int32_t v) {
    if (i >= 0 && i < count_) elements_[i] = v;
}

void ExtIntArray::RemoveAt(int32_t i) {
    if (i < 0 || i >= count_) return;
    std::memmove(elements_ + i, elements_ + i + 1,
                 sizeof(int32_t) * static_cast<size_t>(count_ - i - 1));
    --count_;
}

}  // namespace tarvex
