// Capture on the PC at the level of its sinks: fed with the simulated
// camera's H.264 as units with made-up times, writing into a scratch folder,
// checked by FFmpeg's own tools (ffprobe, ffmpeg).
#include "tests/support/Eventually.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/ScratchDisks.h"
#include "tests/support/SyntheticUnits.h"
#include "video/capture/CaptureFiles.h"
#include "video/capture/LiveOutput.h"
#include "video/capture/MediaMuxer.h"
#include "video/capture/Recorder.h"
#include "video/capture/SnapshotTaker.h"
#include "video/capture/UnitClock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>

extern "C" {
#include <libavutil/log.h>
}

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The events a writer reports, kept for the test to look at.
class EventLog {
public:
    CaptureReport reporter() {
        return [this](const CaptureEvent& e) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_events.push_back(e);
            }
            m_changed.notify_all();
        };
    }
    std::vector<CaptureEvent> of(CaptureEvent::Kind kind) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<CaptureEvent> out;
        for (const CaptureEvent& e : m_events)
            if (e.kind == kind)
                out.push_back(e);
        return out;
    }
    // Waits until `n` events of the kind came (or 10 s passed).
    bool waitFor(CaptureEvent::Kind kind, size_t n = 1) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [&] {
            size_t count = 0;
            for (const CaptureEvent& e : m_events)
                count += e.kind == kind ? 1 : 0;
            return count >= n;
        });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<CaptureEvent> m_events;
};

void feed(UnitSink& sink, const std::vector<VideoUnit>& units) {
    for (const VideoUnit& u : units)
        sink.onUnit(u);
}

#define REQUIRE_FFMPEG()                                                                           \
    if (!mediaprobe::haveTool("ffprobe") || !mediaprobe::haveTool("ffmpeg"))                       \
    GTEST_SKIP() << "ffprobe/ffmpeg not installed (Debian package ffmpeg)"

// The encoder of the simulated camera talks a lot.
const bool kQuietCodecs = [] {
    av_log_set_level(AV_LOG_ERROR);
    return true;
}();

} // namespace

// --- The clock of the written times ---------------------------------------------------

TEST(UnitClock, LearnsTheCameraUnitAndStampsMonotonicallyFromZero) {
    for (int64_t rate : {int64_t(1000000000), int64_t(1000000), int64_t(90000), int64_t(1000)}) {
        UnitClock clock;
        const int64_t step = rate / 30; // a picture every 1/30 s in the camera's unit
        int n = 0;
        // Arrival jitters by up to 8 ms; the camera's time is regular.
        while (!clock.learn(777 + n * step, 1000000 + n * 33333 + (n % 3) * 8000))
            ++n;
        EXPECT_EQ(clock.source(), UnitClock::Source::Camera) << rate;
        EXPECT_EQ(clock.cameraTicksPerSecond(), rate);
        EXPECT_LE(n, 20);
        EXPECT_EQ(clock.stamp(777, 1000000), 0);
        EXPECT_NEAR(clock.stamp(777 + step, 1050000), 33333, 1000000 / rate + 1)
            << "the camera's step, not the arrival's";
    }

    // No trailer: arrival times.
    UnitClock arrival;
    for (int64_t at = 100; !arrival.learn(0, at); at += 40000) {
    }
    EXPECT_EQ(arrival.source(), UnitClock::Source::Arrival);
    EXPECT_EQ(arrival.typicalStepUs(), 40000);
    arrival.restart();
    EXPECT_EQ(arrival.stamp(0, 100), 0);
    EXPECT_EQ(arrival.stamp(0, 40100), 40000);

    // A unit no common unit fits (37 kHz): arrival times.
    UnitClock odd;
    for (int n = 0; !odd.learn(5 + n * 1233, n * 33333); ++n) {
    }
    EXPECT_EQ(odd.source(), UnitClock::Source::Arrival);

    // A camera time that stands still: arrival times, and their usual step.
    UnitClock still;
    int64_t t = 0;
    while (!still.learn(42, t))
        t += t % 2 == 0 ? 30000 : 40000;
    EXPECT_EQ(still.source(), UnitClock::Source::Arrival);
    EXPECT_GE(t, UnitClock::kLearnSpanUs);
    EXPECT_GE(still.typicalStepUs(), 30000);
    EXPECT_LE(still.typicalStepUs(), 40000);
}

TEST(UnitClock, TheUsualStepIsTheMedianOfTheChosenSource) {
    // Stamped when sent, 30 a second in the camera's microseconds; every
    // fifth picture goes out late, with the next one right after it.
    UnitClock clock;
    for (int n = 0;; ++n) {
        const int64_t late = n % 5 == 4 ? 30000 : 0;
        if (clock.learn(5000 + n * 33333 + late, n * 33333 + late + 700))
            break;
    }
    EXPECT_EQ(clock.source(), UnitClock::Source::Camera);
    EXPECT_EQ(clock.typicalStepUs(), 33333);
    // A stream that ended while the clock learned decides with what it saw.
    UnitClock shortStream;
    shortStream.learn(1000, 0);
    shortStream.learn(34333, 33333);
    EXPECT_FALSE(shortStream.decided());
    shortStream.decideNow();
    EXPECT_EQ(shortStream.source(), UnitClock::Source::Camera);
    EXPECT_EQ(shortStream.typicalStepUs(), 33333);
}

TEST(UnitClock, ALeapOrAStepBackOfTheCameraClockNeverBreaksTheTimeline) {
    UnitClock clock;
    int n = 0;
    while (!clock.learn(1000 + n * 33333, n * 33333))
        ++n;
    ASSERT_EQ(clock.source(), UnitClock::Source::Camera);
    std::vector<int64_t> stamps;
    stamps.push_back(clock.stamp(1000, 0));
    stamps.push_back(clock.stamp(34333, 33333));
    stamps.push_back(clock.stamp(5, 66666));          // the camera restarted its clock
    stamps.push_back(clock.stamp(33338, 99999));      // and goes on from there
    stamps.push_back(clock.stamp(900000000, 133332)); // a leap far ahead
    stamps.push_back(clock.stamp(900000000, 133332)); // the same time twice
    stamps.push_back(clock.stamp(900033333, 100));    // arrival going back too
    for (size_t i = 1; i < stamps.size(); ++i)
        EXPECT_GT(stamps[i], stamps[i - 1]) << i;
    EXPECT_EQ(stamps[2] - stamps[1], 33333) << "the arrival step stands in";
    EXPECT_EQ(stamps[3] - stamps[2], 33333) << "the camera step again";
    EXPECT_EQ(stamps[4] - stamps[3], 33333);
    clock.restart();
    EXPECT_EQ(clock.stamp(900066666, 166665), 0) << "a new file starts at zero";
}

TEST(UnitClock, CameraTimesAddNoRoundingAndLateArrivalsKeepTheRate) {
    // 29.97 a second in 90 kHz ticks: 33366.67 us a step, which rounded
    // step by step would drift by a third of a microsecond each.
    UnitClock camera;
    for (int n = 0; !camera.learn(9000 + n * 3003, n * 33367); ++n) {
    }
    ASSERT_EQ(camera.cameraTicksPerSecond(), 90000);
    camera.restart();
    int64_t last = 0;
    for (int n = 0; n < 1000; ++n)
        last = camera.stamp(9000 + n * 3003, n * 33367 + (n % 4) * 5000);
    EXPECT_EQ(last, 999LL * 3003 * 1000000 / 90000);

    // No trailer, pictures late by up to 15 ms each: the rate is still 30.
    for (int fps : {30, 60}) {
        UnitClock arrival;
        const int64_t step = 1000000 / fps;
        for (int n = 0; !arrival.learn(0, n * step + (n * 7919 % 1000) * 15); ++n) {
        }
        EXPECT_EQ(FramePacer::stepFor(arrival.typicalStepUs()), 90000 / fps)
            << arrival.typicalStepUs();
    }
}

// A machine too busy for a moment: the pictures of a stall arrive together
// when it ends. Neither the rate learned nor the file's times may follow it.
TEST(UnitClock, AStallAndTheBurstAfterItAreNoRate) {
    for (int fps : {30, 60}) {
        const int64_t step = 1000000 / fps;
        for (int stalledFrom : {4, 9}) {
            UnitClock arrival;
            int n = 0;
            // Seven pictures held back by 130 ms, then on time again.
            auto arrivesAt = [&](int i) {
                return i >= stalledFrom && i < stalledFrom + 7 ? (stalledFrom + 7) * step + 300
                                                               : i * step + (i * 7919 % 1000) * 3;
            };
            while (!arrival.learn(0, 5000 + arrivesAt(n)))
                ++n;
            EXPECT_EQ(FramePacer::stepFor(arrival.typicalStepUs()), 90000 / fps)
                << fps << " a second, stall from picture " << stalledFrom << ": "
                << arrival.typicalStepUs();
        }
    }

    // Forty pictures together at the start of a file, then 60 a second: the
    // file keeps the rate and never puts two pictures in one millisecond.
    FramePacer pacer;
    pacer.start(16667);
    int64_t last = -90;
    for (int n = 0; n < 600; ++n) {
        const int64_t at = n < 40 ? n * 20 : 700000 + (n - 40) * 16667;
        const int64_t tick = pacer.pace(at);
        ASSERT_GE(tick - last, 90) << n;
        last = tick;
    }
    EXPECT_EQ(pacer.stepTicks(), 1500);
}

TEST(FramePacer, ConstantStepsThatFollowTheTimelineWithoutItsJitter) {
    EXPECT_EQ(FramePacer::stepFor(33333), 3000) << "30 a second";
    EXPECT_EQ(FramePacer::stepFor(33370), 3000) << "29.97 or 30: a whole rate";
    EXPECT_EQ(FramePacer::stepFor(40000), 3600);
    EXPECT_EQ(FramePacer::stepFor(33000), 3000) << "30 a second, measured with jitter";
    EXPECT_EQ(FramePacer::stepFor(16300), 1500) << "60 a second, measured with jitter";
    EXPECT_EQ(FramePacer::stepFor(36000), 3224) << "no common rate: a little shorter";

    // Jitter of up to 40 % of a step, bursts, one picture missing.
    FramePacer pacer;
    pacer.start(36000);
    std::vector<int64_t> ticks;
    int64_t t = 0;
    for (int n = 0; n < 300; ++n) {
        if (n == 150)
            t += 36000; // picture 150 never came
        const int64_t jitter = (n * 7919 % 27000) - 13000;
        const int64_t burst = n % 11 == 5 ? -35000 : 0;
        ticks.push_back(pacer.pace(std::max<int64_t>(t + jitter + burst, ticks.empty() ? 0 : 1)));
        t += 36000;
    }
    const int64_t step = pacer.stepTicks();
    int gaps = 0;
    for (size_t i = 1; i < ticks.size(); ++i) {
        const int64_t d = ticks[i] - ticks[i - 1];
        ASSERT_EQ(d % step, 0) << i;
        ASSERT_GE(d, step) << i;
        gaps += d > step ? 1 : 0;
    }
    // The missing picture, and the shortened step made up about every 200.
    EXPECT_GE(gaps, 1);
    EXPECT_LE(gaps, 3);
    EXPECT_NEAR(ticks.back() * 1000000.0 / 90000, 300 * 36000.0, 2 * 36000.0);

    // Pictures a little slower or faster than the step: the times keep to
    // the timeline, within a step behind and kLeadLimit steps ahead.
    for (int64_t actual : {int64_t(33400), int64_t(32400)}) {
        FramePacer p;
        p.start(33333);
        int64_t last = -1;
        for (int n = 0; n < 1800; ++n) {
            const int64_t tick = p.pace(n * actual);
            ASSERT_GT(tick, last);
            last = tick;
            const double ahead = tick * 1000000.0 / 90000 - n * static_cast<double>(actual);
            ASSERT_LT(ahead, (FramePacer::kLeadLimit + 1) * 33334) << actual << " " << n;
            ASSERT_GT(ahead, -33334.0) << actual << " " << n;
        }
    }
}

// --- Files ------------------------------------------------------------------------------

TEST(CaptureFiles, NamesByTimeAndNeverClash) {
    QTemporaryDir dir;
    const std::string folder = (dir.path() + "/a/b").toStdString(); // made on the way
    std::string first, second, third;
    ASSERT_TRUE(capturefiles::createUniqueFile(folder, "orunapp_x", "mp4", &first, nullptr));
    ASSERT_TRUE(capturefiles::createUniqueFile(folder, "orunapp_x", "mp4", &second, nullptr));
    ASSERT_TRUE(capturefiles::createUniqueFile(folder, "orunapp_x", "mp4", &third, nullptr));
    EXPECT_TRUE(QString::fromStdString(first).endsWith("/a/b/orunapp_x.mp4"));
    EXPECT_TRUE(QString::fromStdString(second).endsWith("/orunapp_x_2.mp4"));
    EXPECT_TRUE(QString::fromStdString(third).endsWith("/orunapp_x_3.mp4"));
    const QString stem = QString::fromStdString(capturefiles::timeStem("orunapp"));
    EXPECT_TRUE(QRegularExpression("^orunapp_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d$")
                    .match(stem)
                    .hasMatch())
        << stem.toStdString();

    // A file where the folder should be.
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    std::string path, reason;
    int number = 0;
    EXPECT_FALSE(capturefiles::createUniqueFile((dir.path() + "/file").toStdString(), "x", "mp4",
                                                &path, &reason, &number));
    EXPECT_EQ(number, ENOTDIR);
    EXPECT_FALSE(capturefiles::createUniqueFile((dir.path() + "/file/sub").toStdString(), "x",
                                                "mp4", &path, &reason, &number));
    EXPECT_FALSE(reason.empty());
}

// --- The recorder -----------------------------------------------------------------------

class RecorderTest : public ::testing::Test {
protected:
    RecorderSettings settingsFor(const char* container) {
        RecorderSettings s;
        s.folder = dir.path().toStdString();
        s.container = container;
        return s;
    }
    QStringList files() const {
        QStringList out;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
            out << dir.path() + "/" + name;
        return out;
    }
    QTemporaryDir dir;
    EventLog log;
};

TEST_F(RecorderTest, WritesAPlayableFileFromTheFirstKeyFrameWithTheCameraTimes) {
    REQUIRE_FFMPEG();
    for (const char* container : {"mp4", "matroska"}) {
        SCOPED_TRACE(container);
        QTemporaryDir scratch;
        RecorderSettings settings = settingsFor(container);
        settings.folder = scratch.path().toStdString();
        EventLog events;
        // Camera time in nanoseconds, 30 pictures a second; arrival is late
        // and irregular, which must not show in the file.
        SyntheticUnits source(320, 240, 33333333, 1000000000000LL, 40000);
        std::vector<VideoUnit> units = source.take(96);
        {
            Recorder recorder(settings, events.reporter());
            ASSERT_TRUE(recorder.start());
            // Joining mid-group: units before the next key frame are skipped.
            feed(recorder, std::vector<VideoUnit>(units.begin() + 3, units.end()));
            recorder.requestStop();
            ASSERT_TRUE(events.waitFor(CaptureEvent::Kind::Finished));
            EXPECT_TRUE(recorder.stop(1000));
            EXPECT_EQ(recorder.stats().unitsWritten, 66u);
        }
        ASSERT_EQ(events.of(CaptureEvent::Kind::FileOpened).size(), 1u);
        const auto closed = events.of(CaptureEvent::Kind::FileClosed);
        ASSERT_EQ(closed.size(), 1u);
        EXPECT_EQ(closed[0].frames, 66u);
        EXPECT_NEAR(closed[0].durationUs, 2200000, 2000);
        const QString path = QString::fromStdString(closed[0].path);
        EXPECT_TRUE(path.endsWith(std::string(container) == "mp4" ? ".mp4" : ".mkv"));
        const mediaprobe::VideoProbe probe = mediaprobe::probeVideo(path);
        ASSERT_TRUE(probe.ok) << probe.error.toStdString();
        EXPECT_EQ(probe.codec, "h264");
        EXPECT_EQ(probe.width, 320);
        EXPECT_EQ(probe.height, 240);
        EXPECT_EQ(probe.frames, 66);
        EXPECT_NEAR(probe.duration, 2.2, 0.05);
        EXPECT_EQ(mediaprobe::decodeErrors(path).toStdString(), "");
    }
}

// A camera whose trailer counts milliseconds (at 30 a second: steps of 33,
// 33 and 34) with arrival late by up to 15 ms: the file holds the camera's
// times themselves. Without a trailer the arrival times are smoothed to the
// stream's rate. Either way FFmpeg reads the file without a word.
TEST_F(RecorderTest, TheFileKeepsTheCameraClockOrTheStreamRate) {
    REQUIRE_FFMPEG();
    for (const char* container : {"mp4", "matroska"}) {
        for (int fps : {30, 60}) {
            for (bool trailer : {true, false}) {
                SCOPED_TRACE(std::string(container) + " " + std::to_string(fps) + " a second" +
                             (trailer ? " with" : " without") + " the trailer");
                QTemporaryDir scratch;
                RecorderSettings settings = settingsFor(container);
                settings.folder = scratch.path().toStdString();
                EventLog events;
                const int64_t stepUs = 1000000 / fps;
                SyntheticUnits source(160, 120, trailer ? 1 : 0, 123456, stepUs, fps);
                if (trailer)
                    source.stampAtRate(1000, fps);
                source.jitterArrival(15000);
                const std::vector<VideoUnit> units = source.take(fps * 3);
                {
                    Recorder recorder(settings, events.reporter());
                    ASSERT_TRUE(recorder.start());
                    // In steps the queue holds (a camera sends no faster).
                    for (size_t fed = 0; fed < units.size(); fed += 30) {
                        ASSERT_TRUE(eventually(
                            [&] { return recorder.stats().unitsWritten + 60 >= fed; }, 10000));
                        feed(recorder,
                             std::vector<VideoUnit>(units.begin() + fed, units.begin() + fed + 30));
                    }
                    recorder.requestStop();
                    ASSERT_TRUE(events.waitFor(CaptureEvent::Kind::Finished));
                }
                const auto closed = events.of(CaptureEvent::Kind::FileClosed);
                ASSERT_EQ(closed.size(), 1u);
                const QString path = QString::fromStdString(closed[0].path);
                const std::vector<double> times = mediaprobe::packetTimesMs(path);
                ASSERT_EQ(times.size(), units.size());
                int off = 0;
                for (size_t i = 0; i < times.size(); ++i) {
                    // The camera's milliseconds, or the rate's own step (a
                    // millisecond file rounds it).
                    const double expected =
                        trailer ? static_cast<double>(units[i].cameraTime - units[0].cameraTime)
                                : static_cast<double>(i) * 1000.0 / fps;
                    const double slack = trailer || std::string(container) == "mp4" ? 0.02 : 0.51;
                    if (std::fabs(times[i] - expected) > slack && off++ == 0)
                        ADD_FAILURE()
                            << "picture " << i << " at " << times[i] << " ms, not " << expected;
                }
                EXPECT_EQ(off, 0) << "pictures off their time";
                EXPECT_EQ(mediaprobe::decodeErrors(path).left(300).toStdString(), "");
            }
        }
    }
}

TEST_F(RecorderTest, ABreakClosesTheFileAndTheNextKeyFrameBeginsTheNextPart) {
    REQUIRE_FFMPEG();
    SyntheticUnits source(320, 240);
    Recorder recorder(settingsFor("mp4"), log.reporter());
    ASSERT_TRUE(recorder.start());
    feed(recorder, source.take(45));
    recorder.onStreamBreak(StreamBreak::LinkLost);
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::FileClosed)) << "a lost link closes the file";
    // The camera is back: its stream starts again with a key frame, its
    // clock from the start.
    SyntheticUnits again(320, 240, 33333, 5, 33333);
    feed(recorder, again.take(40));
    // A new picture size within the stream: a new file.
    again.resize(480, 272);
    feed(recorder, again.take(31));
    recorder.requestStop();
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::Finished));
    recorder.stop(1000);

    const auto closed = log.of(CaptureEvent::Kind::FileClosed);
    ASSERT_EQ(closed.size(), 3u);
    EXPECT_TRUE(QString::fromStdString(closed[1].path).contains("_part2.mp4"));
    EXPECT_TRUE(QString::fromStdString(closed[2].path).contains("_part3.mp4"));
    const int expected[3][3] = {{320, 240, 45}, {320, 240, 40}, {480, 272, 31}};
    for (int i = 0; i < 3; ++i) {
        const QString path = QString::fromStdString(closed[i].path);
        const mediaprobe::VideoProbe probe = mediaprobe::probeVideo(path);
        ASSERT_TRUE(probe.ok) << path.toStdString() << probe.error.toStdString();
        EXPECT_EQ(probe.width, expected[i][0]) << i;
        EXPECT_EQ(probe.height, expected[i][1]) << i;
        EXPECT_EQ(probe.frames, expected[i][2]) << i;
        EXPECT_EQ(mediaprobe::decodeErrors(path).toStdString(), "") << i;
    }
    EXPECT_EQ(files().size(), 3);
    EXPECT_EQ(recorder.recordedUs(),
              closed[0].durationUs + closed[1].durationUs + closed[2].durationUs)
        << "the parts together";
}

TEST_F(RecorderTest, AFolderThatCannotBeWrittenEndsTheRecordingWithItsReason) {
    QFile blocker(dir.path() + "/not-a-folder");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RecorderSettings settings = settingsFor("mp4");
    settings.folder = (dir.path() + "/not-a-folder/videos").toStdString();
    Recorder recorder(settings, log.reporter());
    ASSERT_TRUE(recorder.start());
    SyntheticUnits source(320, 240);
    feed(recorder, source.take(5));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::Finished)) << "the recorder ends by itself";
    const auto failed = log.of(CaptureEvent::Kind::FileFailed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_FALSE(failed[0].reason.empty());
    EXPECT_EQ(failed[0].errorNumber, ENOTDIR);
    EXPECT_TRUE(log.of(CaptureEvent::Kind::FileOpened).empty());
    // Units after the end go nowhere and harm nothing.
    feed(recorder, source.take(5));
    EXPECT_TRUE(recorder.stop(1000));
}

TEST_F(RecorderTest, PicturesTheDiskDidNotTakeInTimeAreAHoleTheFileNames) {
    REQUIRE_FFMPEG();
    // The writer stalls at its file's start, as on a disk that does not keep
    // up, while the camera goes on: the queue lets groups of pictures go.
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    const CaptureReport logged = log.reporter();
    Recorder recorder(settingsFor("mp4"), [&](const CaptureEvent& e) {
        logged(e);
        std::unique_lock<std::mutex> lock(mutex);
        if (e.kind == CaptureEvent::Kind::FileOpened)
            released.wait(lock, [&] { return release; });
    });
    ASSERT_TRUE(recorder.start());
    // 30 a second, a key frame a second, the camera's time in microseconds.
    SyntheticUnits source(320, 240);
    const std::vector<VideoUnit> units = source.take(200);
    recorder.onUnit(units[0]);
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::FileOpened));
    EXPECT_FALSE(recorder.writingPictures()) << "nothing is in the file yet";
    EXPECT_EQ(recorder.recordedUs(), 0);
    // 1..120 fill the queue; 121 overflows: 1..149 go, 150 (a key frame) on.
    feed(recorder, std::vector<VideoUnit>(units.begin() + 1, units.end()));
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    released.notify_all();
    recorder.requestStop();
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::Finished));
    EXPECT_TRUE(recorder.stop(1000));

    const auto closed = log.of(CaptureEvent::Kind::FileClosed);
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0].frames, 51u);
    ASSERT_EQ(closed[0].gaps.size(), 1u);
    const CaptureEvent::Gap& gap = closed[0].gaps[0];
    EXPECT_EQ(gap.pictures, 149u);
    EXPECT_NEAR(gap.atUs, 33333, 10) << "right after the first picture";
    EXPECT_NEAR(gap.durationUs, 149 * 33333, 10);
    EXPECT_EQ(closed[0].missingUs(), gap.durationUs);
    const WriterStats stats = recorder.stats();
    EXPECT_EQ(stats.unitsDropped, 149u);
    EXPECT_EQ(stats.gaps, 1u);
    EXPECT_EQ(stats.missingUs, gap.durationUs);
    EXPECT_EQ(recorder.recordedUs(), closed[0].durationUs) << "what the file holds";
    EXPECT_FALSE(recorder.writingPictures());
    // The hole keeps its time in the file: the pictures after it are where
    // the camera's clock put them.
    const QString path = QString::fromStdString(closed[0].path);
    const mediaprobe::VideoProbe probe = mediaprobe::probeVideo(path);
    ASSERT_TRUE(probe.ok) << probe.error.toStdString();
    EXPECT_EQ(probe.frames, 51);
    EXPECT_NEAR(probe.duration, 200 / 30.0, 0.1);
    EXPECT_EQ(mediaprobe::decodeErrors(path).toStdString(), "");
}

TEST_F(RecorderTest, AReadOnlyFolderAndAFullDiskEndTheRecordingWithTheirReason) {
    REQUIRE_FFMPEG();
    REQUIRE_SCRATCH_DISKS();
    // A folder without write permission, and one to be made in it.
    for (const QString& folder :
         {scratchdisks::readOnlyFolder(), scratchdisks::readOnlyFolder() + "/videos"}) {
        SCOPED_TRACE(folder.toStdString());
        EventLog events;
        RecorderSettings settings = settingsFor("mp4");
        settings.folder = folder.toStdString();
        std::string reason;
        int number = 0;
        EXPECT_FALSE(capturefiles::checkFolder(settings.folder, &reason, &number));
        EXPECT_EQ(number, EROFS) << reason;
        Recorder recorder(settings, events.reporter());
        ASSERT_TRUE(recorder.start());
        SyntheticUnits source(320, 240);
        feed(recorder, source.take(5));
        ASSERT_TRUE(events.waitFor(CaptureEvent::Kind::Finished));
        const auto failed = events.of(CaptureEvent::Kind::FileFailed);
        ASSERT_EQ(failed.size(), 1u);
        EXPECT_EQ(failed[0].errorNumber, EROFS) << failed[0].reason;
    }

    // The disk fills up while it records: the recording ends, and what went
    // into the file before plays.
    for (const char* container : {"mp4", "matroska"}) {
        SCOPED_TRACE(container);
        QDir small(scratchdisks::smallDiskFolder() + "/" + container);
        ASSERT_TRUE(small.mkpath("."));
        ASSERT_TRUE(scratchdisks::fillUpTo(small.path(), 160 * 1024));
        EventLog events;
        RecorderSettings settings = settingsFor(container);
        settings.folder = (small.path() + "/videos").toStdString();
        EXPECT_TRUE(capturefiles::checkFolder(settings.folder, nullptr));
        Recorder recorder(settings, events.reporter());
        ASSERT_TRUE(recorder.start());
        SyntheticUnits source(640, 360);
        int sent = 0;
        while (events.of(CaptureEvent::Kind::FileFailed).empty() && sent < 3000) {
            recorder.onUnit(source.next());
            ++sent;
        }
        ASSERT_TRUE(events.waitFor(CaptureEvent::Kind::FileFailed)) << sent << " pictures sent";
        ASSERT_TRUE(events.waitFor(CaptureEvent::Kind::Finished));
        const auto failed = events.of(CaptureEvent::Kind::FileFailed);
        EXPECT_EQ(failed[0].errorNumber, ENOSPC) << failed[0].reason;
        feed(recorder, source.take(5)); // after the end: nowhere, no harm
        EXPECT_TRUE(recorder.stop(1000));
        const QString path = QString::fromStdString(failed[0].path);
        ASSERT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
        const mediaprobe::VideoProbe probe = mediaprobe::probeVideo(path);
        ASSERT_TRUE(probe.ok) << probe.error.toStdString();
        EXPECT_EQ(probe.codec, "h264");
        EXPECT_GE(probe.frames, 30) << "at least the first second";
        EXPECT_LT(probe.frames, sent);
        EXPECT_EQ(mediaprobe::decodeErrors(path).toStdString(), "");
        small.removeRecursively();
    }
}

TEST_F(RecorderTest, AFileTheMuxerCannotStartIsReportedAndRemoved) {
    // The file is made before the muxer writes its header; a muxer that
    // cannot take H.264 (WAV) fails only then.
    Recorder recorder(settingsFor("wav"), log.reporter());
    ASSERT_TRUE(recorder.start());
    SyntheticUnits source(320, 240);
    feed(recorder, source.take(5));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::FileFailed));
    EXPECT_FALSE(log.of(CaptureEvent::Kind::FileFailed)[0].reason.empty());
    EXPECT_TRUE(log.of(CaptureEvent::Kind::FileOpened).empty());
    EXPECT_TRUE(recorder.stop(1000));
    EXPECT_EQ(files(), QStringList()) << "no empty file stays behind";
}

#ifdef __linux__
TEST(MediaMuxer, AFullDiskIsAnErrorOfTheWriteNotACrash) {
    std::atomic<bool> abort{false};
    MediaMuxer muxer(abort);
    SyntheticUnits source(320, 240);
    const VideoUnit key = source.next();
    StreamParams params;
    ASSERT_TRUE(readStreamParams(*key.data, &params));
    EXPECT_EQ(params.width, 320);
    EXPECT_EQ(params.height, 240);
    std::string error;
    int code = 0;
    bool failed =
        !muxer.open("file:/dev/full", "mp4", params, Recorder::muxerOptions("mp4"), &error, &code);
    // The header or one of the fragments (flushed at once) meets the full disk.
    for (int i = 0; i < 90 && !failed; ++i) {
        const VideoUnit u = i == 0 ? key : source.next();
        failed = !muxer.write(*u.data, i * 33333, 33333, u.keyFrame, &error, &code);
    }
    if (!failed)
        failed = !muxer.close(&error, true, &code);
    EXPECT_TRUE(failed);
    EXPECT_EQ(MediaMuxer::systemError(code), ENOSPC) << error;
    muxer.close(nullptr, false);
}
#endif

TEST(MediaMuxer, StreamParamsNeedAKeyFrame) {
    SyntheticUnits source(320, 240);
    source.next();
    const VideoUnit delta = source.next();
    ASSERT_FALSE(delta.keyFrame);
    StreamParams params;
    EXPECT_FALSE(readStreamParams(*delta.data, &params));
    EXPECT_FALSE(readStreamParams(std::string("\0\0\0\1\x67garbage", 12), &params));
    EXPECT_FALSE(readStreamParams(std::string(), &params));
}

// --- The live output ------------------------------------------------------------------------

TEST(LiveOutput, AnOutputThatDoesNotOpenIsReportedOnceAndStopNeverHangs) {
    EventLog log;
    LiveSettings settings;
    settings.kind = LiveSettings::Kind::UdpMpegTs;
    settings.address = "256.1.2.3:1234"; // no such address
    LiveOutput live(settings, log.reporter());
    EXPECT_EQ(live.settings().url(), "udp://256.1.2.3:1234?pkt_size=1316");
    ASSERT_TRUE(live.start());
    SyntheticUnits source(320, 240);
    feed(live, source.take(3));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::OutputFailed));
    EXPECT_EQ(log.of(CaptureEvent::Kind::OutputFailed)[0].path, "udp://256.1.2.3:1234");
    EXPECT_FALSE(log.of(CaptureEvent::Kind::OutputFailed)[0].reason.empty());
    EXPECT_TRUE(live.stop(5000)) << "the retry wait ends with the stop";
    EXPECT_EQ(log.of(CaptureEvent::Kind::OutputFailed).size(), 1u);
    EXPECT_EQ(live.stats().unitsWritten, 0u);

    // An SRT listener waits for its player; the stop cuts the wait short.
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 port = probe.localPort();
    probe.close();
    EventLog srtLog;
    LiveSettings srt;
    srt.address = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(srt.url(), srt.shownUrl() + "?mode=listener&pkt_size=1316");
    LiveOutput listener(srt, srtLog.reporter());
    ASSERT_TRUE(listener.start());
    ASSERT_TRUE(srtLog.waitFor(CaptureEvent::Kind::OutputWaiting));
    feed(listener, source.take(30)); // no player: nothing queues
    EXPECT_EQ(listener.stats().unitsDropped, 0u);
    EXPECT_TRUE(listener.stop(5000));
    EXPECT_TRUE(srtLog.waitFor(CaptureEvent::Kind::Finished));
}

// An SRT listener with a passphrase serves only a player that gives it.
TEST(LiveOutput, AnSrtListenerWithAPassphraseServesOnlyAPlayerThatGivesIt) {
    REQUIRE_FFMPEG();
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 port = probe.localPort();
    probe.close();
    LiveSettings srt;
    srt.address = "127.0.0.1:" + std::to_string(port);
    srt.options["passphrase"] = "right-passphrase";
    srt.options["latency"] = "120000";
    EXPECT_EQ(srt.shownUrl().find("right-passphrase"), std::string::npos);
    EventLog log;
    LiveOutput listener(srt, log.reporter());
    ASSERT_TRUE(listener.start());
    // The camera: 30 pictures a second until the test ends.
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread camera([&] {
        SyntheticUnits source(320, 240);
        std::unique_lock<std::mutex> lock(mutex);
        while (!wake.wait_for(lock, std::chrono::milliseconds(33), [&] { return done; }))
            listener.onUnit(source.next());
    });
    const QString url = QString("srt://127.0.0.1:%1").arg(port);
    const QStringList live{"-analyzeduration", "1000000", "-read_intervals", "%+#20"};
    const mediaprobe::VideoProbe without =
        mediaprobe::probeVideo(url + "?connect_timeout=3000", live, 20000);
    EXPECT_FALSE(without.ok) << "served without the passphrase";
    const mediaprobe::VideoProbe wrong =
        mediaprobe::probeVideo(url + "?passphrase=wrong-passphrase", live, 20000);
    EXPECT_FALSE(wrong.ok) << "served with a wrong passphrase";
    const mediaprobe::VideoProbe right =
        mediaprobe::probeVideo(url + "?passphrase=right-passphrase", live, 30000);
    EXPECT_TRUE(right.ok) << right.error.toStdString();
    EXPECT_EQ(right.codec, "h264");
    EXPECT_EQ(right.frames, 20);
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    wake.notify_all();
    camera.join();
    EXPECT_TRUE(listener.stop(5000));
}

// --- Snapshots ----------------------------------------------------------------------------

namespace {

// A picture as the display stage hands it out: quadrants of four colours,
// 8 columns of line padding, a subject box in the side information.
VideoPicture pictureWithBox(bool drawn, bool withClean) {
    VideoPicture p;
    cv::Mat rgb(120, 168, CV_8UC3, cv::Scalar(0, 0, 0));
    rgb(cv::Rect(0, 0, 80, 60)).setTo(cv::Scalar(200, 40, 40));
    rgb(cv::Rect(80, 0, 80, 60)).setTo(cv::Scalar(40, 170, 60));
    rgb(cv::Rect(0, 60, 80, 60)).setTo(cv::Scalar(40, 60, 200));
    rgb(cv::Rect(80, 60, 80, 60)).setTo(cv::Scalar(128, 128, 128));
    auto side = std::make_shared<SideInfo>(SideInfo{});
    (*side)[0] = 1;  // boxes present
    (*side)[31] = 1; // one box
    (*side)[36] = 1; // valid
    const float box[4] = {0.25f, 0.25f, 0.75f, 0.75f};
    std::memcpy(side->data() + 37, box, sizeof box);
    p.side = side;
    p.boxWidth = 168;
    p.boxHeight = 120;
    p.width = 160;
    p.height = 120;
    p.clean = rgb;
    if (drawn) {
        cv::Mat boxed = rgb.clone();
        drawTargetBoxes(boxed, *side, 168, 120);
        p.rgb = boxed;
        p.boxesDrawn = true;
        if (!withClean)
            p.clean = cv::Mat();
    } else {
        p.rgb = rgb;
    }
    return p;
}

int whitePixels(const cv::Mat& rgb) {
    int n = 0;
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) {
            const cv::Vec3b c = rgb.at<cv::Vec3b>(y, x);
            n += c[0] > 240 && c[1] > 240 && c[2] > 240 ? 1 : 0;
        }
    return n;
}

} // namespace

TEST(SnapshotTaker, ThePictureAtItsOwnSizeWithOrWithoutBoxes) {
    // Without boxes: the clean picture, the padding cut off.
    const cv::Mat clean = SnapshotTaker::chooseImage(pictureWithBox(true, true), false);
    EXPECT_EQ(clean.cols, 160);
    EXPECT_EQ(clean.rows, 120);
    EXPECT_EQ(whitePixels(clean), 0);
    // With boxes: as shown, or drawn now when the screen hides them.
    EXPECT_GT(whitePixels(SnapshotTaker::chooseImage(pictureWithBox(true, false), true)), 100);
    const cv::Mat drawnNow = SnapshotTaker::chooseImage(pictureWithBox(false, false), true);
    EXPECT_GT(whitePixels(drawnNow), 100);
    EXPECT_EQ(drawnNow.cols, 160);
}

TEST(SnapshotTaker, SavesPngAndJpegThatReadBackAsThePicture) {
    QTemporaryDir dir;
    EventLog log;
    SnapshotTaker taker(log.reporter());
    EXPECT_FALSE(taker.wantsPicture()) << "costs nothing until asked";
    SnapshotSettings png;
    png.folder = (dir.path() + "/pictures").toStdString();
    ASSERT_TRUE(taker.request(png));
    EXPECT_TRUE(taker.wantsPicture());
    EXPECT_TRUE(taker.wantsCleanPicture());
    EXPECT_FALSE(taker.request(png)) << "one at a time";
    taker.onPicture(pictureWithBox(true, true));
    EXPECT_FALSE(taker.wantsPicture());
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::SnapshotSaved));

    SnapshotSettings jpg = png;
    jpg.format = "jpg";
    jpg.withBoxes = true;
    ASSERT_TRUE(eventually([&] { return !taker.busy(); }));
    ASSERT_TRUE(taker.request(jpg));
    EXPECT_FALSE(taker.wantsCleanPicture());
    taker.onPicture(pictureWithBox(true, false));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::SnapshotSaved, 2));

    const auto saved = log.of(CaptureEvent::Kind::SnapshotSaved);
    const QString pngPath = QString::fromStdString(saved[0].path);
    const QString jpgPath = QString::fromStdString(saved[1].path);
    EXPECT_TRUE(pngPath.endsWith(".png"));
    EXPECT_TRUE(jpgPath.endsWith(".jpg"));
    cv::Mat back = cv::imread(pngPath.toStdString());
    ASSERT_FALSE(back.empty());
    cv::cvtColor(back, back, cv::COLOR_BGR2RGB);
    const cv::Mat expected = SnapshotTaker::chooseImage(pictureWithBox(true, true), false);
    EXPECT_EQ(cv::norm(back, expected, cv::NORM_INF), 0.0) << "PNG is lossless";
    cv::Mat jpeg = cv::imread(jpgPath.toStdString());
    ASSERT_FALSE(jpeg.empty());
    EXPECT_EQ(jpeg.cols, 160);
    EXPECT_GT(whitePixels(jpeg), 50);
}

TEST(SnapshotTaker, NoPictureOrNoFolderIsAFailureWithItsReason) {
    QTemporaryDir dir;
    EventLog log;
    SnapshotTaker taker(log.reporter(), std::chrono::milliseconds(200));
    SnapshotSettings settings;
    settings.folder = dir.path().toStdString();
    ASSERT_TRUE(taker.request(settings));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::SnapshotFailed)) << "no picture came";
    EXPECT_EQ(log.of(CaptureEvent::Kind::SnapshotFailed)[0].reason, CaptureEvent::kNoPicture);
    EXPECT_FALSE(taker.wantsPicture());

    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    settings.folder = (dir.path() + "/file").toStdString();
    ASSERT_TRUE(eventually([&] { return !taker.busy(); }));
    ASSERT_TRUE(taker.request(settings));
    taker.onPicture(pictureWithBox(false, false));
    ASSERT_TRUE(log.waitFor(CaptureEvent::Kind::SnapshotFailed, 2));
    EXPECT_EQ(log.of(CaptureEvent::Kind::SnapshotFailed)[1].errorNumber, ENOTDIR);
}
