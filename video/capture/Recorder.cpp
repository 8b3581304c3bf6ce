#include "video/capture/Recorder.h"

#include "video/capture/CaptureFiles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <algorithm>

namespace {

// The end of the program waits this long for the file's end.
constexpr int kStopGraceMs = 3000;

// Microseconds of the timeline in the file's ticks.
int64_t ticksOf(int64_t us) {
    return (us * MediaMuxer::kTicksPerSecond + 500000) / 1000000;
}

// `ticks` of a clock of `perSecond` in microseconds, without overflowing.
int64_t ticksToUs(int64_t ticks, int64_t perSecond) {
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

} // namespace

Recorder::Recorder(RecorderSettings settings, CaptureReport report)
    : UnitWriter("orun-record", kQueueCapacity, std::move(report)), m_settings(std::move(settings)),
      m_stem(m_settings.stem.empty() ? capturefiles::timeStem(m_settings.prefix) : m_settings.stem),
      m_extension(m_settings.extension.empty() ? extensionOf(m_settings.container)
                                               : m_settings.extension),
      m_muxer(m_abort) {}

Recorder::~Recorder() {
    stop(kStopGraceMs);
}

std::string Recorder::extensionOf(const std::string& container) {
    return container == "matroska" ? "mkv" : "mp4";
}

std::map<std::string, std::string> Recorder::muxerOptions(const std::string& container) {
    if (container == "matroska")
        return {{"cluster_time_limit", "1000"}, {"flush_packets", "1"}};
    return {{"movflags", "frag_keyframe+empty_moov+default_base_moof"},
            {"frag_duration", "1000000"},
            {"flush_packets", "1"}};
}

void Recorder::run() {
    VideoUnit unit;
    StreamBreak reason = StreamBreak::Stopped;
    UnitGap lost;
    while (!m_failed) {
        const UnitQueue::Taken taken =
            m_queue.take(unit, reason, std::chrono::milliseconds::max(), &lost);
        if (taken == UnitQueue::Taken::Nothing)
            break; // cut short
        if (!lost.empty())
            noteLost(lost);
        if (taken == UnitQueue::Taken::Break) {
            closeFile();
            if (reason == StreamBreak::Stopped && stopAsked())
                break;
            continue;
        }
        handleUnit(unit);
        unit = VideoUnit{};
    }
    closeFile();
}

void Recorder::handleUnit(const VideoUnit& unit) {
    if (!unit.data || unit.data->empty())
        return;
    if (unit.keyFrame) {
        StreamParams params;
        const bool readable = readStreamParams(*unit.data, &params);
        if (m_muxer.isOpen() && readable && params.sps != m_params.sps)
            closeFile(); // a new picture size: a new file
        if (!m_muxer.isOpen()) {
            if (!readable || !openFile(unit, params))
                return;
        }
    }
    // Before the first key frame there is nothing to write into.
    if (!m_muxer.isOpen())
        return;
    if (!m_clock.decided()) {
        m_clock.learn(unit.cameraTime, unit.arrivalUs);
        m_learning.push_back(unit);
        if (!m_clock.decided())
            return;
        std::vector<VideoUnit> learned;
        learned.swap(m_learning);
        for (const VideoUnit& u : learned) {
            if (m_failed)
                return;
            stampAndWrite(u);
        }
        return;
    }
    stampAndWrite(unit);
}

bool Recorder::openFile(const VideoUnit& keyFrame, const StreamParams& params) {
    ++m_part;
    const std::string stem = m_part == 1 ? m_stem : m_stem + "_part" + std::to_string(m_part);
    std::string path;
    std::string reason;
    int number = 0;
    if (!capturefiles::createUniqueFile(m_settings.folder, stem, m_extension, &path, &reason,
                                        &number)) {
        fail(m_settings.folder, reason, number);
        return false;
    }
    int code = 0;
    // "file:" keeps a colon in the folder's name from being read as a protocol.
    if (!m_muxer.open("file:" + path, m_settings.container, params,
                      muxerOptions(m_settings.container), &reason, &code)) {
        // No empty file stays behind.
        QFile::remove(QString::fromStdString(path));
        fail(path, reason, MediaMuxer::systemError(code));
        return false;
    }
    m_params = params;
    m_path = path;
    m_clock.restart();
    m_pacing = false;
    m_hasHeld = false;
    m_end = 0;
    m_fileFrames = 0;
    m_cleanBytes = QFileInfo(QString::fromStdString(path)).size();
    m_originCamera = keyFrame.cameraTime;
    m_originArrivalUs = keyFrame.arrivalUs;
    m_gaps.clear();
    if (!m_lostBeforeFile.empty()) {
        noteLost(m_lostBeforeFile);
        m_lostBeforeFile = UnitGap{};
    }
    countOutput();
    CaptureEvent opened;
    opened.kind = CaptureEvent::Kind::FileOpened;
    opened.path = path;
    report(opened);
    return true;
}

void Recorder::stampAndWrite(const VideoUnit& unit) {
    const int64_t timeline = m_clock.stamp(unit.cameraTime, unit.arrivalUs);
    int64_t pts = 0;
    // A camera that stamps its pictures' own times gives the file its times;
    // times stamped when sent, or arrival, are paced at the stream's rate.
    if (m_clock.source() == UnitClock::Source::Camera && m_clock.cameraRegular()) {
        pts = ticksOf(timeline);
    } else {
        if (!m_pacing) {
            m_pacer.start(m_clock.typicalStepUs());
            m_pacing = true;
        }
        pts = m_pacer.pace(timeline);
    }
    if (m_hasHeld && !writeHeld(pts - m_heldPts))
        return;
    m_held = unit;
    m_heldPts = pts;
    m_hasHeld = true;
}

int64_t Recorder::lastStepTicks() const {
    if (m_pacing)
        return m_pacer.stepTicks();
    return std::max<int64_t>(1, ticksOf(m_clock.typicalStepUs()));
}

bool Recorder::writeHeld(int64_t duration) {
    std::string reason;
    int code = 0;
    if (!m_muxer.write(*m_held.data, m_heldPts, duration, m_held.keyFrame, &reason, &code)) {
        fail(m_path, reason, MediaMuxer::systemError(code));
        return false;
    }
    countWritten(m_held.data->size());
    ++m_fileFrames;
    m_end = m_heldPts + duration;
    m_recordedUs = m_closedUs + m_end * 1000000 / MediaMuxer::kTicksPerSecond;
    m_writingPictures = true;
    // Each write is flushed: the file is whole up to here.
    m_cleanBytes = QFileInfo(QString::fromStdString(m_path)).size();
    m_hasHeld = false;
    m_held = VideoUnit{};
    return true;
}

void Recorder::closeFile() {
    if (!m_muxer.isOpen()) {
        m_learning.clear();
        m_hasHeld = false;
        return;
    }
    if (!m_learning.empty()) {
        // A file shorter than the learning span: what was seen will do.
        m_clock.decideNow();
        std::vector<VideoUnit> learned;
        learned.swap(m_learning);
        for (const VideoUnit& u : learned) {
            if (m_failed)
                break;
            stampAndWrite(u);
        }
    }
    if (!m_failed && m_hasHeld)
        writeHeld(lastStepTicks());
    std::string reason;
    int code = 0;
    // After a failed write the end of the file cannot be written either.
    const bool complete = m_muxer.close(&reason, !m_failed, &code) && !m_failed;
    m_hasHeld = false;
    m_writingPictures = false;
    m_closedUs = m_recordedUs.load();
    if (!complete) {
        // A write cut short (a full disk) leaves part of a fragment at the
        // end, which players read as damage: the file ends where the last
        // whole write did, and plays to there.
        if (QFileInfo(QString::fromStdString(m_path)).size() > m_cleanBytes)
            QFile::resize(QString::fromStdString(m_path), m_cleanBytes);
        if (!m_failed)
            fail(m_path, reason, MediaMuxer::systemError(code));
        return;
    }
    if (m_failed)
        return;
    CaptureEvent closed;
    closed.kind = CaptureEvent::Kind::FileClosed;
    closed.path = m_path;
    closed.frames = m_fileFrames;
    closed.durationUs = m_end * 1000000 / MediaMuxer::kTicksPerSecond;
    closed.gaps.swap(m_gaps);
    report(closed);
}

void Recorder::noteLost(const UnitGap& lost) {
    if (!m_muxer.isOpen()) {
        m_lostBeforeFile.add(lost);
        return;
    }
    const CaptureEvent::Gap gap = placeGap(lost);
    m_gaps.push_back(gap);
    countGap(gap.durationUs);
}

CaptureEvent::Gap Recorder::placeGap(const UnitGap& lost) const {
    // By the clock the file's times follow: the camera's once it is known to
    // be, else arrival. Each unit let go would have shown for a usual step.
    int64_t from = lost.firstArrivalUs - m_originArrivalUs;
    int64_t span = lost.lastArrivalUs - lost.firstArrivalUs;
    const int64_t perSecond = m_clock.cameraTicksPerSecond();
    if (m_clock.source() == UnitClock::Source::Camera && perSecond > 0 && m_originCamera != 0 &&
        lost.firstCameraTime != 0 && lost.lastCameraTime >= lost.firstCameraTime) {
        from = ticksToUs(lost.firstCameraTime - m_originCamera, perSecond);
        span = ticksToUs(lost.lastCameraTime - lost.firstCameraTime, perSecond);
    }
    CaptureEvent::Gap gap;
    // Units let go before the file's first one are missing at its start.
    gap.atUs = std::max<int64_t>(from, 0);
    gap.durationUs = std::max<int64_t>(span, 0) + m_clock.typicalStepUs();
    gap.pictures = lost.units;
    return gap;
}

void Recorder::fail(const std::string& path, const std::string& reason, int errorNumber) {
    m_failed = true;
    CaptureEvent failed;
    failed.kind = CaptureEvent::Kind::FileFailed;
    failed.path = path;
    failed.reason = reason;
    failed.errorNumber = errorNumber;
    report(failed);
}
