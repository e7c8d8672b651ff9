// ExtPtrArray: a growable array of pointers whose growth step doubles up to
// 100000 slots. Serves as the explicit stack of every iterative tree walk and
// as a general list. It does not own its elements unless told to delete them.
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
        if (elements_) FreeBlock();
    }
    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;

    // Array objects live in the library's allocator.
    static void* operator new(size_t n);
    static void operator delete(void* p);

    void Append(void* p) {
        if (count_ < capacity_) {
            elements_[count_++] = p;
            return;
        }
        AppendSlow(p);
    }
    void* Get(int32_t i) const {
        return (i >= 0 && i < count_) ? elements_[i] : nullptr;
    }
    void* Last() const { return count_ > 0 ? elements_[count_ - 1] : nullptr; }
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t Step() const { return step_; }
    void* RemoveAt(int32_t i);
    void* Pop() { return count_ > 0 ? elements_[--count_] : nullptr; }
    void Clear() { count_ = 0; }
    void Set(int32_t i, void* p);          // replaces element i (in range only)
    void** Elements() { return elements_; }
    void* const* Elements() const { return elements_; }

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
    void AppendSlow(void* p);
    void FreeBlock();
    void Grow();

    int32_t step_;
    int32_t capacity_;
    int32_t count_;
    void** elements_;
};

}  // namespace tarvex
