#pragma once

#include "tools/camsim/media/VideoSource.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace camsim {

// Where the subject is in the picture, as fractions of width and height.
struct SubjectBox {
    bool visible = false;
    float left = 0, top = 0, right = 0, bottom = 0;
};

// The synthetic scene: four coloured quadrants, a yellow subject that moves
// left and right across the middle, and the frame number in the top-left
// corner. Mirroring flips the scene, the zoom factor crops its centre.
class SyntheticScene {
public:
    // Colours of the quadrants (R, G, B): top-left, top-right, bottom-left,
    // bottom-right, and of the subject.
    static const cv::Vec3b kTopLeft, kTopRight, kBottomLeft, kBottomRight, kSubject;

    // Renders frame `index` as an R, G, B matrix and reports the subject box.
    static cv::Mat render(int64_t index, const VideoSettings& settings, SubjectBox* box);
    // The subject box before mirroring and zoom.
    static SubjectBox subjectAt(int64_t index, int framesPerSecond);
};

// The camera's side-information payload (791 bytes) for one subject box.
std::string makeSideInfo(const SubjectBox& box);

// An H.264 encoder for the simulated camera: low latency, no B-frames, SPS and
// PPS with every IDR, one IDR per second (or every `keyFrameSeconds`).
class H264Encoder {
public:
    H264Encoder();
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    // Opens an encoder for the size; libx264 when available, else the first
    // other H.264 encoder that opens. False when none does.
    bool open(int width, int height, int framesPerSecond, int keyFrameSeconds = 1);
    void close();
    bool isOpen() const { return m_ctx != nullptr; }
    // Name of the encoder in use.
    std::string name() const;

    // Encodes one R, G, B picture of the opened size; `forceKey` asks for an
    // IDR. Returns the access unit (Annex B), empty when the encoder gave none.
    std::string encode(const cv::Mat& rgb, bool forceKey = false);

private:
    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int64_t m_pts = 0;
};

// The simulated camera's live picture: the synthetic scene at the configured
// resolution, encoded for 30 frames per second (or the rate given), with the
// subject's box as side information. configure() may be called from another
// thread than nextFrame().
class SyntheticVideoSource : public VideoSource {
public:
    explicit SyntheticVideoSource(int framesPerSecond = 30, int keyFrameSeconds = 1);
    void configure(const VideoSettings& settings) override;
    bool nextFrame(VideoFrame& out) override;
    void startStream() override;
    int framesPerSecond() const override { return m_fps; }

    // Name of the encoder in use (empty before the first frame).
    std::string encoderName() const { return m_encoder.name(); }

private:
    const int m_fps;
    const int m_keyFrameSeconds;
    std::mutex m_mutex; // guards m_settings and m_reopen
    VideoSettings m_settings;
    bool m_reopen = true;
    bool m_keyFrameNext = false;
    H264Encoder m_encoder;
    int64_t m_index = 0;
};

// Replays an H.264 elementary stream file (Annex B), one access unit per
// frame, with four-byte start codes and no side information.
class AnnexBFileSource : public VideoSource {
public:
    explicit AnnexBFileSource(const std::string& path, int framesPerSecond = 30, bool loop = true);
    // Replays bytes held in memory instead of a file.
    static std::unique_ptr<AnnexBFileSource> fromBytes(const std::string& bytes,
                                                       int framesPerSecond = 30, bool loop = false);

    bool isValid() const { return !m_units.empty(); }
    size_t accessUnitCount() const { return m_units.size(); }

    void configure(const VideoSettings&) override {}
    bool nextFrame(VideoFrame& out) override;
    int framesPerSecond() const override { return m_fps; }

    // Splits an Annex B stream into access units.
    static std::vector<std::string> splitAccessUnits(const std::string& stream);

private:
    AnnexBFileSource(int framesPerSecond, bool loop) : m_fps(framesPerSecond), m_loop(loop) {}
    std::vector<std::string> m_units;
    size_t m_next = 0;
    int m_fps;
    bool m_loop;
};

} // namespace camsim
