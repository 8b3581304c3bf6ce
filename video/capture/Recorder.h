#pragma once

#include "video/capture/MediaMuxer.h"
#include "video/capture/UnitClock.h"
#include "video/capture/UnitWriter.h"

#include <string>
#include <vector>

// Where and how a recording is written.
struct RecorderSettings {
    std::string folder;
    // "mp4" (fragmented: a cut-off file keeps all but its last second) or
    // "matroska".
    std::string container = "mp4";
    // The first part of the file names (see capturefiles::timeStem).
    std::string prefix = "orunapp";
    // A recording into a file the user named: its name without the
    // extension ("clip" for "clip.mp4") in place of the prefix and the time,
    // and its extension (empty: the container's). Later parts and names that
    // are taken are numbered as for any recording.
    std::string stem;
    std::string extension;
};

// Records the camera's H.264 as it comes, without re-encoding: a unit sink
// whose writer thread ("orun-record") muxes into a file with libavformat.
//
// A file starts at a key frame, with its parameter sets. Its times are the
// camera's, from its time trailer (UnitClock), from zero; without a trailer
// (or with one stamped when sent, not regular) they are the timeline paced
// into the constant steps of the stream's rate (FramePacer). A break of the stream (the link lost,
// a new media session, a pause) ends the file cleanly; the next key frame begins the next part,
// "<name>_part2" and so on, as does a key frame with other parameter sets (a
// new resolution). A file that cannot be created or written ends the
// recording: FileFailed tells why, then Finished; what the file held before
// the failed write stays, and plays.
//
// Where the queue let units go (the disk did not keep up), the file has a
// hole: FileClosed lists each one, placed and measured by the times of the
// units let go, and the stats count them.
class Recorder : public UnitWriter {
public:
    // Units that may wait for the disk (four seconds at 30 pictures a second).
    static constexpr size_t kQueueCapacity = 120;

    Recorder(RecorderSettings settings, CaptureReport report);
    ~Recorder() override;

    // The file name extension of a container ("mp4", "mkv").
    static std::string extensionOf(const std::string& container);
    // What libavformat is told for a container: a fragment per key frame and
    // at least every second for MP4, a cluster a second for Matroska, each
    // flushed to the file at once.
    static std::map<std::string, std::string> muxerOptions(const std::string& container);

    // What the recording's files hold so far in their own time, all parts
    // together (any thread).
    int64_t recordedUs() const { return m_recordedUs.load(); }
    // True while a file is open and holds at least one picture (any thread).
    bool writingPictures() const { return m_writingPictures.load(); }

protected:
    void run() override;

private:
    void handleUnit(const VideoUnit& unit);
    bool openFile(const VideoUnit& keyFrame, const StreamParams& params);
    void closeFile();
    void stampAndWrite(const VideoUnit& unit);
    bool writeHeld(int64_t duration);
    // The duration of the file's last picture, in ticks.
    int64_t lastStepTicks() const;
    void fail(const std::string& path, const std::string& reason, int errorNumber);
    // Units the queue let go: a hole in the open file, or in the next one.
    void noteLost(const UnitGap& lost);
    CaptureEvent::Gap placeGap(const UnitGap& lost) const;

    const RecorderSettings m_settings;
    const std::string m_stem;
    const std::string m_extension;
    MediaMuxer m_muxer;
    UnitClock m_clock;
    FramePacer m_pacer;
    bool m_pacing = false;
    StreamParams m_params;
    std::string m_path;
    int m_part = 0;
    bool m_failed = false;
    // Units kept while the clock learns the camera's time unit.
    std::vector<VideoUnit> m_learning;
    // The unit written next, once the following one tells its duration.
    VideoUnit m_held;
    bool m_hasHeld = false;
    int64_t m_heldPts = 0; // ticks
    int64_t m_end = 0;     // ticks
    uint64_t m_fileFrames = 0;
    // The size of the file after its last whole write.
    int64_t m_cleanBytes = 0;
    // The times of the file's first unit: where the holes are counted from.
    int64_t m_originCamera = 0;
    int64_t m_originArrivalUs = 0;
    std::vector<CaptureEvent::Gap> m_gaps;
    // Units let go while no file was open: missing from the start of the next.
    UnitGap m_lostBeforeFile;
    int64_t m_closedUs = 0; // of the files closed
    std::atomic<int64_t> m_recordedUs{0};
    std::atomic<bool> m_writingPictures{false};
};
