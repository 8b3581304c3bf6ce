#include "app/CaptureControl.h"

#include "app/RunOptions.h"
#include "video/capture/CaptureFiles.h"
#include "video/capture/LiveOutput.h"
#include "video/capture/Recorder.h"
#include "video/capture/SnapshotTaker.h"
#include "video/webcam/VirtualCamera.h"

#include <QDebug>
#include <QDir>
#include <QStringList>

#include <cerrno>

namespace {

QString shownPath(const std::string& path) {
    return QDir::toNativeSeparators(QString::fromStdString(path));
}

} // namespace

CaptureControl::CaptureControl(QObject* parent) : QObject(parent) {}

CaptureControl::~CaptureControl() {
    shutdown();
}

CaptureControl* CaptureControl::instance() {
    // Never deleted: writers may still finish while the program ends.
    static CaptureControl* control = new CaptureControl();
    return control;
}

void CaptureControl::setVideoHooks(VideoHooks hooks) {
    m_hooks = std::move(hooks);
    // A new video path: the snapshot taker is plugged into it at its next use.
    m_snapshotsPlugged = false;
}

void CaptureControl::setRecorderFactory(RecorderFactory factory) {
    m_makeRecorder = std::move(factory);
}

void CaptureControl::setWebcamFactory(WebcamFactory factory) {
    m_makeWebcam = std::move(factory);
}

qint64 CaptureControl::recordedMs() const {
    return m_recorder ? m_recorder->recordedUs() / 1000 : 0;
}

bool CaptureControl::isRecordingWaiting() const {
    return m_recorder && !m_recorder->writingPictures();
}

QString CaptureControl::liveUrl() const {
    if (m_live)
        return QString::fromStdString(m_live->settings().shownUrl());
    return QString::fromStdString(liveSettings().shownUrl());
}

RecorderSettings CaptureControl::recorderSettings() {
    const RunOverrides run = runOverrides();
    if (!run.recordFile.isEmpty())
        return CaptureSettings::recorderInto(run.recordFile);
    return CaptureSettings::load().recorder();
}

LiveSettings CaptureControl::liveSettings() {
    const RunOverrides run = runOverrides();
    if (run.liveOutput)
        return *run.liveOutput;
    return CaptureSettings::load().live();
}

bool CaptureControl::isSnapshotPending() const {
    return m_snapshots && m_snapshots->busy();
}

WriterStats CaptureControl::recordingStats() const {
    return m_recorder ? m_recorder->stats() : WriterStats{};
}

WriterStats CaptureControl::liveOutputStats() const {
    return m_live ? m_live->stats() : WriterStats{};
}

CaptureReport CaptureControl::reporterFor(WriterId id, Writer writer) {
    // Called on the writer's thread; handled on this object's thread. The
    // writers end before this object does (shutdown), so `this` outlives
    // every call, and an event still queued when it goes is dropped by Qt.
    return [this, id, writer](const CaptureEvent& event) {
        QMetaObject::invokeMethod(
            this,
            [this, id, writer, event] {
                switch (writer) {
                case Writer::Recording:
                    onRecorderEvent(id, event);
                    break;
                case Writer::Live:
                    onLiveEvent(id, event);
                    break;
                case Writer::Snapshot:
                    onSnapshotEvent(event);
                    break;
                case Writer::Webcam:
                    onWebcamEvent(id, event);
                    break;
                }
            },
            Qt::QueuedConnection);
    };
}

// --- Recording ----------------------------------------------------------------

void CaptureControl::toggleRecording() {
    if (isRecording())
        stopRecording();
    else
        startRecording();
}

bool CaptureControl::startRecording() {
    if (m_recorder)
        return true;
    if (!m_hooks.addUnitSink) {
        qWarning() << "Recording not started: no video path";
        return false;
    }
    const RecorderSettings settings = recorderSettings();
    // Told at once, not at the first picture: a recording that cannot be
    // written never looks as if it ran.
    CaptureEvent unusable;
    if (!capturefiles::checkFolder(settings.folder, &unusable.reason, &unusable.errorNumber)) {
        const QString folder = shownPath(settings.folder);
        qWarning().noquote() << "Recording not started: the folder" << folder
                             << "cannot be written:" << QString::fromStdString(unusable.reason);
        emit notice(kNoticeWarning, tr("录像无法写入 %1:%2").arg(folder, reasonText(unusable)));
        return false;
    }
    const WriterId id = ++m_nextId;
    std::shared_ptr<Recorder> recorder =
        m_makeRecorder ? m_makeRecorder(settings, reporterFor(id, Writer::Recording))
                       : std::make_shared<Recorder>(settings, reporterFor(id, Writer::Recording));
    recorder->start();
    m_recorder = recorder;
    m_recorderId = id;
    m_recordingFile.clear();
    m_hooks.addUnitSink(recorder);
    qInfo().noquote() << "Recording on the PC into" << shownPath(settings.folder);
    emit recordingChanged(true);
    return true;
}

void CaptureControl::stopRecording() {
    if (!m_recorder)
        return;
    std::shared_ptr<Recorder> recorder = std::move(m_recorder);
    m_recorder.reset();
    if (m_hooks.removeUnitSink)
        m_hooks.removeUnitSink(recorder);
    retire(m_recorderId, recorder);
    m_recorderId = 0;
    m_recordingFile.clear();
    qInfo() << "Recording on the PC stopped";
    emit recordingChanged(false);
}

void CaptureControl::onRecorderEvent(WriterId id, const CaptureEvent& event) {
    const QString path = shownPath(event.path);
    switch (event.kind) {
    case CaptureEvent::Kind::FileOpened:
        qInfo().noquote() << "Recording to" << path;
        if (id == m_recorderId)
            m_recordingFile = path;
        break;
    case CaptureEvent::Kind::FileClosed:
        qInfo().noquote() << "Recording complete:" << path << event.frames << "pictures,"
                          << event.durationUs / 1000 << "ms";
        if (!event.gaps.empty()) {
            QStringList where;
            for (const CaptureEvent::Gap& gap : event.gaps)
                where << QStringLiteral("%1–%2 s (%3 pictures)")
                             .arg(gap.atUs / 1e6, 0, 'f', 2)
                             .arg((gap.atUs + gap.durationUs) / 1e6, 0, 'f', 2)
                             .arg(gap.pictures);
            qWarning().noquote() << "Recording" << path << "misses"
                                 << QString::number(event.missingUs() / 1e6, 'f', 1)
                                 << "s where the disk was too slow, at" << where.join(", ")
                                 << "of the file's time";
        }
        if (id == m_recorderId && m_recordingFile == path)
            m_recordingFile.clear();
        emit fileWritten(path);
        emit notice(event.gaps.empty() ? kNoticeInfo : kNoticeWarning, savedText(path, event));
        break;
    case CaptureEvent::Kind::FileFailed:
        qWarning().noquote() << "Recording could not be written to" << path << ":"
                             << QString::fromStdString(event.reason);
        emit notice(kNoticeWarning, tr("录像无法写入 %1:%2").arg(path, reasonText(event)));
        // The recorder ends itself after a failure.
        if (id == m_recorderId)
            stopRecording();
        break;
    case CaptureEvent::Kind::Finished:
        if (id == m_recorderId)
            stopRecording();
        release(id);
        break;
    default:
        break;
    }
}

// --- Live output ----------------------------------------------------------------

void CaptureControl::toggleLiveOutput() {
    if (isLiveOutputOn())
        stopLiveOutput();
    else
        startLiveOutput();
}

bool CaptureControl::startLiveOutput() {
    if (m_live)
        return true;
    if (!m_hooks.addUnitSink) {
        qWarning() << "Live output not started: no video path";
        return false;
    }
    const WriterId id = ++m_nextId;
    auto live = std::make_shared<LiveOutput>(liveSettings(), reporterFor(id, Writer::Live));
    m_live = live;
    m_liveId = id;
    m_liveFailureShown = false;
    live->start();
    m_hooks.addUnitSink(live);
    const LiveSettings& settings = live->settings();
    const QString url = QString::fromStdString(settings.shownUrl());
    qInfo().noquote() << "Live output on:" << url;
    if (settings.listens() && !settings.hasPassphrase() && !settings.onLoopback())
        qWarning().noquote() << "Live output: the SRT listener at" << url
                             << "has no passphrase: anyone on that network can watch";
    emit liveOutputChanged(true);
    return true;
}

void CaptureControl::stopLiveOutput() {
    if (!m_live)
        return;
    std::shared_ptr<LiveOutput> live = std::move(m_live);
    m_live.reset();
    if (m_hooks.removeUnitSink)
        m_hooks.removeUnitSink(live);
    retire(m_liveId, live);
    m_liveId = 0;
    qInfo() << "Live output off";
    emit liveOutputChanged(false);
}

void CaptureControl::onLiveEvent(WriterId id, const CaptureEvent& event) {
    const QString url = QString::fromStdString(event.path);
    const QString reason = QString::fromStdString(event.reason);
    switch (event.kind) {
    case CaptureEvent::Kind::OutputWaiting:
        qInfo().noquote() << "Live output: waiting for a player at" << url;
        break;
    case CaptureEvent::Kind::OutputOpened:
        qInfo().noquote() << "Live output: sending to" << url;
        break;
    case CaptureEvent::Kind::OutputClosed:
        qWarning().noquote() << "Live output: the consumer at" << url << "went away:" << reason;
        break;
    case CaptureEvent::Kind::OutputFailed:
        qWarning().noquote() << "Live output:" << url << "did not open:" << reason;
        // The user switched it on: the first failure is worth a banner, the
        // retries are not.
        if (id == m_liveId && !m_liveFailureShown) {
            m_liveFailureShown = true;
            emit notice(kNoticeWarning, tr("直播输出无法打开 %1:%2").arg(url, reasonText(event)));
        }
        break;
    case CaptureEvent::Kind::Finished:
        if (id == m_liveId)
            stopLiveOutput();
        release(id);
        break;
    default:
        break;
    }
}

// --- Snapshot ---------------------------------------------------------------------

void CaptureControl::takeSnapshot() {
    if (!m_snapshots)
        m_snapshots = std::make_shared<SnapshotTaker>(reporterFor(0, Writer::Snapshot));
    if (!m_snapshotsPlugged) {
        if (!m_hooks.addPictureSink) {
            qWarning() << "Snapshot not taken: no video path";
            emit notice(kNoticeWarning, tr("没有可保存的画面"));
            return;
        }
        // It wants pictures only while a snapshot is asked for.
        m_hooks.addPictureSink(m_snapshots);
        m_snapshotsPlugged = true;
    }
    if (!m_snapshots->request(CaptureSettings::load().snapshot()))
        qInfo() << "Snapshot already being taken";
}

void CaptureControl::onSnapshotEvent(const CaptureEvent& event) {
    const QString path = shownPath(event.path);
    if (event.kind == CaptureEvent::Kind::SnapshotSaved) {
        qInfo().noquote() << "Snapshot saved:" << path;
        emit fileWritten(path);
        emit notice(kNoticeInfo, tr("截图已保存:%1").arg(path));
    } else if (event.kind == CaptureEvent::Kind::SnapshotFailed) {
        qWarning().noquote() << "Snapshot not saved to" << path << ":"
                             << QString::fromStdString(event.reason);
        if (event.reason == CaptureEvent::kNoPicture)
            emit notice(kNoticeWarning, tr("没有可保存的画面"));
        else
            emit notice(kNoticeWarning, tr("截图无法保存到 %1:%2").arg(path, reasonText(event)));
    }
}

// --- Webcam -------------------------------------------------------------------------

void CaptureControl::toggleWebcam() {
    if (isWebcamOn())
        stopWebcam();
    else
        startWebcam();
}

bool CaptureControl::startWebcam() {
    if (m_webcam)
        return true;
    if (!m_hooks.addPictureSink || !m_hooks.removePictureSink) {
        qWarning() << "Webcam not started: no video path";
        return false;
    }
    const CaptureSettings saved = CaptureSettings::load();
    WebcamSettings settings;
    // With boxes or without, as snapshots are.
    settings.withBoxes = saved.snapshotBoxes;
    settings.loopbackDevice = saved.webcamDevice.toStdString();
    const WriterId id = ++m_nextId;
    std::shared_ptr<VirtualCamera> camera =
        m_makeWebcam ? m_makeWebcam(settings, reporterFor(id, Writer::Webcam))
                     : makeVirtualCamera(settings, reporterFor(id, Writer::Webcam));
    if (!camera) {
        qWarning() << "Webcam not started: this system has no virtual camera yet";
        emit notice(kNoticeWarning, tr("此系统上还不能作为摄像头使用"));
        return false;
    }
    m_webcam = camera;
    m_webcamId = id;
    m_webcamLoopback = !settings.loopbackDevice.empty();
    m_webcamRead = false;
    camera->start();
    m_hooks.addPictureSink(camera);
    if (settings.loopbackDevice.empty())
        qInfo().noquote() << "Webcam on: offering the pictures as the PipeWire camera"
                          << QString::fromStdString(settings.nodeName);
    else
        qInfo().noquote() << "Webcam on: writing the pictures to the v4l2loopback device"
                          << QString::fromStdString(settings.loopbackDevice);
    emit webcamChanged(true);
    return true;
}

void CaptureControl::stopWebcam() {
    if (!m_webcam)
        return;
    std::shared_ptr<VirtualCamera> camera = std::move(m_webcam);
    m_webcam.reset();
    m_webcamId = 0;
    m_webcamRead = false;
    m_hooks.removePictureSink(camera);
    // Withdrawing the node is a message to the local daemon: quick.
    camera->stop();
    qInfo() << "Webcam off";
    emit webcamChanged(false);
}

void CaptureControl::onWebcamEvent(WriterId id, const CaptureEvent& event) {
    if (id != m_webcamId)
        return;
    const QString reason = QString::fromStdString(event.reason);
    switch (event.kind) {
    case CaptureEvent::Kind::OutputWaiting:
        qInfo().noquote() << "Webcam: listed as" << QString::fromStdString(event.path)
                          << ", waiting for a program to read it";
        break;
    case CaptureEvent::Kind::OutputOpened:
        m_webcamRead = true;
        qInfo() << "Webcam: a program reads the camera";
        emit webcamChanged(true);
        break;
    case CaptureEvent::Kind::OutputClosed:
        m_webcamRead = false;
        if (event.errorNumber != 0) {
            qWarning().noquote() << "Webcam stopped:" << reason;
            emit notice(kNoticeWarning, tr("摄像头输出已停止:PipeWire 服务已退出"));
        } else {
            qInfo().noquote() << "Webcam: the program reading it stopped:" << reason;
            emit webcamChanged(true);
        }
        break;
    case CaptureEvent::Kind::OutputFailed:
        qWarning().noquote() << "Webcam not offered:" << reason;
        if (m_webcamLoopback)
            emit notice(kNoticeWarning, tr("无法写入 V4L2 回环设备:%1").arg(reason));
        else
            emit notice(kNoticeWarning, tr("无法作为摄像头使用:没有运行中的 PipeWire 服务"));
        break;
    case CaptureEvent::Kind::Finished:
        // It ended by itself (no daemon, or the daemon went away).
        stopWebcam();
        break;
    default:
        break;
    }
}

// --- Writers that end ---------------------------------------------------------------

void CaptureControl::retire(WriterId id, std::shared_ptr<UnitWriter> writer) {
    writer->requestStop();
    if (writer->finished()) {
        writer->stop(0);
        return;
    }
    m_retiring[id] = std::move(writer);
}

void CaptureControl::release(WriterId id) {
    auto it = m_retiring.find(id);
    if (it == m_retiring.end())
        return;
    // Its body has returned: the join is immediate.
    std::shared_ptr<UnitWriter> writer = std::move(it->second);
    m_retiring.erase(it);
    writer->stop(0);
}

void CaptureControl::shutdown(int graceMs) {
    if (m_recorder && m_hooks.removeUnitSink)
        m_hooks.removeUnitSink(m_recorder);
    if (m_live && m_hooks.removeUnitSink)
        m_hooks.removeUnitSink(m_live);
    if (m_live)
        m_live->requestStop();
    if (m_recorder)
        m_recorder->stop(graceMs);
    if (m_live)
        m_live->stop(graceMs);
    for (auto& retiring : m_retiring)
        retiring.second->stop(graceMs);
    m_retiring.clear();
    const bool wasRecording = m_recorder != nullptr;
    const bool wasLive = m_live != nullptr;
    m_recorder.reset();
    m_live.reset();
    m_recorderId = 0;
    m_liveId = 0;
    if (m_snapshots)
        m_snapshots->stop();
    stopWebcam();
    if (wasRecording)
        emit recordingChanged(false);
    if (wasLive)
        emit liveOutputChanged(false);
}

QString CaptureControl::savedText(const QString& path, const CaptureEvent& closed) {
    QString text = tr("录像已保存:%1").arg(path);
    if (!closed.gaps.empty())
        text += tr(",因磁盘太慢缺失 %1 秒").arg(QString::number(closed.missingUs() / 1e6, 'f', 1));
    return text;
}

QString CaptureControl::reasonText(const CaptureEvent& event) {
    switch (event.errorNumber) {
    case EACCES:
    case EPERM:
        return tr("没有写入权限");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return tr("磁盘已满");
    case ENOTDIR:
        return tr("不是文件夹");
    case EROFS:
        return tr("只读文件系统");
    case ECONNREFUSED:
        return tr("连接被拒绝");
    default:
        break;
    }
    return QString::fromStdString(event.reason);
}
