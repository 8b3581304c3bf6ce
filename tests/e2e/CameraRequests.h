#pragma once

// Reading the requests camsim logged: the floats of a payload, payloads
// written out, and the gimbal's motion records and the release after them.

#include "CamsimProcess.h"

#include <QByteArray>

#include <cstring>
#include <initializer_list>
#include <vector>

namespace camerarequests {

constexpr int kSdkSet = 3; // the command set of gimbal speed (0x025) and AI (0x051)

inline float floatAt(const QByteArray& payload, int offset) {
    float f = 0;
    if (payload.size() >= offset + 4)
        std::memcpy(&f, payload.constData() + offset, 4);
    return f;
}

inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// The gimbal speed requests after the mark that move the gimbal.
inline std::vector<QByteArray> movingSpeeds(const CamsimProcess& camsim) {
    std::vector<QByteArray> out;
    for (const LoggedRequest& r : camsim.since(kSdkSet, 0x025))
        if (floatAt(r.payload, 4) != 0.0f || floatAt(r.payload, 8) != 0.0f)
            out.push_back(r.payload);
    return out;
}

// True once an AI setting (0x051) with `payload` came after the last gimbal
// speed; {0, 1} is tracking resumed, as after the joystick's release.
inline bool trackingResumedAfterSpeeds(const CamsimProcess& camsim,
                                       const QByteArray& payload = bytes({0, 1})) {
    bool resumed = false;
    bool speedSeen = false;
    for (const LoggedRequest& r : camsim.requests()) {
        if (r.set != kSdkSet)
            continue;
        if (r.id == 0x025) {
            speedSeen = true;
            resumed = false;
        } else if (r.id == 0x051 && speedSeen && r.payload == payload) {
            resumed = true;
        }
    }
    return resumed;
}

} // namespace camerarequests
