#include "video/VideoQueues.h"

#include "video/H264Inspect.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QDebug>

#include <thread>

// A try-lock with a time limit, polled: the threads skip their step rather
// than wait for each other.
bool StreamQueue::lockWithin(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (m_mutex.try_lock())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

bool StreamQueue::tryAppend(StreamUnit unit) {
    if (!lockWithin(kLockWaitMs))
        return false;
    m_units.append(std::move(unit));
    m_count = m_units.size();
    m_mutex.unlock();
    return true;
}

bool StreamQueue::takeForDecode(StreamUnit& out) {
    const int waiting = m_count.load();
    if (waiting > kFlushAbove) {
        const bool locked = lockWithin(kLockWaitMs);
        qDebug() << "m_kcpStrQue count " << waiting << ",,, flush";
        if (locked) {
            while (m_units.size() > 1)
                m_units.removeFirst();
            m_count = m_units.size();
            m_mutex.unlock();
        }
    }
    if (!lockWithin(kLockWaitMs))
        return false;
    bool taken = false;
    if (!m_units.isEmpty()) {
        out = m_units.takeFirst();
        taken = true;
    }
    m_count = m_units.size();
    m_mutex.unlock();
    return taken;
}

void StreamQueue::clear() {
    std::lock_guard<std::mutex> locker(m_mutex);
    m_units.clear();
    m_count = 0;
}

FrameRing::~FrameRing() {
    release();
}

bool FrameRing::allocate(bool continueOnFailure) {
    bool all = true;
    for (int i = 0; i < kSlots; ++i) {
        std::lock_guard<std::mutex> guard(m_slots[i].lock);
        if (m_slots[i].frame)
            continue;
        m_slots[i].frame = av_frame_alloc();
        if (!m_slots[i].frame) {
            qDebug("alloc m_kcpFrames %d failed!\n", i);
            all = false;
            if (!continueOnFailure)
                break;
        }
    }
    m_allocated = all;
    return all;
}

void FrameRing::release() {
    for (int i = 0; i < kSlots; ++i) {
        std::lock_guard<std::mutex> guard(m_slots[i].lock);
        av_frame_free(&m_slots[i].frame);
        m_slotFull[i].store(0, std::memory_order_release);
    }
    m_allocated = false;
}

void FrameRing::resetWriter() {
    m_writeIndex = 0;
    for (auto& full : m_slotFull)
        full.store(0, std::memory_order_release);
}

void FrameRing::store(AVFrame* picture, const SideInfo& info) {
    FrameSlot& slot = m_slots[writeSlot()];
    std::lock_guard<std::mutex> guard(slot.lock);
    if (slot.frame) {
        av_frame_unref(slot.frame);
        av_frame_move_ref(slot.frame, picture);
    }
    slot.info = info;
}

void FrameRing::publish() {
    m_slotFull[writeSlot()].store(1, std::memory_order_release);
    m_writeIndex.fetch_add(1);
}

int FrameRing::fullCount() const {
    int n = 0;
    for (const auto& full : m_slotFull)
        n += full.load(std::memory_order_acquire) ? 1 : 0;
    return n;
}

bool FrameRing::take(unsigned& readIndex, AVFrame* out, SideInfo& info) {
    const int full = fullCount();
    if (full == 0)
        return false;
    if (full > kBacklogAbove) {
        readIndex = m_writeIndex.load() - 1;
        for (int i = 0; i < kSlots; ++i) {
            if (i != static_cast<int>(readIndex % kSlots))
                m_slotFull[i].store(0, std::memory_order_release);
        }
    }
    const int s = static_cast<int>(readIndex % kSlots);
    // The slot is taken even when its own flag is clear: the test above is on
    // the whole ring.
    av_frame_unref(out);
    {
        FrameSlot& slot = m_slots[s];
        std::lock_guard<std::mutex> guard(slot.lock);
        if (slot.frame && slot.frame->buf[0])
            av_frame_ref(out, slot.frame);
        info = slot.info;
    }
    m_slotFull[s].store(0, std::memory_order_release);
    ++readIndex;
    return true;
}

void FetchGate::disconnected(Clock::time_point now) {
    m_keyFrameSeen = false;
    m_settleMark = now;
}

void FetchGate::paused(Clock::time_point now) {
    m_settleMark = now;
}

FetchGate::Verdict FetchGate::admit(const std::string& unit, Clock::time_point now) {
    if (!m_keyFrameSeen) {
        if (!inspectAccessUnit(unit).isKeyFrame)
            return Verdict::NotKeyFrame;
    }
    m_keyFrameSeen = true;
    if (now - m_settleMark < kSettle)
        return Verdict::Settling;
    if (unit.size() > 4 && static_cast<uint8_t>(unit[4]) == 0x0D)
        return Verdict::SideInfoUnit;
    return Verdict::Queue;
}
