#pragma once

#include "app/CaptureSettings.h"
#include "video/capture/CaptureEvent.h"
#include "video/capture/UnitWriter.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class LiveOutput;
class PictureSink;
class Recorder;
class SnapshotTaker;
class UnitSink;
class VirtualCamera;
struct WebcamSettings;

// Capture on the PC, as the window and the keyboard drive it: recording,
// snapshots, the live output and the program as a camera for other programs
// (the webcam). Each is switched on and off here; the
// writers (video/capture) do their work on threads of their own, and what
// they report comes back to the graphical thread as signals: a notice for the
// banner (where a file went, or why it could not be written) and the states
// of the buttons.
//
// Nothing here waits for a disk or a network: a stop asks the writer to finish
// and the writer is let go once it reports that it has. Only shutdown() waits,
// a limited time, so that files are complete when the program ends.
class CaptureControl : public QObject {
    Q_OBJECT
public:
    // How the controller reaches the video path; the program's composition
    // hands in the decoder controller's sink lists.
    struct VideoHooks {
        std::function<void(std::shared_ptr<UnitSink>)> addUnitSink;
        std::function<void(const std::shared_ptr<UnitSink>&)> removeUnitSink;
        std::function<void(std::shared_ptr<PictureSink>)> addPictureSink;
        std::function<void(const std::shared_ptr<PictureSink>&)> removePictureSink;
    };

    // Banner levels, as ErrorInfoDlg shows them.
    static constexpr int kNoticeWarning = 1;
    static constexpr int kNoticeInfo = 2;

    explicit CaptureControl(QObject* parent = nullptr);
    ~CaptureControl() override;

    // The controller the window and the keyboard use; never deleted.
    static CaptureControl* instance();

    void setVideoHooks(VideoHooks hooks);

    // Makes the recorder of each recording: a plain Recorder unless another
    // is handed in (a test's, whose disk stalls when it says).
    using RecorderFactory =
        std::function<std::shared_ptr<Recorder>(const RecorderSettings&, CaptureReport)>;
    void setRecorderFactory(RecorderFactory factory);

    // Makes the webcam: this system's virtual camera unless another is
    // handed in.
    using WebcamFactory =
        std::function<std::shared_ptr<VirtualCamera>(const WebcamSettings&, CaptureReport)>;
    void setWebcamFactory(WebcamFactory factory);

    bool isRecording() const { return m_recorder != nullptr; }
    // What the recording's files hold so far, in their own time (0 when it
    // is off).
    qint64 recordedMs() const;
    // Recording, but no picture is being written: no camera yet, or between
    // two files.
    bool isRecordingWaiting() const;
    // The file being written, empty between files.
    QString recordingFile() const { return m_recordingFile; }
    bool isLiveOutputOn() const { return m_live != nullptr; }
    // The URL a player opens: of the running output, else of the settings.
    QString liveUrl() const;
    bool isSnapshotPending() const;
    // The program offered as a camera (its node listed, read or not).
    bool isWebcamOn() const { return m_webcam != nullptr; }
    // Whether a program reads the webcam now.
    bool isWebcamRead() const { return m_webcamRead; }

    WriterStats recordingStats() const;
    WriterStats liveOutputStats() const;

    // Ends every capture; waits up to `graceMs` per writer for its file to be
    // complete. For the end of the program.
    void shutdown(int graceMs = 3000);

public slots:
    // The capture's entry points for buttons, keys and the command line.
    void toggleRecording();
    bool startRecording();
    void stopRecording();
    void takeSnapshot();
    void toggleLiveOutput();
    bool startLiveOutput();
    void stopLiveOutput();
    void toggleWebcam();
    bool startWebcam();
    void stopWebcam();

signals:
    void recordingChanged(bool on);
    void liveOutputChanged(bool on);
    void webcamChanged(bool on);
    // For the banner: a level (kNoticeWarning, kNoticeInfo) and the text.
    void notice(int level, const QString& text);
    // A complete file: a recording's part, or a snapshot.
    void fileWritten(const QString& path);

private:
    using WriterId = quint64;
    enum class Writer { Recording, Live, Snapshot, Webcam };
    CaptureReport reporterFor(WriterId id, Writer writer);
    void onRecorderEvent(WriterId id, const CaptureEvent& event);
    void onLiveEvent(WriterId id, const CaptureEvent& event);
    void onSnapshotEvent(const CaptureEvent& event);
    void onWebcamEvent(WriterId id, const CaptureEvent& event);
    // Stops a writer without waiting; it is released when it reports Finished.
    void retire(WriterId id, std::shared_ptr<UnitWriter> writer);
    void release(WriterId id);
    static QString reasonText(const CaptureEvent& event);
    static QString savedText(const QString& path, const CaptureEvent& closed);
    // Where recordings and the live output go: as given for this run
    // (RunOverrides), else as configured.
    static RecorderSettings recorderSettings();
    static LiveSettings liveSettings();

    VideoHooks m_hooks;
    RecorderFactory m_makeRecorder;
    WriterId m_nextId = 0;
    std::shared_ptr<Recorder> m_recorder;
    WriterId m_recorderId = 0;
    QString m_recordingFile;
    std::shared_ptr<LiveOutput> m_live;
    WriterId m_liveId = 0;
    bool m_liveFailureShown = false;
    WebcamFactory m_makeWebcam;
    std::shared_ptr<VirtualCamera> m_webcam;
    WriterId m_webcamId = 0;
    bool m_webcamRead = false;
    bool m_webcamLoopback = false; // a v4l2loopback device, not PipeWire
    std::shared_ptr<SnapshotTaker> m_snapshots;
    bool m_snapshotsPlugged = false;
    // Writers that were asked to stop and have not finished yet.
    std::map<WriterId, std::shared_ptr<UnitWriter>> m_retiring;
};
