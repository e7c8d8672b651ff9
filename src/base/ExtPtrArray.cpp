#include "base/ExtPtrArray.h"

#include <cstring>
#include <utility>

#include "base/Memory.h"

namespace tarvex {

void* ExtPtrArray::operator new(size_t n) { return memAlloc(n); }
void ExtPtrArray::operator delete(void* p) { memFree(p); }

ExtPtrArray::ExtPtrArray(int32_t capacity, int32_t step)
    : step_(step < 1 ? 5 : step), capacity_(capacity < 1 ? 5 : capacity), count_(0) {
    elements_ = static_cast<void**>(memAllocZeroed(sizeof(void*) * static_cast<size_t>(capacity_)));
}

void ExtPtrArray::FreeBlock() {
    memFree(elements_);
    elements_ = nullptr;
}

void ExtPtrArray::Grow() {
    int32_t needed = count_ + 1;
    int64_t grown = static_cast<int64_t>(capacity_) + step_;
    int32_t newCapacity = grown > needed ? static_cast<int32_t>(grown) : needed + 1;
    // Same result as a fresh zeroed block with the old elements copied in.
    size_t bytes = sizeof(void*) * static_cast<size_t>(newCapacity);
    void** grownBlock = static_cast<void**>(elements_ ? memRealloc(elements_, bytes) : memAlloc(bytes));
    std::memset(grownBlock + capacity_, 0,
                sizeof(void*) * static_cast<size_t>(newCapacity - capacity_));
    elements_ = grownBlock;
    capacity_ = newCapacity;
    if (step_ < kMaxStep) step_ = newCapacity < kMaxStep ? newCapacity : kMaxStep;
}

void ExtPtrArray::AppendSlow(void* p) {
    if (count_ >= capacity_) Grow();
    elements_[count_++] = p;
}

void* ExtPtrArray::RemoveAt(int32_t i) {
    if (i < 0 || i >= count_) return nullptr;
    void** slots = elements_;
    void* removed = slots[i];
    std::memmove(slots + i, slots + i + 1, sizeof(void*) * static_cast<size_t>(count_ - i - 1));
    --count_;
    slots[count_] = nullptr;
    return removed;
}

void ExtPtrArray::Set(int32_t i, void* p) {
    if (i >= 0 && i < count_) elements_[i] = p;
}

// ---------------------------------------------------------------------------
// Sorting

namespace {

constexpr int32_t kInsertionLimit = 16;

struct Sorter {
    void** a;
    ExtPtrArray::CompareFn cmp;
    void* ctx;

    bool less(void* x, void* y) const { return cmp(x, y, ctx) < 0; }

    void insertionSort(int32_t lo, int32_t hi) const {
        for (int32_t i = lo + 1; i <= hi; ++i) {
            void* v = a[i];
            int32_t j = i - 1;
            while (j >= lo && less(v, a[j])) {
                a[j + 1] = a[j];
                --j;
            }
            a[j + 1] = v;
        }
    }

    void siftDown(int32_t base, int32_t root, int32_t n) const {
        for (;;) {
            int32_t child = 2 * root + 1;
            if (child >= n) return;
            if (child + 1 < n && less(a[base + child], a[base + child + 1])) ++child;
            if (!less(a[base + root], a[base + child])) return;
            void* t = a[base + root];
            a[base + root] = a[base + child];
            a[base + child] = t;
            root = child;
        }
    }

    void heapSort(int32_t lo, int32_t hi) const {
        int32_t n = hi - lo + 1;
        for (int32_t i = n / 2 - 1; i >= 0; --i) siftDown(lo, i, n);
        for (int32_t end = n - 1; end > 0; --end) {
            void* t = a[lo];
            a[lo] = a[lo + end];
            a[lo + end] = t;
            siftDown(lo, 0, end);
        }
    }

    void swap(int32_t i, int32_t j) const {
        void* t = a[i];
        a[i] = a[j];
        a[j] = t;
    }

    // Sorts a[lo..hi]. Recurses only into the smaller part, so the depth stays
    // below log2(n); the larger part is handled by the loop.
    void quickSort(int32_t lo, int32_t hi, int32_t depthBudget) const {
        while (hi - lo > kInsertionLimit) {
            if (depthBudget-- <= 0) {
                heapSort(lo, hi);
                return;
            }
            int32_t mid = lo + (hi - lo) / 2;
            if (less(a[mid], a[lo])) swap(mid, lo);
            if (less(a[hi], a[lo])) swap(hi, lo);
            if (less(a[hi], a[mid])) swap(hi, mid);
            void* pivot = a[mid];

            // Hoare partition: both scans stop on elements equal to the
            // pivot, so runs of equal keys split in the middle.
            int32_t i = lo - 1;
            int32_t j = hi + 1;
            for (;;) {
                do ++i; while (i < hi && less(a[i], pivot));
                do --j; while (j > lo && less(pivot, a[j]));
                if (i >= j) break;
                swap(i, j);
            }
            // Only an inconsistent comparison can leave j at hi; keep progress.
            if (j >= hi) j = hi - 1;

            if (j - lo < hi - j - 1) {
                quickSort(lo, j, depthBudget);
                lo = j + 1;
            } else {
                quickSort(j + 1, hi, depthBudget);
                hi = j;
            }
        }
        insertionSort(lo, hi);
    }
};

}  // namespace

void ExtPtrArray::Sort(CompareFn compare, void* context) {
    if (!compare || count_ < 2) return;
    int32_t budget = 0;
    for (int32_t n = count_; n > 1; n >>= 1) budget += 2;
    Sorter sorter{elements_, compare, context};
    sorter.quickSort(0, count_ - 1, budget);
}

}  // namespace tarvex
