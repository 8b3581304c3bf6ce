#pragma once

// Per-frame latency marks of the video pipeline, compiled into orun_video
// only with the CMake option ORUN_LATENCY_TRACE and recording only after
// setEnabled(true). A frame is known by the camera's send time (steady-clock
// microseconds from the time trailer); the pipeline's steps pass the time
// along by the unit's and the picture's buffer addresses.

#include <cstdint>
#include <vector>

namespace latencytrace {

struct FrameMarks {
    int64_t sendUs = 0;     // the camera queued the frame on its media link
    int64_t fetchUs = 0;    // the fetch thread took it from the media client
    int64_t shownUs = 0;    // the display thread emitted signal_showVideoFrame
    int64_t receivedUs = 0; // the widget's slot received the picture
    int64_t paintUs = 0;    // first paintGL after the picture's upload
};

// Microseconds of the steady clock (the camera's unit on the same machine).
int64_t nowMicros();

void setEnabled(bool enabled);
bool enabled();

// Fetch thread: the unit at `unit` carries send time `sendUs` (0: none).
void unitFetched(const void* unit, int64_t sendUs);
// Decode thread: the send time of the unit at `unit`, 0 when unknown.
int64_t unitTaken(const void* unit);
// Display thread, just before the picture with pixels at `pixels` is emitted.
void pictureShown(const void* pixels, int64_t sendUs);
// Widget slot: the picture with pixels at `pixels` becomes the widget's image.
void pictureReceived(const void* pixels);
// paintGL after the texture upload: the current image has been painted.
void painted();

// Names the calling thread (at most 15 characters), so that the benchmark's
// per-thread CPU figures tell the pipeline's threads apart.
void nameThread(const char* name);

// All frames seen so far, in send order; the record is emptied.
std::vector<FrameMarks> takeMarks();

} // namespace latencytrace
