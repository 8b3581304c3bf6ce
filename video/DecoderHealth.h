#pragma once

#include "video/VideoDecoder.h"

#include <string>

// Watches the decoder on the live stream and tells when it has stopped giving
// pictures: errors on unit after unit, or key frames that gave no picture (a
// decoder that opened but shows nothing). Then the decoder is replaced at the
// next key frame.
//
// A unit whose picture the decoder holds back (it wants more input first) is
// no error: a decoder of a stream with B-frames, or a hardware decoder with
// pictures in flight, gives its pictures a few units late. It is judged by
// the pictures that come over key frames, with a margin of the most pictures
// an H.264 decoder may hold back.
class DecoderHealth {
public:
    // Errors without a picture in between before the decoder counts as failed.
    static constexpr int kErrorsWithoutPicture = 12;
    // Key frames without a picture in between before it counts as failed...
    static constexpr int kKeyFramesWithoutPicture = 2;
    // ...once more units than a decoder may hold back went in meanwhile.
    static constexpr int kMostHeldBack = 16;

    // Notes what one unit gave; true when the decoder has just come to count
    // as failed (once, until reset()).
    bool note(bool keyFrame, VideoDecoder::Result result);
    bool failed() const { return m_failed; }
    // How it failed, for the log.
    std::string reason() const;
    // A new decoder starts with a clean record.
    void reset();

private:
    int m_units = 0;     // since the last picture
    int m_errors = 0;    // of those, the errors
    int m_keyFrames = 0; // of those, the key frames
    bool m_failed = false;
};
