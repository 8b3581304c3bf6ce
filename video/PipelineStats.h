#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Counters of the video pipeline, counted as the work happens (one atomic
// increment per event) and read as a whole by whoever shows or measures them.
struct PipelineStats {
    uint64_t unitsReceived = 0;   // video units pulled from the media client
    uint64_t bytesReceived = 0;   // their bytes
    uint64_t unitsAdmitted = 0;   // handed to the unit sinks
    uint64_t unitsGated = 0;      // held back: settling, or waiting for a key frame
    uint64_t unitsQueueFull = 0;  // let go by the decoder's full queue
    uint64_t unitsDecoded = 0;    // handed to the decoder
    uint64_t decodeErrors = 0;    // units that gave an error instead of a picture
    uint64_t picturesDecoded = 0; // pictures out of the decoder
    uint64_t picturesDropped = 0; // let go because the display fell behind
    uint64_t picturesBusy = 0;    // not converted: no sink wanted them (render busy)
    uint64_t picturesShown = 0;   // converted and handed to the picture sinks
    uint64_t decodeMicros = 0;    // time spent decoding, in total
    int64_t lastPictureUs = 0;    // steady-clock time of the last picture handed out
    int width = 0;                // of the last picture
    int height = 0;
    size_t decodeQueueDepth = 0; // units waiting for the decoder now
    size_t decodeQueueMax = 0;   // most units waiting at once
    // What decodes: a hardware device type's name ("vaapi", "d3d11va", ...)
    // or "software" (static text).
    const char* decoder = "software";
    uint64_t decoderSwitches = 0; // decoders replaced because they failed on the stream
    // Hardware device types not used although asked for, each with why
    // ("vaapi (no device)", ...); empty when none.
    std::string unusedHardware;
};
