#pragma once

#include "video/FrameConvert.h"

#include <QList>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct AVFrame;

// One access unit waiting for the decoder: its bytes (shared with the media
// client's buffer), its length and the side information that came with it.
struct StreamUnit {
    std::shared_ptr<std::string> data;
    int length = 0;
    SideInfo info{};
};

// The queue between the fetch and decode threads. Both sides take its mutex
// with a short try-lock and skip their step when it is busy.
class StreamQueue {
public:
    static constexpr int kLockWaitMs = 5;
    // More than this many waiting units are flushed down to the newest one.
    static constexpr int kFlushAbove = 10;

    // Appends the unit unless the mutex stays busy for kLockWaitMs.
    bool tryAppend(StreamUnit unit);
    // The decode thread's step: flushes a backlog down to its newest unit,
    // then moves the front unit into `out`. False when nothing was taken.
    bool takeForDecode(StreamUnit& out);
    int size() const { return m_count.load(); }
    void clear();

private:
    bool lockWithin(int ms);

    std::mutex m_mutex;
    QList<StreamUnit> m_units;
    std::atomic<int> m_count{0};
};

// One picture slot of the ring: the frame (allocated once, reused) and the
// side information of the unit it was decoded from. The slot lock is held only
// while a picture is moved in or a reference to it is taken, never while a
// picture is decoded or converted.
struct FrameSlot {
    AVFrame* frame = nullptr;
    SideInfo info{};
    std::mutex lock;
};

// The ring of eight picture slots between the decode and display threads.
class FrameRing {
public:
    static constexpr int kSlots = 8;
    // With more than this many full slots the display jumps to the newest.
    static constexpr int kBacklogAbove = 6;

    FrameRing() = default;
    ~FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Allocates the slot frames; logs and stops at the first failure unless
    // `continueOnFailure`. True when all eight exist.
    bool allocate(bool continueOnFailure = false);
    void release();
    bool allocated() const { return m_allocated; }

    // --- decode thread
    // Resets the write index to 0 and empties the ring.
    void resetWriter();
    int writeSlot() const { return static_cast<int>(m_writeIndex.load() % kSlots); }
    // Moves `picture` (and the info) into the write slot.
    void store(AVFrame* picture, const SideInfo& info);
    // Marks the write slot full (after its picture is complete) and advances.
    void publish();

    // --- display thread
    int fullCount() const;
    // Takes the next picture for the display, whose read index is `readIndex`:
    // with more than six full slots it jumps to the newest and discards the
    // others. `out` receives a new reference to the slot's picture (empty when
    // the slot has none). False when no slot is full.
    bool take(unsigned& readIndex, AVFrame* out, SideInfo& info);

    unsigned writeIndex() const { return m_writeIndex.load(); }

private:
    std::array<FrameSlot, kSlots> m_slots;
    std::array<std::atomic<uint8_t>, kSlots> m_slotFull{};
    std::atomic<unsigned> m_writeIndex{0};
    bool m_allocated = false;
};

// The fetch thread's admission rules for units pulled from the media client:
// nothing before the first key frame, nothing for the first second after a
// start, a pause or a lost connection, never a side-information unit.
class FetchGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettle{1000};

    enum class Verdict { Queue, NotKeyFrame, Settling, SideInfoUnit };

    explicit FetchGate(Clock::time_point now) : m_settleMark(now) {}

    // The link is down: wait for a key frame again and restart the settle time.
    void disconnected(Clock::time_point now);
    // The pipeline is paused: restart the settle time (the key frame stays seen).
    void paused(Clock::time_point now);
    // Judges one unit pulled at `now`.
    Verdict admit(const std::string& unit, Clock::time_point now);

    bool keyFrameSeen() const { return m_keyFrameSeen; }

private:
    bool m_keyFrameSeen = false;
    Clock::time_point m_settleMark;
};
