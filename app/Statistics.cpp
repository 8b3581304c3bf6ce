#include "app/Statistics.h"

#include "app/CaptureControl.h"
#include "app/GamepadControl.h"
#include "app/ViscaControl.h"
#include "camera/Camera.h"
#include "video/LatencyTrace.h"
#include "video/videoctl.h"

#include <algorithm>

namespace {

double perSecond(uint64_t later, uint64_t earlier, double seconds) {
    return later >= earlier && seconds > 0 ? (later - earlier) / seconds : 0.0;
}

} // namespace

StatsSample sampleStatistics() {
    StatsSample s;
    videoctl* video = videoctl::instance();
    s.pipeline = video->stats();
    s.link = video->linkStats();
    s.cameraLinked = video->linkUp();
    s.probeRoundTripUs = Camera::instance()->lastProbeRoundTripUs();
    const CaptureControl* capture = CaptureControl::instance();
    s.recording = capture->isRecording();
    s.recorder = capture->recordingStats();
    s.liveOutput = capture->isLiveOutputOn();
    s.live = capture->liveOutputStats();
    s.atUs = latencytrace::nowMicros(); // the clock of lastPictureUs
    const ViscaControllerSeen controller = viscaControllerSeen();
    if (!controller.who.isEmpty()) {
        s.viscaController = controller.who.toStdString();
        s.viscaLastRequestUs = s.atUs - static_cast<int64_t>(controller.secondsAgo * 1e6);
    }
    for (const QString& name : GamepadControl::instance()->controllers())
        s.gamepads.push_back(name.toStdString());
    return s;
}

StatsReport describeStatistics(const StatsSample& before, const StatsSample& now) {
    StatsReport r;
    const PipelineStats& p = now.pipeline;
    const PipelineStats& p0 = before.pipeline;
    const MediaLinkStats& l = now.link;
    const MediaLinkStats& l0 = before.link;
    const double seconds = (now.atUs - before.atUs) / 1e6;

    r.width = p.width;
    r.height = p.height;
    r.receivedFps = perSecond(p.unitsReceived, p0.unitsReceived, seconds);
    r.decodedFps = perSecond(p.picturesDecoded, p0.picturesDecoded, seconds);
    r.shownFps = perSecond(p.picturesShown, p0.picturesShown, seconds);
    r.bitRateKbps = perSecond(p.bytesReceived, p0.bytesReceived, seconds) * 8 / 1000;
    if (p.unitsDecoded > p0.unitsDecoded && p.decodeMicros >= p0.decodeMicros)
        r.decodeMsPerPicture =
            (p.decodeMicros - p0.decodeMicros) / 1000.0 / (p.unitsDecoded - p0.unitsDecoded);
    r.decoder = p.decoder ? p.decoder : "software";
    r.decoderSwitches = p.decoderSwitches;
    r.unusedHardware = p.unusedHardware;

    r.lostSegments = l.missingSegments;
    r.duplicateSegments = l.duplicateSegments;
    r.resentSegments = l.lateSegments + l.duplicateSegments;
    // Due in the interval: the segments that came in order plus those that
    // did not (a later one came first).
    const uint64_t missing = l.missingSegments - std::min(l.missingSegments, l0.missingSegments);
    const uint64_t fresh = (l.segments - l.duplicateSegments - l.lateSegments) -
                           std::min(l.segments - l.duplicateSegments - l.lateSegments,
                                    l0.segments - l0.duplicateSegments - l0.lateSegments);
    if (missing + fresh > 0)
        r.lossPercent = 100.0 * missing / (missing + fresh);
    if (now.probeRoundTripUs >= 0)
        r.roundTripMs = now.probeRoundTripUs / 1000.0;

    r.droppedQueueFull = p.unitsQueueFull + l.framesDropped;
    r.droppedRenderBusy = p.picturesBusy + p.picturesDropped;
    r.droppedDecodeError = p.decodeErrors;
    if (p.lastPictureUs > 0 && now.atUs >= p.lastPictureUs)
        r.secondsSinceLastPicture = (now.atUs - p.lastPictureUs) / 1e6;

    r.recording = now.recording;
    r.recordingDropped = now.recorder.unitsDropped;
    r.recordingMissingSeconds = now.recorder.missingUs / 1e6;
    r.liveOutput = now.liveOutput;
    r.liveDropped = now.live.unitsDropped;
    r.viscaController = now.viscaController;
    r.gamepads = now.gamepads;
    if (!now.viscaController.empty())
        r.viscaSecondsAgo = std::max<int64_t>(0, now.atUs - now.viscaLastRequestUs) / 1e6;

    if (!now.cameraLinked) {
        r.linkState = MediaLinkState::NoCamera;
    } else if (l.attemptsWithoutMedia > 0) {
        r.linkState = l.segments > 0 ? MediaLinkState::Reconnecting : MediaLinkState::Connecting;
        r.attempts = l.attemptsWithoutMedia;
    } else {
        r.linkState = MediaLinkState::Streaming;
    }
    return r;
}
