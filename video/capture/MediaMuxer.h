#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

// What a file or an output needs to know of the camera's H.264 stream before
// its header: the parameter sets and the picture size, from a key frame.
struct StreamParams {
    // SPS and PPS in Annex B form, as the key frame carries them.
    std::string extradata;
    // The SPS alone: a different one later means a new stream (a new size).
    std::string sps;
    int width = 0;
    int height = 0;
};

// Reads the parameter sets and the picture size from a key frame (an access
// unit with SPS, PPS and IDR slice, Annex B). False when the unit holds no
// usable SPS.
bool readStreamParams(const std::string& keyFrame, StreamParams* out);

// One container written by libavformat: a file, or a network output. It
// holds one H.264 video stream, copied as it comes (no re-encoding).
//
// Every call may block on the disk or the network, so it is used on a writer
// thread of its own. A call that waits (an SRT listener waiting for its
// client, a full TCP send buffer) gives up once `abort` turns true.
class MediaMuxer {
public:
    // The unit of the times handed to write(): 90 kHz, as MPEG-TS counts.
    static constexpr int kTicksPerSecond = 90000;

    // `abort` must outlive the muxer.
    explicit MediaMuxer(const std::atomic<bool>& abort);
    ~MediaMuxer();
    MediaMuxer(const MediaMuxer&) = delete;
    MediaMuxer& operator=(const MediaMuxer&) = delete;

    // Opens `url` (a path or a protocol URL) with the protocol's options: for
    // an SRT listener this waits for the consumer. The errors below come with
    // FFmpeg's text in `error` and its code (AVERROR) in `errorCode`.
    bool connect(const std::string& url, const std::map<std::string, std::string>& options,
                 std::string* error, int* errorCode = nullptr);
    // Starts the container `format` ("mp4", "matroska", "mpegts", "flv") on
    // the connected output with the muxer's options and writes its header.
    bool begin(const std::string& format, const StreamParams& params,
               const std::map<std::string, std::string>& options, std::string* error,
               int* errorCode = nullptr);
    // connect() and begin() in one.
    bool open(const std::string& url, const std::string& format, const StreamParams& params,
              const std::map<std::string, std::string>& options, std::string* error,
              int* errorCode = nullptr);
    bool isOpen() const { return m_ctx != nullptr; }

    // Writes one access unit with its presentation time and duration in
    // ticks of kTicksPerSecond (duration 0: unknown). In a coarser time base
    // (Matroska's milliseconds) the time is rounded and the duration reaches
    // the next picture's rounded time. A time that does not increase is moved
    // just after the last one. False on an error; the muxer
    // stays open (close it).
    bool write(const std::string& accessUnit, int64_t pts, int64_t duration, bool keyFrame,
               std::string* error, int* errorCode = nullptr);

    // Writes what the muxer still holds and the trailer, and closes. False
    // when the end could not be written (closed anyway). Without
    // `writeTrailer` the output is only closed (a consumer that went away).
    bool close(std::string* error, bool writeTrailer = true, int* errorCode = nullptr);

    // FFmpeg's text for an error code.
    static std::string errorText(int code);
    // The system's error number inside an FFmpeg error code, or 0.
    static int systemError(int code);

private:
    static int interruptCallback(void* opaque);

    const std::atomic<bool>& m_abort;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_ctx = nullptr;
    AVPacket* m_packet = nullptr;
    int64_t m_lastDts = INT64_MIN;
};
