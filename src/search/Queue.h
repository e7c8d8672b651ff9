// Queue: first-in first-out queue of pointers, kept as a singly linked list of
// small entries with a head and a tail. Popped entries are kept on a free list
// and reused, so a long breadth-first walk allocates only as many entries as
// the queue ever held at once.
#pragma once

#include <cstdint>

namespace tarvex {

class Queue {
public:
    Queue() = default;
    ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    void Push(void* p);
    void* Pop();                    // null when empty
    bool IsEmpty() const { return head_ == nullptr; }
    int32_t Count() const { return count_; }

private:
    struct Entry {
        void* item;
        Entry* next;
    };
    static void FreeList(Entry* e);

    Entry* head_ = nullptr;
    Entry* tail_ = nullptr;
    Entry* spare_ = nullptr;
    int32_t count_ = 0;
};

}  // namespace tarvex
