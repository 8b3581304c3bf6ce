#pragma once

// The decoder controller's sink lists as the composition hands them to the
// capture (CaptureControl::VideoHooks), for tests without a video path: what
// is plugged in stays here, and units reach it only when a test sends them.

#include "app/CaptureControl.h"
#include "video/VideoPicture.h"
#include "video/VideoUnit.h"

#include <algorithm>
#include <memory>
#include <vector>

struct FakeVideo {
    std::vector<std::shared_ptr<UnitSink>> units;
    std::vector<std::shared_ptr<PictureSink>> pictures;

    CaptureControl::VideoHooks hooks() {
        CaptureControl::VideoHooks h;
        h.addUnitSink = [this](std::shared_ptr<UnitSink> s) { units.push_back(std::move(s)); };
        h.removeUnitSink = [this](const std::shared_ptr<UnitSink>& s) {
            units.erase(std::remove(units.begin(), units.end(), s), units.end());
        };
        h.addPictureSink = [this](std::shared_ptr<PictureSink> s) {
            pictures.push_back(std::move(s));
        };
        h.removePictureSink = [this](const std::shared_ptr<PictureSink>& s) {
            pictures.erase(std::remove(pictures.begin(), pictures.end(), s), pictures.end());
        };
        return h;
    }
    void send(const VideoUnit& unit) {
        for (const auto& s : units)
            s->onUnit(unit);
    }
    void breakStream(StreamBreak reason) {
        for (const auto& s : units)
            s->onStreamBreak(reason);
    }
};
