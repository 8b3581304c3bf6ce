#include "video/DecoderHealth.h"

bool DecoderHealth::note(bool keyFrame, bool picture) {
    if (picture) {
        m_units = 0;
        m_keyFrames = 0;
        return false;
    }
    ++m_units;
    if (keyFrame)
        ++m_keyFrames;
    if (m_failed)
        return false;
    m_failed = m_units >= kUnitsWithoutPicture || m_keyFrames >= kKeyFramesWithoutPicture;
    return m_failed;
}

std::string DecoderHealth::reason() const {
    if (m_keyFrames >= kKeyFramesWithoutPicture)
        return std::to_string(m_keyFrames) + " key frames without a picture";
    return std::to_string(m_units) + " units in a row without a picture";
}

void DecoderHealth::reset() {
    m_units = 0;
    m_keyFrames = 0;
    m_failed = false;
}
