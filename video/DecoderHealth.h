#pragma once

#include <string>

// Watches the decoder on the live stream and tells when it has stopped giving
// pictures: too many units in a row without one, or key frames that gave none
// (a decoder that opened but shows nothing). Then the decoder is replaced at
// the next key frame.
class DecoderHealth {
public:
    // Units in a row without a picture before the decoder counts as failed.
    static constexpr int kUnitsWithoutPicture = 12;
    // Key frames in a row without a picture before it counts as failed.
    static constexpr int kKeyFramesWithoutPicture = 2;

    // Notes what one unit gave; true when the decoder has just come to count
    // as failed (once, until reset()).
    bool note(bool keyFrame, bool picture);
    bool failed() const { return m_failed; }
    // How it failed, for the log.
    std::string reason() const;
    // A new decoder starts with a clean record.
    void reset();

private:
    int m_units = 0;
    int m_keyFrames = 0;
    bool m_failed = false;
};
