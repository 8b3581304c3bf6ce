#pragma once

// The simulated camera's H.264 (its synthetic scene, encoded as it encodes
// it: one key frame with SPS and PPS a second, no B-frames) as the video
// units the fetch stage hands to the unit sinks, with made-up times. Link
// camsim_video.

#include "tools/camsim/video/SyntheticVideoSource.h"
#include "video/H264Inspect.h"
#include "video/VideoUnit.h"

#include <cstdint>
#include <memory>
#include <vector>

class SyntheticUnits {
public:
    // `cameraTicks`: ticks of the camera's time per picture (0: no trailer),
    // starting at `cameraStart`; arrival times step by `arrivalStepUs`; the
    // stream is encoded for `framesPerSecond`.
    SyntheticUnits(int width, int height, int64_t cameraTicks = 33333,
                   int64_t cameraStart = 1000000, int64_t arrivalStepUs = 33333,
                   int framesPerSecond = 30)
        : m_source(framesPerSecond), m_cameraTicks(cameraTicks), m_camera(cameraStart),
          m_arrivalStep(arrivalStepUs) {
        resize(width, height);
    }

    // The camera's time as an encoder stamps its pictures: the picture's place
    // at `fps` a second in ticks of `ticksPerSecond`, rounded down (in
    // milliseconds at 30 a second: steps of 33, 33 and 34), from `cameraStart`.
    void stampAtRate(int64_t ticksPerSecond, int fps) {
        m_rateTicks = ticksPerSecond;
        m_rateFps = fps;
    }
    // Arrival times late by up to `us` (a pseudo-random share of it each).
    void jitterArrival(int64_t us) { m_jitter = us; }

    // Pictures from the next key frame on have the new size.
    void resize(int width, int height) {
        camsim::VideoSettings settings;
        settings.width = width;
        settings.height = height;
        m_source.configure(settings);
    }

    VideoUnit next() {
        camsim::VideoFrame frame;
        VideoUnit unit;
        if (!m_source.nextFrame(frame) || frame.accessUnit.empty())
            return unit;
        unit.data = std::make_shared<const std::string>(frame.accessUnit);
        unit.keyFrame = isKeyFrameUnit(frame.accessUnit);
        unit.sequence = ++m_sequence;
        unit.cameraTime = m_cameraTicks != 0 ? m_camera : 0;
        if (m_rateFps > 0)
            unit.cameraTime =
                m_camera + static_cast<int64_t>(m_sequence - 1) * m_rateTicks / m_rateFps;
        unit.arrivalUs = m_arrival;
        if (m_jitter > 0)
            unit.arrivalUs += static_cast<int64_t>(m_sequence * 7919 % 1000) * m_jitter / 1000;
        unit.side = std::make_shared<const SideInfo>(SideInfo{});
        if (m_rateFps <= 0)
            m_camera += m_cameraTicks;
        m_arrival += m_arrivalStep;
        return unit;
    }

    std::vector<VideoUnit> take(int n) {
        std::vector<VideoUnit> out;
        for (int i = 0; i < n; ++i)
            out.push_back(next());
        return out;
    }

private:
    camsim::SyntheticVideoSource m_source;
    int64_t m_cameraTicks;
    int64_t m_camera;
    int64_t m_arrival = 5000000;
    int64_t m_arrivalStep;
    uint64_t m_sequence = 0;
    int64_t m_rateTicks = 0;
    int m_rateFps = 0;
    int64_t m_jitter = 0;
};
