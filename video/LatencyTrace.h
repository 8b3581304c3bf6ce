#pragma once

// Per-frame latency marks of the video pipeline for the end-to-end
// benchmarks. Compiled in only with the CMake option ORUN_LATENCY_TRACE; in
// every other build the functions below are empty inline functions and cost
// nothing. Even when compiled in, nothing is recorded before setEnabled(true).
//
// A frame is known by the camera's send time (the time trailer, steady-clock
// microseconds when the camera is camsim on the same machine); units and
// pictures carry it through the pipeline, and the widget finds it again by
// the picture's pixel address.

#include <chrono>
#include <cstdint>
#include <vector>

namespace latencytrace {

struct FrameMarks {
    int64_t sendUs = 0;     // the camera queued the frame on its media link
    int64_t wholeUs = 0;    // the media client had the frame whole
    int64_t fetchUs = 0;    // the fetch thread admitted it
    int64_t decodeUs = 0;   // the decode thread started decoding it
    int64_t shownUs = 0;    // the display thread emitted signal_showVideoFrame
    int64_t receivedUs = 0; // the widget's slot received the picture
    int64_t paintUs = 0;    // first paintGL after the picture's upload
};

// Microseconds of the steady clock (the camera's unit on the same machine).
inline int64_t nowMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#ifdef ORUN_LATENCY_TRACE

void setEnabled(bool enabled);
bool enabled();
// Fetch thread: a unit with send time `sendUs` (0: none) that the media
// client had whole at `wholeUs` was admitted.
void unitFetched(int64_t sendUs, int64_t wholeUs);
// Decode thread: decoding of the unit with send time `sendUs` starts.
void decodeStarted(int64_t sendUs);
// Display thread, just before the picture with pixels at `pixels` is emitted.
void pictureShown(const void* pixels, int64_t sendUs);
// Widget slot: the picture with pixels at `pixels` becomes the widget's image.
void pictureReceived(const void* pixels);
// paintGL after the texture upload: the current image has been painted.
void painted();
// All frames seen so far, in send order; the record is emptied.
std::vector<FrameMarks> takeMarks();

#else

inline void setEnabled(bool) {}
inline bool enabled() {
    return false;
}
inline void unitFetched(int64_t, int64_t) {}
inline void decodeStarted(int64_t) {}
inline void pictureShown(const void*, int64_t) {}
inline void pictureReceived(const void*) {}
inline void painted() {}
inline std::vector<FrameMarks> takeMarks() {
    return {};
}

#endif

} // namespace latencytrace
