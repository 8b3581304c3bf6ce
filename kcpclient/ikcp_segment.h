#pragma once

// Segment storage of the KCP engine: a segment record that carries its payload
// in the same allocation, a doubly linked list threaded through the records
// themselves (moving a segment from one queue to another allocates nothing),
// and a bounded pool of free records for reuse.

#include <cstddef>
#include <cstdint>

using IUINT32 = uint32_t;
using IINT32 = int32_t;

struct IKCPNODE {
    IKCPNODE* prev = nullptr;
    IKCPNODE* next = nullptr;
};

// One queued segment; its len payload bytes follow the record in memory.
struct IKCPSEG : IKCPNODE {
    IUINT32 conv = 0;
    IUINT32 cmd = 0;
    IUINT32 frg = 0;
    IUINT32 wnd = 0;
    IUINT32 ts = 0; // time of the latest transmission (sent) or the sender's (received)
    IUINT32 sn = 0;
    IUINT32 una = 0;
    IUINT32 len = 0;
    IUINT32 resendts = 0;
    IUINT32 rto = 0;
    IUINT32 fastack = 0;
    IUINT32 xmit = 0;
    IUINT32 capacity = 0; // payload bytes the allocation has room for

    char* data() { return reinterpret_cast<char*>(this + 1); }
    const char* data() const { return reinterpret_cast<const char*>(this + 1); }
};

// A record with room for capacity payload bytes, or none when memory is
// exhausted.
IKCPSEG* ikcp_segment_new(IUINT32 capacity) noexcept;
void ikcp_segment_delete(IKCPSEG* seg) noexcept;

// A list that owns its segments: destroying or clearing it frees them. A
// segment is in at most one list at a time.
class IkcpList {
public:
    template <typename Seg, typename Node> class basic_iterator {
    public:
        explicit basic_iterator(Node* node) : node_(node) {}
        Seg& operator*() const { return *static_cast<Seg*>(node_); }
        Seg* operator->() const { return static_cast<Seg*>(node_); }
        basic_iterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        basic_iterator& operator--() {
            node_ = node_->prev;
            return *this;
        }
        bool operator==(const basic_iterator& other) const { return node_ == other.node_; }
        bool operator!=(const basic_iterator& other) const { return node_ != other.node_; }
        Node* node() const { return node_; }

    private:
        Node* node_;
    };
    using iterator = basic_iterator<IKCPSEG, IKCPNODE>;
    using const_iterator = basic_iterator<const IKCPSEG, const IKCPNODE>;

    IkcpList() noexcept { head_.prev = head_.next = &head_; }
    ~IkcpList() { clear(); }
    IkcpList(const IkcpList&) = delete;
    IkcpList& operator=(const IkcpList&) = delete;

    bool empty() const { return head_.next == &head_; }
    size_t size() const { return size_; }
    IKCPSEG& front() { return *static_cast<IKCPSEG*>(head_.next); }
    const IKCPSEG& front() const { return *static_cast<const IKCPSEG*>(head_.next); }
    IKCPSEG& back() { return *static_cast<IKCPSEG*>(head_.prev); }
    const IKCPSEG& back() const { return *static_cast<const IKCPSEG*>(head_.prev); }
    iterator begin() { return iterator(head_.next); }
    iterator end() { return iterator(&head_); }
    const_iterator begin() const { return const_iterator(head_.next); }
    const_iterator end() const { return const_iterator(&head_); }

    // Links seg in before position.
    void insert(iterator position, IKCPSEG* seg) noexcept {
        IKCPNODE* next = position.node();
        seg->prev = next->prev;
        seg->next = next;
        next->prev->next = seg;
        next->prev = seg;
        size_++;
    }
    void push_back(IKCPSEG* seg) noexcept { insert(end(), seg); }
    // Unlinks seg (which must be in this list) and hands it to the caller.
    IKCPSEG* unlink(IKCPSEG* seg) noexcept {
        seg->prev->next = seg->next;
        seg->next->prev = seg->prev;
        seg->prev = seg->next = nullptr;
        size_--;
        return seg;
    }
    IKCPSEG* pop_front() noexcept { return unlink(&front()); }
    // Moves every segment of other to the end of this list.
    void splice_back(IkcpList& other) noexcept {
        if (other.empty())
            return;
        IKCPNODE* first = other.head_.next;
        IKCPNODE* last = other.head_.prev;
        first->prev = head_.prev;
        last->next = &head_;
        head_.prev->next = first;
        head_.prev = last;
        size_ += other.size_;
        other.head_.prev = other.head_.next = &other.head_;
        other.size_ = 0;
    }
    void clear() noexcept {
        while (!empty())
            ikcp_segment_delete(pop_front());
    }

private:
    IKCPNODE head_;
    size_t size_ = 0;
};

// Free records kept for reuse, at most as many as the caller allows.
class IkcpPool {
public:
    IkcpPool() = default;
    ~IkcpPool() { clear(); }
    IkcpPool(const IkcpPool&) = delete;
    IkcpPool& operator=(const IkcpPool&) = delete;

    // A cleared record with room for capacity payload bytes: a pooled one
    // when it is large enough, else a new one; none when memory is exhausted.
    IKCPSEG* take(IUINT32 capacity) noexcept;
    // Keeps seg for reuse when it has room for exactly capacity bytes and
    // fewer than limit records are pooled; frees it otherwise.
    void give(IKCPSEG* seg, size_t limit, IUINT32 capacity) noexcept;
    void clear() noexcept;
    size_t size() const { return count_; }

private:
    IKCPSEG* free_ = nullptr; // chained through next
    size_t count_ = 0;
};
