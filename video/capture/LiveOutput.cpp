#include "video/capture/LiveOutput.h"

#include "video/capture/UnitClock.h"

namespace {

constexpr int kStopGraceMs = 1000;

} // namespace

std::string LiveSettings::url() const {
    switch (kind) {
    case Kind::SrtListener:
        // Seven transport-stream packets to a datagram, as players expect.
        return "srt://" + address + "?mode=listener&pkt_size=1316";
    case Kind::UdpMpegTs:
        return "udp://" + address + "?pkt_size=1316";
    case Kind::RtmpPush:
        return address;
    }
    return address;
}

std::string LiveSettings::shownUrl() const {
    switch (kind) {
    case Kind::SrtListener:
        return "srt://" + address;
    case Kind::UdpMpegTs:
        return "udp://" + address;
    case Kind::RtmpPush:
        return address;
    }
    return address;
}

std::string LiveSettings::format() const {
    return kind == Kind::RtmpPush ? "flv" : "mpegts";
}

std::map<std::string, std::string> LiveSettings::muxerOptions() const {
    // A stream has no end to seek back to for its length.
    if (kind == Kind::RtmpPush)
        return {{"flvflags", "no_duration_filesize"}};
    return {};
}

std::map<std::string, std::string> LiveSettings::protocolOptions() const {
    return {{"rw_timeout", std::to_string(LiveOutput::kWriteTimeoutUs)}};
}

LiveOutput::LiveOutput(LiveSettings settings, CaptureReport report)
    : UnitWriter("orun-live", kQueueCapacity, std::move(report)), m_settings(std::move(settings)) {
    setAccepting(false);
}

LiveOutput::~LiveOutput() {
    stop(kStopGraceMs);
}

void LiveOutput::onStopRequested() {
    // Nothing of a live output is worth waiting for: cut its waits at once.
    m_abort = true;
}

void LiveOutput::tell(CaptureEvent::Kind kind, const std::string& reason, int code) {
    CaptureEvent event;
    event.kind = kind;
    event.path = m_settings.shownUrl();
    event.reason = reason;
    event.errorNumber = MediaMuxer::systemError(code);
    report(event);
}

void LiveOutput::run() {
    MediaMuxer muxer(m_abort);
    const bool listener = m_settings.kind == LiveSettings::Kind::SrtListener;
    while (!stopAsked() && !m_abort.load()) {
        setAccepting(false);
        m_queue.clear();
        if (listener)
            tell(CaptureEvent::Kind::OutputWaiting);
        std::string reason;
        int code = 0;
        if (!muxer.connect(m_settings.url(), m_settings.protocolOptions(), &reason, &code)) {
            if (stopAsked() || m_abort.load())
                break;
            if (reason != m_lastProblem) {
                m_lastProblem = reason;
                tell(CaptureEvent::Kind::OutputFailed, reason, code);
            }
            if (!idle(kRetryMs))
                break;
            continue;
        }
        if (!feed(muxer))
            break;
        if (!listener && !idle(kRetryMs))
            break;
    }
    setAccepting(false);
    muxer.close(nullptr, false);
}

bool LiveOutput::feed(MediaMuxer& muxer) {
    UnitClock clock;
    StreamParams params;
    m_queue.clear();
    setAccepting(true);
    VideoUnit unit;
    StreamBreak reason = StreamBreak::Stopped;
    for (;;) {
        const UnitQueue::Taken taken = m_queue.take(unit, reason);
        if (taken == UnitQueue::Taken::Nothing) {
            muxer.close(nullptr, false);
            return false;
        }
        if (taken == UnitQueue::Taken::Break) {
            if (reason == StreamBreak::Stopped && stopAsked()) {
                muxer.close(nullptr, muxer.isOpen());
                return false;
            }
            continue;
        }
        if (!unit.data || unit.data->empty())
            continue;
        std::string problem;
        int code = 0;
        if (!muxer.isOpen()) {
            // A consumer starts with a key frame and its parameter sets.
            if (!unit.keyFrame || !readStreamParams(*unit.data, &params))
                continue;
            if (!muxer.begin(m_settings.format(), params, m_settings.muxerOptions(), &problem,
                             &code)) {
                tell(CaptureEvent::Kind::OutputFailed, problem, code);
                m_lastProblem = problem;
                muxer.close(nullptr, false);
                setAccepting(false);
                return idle(kRetryMs);
            }
            m_lastProblem.clear();
            countOutput();
            tell(CaptureEvent::Kind::OutputOpened);
        } else if (unit.keyFrame && m_settings.format() == "flv") {
            // FLV announces the parameter sets once: a new picture size
            // needs a new stream.
            StreamParams next;
            if (readStreamParams(*unit.data, &next) && next.sps != params.sps) {
                muxer.close(nullptr, true);
                setAccepting(false);
                return true;
            }
        }
        clock.learn(unit.cameraTime, unit.arrivalUs);
        const int64_t pts =
            clock.stamp(unit.cameraTime, unit.arrivalUs) * MediaMuxer::kTicksPerSecond / 1000000;
        if (!muxer.write(*unit.data, pts, 0, unit.keyFrame, &problem, &code)) {
            if (m_abort.load()) {
                muxer.close(nullptr, false);
                return false;
            }
            tell(CaptureEvent::Kind::OutputClosed, problem, code);
            muxer.close(nullptr, false);
            setAccepting(false);
            return true;
        }
        countWritten(unit.data->size());
        unit = VideoUnit{};
    }
}
