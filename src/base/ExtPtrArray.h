// ExtPtrArray: a growable array of pointers whose growth step doubles up to
// 100000 slots. Holds children of tree nodes and serves as the explicit stack
// of every iterative tree walk. It does not own its elements unless told to
// delete them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

class ExtPtrArray {
public:
    static constexpr int32_t kMaxStep = 100000;

    // Step 5, capacity 0, no slots.
    ExtPtrArray() : step_(5), capacity_(0), count_(0), elements_(nullptr) {}
    ExtPtrArray(int32_t capacity, int32_t step);    // values below 1 become 5
    ~ExtPtrArray() {
        if (!deferred_ && !outer_ && elements_) FreeBlock();
    }
    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;

    // Array objects live in the library's allocator.
    static void* operator new(size_t n);
    static void operator delete(void* p);

    // Empties the array and frees its block. No block is made until a second
    // element arrives: a lone element is held in the array object itself, and
    // the block then gets `capacity` slots (values below 1 become 5), so the
    // capacities and steps read back are those of an eagerly made block.
    void ResetDeferred(int32_t capacity, int32_t step) {
        if (!deferred_ && !outer_ && elements_) FreeBlock();
        outer_ = false;
        step_ = step < 1 ? 5 : step;
        capacity_ = capacity < 1 ? 5 : capacity;
        count_ = 0;
        deferred_ = true;
        one_ = nullptr;
    }
    // Blocks owned by someone else (a tree's heap): the array neither frees
    // nor resizes such a block. Its owner grows it: when Full(), it makes a
    // block of GrowthCapacity() slots, with the current block's slots moved
    // in (OuterBlock(), null when there is none), and hands it over with
    // UseOuterBlock. An Append on a full outer block copies the slots to a
    // block of the array's own. The slots of an outer block past the count
    // are left as they are (its owner need not clear them).
    bool Full() const { return deferred_ ? count_ >= 1 : count_ >= capacity_; }
    int32_t GrowthCapacity() const;
    void** OuterBlock() const { return outer_ && !deferred_ ? elements_ : nullptr; }
    void UseOuterBlock(void** block, int32_t capacity);

    // Exchanges the contents of two arrays.
    void Swap(ExtPtrArray& other);

    void Append(void* p) {
        if (deferred_ && count_ == 0) {
            one_ = p;
            count_ = 1;
            return;
        }
        if (!deferred_ && count_ < capacity_) {
            elements_[count_++] = p;
            return;
        }
        AppendSlow(p);
    }
    void* Get(int32_t i) const {
        return (i >= 0 && i < count_) ? Slots()[i] : nullptr;
    }
    void* Last() const { return count_ > 0 ? Slots()[count_ - 1] : nullptr; }
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t Step() const { return step_; }
    void* RemoveAt(int32_t i);
    void* Pop() { return count_ > 0 ? Slots()[--count_] : nullptr; }
    void Clear() { count_ = 0; }
    void Set(int32_t i, void* p);          // replaces element i (in range only)
    void** Elements() { return deferred_ ? &one_ : elements_; }
    void* const* Elements() const { return Slots(); }

    // Destroys every non-null element as a T, then empties the array.
    template <typename T>
    void DeleteAll() {
        void** slots = Elements();
        for (int32_t i = 0; i < count_; ++i) delete static_cast<T*>(slots[i]);
        count_ = 0;
    }

    // Comparison callback: returns <0, 0 or >0.
    using CompareFn = int (*)(const void* a, const void* b, void* context);

    // In-place quicksort, not stable. Median-of-three pivots, insertion sort
    // for short ranges, recursion only into the smaller part and a heapsort
    // fallback, so no input makes it quadratic or deeply recursive.
    void Sort(CompareFn compare, void* context);

private:
    void* const* Slots() const { return deferred_ ? &one_ : elements_; }
    void AppendSlow(void* p);
    void FreeBlock();
    void Grow();

    int32_t step_;
    int32_t capacity_;
    int32_t count_;
    // True while no block exists and at most one element is held, in one_.
    bool deferred_ = false;
    // True when the block belongs to someone else (see UseOuterBlock).
    bool outer_ = false;
    union {
        void** elements_;
        void* one_;
    };
};

}  // namespace tarvex
