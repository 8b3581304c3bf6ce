// Capture on the PC as the window drives it: the settings in the
// configuration file, and the controller that switches recording, snapshots
// and the live output on and off and turns what the writers report into
// banners, with the video path stood in for.
#include "app/CaptureControl.h"
#include "app/Configuration.h"
#include "app/RunOptions.h"
#include "tests/support/FakeVideo.h"
#include "tests/support/LogCapture.h"
#include "tests/support/LogLines.h"
#include "tests/support/SyntheticUnits.h"
#include "video/VideoPicture.h"
#include "video/webcam/VirtualCamera.h"

extern "C" {
#include <libavutil/log.h>
}

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

const bool kQuietCodecs = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

class CaptureControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        setApplicationBaseDir(dir.path());
    }
    void TearDown() override {
        setRunOverrides(RunOverrides{});
        setApplicationBaseDir(QString());
    }

    // Notices shown so far, as "level:text".
    static QStringList notices(const QSignalSpy& spy) {
        QStringList out;
        for (const QList<QVariant>& args : spy)
            out << QString("%1:%2").arg(args[0].toInt()).arg(args[1].toString());
        return out;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(CaptureControlTest, SettingsHaveDefaultsAndSurviveTheConfigurationFile) {
    const CaptureSettings defaults = CaptureSettings::load();
    EXPECT_EQ(defaults.recordFolder,
              QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + "/orunapp");
    EXPECT_EQ(defaults.snapshotFolder,
              QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + "/orunapp");
    EXPECT_EQ(defaults.recordFormat, "mp4");
    EXPECT_EQ(defaults.snapshotFormat, "png");
    EXPECT_EQ(defaults.liveKind, LiveSettings::Kind::SrtListener);
    EXPECT_FALSE(defaults.webcamAtStart);
    EXPECT_EQ(defaults.live().shownUrl(), "srt://127.0.0.1:9710");
    EXPECT_FALSE(QFile::exists(configFilePath())) << "reading writes nothing";

    CaptureSettings s = defaults;
    s.recordFolder = dir.path() + "/videos";
    s.recordFormat = "mkv";
    s.snapshotFormat = "jpg";
    s.snapshotBoxes = true;
    s.webcamAtStart = true;
    s.liveKind = LiveSettings::Kind::UdpMpegTs;
    s.setLiveAddress("239.0.0.1:5000");
    s.save();
    const CaptureSettings back = CaptureSettings::load();
    EXPECT_EQ(back, s);
    EXPECT_EQ(back.recorder().container, "matroska");
    EXPECT_EQ(back.live().url(), "udp://239.0.0.1:5000?pkt_size=1316");
    EXPECT_EQ(back.liveSrt, defaults.liveSrt) << "each kind keeps its address";
    EXPECT_EQ(readConfigValue("Capture/liveKind", QString()).toString(), "udp");

    // Unusable values fall back to the defaults.
    writeConfigValue("Capture/recordFormat", "avi");
    writeConfigValue("Capture/recordFolder", "  ");
    EXPECT_EQ(CaptureSettings::load().recordFormat, "mp4");
    EXPECT_EQ(CaptureSettings::load().recordFolder, defaults.recordFolder);

    using K = LiveSettings::Kind;
    EXPECT_TRUE(CaptureSettings::addressValid(K::SrtListener, "127.0.0.1:9710"));
    EXPECT_TRUE(CaptureSettings::addressValid(K::UdpMpegTs, "[::1]:5000"));
    EXPECT_FALSE(CaptureSettings::addressValid(K::SrtListener, "127.0.0.1"));
    EXPECT_FALSE(CaptureSettings::addressValid(K::SrtListener, "127.0.0.1:70000"));
    EXPECT_FALSE(CaptureSettings::addressValid(K::UdpMpegTs, "1.2.3.4:5?mode=caller"));
    EXPECT_TRUE(CaptureSettings::addressValid(K::RtmpPush, "rtmp://live.example.com/app/key"));
    EXPECT_FALSE(CaptureSettings::addressValid(K::RtmpPush, "http://example.com/x"));
}

TEST_F(CaptureControlTest, RecordingPlugsInWritesFilesAcrossBreaksAndUnplugsOnStop) {
    CaptureSettings s = CaptureSettings::load();
    s.recordFolder = dir.path() + "/videos";
    s.save();
    FakeVideo video;
    CaptureControl control;
    QSignalSpy changed(&control, &CaptureControl::recordingChanged);
    QSignalSpy written(&control, &CaptureControl::fileWritten);
    QSignalSpy shown(&control, &CaptureControl::notice);
    control.setVideoHooks(video.hooks());
    EXPECT_TRUE(video.units.empty()) << "nothing plugged in until switched on";

    control.toggleRecording();
    ASSERT_TRUE(control.isRecording());
    EXPECT_EQ(video.units.size(), 1u);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_TRUE(changed[0][0].toBool());

    SyntheticUnits camera(320, 240);
    for (int i = 0; i < 40; ++i)
        video.send(camera.next());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control.recordingFile().isEmpty(); }, 5000));
    video.breakStream(StreamBreak::LinkLost);
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 1; }, 5000));
    EXPECT_TRUE(control.isRecording()) << "a lost link does not end the recording";
    // The camera is back; the recorder waits for its next key frame (the 61st).
    for (int i = 0; i < 30; ++i)
        video.send(camera.next());
    control.toggleRecording();
    EXPECT_FALSE(control.isRecording());
    EXPECT_TRUE(video.units.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 2; }, 5000));
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(QDir(dir.path() + "/videos").entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(written[1][0].toString().endsWith("_part2.mp4"));
    const QStringList texts = notices(shown);
    ASSERT_EQ(texts.size(), 2) << texts.join('|').toStdString();
    EXPECT_TRUE(texts[0].startsWith("2:")) << "an information banner";
    EXPECT_TRUE(texts[0].contains(QDir::toNativeSeparators(written[0][0].toString())));
}

TEST_F(CaptureControlTest, AFolderThatCannotBeWrittenShowsWhyAndEndsTheRecording) {
    QFile blocker(dir.path() + "/plain-file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CaptureSettings s = CaptureSettings::load();
    s.recordFolder = dir.path() + "/plain-file";
    s.snapshotFolder = dir.path() + "/plain-file/pictures";
    s.save();
    FakeVideo video;
    CaptureControl control;
    QSignalSpy shown(&control, &CaptureControl::notice);
    control.setVideoHooks(video.hooks());
    // Told at the click, camera or not; nothing records.
    QSignalSpy changed(&control, &CaptureControl::recordingChanged);
    EXPECT_FALSE(control.startRecording());
    EXPECT_FALSE(control.isRecording());
    EXPECT_TRUE(video.units.empty());
    EXPECT_TRUE(changed.isEmpty());
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0][0].toInt(), CaptureControl::kNoticeWarning);
    EXPECT_TRUE(shown[0][1].toString().contains("plain-file"))
        << shown[0][1].toString().toStdString();
    EXPECT_TRUE(shown[0][1].toString().contains(QString::fromUtf8("不是文件夹")));

    // A snapshot into it fails the same way; the picture sink stays plugged.
    control.takeSnapshot();
    ASSERT_EQ(video.pictures.size(), 1u);
    VideoPicture picture;
    picture.rgb = cv::Mat(64, 64, CV_8UC3, cv::Scalar(10, 20, 30));
    picture.width = 64;
    picture.height = 64;
    ASSERT_TRUE(video.pictures[0]->wantsPicture());
    video.pictures[0]->onPicture(picture);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 2; }, 5000));
    EXPECT_EQ(shown[1][0].toInt(), CaptureControl::kNoticeWarning);
    EXPECT_FALSE(control.isSnapshotPending());
}

namespace {

// Recorders whose disk stalls at the start of each file until the test lets
// it go on (at the latest when it ends); the pictures that come meanwhile are
// let go by the queue.
class StallingDisk {
public:
    CaptureControl::RecorderFactory factory() {
        const std::shared_ptr<State> state = m_state;
        return [state](const RecorderSettings& settings, CaptureReport report) {
            return std::make_shared<Recorder>(settings, [state, report](const CaptureEvent& e) {
                report(e);
                if (e.kind != CaptureEvent::Kind::FileOpened)
                    return;
                std::unique_lock<std::mutex> lock(state->mutex);
                state->stalled = true;
                state->changed.notify_all();
                state->changed.wait(lock, [&] { return state->goOn; });
            });
        };
    }
    bool waitUntilStalled() {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        return m_state->changed.wait_for(lock, std::chrono::seconds(10),
                                         [this] { return m_state->stalled; });
    }
    void goOn() {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->goOn = true;
        m_state->changed.notify_all();
    }
    ~StallingDisk() { goOn(); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool stalled = false;
        bool goOn = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace

TEST_F(CaptureControlTest, TheRunningTimeIsWhatTheFileHoldsAndAHoleIsToldWhenItCloses) {
    CaptureSettings s = CaptureSettings::load();
    s.recordFolder = dir.path() + "/videos";
    s.save();
    FakeVideo video;
    CaptureControl control;
    StallingDisk disk; // lets go before the control ends
    control.setRecorderFactory(disk.factory());
    QSignalSpy shown(&control, &CaptureControl::notice);
    QSignalSpy written(&control, &CaptureControl::fileWritten);
    control.setVideoHooks(video.hooks());
    LogLines log;

    ASSERT_TRUE(control.startRecording());
    EXPECT_TRUE(control.isRecordingWaiting()) << "no camera yet";
    EXPECT_EQ(control.recordedMs(), 0);
    QTest::qWait(300);
    EXPECT_EQ(control.recordedMs(), 0) << "the wall clock does not count";

    // 30 a second, a key frame a second. The file opens with the first, then
    // the disk stalls: of the next 199, 1..149 are let go.
    SyntheticUnits camera(320, 240);
    video.send(camera.next());
    ASSERT_TRUE(disk.waitUntilStalled());
    EXPECT_TRUE(control.isRecordingWaiting()) << "nothing in the file yet";
    for (int i = 1; i < 200; ++i)
        video.send(camera.next());
    disk.goOn();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !control.isRecordingWaiting(); }, 5000));
    EXPECT_GE(control.recordedMs(), 5000) << "the hole is time of the file";
    EXPECT_LE(control.recordedMs(), 6700);
    EXPECT_EQ(control.recordingStats().unitsDropped, 149u);
    EXPECT_EQ(control.recordingStats().gaps, 1u);

    control.stopRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 1; }, 5000));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0][0].toInt(), CaptureControl::kNoticeWarning);
    EXPECT_EQ(
        shown[0][1].toString(),
        QString::fromUtf8("录像已保存:%1,因磁盘太慢缺失 5.0 秒").arg(written[0][0].toString()));
    EXPECT_TRUE(log.contains(QString::fromUtf8("s where the disk was too slow, at 0.03–5.00 s "
                                               "(149 pictures)")));
}

TEST_F(CaptureControlTest, SnapshotGoesToThePicturesFolder) {
    CaptureSettings s = CaptureSettings::load();
    s.snapshotFolder = dir.path() + "/pictures";
    s.save();
    FakeVideo video;
    CaptureControl control;
    QSignalSpy written(&control, &CaptureControl::fileWritten);
    control.setVideoHooks(video.hooks());
    control.takeSnapshot();
    ASSERT_EQ(video.pictures.size(), 1u);
    VideoPicture picture;
    picture.rgb = cv::Mat(48, 80, CV_8UC3, cv::Scalar(200, 40, 40));
    picture.width = 64;
    picture.height = 48;
    video.pictures[0]->onPicture(picture);
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 1; }, 5000));
    const QString path = written[0][0].toString();
    EXPECT_TRUE(path.startsWith(QDir::toNativeSeparators(dir.path() + "/pictures/orunapp_")));
    const QImage image(QDir::fromNativeSeparators(path));
    EXPECT_EQ(image.size(), QSize(64, 48)) << "the picture's own size";
    EXPECT_EQ(image.pixel(10, 10), qRgb(200, 40, 40));
    control.takeSnapshot();
    EXPECT_EQ(video.pictures.size(), 1u) << "plugged in once";
}

TEST_F(CaptureControlTest, ALiveOutputThatDoesNotOpenGivesOneBannerAndCanBeStopped) {
    CaptureSettings s = CaptureSettings::load();
    s.liveKind = LiveSettings::Kind::RtmpPush;
    s.liveRtmp = "rtmp://127.0.0.1:1/live/none"; // nothing listens on port 1
    s.save();
    LogCapture log;
    FakeVideo video;
    CaptureControl control;
    QSignalSpy shown(&control, &CaptureControl::notice);
    QSignalSpy changed(&control, &CaptureControl::liveOutputChanged);
    control.setVideoHooks(video.hooks());
    EXPECT_EQ(control.liveUrl(), "rtmp://127.0.0.1:1/live/\u2022\u2022\u2022\u2022");
    control.toggleLiveOutput();
    ASSERT_TRUE(control.isLiveOutputOn());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == 1; }, 8000));
    EXPECT_EQ(shown[0][0].toInt(), CaptureControl::kNoticeWarning);
    EXPECT_TRUE(shown[0][1].toString().contains("rtmp://127.0.0.1:1/live/"));
    EXPECT_FALSE(shown[0][1].toString().contains("none")) << "the stream key stays hidden";
    EXPECT_TRUE(control.isLiveOutputOn()) << "it keeps trying";
    control.toggleLiveOutput();
    EXPECT_FALSE(control.isLiveOutputOn());
    EXPECT_TRUE(video.units.empty());
    EXPECT_EQ(changed.size(), 2);
    QTest::qWait(100);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_TRUE(log.contains("did not open"));
    EXPECT_TRUE(log.lines().filter("none").isEmpty()) << log.lines().join('\n').toStdString();
}

// An SRT listener that others can reach without a passphrase is worth a
// warning; the passphrase itself is never logged.
TEST_F(CaptureControlTest, AnOpenSrtListenerIsWarnedOfAndItsPassphraseNeverLogged) {
    FakeVideo video;
    CaptureControl control;
    control.setVideoHooks(video.hooks());
    CaptureSettings s = CaptureSettings::load();
    const struct {
        const char* address;
        const char* passphrase;
        bool warned;
    } cases[] = {
        {"0.0.0.0:9711", "", true},
        {"0.0.0.0:9711?mode=caller", "", false},
        {"0.0.0.0:9711", "0123456789-secret", false},
        {"127.0.0.1:9711", "", false},
    };
    for (const auto& c : cases) {
        s.liveSrt = c.address;
        s.liveSrtPassphrase = c.passphrase;
        s.save();
        LogCapture log;
        ASSERT_TRUE(control.startLiveOutput());
        control.stopLiveOutput();
        EXPECT_EQ(log.contains("no passphrase"), c.warned) << c.address << " " << c.passphrase;
        EXPECT_TRUE(log.lines().filter("secret").isEmpty()) << log.lines().join('\n').toStdString();
        EXPECT_FALSE(control.liveUrl().contains("secret"));
    }
}

TEST_F(CaptureControlTest, AFileAndAUrlOfThisRunTakeThePlaceOfTheSettingsAndStayOutOfThem) {
    // A file's extension chooses the container; its name is kept.
    RecorderSettings r = CaptureSettings::recorderInto("/data/takes/clip.MKV");
    EXPECT_EQ(r.folder, "/data/takes");
    EXPECT_EQ(r.container, "matroska");
    EXPECT_EQ(r.stem, "clip");
    EXPECT_EQ(r.extension, "MKV");
    r = CaptureSettings::recorderInto("/data/take.1.mov");
    EXPECT_EQ(r.container, "mp4");
    EXPECT_EQ(r.stem, "take.1");
    EXPECT_EQ(r.extension, "mov");
    r = CaptureSettings::recorderInto("/data/take");
    EXPECT_EQ(r.container, "mp4");
    EXPECT_EQ(r.stem, "take");
    EXPECT_EQ(r.extension, "mp4");

    CaptureSettings s = CaptureSettings::load();
    s.recordFolder = dir.path() + "/videos";
    s.save();
    QFile config(configFilePath());
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QByteArray configured = config.readAll();
    config.close();
    // A file of that name is there already: it is kept, the recording numbered.
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/out"));
    QFile taken(dir.path() + "/out/clip.mkv");
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("keep");
    taken.close();
    RunOverrides run;
    run.record = true;
    run.recordFile = dir.path() + "/out/clip.mkv";
    LiveSettings live;
    ASSERT_TRUE(CaptureSettings::liveFromUrl("udp://127.0.0.1:5000", &live, nullptr));
    run.liveOutput = live;
    setRunOverrides(run);

    FakeVideo video;
    CaptureControl control;
    QSignalSpy written(&control, &CaptureControl::fileWritten);
    control.setVideoHooks(video.hooks());
    EXPECT_EQ(control.liveUrl(), "udp://127.0.0.1:5000");
    ASSERT_TRUE(control.startRecording());
    SyntheticUnits camera(320, 240);
    for (int i = 0; i < 40; ++i)
        video.send(camera.next());
    video.breakStream(StreamBreak::LinkLost);
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 1; }, 5000));
    for (int i = 0; i < 30; ++i)
        video.send(camera.next());
    control.stopRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return written.size() == 2; }, 5000));
    EXPECT_EQ(QDir::fromNativeSeparators(written[0][0].toString()), dir.path() + "/out/clip_2.mkv");
    EXPECT_EQ(QDir::fromNativeSeparators(written[1][0].toString()),
              dir.path() + "/out/clip_part2.mkv");
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    EXPECT_EQ(taken.readAll(), QByteArray("keep"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/videos"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_EQ(config.readAll(), configured) << "nothing of this run is saved";

    setRunOverrides(RunOverrides{});
    EXPECT_EQ(control.liveUrl(), "srt://127.0.0.1:9710") << "the settings again";
}

namespace {

// A virtual camera that reports what the test says.
class FakeCamera : public VirtualCamera {
public:
    FakeCamera(WebcamSettings s, CaptureReport r) : settings(std::move(s)), report(std::move(r)) {}
    bool start() override { return ++starts == 1; }
    void stop(int) override { ++stops; }
    WebcamStats stats() const override { return WebcamStats{}; }
    void onPicture(const VideoPicture&) override {}
    void tell(CaptureEvent::Kind kind, const std::string& reason = {}, int number = 0) {
        CaptureEvent e;
        e.kind = kind;
        e.path = settings.nodeName;
        e.reason = reason;
        e.errorNumber = number;
        report(e);
    }

    WebcamSettings settings;
    CaptureReport report;
    int starts = 0;
    int stops = 0;
};

} // namespace

TEST_F(CaptureControlTest, TheWebcamPlugsInIsToldWhenItsDaemonIsMissingOrGoneAndStartsAgain) {
    LogLines log;
    CaptureSettings s = CaptureSettings::load();
    s.snapshotBoxes = true;
    s.save();
    FakeVideo video;
    CaptureControl control;
    control.setVideoHooks(video.hooks());
    std::vector<std::shared_ptr<FakeCamera>> made;
    control.setWebcamFactory([&made](const WebcamSettings& settings, CaptureReport report) {
        made.push_back(std::make_shared<FakeCamera>(settings, std::move(report)));
        return made.back();
    });
    QSignalSpy changed(&control, &CaptureControl::webcamChanged);
    QSignalSpy shown(&control, &CaptureControl::notice);

    control.toggleWebcam();
    ASSERT_TRUE(control.isWebcamOn());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->starts, 1);
    EXPECT_TRUE(made[0]->settings.withBoxes) << "as snapshots are";
    ASSERT_EQ(video.pictures.size(), 1u);
    EXPECT_EQ(video.pictures[0], made[0]);
    made[0]->tell(CaptureEvent::Kind::OutputWaiting);
    made[0]->tell(CaptureEvent::Kind::OutputOpened);
    EXPECT_TRUE(QTest::qWaitFor([&] { return control.isWebcamRead(); }, 2000));
    made[0]->tell(CaptureEvent::Kind::OutputClosed, "the consumer stopped reading");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control.isWebcamRead(); }, 2000));
    EXPECT_TRUE(control.isWebcamOn()) << "a consumer that goes leaves the camera on";
    EXPECT_TRUE(shown.isEmpty()) << notices(shown).join("; ").toStdString();

    // The daemon goes away: told once, the camera unplugged and stopped.
    made[0]->tell(CaptureEvent::Kind::OutputClosed, "the PipeWire daemon went away", EPIPE);
    made[0]->tell(CaptureEvent::Kind::Finished);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control.isWebcamOn(); }, 2000));
    EXPECT_TRUE(video.pictures.empty());
    EXPECT_EQ(made[0]->stops, 1);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0][0].toInt(), CaptureControl::kNoticeWarning);
    EXPECT_TRUE(log.contains("Webcam stopped: the PipeWire daemon went away"));
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_FALSE(changed.last()[0].toBool());

    // Started again: a new camera; no daemon this time.
    control.startWebcam();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_TRUE(control.isWebcamOn());
    made[1]->tell(CaptureEvent::Kind::OutputFailed, "no PipeWire daemon: No such file", ENOENT);
    made[1]->tell(CaptureEvent::Kind::Finished);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !control.isWebcamOn(); }, 2000));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(log.contains("Webcam not offered: no PipeWire daemon"));
    // What a stopped camera still reports changes nothing.
    made[0]->tell(CaptureEvent::Kind::OutputOpened);
    QTest::qWait(50);
    EXPECT_FALSE(control.isWebcamRead());

    // A system without a virtual camera: told, nothing plugged in.
    control.setWebcamFactory([](const WebcamSettings&, CaptureReport) { return nullptr; });
    EXPECT_FALSE(control.startWebcam());
    EXPECT_FALSE(control.isWebcamOn());
    EXPECT_TRUE(video.pictures.empty());
    EXPECT_EQ(shown.size(), 3);
}
