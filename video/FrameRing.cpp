#include "video/FrameRing.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <QDebug>

FrameRing::~FrameRing() {
    release();
}

bool FrameRing::allocate(bool continueOnFailure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    bool all = true;
    for (int i = 0; i < kSlots; ++i) {
        if (m_frames[i])
            continue;
        m_frames[i] = av_frame_alloc();
        if (!m_frames[i]) {
            qDebug("alloc m_kcpFrames %d failed!\n", i);
            all = false;
            if (!continueOnFailure)
                break;
        }
    }
    m_allocated = all;
    m_read = m_written;
    return all;
}

void FrameRing::release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < kSlots; ++i) {
        av_frame_free(&m_frames[i]);
        m_meta[i] = PictureMeta{};
    }
    m_read = m_written;
    m_allocated = false;
}

bool FrameRing::allocated() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocated;
}

void FrameRing::publish(AVFrame* picture, const PictureMeta& meta) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t slot = m_written % kSlots;
        if (!m_frames[slot])
            return;
        if (m_written - m_read >= static_cast<uint64_t>(kSlots)) {
            // The slot still holds the oldest waiting picture.
            ++m_read;
            ++m_dropped;
        }
        av_frame_unref(m_frames[slot]);
        av_frame_move_ref(m_frames[slot], picture);
        m_meta[slot] = meta;
        ++m_written;
    }
    m_ready.notify_one();
}

bool FrameRing::take(AVFrame* out, PictureMeta& meta) {
    av_frame_unref(out);
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [&] { return m_written != m_read || m_interrupted; });
    if (m_interrupted || m_written == m_read)
        return false;
    const uint64_t waiting = m_written - m_read;
    if (waiting > static_cast<uint64_t>(kBacklogAbove)) {
        m_dropped += waiting - 1;
        m_read = m_written - 1;
    }
    const size_t slot = m_read % kSlots;
    ++m_read;
    if (m_frames[slot] && m_frames[slot]->buf[0])
        av_frame_ref(out, m_frames[slot]);
    meta = m_meta[slot];
    return true;
}

void FrameRing::interrupt(bool on) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = on;
    }
    m_ready.notify_all();
}

void FrameRing::clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_read = m_written;
}

int FrameRing::waiting() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_written - m_read);
}

uint64_t FrameRing::dropped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}
