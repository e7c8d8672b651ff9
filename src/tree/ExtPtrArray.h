// ExtPtrArray: a growable array of pointers whose growth step doubles up to
// 100000 slots. Holds children of tree nodes and serves as the explicit stack
// of every iterative tree walk. It does not own its elements unless told to
// delete them.
#pragma once

#include <cstdint>

namespace tarvex {

class ExtPtrArray {
public:
    static constexpr int32_t kMaxStep = 100000;

    ExtPtrArray();                                  // step 5, capacity 0, no slots
    ExtPtrArray(int32_t capacity, int32_t step);    // values below 1 become 5
    ~ExtPtrArray();
    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;

    void Append(void* p);
    void* Get(int32_t i) const;
    void* Last() const;
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t Step() const { return step_; }
    void* RemoveAt(int32_t i);
    void* Pop();
    void Clear() { count_ = 0; }
    void Set(int32_t i, void* p);          // replaces element i (in range only)
    void** Elements() { return elements_; }

    // Destroys every non-null element with `destroy`, then empties the array.
    template <typename T>
    void DeleteAll() {
        for (int32_t i = 0; i < count_; ++i) delete static_cast<T*>(elements_[i]);
        count_ = 0;
    }

    // In-place quicksort, not stable. compare returns <0, 0, >0.
    void Sort(int (*compare)(const void* a, const void* b, void* context), void* context);

private:
    int32_t step_;
    int32_t capacity_;
    int32_t count_;
    void** elements_;
};

}  // namespace tarvex
