#pragma once

#include "video/FrameConvert.h"

#include <cstdint>
#include <memory>
#include <string>

// One H.264 access unit as the fetch stage admits it, with what it knows
// about the unit. Copies are cheap: the bytes and the side information are
// shared, and nobody may change them.
struct VideoUnit {
    // The access unit in Annex B form (four-byte start codes), without the
    // camera's time trailer.
    std::shared_ptr<const std::string> data;
    // The unit's time from the camera's time trailer, in the camera's unit;
    // 0 when the unit carried none.
    int64_t cameraTime = 0;
    // When the media client had the unit whole (steady-clock microseconds).
    int64_t arrivalUs = 0;
    // The unit holds an SPS, a PPS and an IDR slice: decoding (or a file) can
    // start here.
    bool keyFrame = false;
    // Counts the units admitted since the pipeline was built, from 1.
    uint64_t sequence = 0;
    // The camera's latest side information (target boxes) when the unit was
    // admitted; never null, all zero before the first one came.
    std::shared_ptr<const SideInfo> side;

    // The time sinks use: the camera's time when there is one, else arrival.
    bool hasCameraTime() const { return cameraTime != 0; }
};

// Why the stream of units was interrupted.
enum class StreamBreak {
    LinkLost,   // the control link to the camera went down
    NewSession, // the media link started over (units may be missing)
    Paused,     // the pipeline was paused (e.g. for a resolution change)
    Stopped,    // the pipeline ends
};

// A consumer of the camera's H.264 units: the decoder is the first; a
// recorder or a network output plugs in the same way (videoctl::addUnitSink).
//
// The fetch thread calls every sink in the order they were added, with every
// admitted unit in the camera's order. A stream always starts, and starts
// again after each break, with a key frame, and a sink added while the video
// runs gets its first unit at the next key frame, so a sink never sees a unit
// whose references it has not seen. Calls must return quickly and never block: a
// sink that writes, sends or decodes queues the unit (a UnitQueue) and does
// the work on a thread of its own.
class UnitSink {
public:
    virtual ~UnitSink() = default;
    // One admitted unit.
    virtual void onUnit(const VideoUnit& unit) = 0;
    // The stream was interrupted; the next unit (if any) is a key frame.
    virtual void onStreamBreak(StreamBreak reason) { (void)reason; }
};
