#include "kcpclient/ikcp_segment.h"

#include <new>

IKCPSEG* ikcp_segment_new(IUINT32 capacity) noexcept {
    void* memory = ::operator new(sizeof(IKCPSEG) + capacity, std::nothrow);
    if (!memory)
        return nullptr;
    auto* seg = new (memory) IKCPSEG();
    seg->capacity = capacity;
    return seg;
}

void ikcp_segment_delete(IKCPSEG* seg) noexcept {
    if (!seg)
        return;
    seg->~IKCPSEG();
    ::operator delete(seg);
}

IKCPSEG* IkcpPool::take(IUINT32 capacity) noexcept {
    IKCPSEG* seg = free_;
    if (!seg || seg->capacity < capacity)
        return ikcp_segment_new(capacity);
    free_ = static_cast<IKCPSEG*>(seg->next);
    count_--;
    IUINT32 room = seg->capacity;
    seg = new (seg) IKCPSEG();
    seg->capacity = room;
    return seg;
}

void IkcpPool::give(IKCPSEG* seg, size_t limit, IUINT32 capacity) noexcept {
    if (count_ >= limit || seg->capacity != capacity) {
        ikcp_segment_delete(seg);
        return;
    }
    seg->prev = nullptr;
    seg->next = free_;
    free_ = seg;
    count_++;
}

void IkcpPool::clear() noexcept {
    while (free_) {
        IKCPSEG* seg = free_;
        free_ = static_cast<IKCPSEG*>(seg->next);
        ikcp_segment_delete(seg);
    }
    count_ = 0;
}
