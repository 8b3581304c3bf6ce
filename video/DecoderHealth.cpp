#include "video/DecoderHealth.h"

bool DecoderHealth::note(bool keyFrame, VideoDecoder::Result result) {
    using Result = VideoDecoder::Result;
    if (result == Result::NoDecoder)
        return false;
    if (result == Result::Picture) {
        m_units = 0;
        m_errors = 0;
        m_keyFrames = 0;
        return false;
    }
    ++m_units;
    if (keyFrame)
        ++m_keyFrames;
    if (result != Result::NotYet)
        ++m_errors;
    if (m_failed)
        return false;
    m_failed = m_errors >= kErrorsWithoutPicture ||
               (m_keyFrames >= kKeyFramesWithoutPicture && m_units > kMostHeldBack);
    return m_failed;
}

std::string DecoderHealth::reason() const {
    if (m_errors >= kErrorsWithoutPicture)
        return std::to_string(m_errors) + " decoding errors without a picture";
    return std::to_string(m_keyFrames) + " key frames (" + std::to_string(m_units) +
           " units) without a picture";
}

void DecoderHealth::reset() {
    m_units = 0;
    m_errors = 0;
    m_keyFrames = 0;
    m_failed = false;
}
