#pragma once

// The simulated camera's media side: the media command server (start, stop,
// set media property) and, once a session is open, a KCP sender that
// streams video access units, side information and container frames to the
// client's media endpoint.

#include "tools/camsim/media/VideoSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace camsim {

struct MediaConfig {
    std::string bindAddress = "127.0.0.1";
    uint16_t commandPort = 11155;
    // Media address reported in the start reply; empty: bindAddress.
    std::string mediaAddress;
    // Session byte of every reply; 0 tells the client to skip the property request.
    uint8_t sessionByte = 0x21;
    // Append a 16-byte time trailer (send time, microseconds of the steady
    // clock) to every video frame.
    bool timeTrailer = false;
    // With the trailer: count the picture's place at the frame rate in
    // milliseconds instead, as a camera's encoder stamps its pictures (33,
    // 33 and 34 ms apart at 30 a second).
    bool trailerInMilliseconds = false;
    // Send the source's side information before each frame that has some.
    bool sideInfo = true;
    // A container frame after every n-th video frame (0: none).
    int containerEvery = 0;
    // Frames per second: −1 the source's rate, 0 as fast as the window allows.
    int framesPerSecond = -1;
    // Frames are cut into KCP messages of at most this many bytes, only the
    // last with the end flag.
    size_t messageMax = 64000;
    // A session ends when the client has sent nothing for this long.
    int silenceTimeoutMs = 3000;
};

struct MediaFaults {
    bool noReply = false;
    // Answer only every third copy of a request (the client sends three).
    bool replyToThirdCopyOnly = false;
    // Hold every reply back this long.
    int replyDelayMs = 0;
    bool badChecksum = false;
    // Length field of replies (e.g. 9 or 75, with the XOR over that many
    // bytes kept right); −1: the true length.
    int replyLength = -1;
    // Status byte of replies (0 = success).
    uint8_t status = 0;
    // Address put in the start reply instead of the media address.
    std::string mediaAddressOverride;
    // A property reply with this many payload bytes (0: the normal 1).
    int propertyReplySize = 0;
    // Keep the session but send no media.
    bool pauseMedia = false;
    // Impairment of the media socket's outgoing datagrams.
    double loss = 0.0;
    double duplicate = 0.0;
    double reorder = 0.0;
    uint32_t reorderMs = 15;
};

struct MediaCounters {
    uint64_t startRequests = 0;
    uint64_t stopRequests = 0;
    uint64_t propertyRequests = 0;
    uint64_t repliesSent = 0;
    uint64_t sessionsStarted = 0;
    uint64_t sessionsEnded = 0;
    // Starts for a new client endpoint that found another session still open
    // (the client had not stopped it).
    uint64_t startsWhileOpen = 0;
    uint64_t framesSent = 0;      // video frames queued on the media link
    uint64_t messagesRefused = 0; // messages the engine would not queue
    uint64_t sideInfoSent = 0;
    uint64_t containersSent = 0;
    uint64_t mediaDatagrams = 0; // handed to the impairment (when on)
    uint64_t timeoutResends = 0; // segments sent again after their time-out
    int lastPropertyFlags = -1;
    uint16_t lastConversation = 0;
    int lastRequest = -1; // command byte of the latest request (−1: none yet)
};

class MediaCamera {
public:
    explicit MediaCamera(MediaConfig config = {});
    ~MediaCamera();
    MediaCamera(const MediaCamera&) = delete;
    MediaCamera& operator=(const MediaCamera&) = delete;

    // Binds the command port and starts serving; false when it is in use.
    bool start();
    // Ends the session and the server.
    void stop();

    void setVideoSource(std::shared_ptr<VideoSource> source);
    void setFaults(const MediaFaults& faults);
    MediaFaults faults() const;
    MediaCounters counters() const;
    bool sessionActive() const;
    uint16_t commandPort() const;
    // Ends the current session as if the camera had stopped it.
    void endSession();

    // Called on the sender thread for each video frame once its last segment
    // has first left the camera: the frame's index since start, the time
    // value of its trailer (0 without one).
    void setFrameSentObserver(std::function<void(uint64_t index, int64_t trailerTime)> observer);

    // Microseconds of the steady clock: the unit of the time trailer.
    static int64_t steadyMicros();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A stand-in for the encoder: access units with H.264 start codes and unit
// types (SPS, PPS and IDR once a second, P-units between), sizes spread
// between minSize and maxSize, and 791-byte side information with one box.
class PatternVideoSource : public VideoSource {
public:
    PatternVideoSource(size_t minSize = 2000, size_t maxSize = 60000, uint64_t seed = 1,
                       int framesPerSecond = 30, uint64_t frameLimit = 0);
    void configure(const VideoSettings& settings) override { settings_ = settings; }
    bool nextFrame(VideoFrame& out) override;
    int framesPerSecond() const override { return fps_; }

    // The frame a given seed produces at index (the same bytes nextFrame gives).
    static std::string accessUnit(uint64_t seed, uint64_t index, size_t minSize, size_t maxSize,
                                  int framesPerSecond);
    static std::string sideInfoFor(uint64_t index);

private:
    size_t minSize_, maxSize_;
    uint64_t seed_;
    int fps_;
    uint64_t limit_;
    uint64_t index_ = 0;
    VideoSettings settings_;
};

// Frames given in advance, then the end.
class ListVideoSource : public VideoSource {
public:
    explicit ListVideoSource(std::vector<VideoFrame> frames, int framesPerSecond = 0)
        : frames_(std::move(frames)), fps_(framesPerSecond) {}
    void configure(const VideoSettings&) override {}
    bool nextFrame(VideoFrame& out) override;
    int framesPerSecond() const override { return fps_; }

private:
    std::vector<VideoFrame> frames_;
    size_t next_ = 0;
    int fps_;
};

} // namespace camsim
