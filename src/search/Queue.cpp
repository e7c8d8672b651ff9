#include "search/Queue.h"

#include "base/Memory.h"

namespace tarvex {

Queue::~Queue() {
    FreeList(head_);
    FreeList(spare_);
}

void Queue::FreeList(Entry* e) {
    while (e) {
        Entry* next = e->next;
        memFree(e);
        e = next;
    }
}

void Queue::Push(void* p) {
    Entry* e = spare_;
    if (e) {
        spare_ = e->next;
    } else {
        e = static_cast<Entry*>(memAlloc(sizeof(Entry)));
    }
    e->item = p;
    e->next = nullptr;
    if (tail_) {
        tail_->next = e;
    } else {
        head_ = e;
    }
    tail_ = e;
    ++count_;
}

void* Queue::Pop() {
    Entry* e = head_;
    if (!e) return nullptr;
    head_ = e->next;
    if (!head_) tail_ = nullptr;
    void* item = e->item;
    e->next = spare_;
    spare_ = e;
    --count_;
    return item;
}

}  // namespace tarvex
