// ExtIntArray: a growable array of signed 32-bit integers whose growth step
// doubles up to 500000 elements.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvex {

class ExtIntArray {
public:
    static constexpr int32_t kMaxStep = 500000;

    ExtIntArray(int32_t capacity, int32_t step);    // a capacity below 1 becomes 2
    ~ExtIntArray();
    ExtIntArray(const ExtIntArray&) = delete;
    ExtIntArray& operator=(const ExtIntArray&) = delete;

    static void* operator new(size_t n);
    static void operator delete(void* p);

    void Append(int32_t v);
    int32_t Get(int32_t i) const {                  // 0 out of range
        return (i >= 0 && i < count_) ? elements_[i] : 0;
    }
    void Set(int32_t i, int32_t v);                 // in range only
    void RemoveAt(int32_t i);                       // ignores an index out of range
    int32_t Count() const { return count_; }
    int32_t Capacity() const { return capacity_; }
    int32_t Step() const { return step_; }
    void Clear() { count_ = 0; }
    const int32_t* Elements() const { return elements_; }

private:
    void Grow();

    int32_t step_;
    int32_t capacity_;
    int32_t count_;
    int32_t* elements_;
};

}  // namespace tarvex
