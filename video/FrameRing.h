#pragma once

#include "video/FrameConvert.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

struct AVFrame;

// What a picture carries from the unit it was decoded from.
struct PictureMeta {
    std::shared_ptr<const SideInfo> side;
    uint64_t sequence = 0;
    int64_t cameraTime = 0;
    int64_t arrivalUs = 0;
};

// The ring of eight picture slots between the decode and display threads.
// The slot frames are allocated once and reused; a picture moves into a slot
// by reference (no copy), and the display takes its own reference, so the
// decoder may refill a slot while the display still converts its picture.
// The display sleeps in take() until a picture is published.
class FrameRing {
public:
    static constexpr int kSlots = 8;
    // With more than this many pictures waiting, the display jumps to the newest.
    static constexpr int kBacklogAbove = 6;

    FrameRing() = default;
    ~FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Allocates the slot frames; logs "alloc m_kcpFrames %d failed!" and stops
    // at the first failure unless `continueOnFailure`. True when all eight exist.
    bool allocate(bool continueOnFailure = false);
    // Frees the slot frames (and forgets what was waiting).
    void release();
    bool allocated() const;

    // Decode thread: moves `picture` into the next slot and wakes the
    // display. When all eight slots wait already, the oldest picture gives
    // way (counted). Does nothing without slot frames.
    void publish(AVFrame* picture, const PictureMeta& meta);

    // Display thread: waits for a picture unless interrupted. `out`
    // (unreferenced first) receives a reference to the oldest waiting
    // picture; with more than six waiting, to the newest, and the others are
    // dropped (counted). False when interrupted or nothing was there.
    bool take(AVFrame* out, PictureMeta& meta);
    // While interrupted, take() returns at once (for a pause or a stop).
    void interrupt(bool on);
    // Forgets the waiting pictures (not counted).
    void clear();

    int waiting() const;
    // Pictures dropped because the display fell behind.
    uint64_t dropped() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::array<AVFrame*, kSlots> m_frames{};
    std::array<PictureMeta, kSlots> m_meta{};
    uint64_t m_written = 0; // pictures published
    uint64_t m_read = 0;    // pictures taken or dropped
    bool m_interrupted = false;
    uint64_t m_dropped = 0;
    bool m_allocated = false;
};
