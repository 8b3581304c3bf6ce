#pragma once

#include "kcpclient/LinkCounters.h"
#include "video/PipelineStats.h"
#include "video/capture/UnitWriter.h"

#include <cstdint>
#include <string>
#include <vector>

// What the statistics over the video show, read from the counters the video
// pipeline, the media client and the control link keep anyway.

// One reading of every counter, taken once a second on the graphical thread.
struct StatsSample {
    int64_t atUs = 0; // steady clock, microseconds
    PipelineStats pipeline;
    MediaLinkStats link;
    int64_t probeRoundTripUs = -1; // last control-link probe, −1 none yet
    bool cameraLinked = false;     // the control link is up
    // Capture on the PC, while it is on.
    bool recording = false;
    WriterStats recorder;
    bool liveOutput = false;
    WriterStats live;
    // The VISCA controller that sent last ("ADDRESS:PORT"; empty: none) and
    // when, on the clock of atUs.
    std::string viscaController;
    int64_t viscaLastRequestUs = 0;
    // The game controllers connected, the one in use first.
    std::vector<std::string> gamepads;
};

// Reads the counters of the process's decoder controller, media client,
// camera and capture.
StatsSample sampleStatistics();

enum class MediaLinkState {
    NoCamera,     // the control link is down: nothing is expected
    Connecting,   // no media yet: sessions are being tried
    Streaming,    // media arrives
    Reconnecting, // media had come, then stopped: sessions are being tried again
};

// Rates over the interval between two readings, totals of the later one.
struct StatsReport {
    int width = 0; // of the last picture shown; 0 before the first
    int height = 0;
    double receivedFps = 0; // units from the media client
    double decodedFps = 0;
    double shownFps = 0;
    double bitRateKbps = 0;         // of the video received
    double decodeMsPerPicture = -1; // −1 when nothing was decoded in the interval
    const char* decoder = "software";
    uint64_t decoderSwitches = 0;
    // Hardware device types not used although asked for, with why; empty when none.
    std::string unusedHardware;
    // The media link (KCP receiver), totals.
    uint64_t lostSegments = 0;      // gaps: segments that did not arrive in order
    uint64_t resentSegments = 0;    // segments that arrived again or late: resends
    uint64_t duplicateSegments = 0; // of those, segments that had arrived already
    double lossPercent = 0;         // of the segments due in the interval
    double roundTripMs = -1;        // control-link probe; −1 none yet
    // Pictures (or units) let go, totals, by cause.
    uint64_t droppedQueueFull = 0;
    uint64_t droppedRenderBusy = 0;
    uint64_t droppedDecodeError = 0;
    double secondsSinceLastPicture = -1; // −1 none yet
    MediaLinkState linkState = MediaLinkState::NoCamera;
    uint64_t attempts = 0; // session attempts without media so far (connecting, reconnecting)
    // Capture on the PC while it is on: units its queues let go (the disk or
    // the network did not keep up), totals, and the time the recording's
    // files miss for it.
    bool recording = false;
    uint64_t recordingDropped = 0;
    double recordingMissingSeconds = 0;
    bool liveOutput = false;
    uint64_t liveDropped = 0;
    // The VISCA controller that sent last; empty when none has.
    std::string viscaController;
    double viscaSecondsAgo = -1;
    std::vector<std::string> gamepads;
};

StatsReport describeStatistics(const StatsSample& before, const StatsSample& now);
