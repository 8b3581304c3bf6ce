#pragma once

// Unit and picture sinks that record what the pipeline hands them, for tests
// that check what arrives, in which order, across breaks.

#include "video/VideoPicture.h"
#include "video/VideoUnit.h"

#include <mutex>
#include <vector>

class RecordingUnitSink : public UnitSink {
public:
    struct Seen {
        uint64_t sequence = 0;
        int64_t cameraTime = 0;
        bool keyFrame = false;
        size_t bytes = 0;
    };
    struct Break {
        StreamBreak reason;
        size_t before; // units received before it
    };

    void onUnit(const VideoUnit& unit) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_units.push_back({unit.sequence, unit.cameraTime, unit.keyFrame, unit.data->size()});
    }
    void onStreamBreak(StreamBreak reason) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_breaks.push_back({reason, m_units.size()});
    }
    std::vector<Seen> units() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_units;
    }
    size_t count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_units.size();
    }
    std::vector<Break> breaks() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_breaks;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Seen> m_units;
    std::vector<Break> m_breaks;
};

class RecordingPictureSink : public PictureSink {
public:
    struct Seen {
        uint64_t sequence = 0;
        int width = 0;
        int height = 0;
        bool boxesDrawn = false;
        bool hasClean = false;
        int64_t cameraTime = 0;
        bool hasDecoded = false;
        bool hasRgb = false;
        size_t boxShapes = 0;
    };

    explicit RecordingPictureSink(bool wantsClean = false, bool wantsDecoded = false,
                                  bool wantsRgb = true)
        : m_wantsClean(wantsClean), m_wantsDecoded(wantsDecoded), m_wantsRgb(wantsRgb) {}
    bool wantsRgbPicture() const override { return m_wantsRgb; }
    bool wantsCleanPicture() const override { return m_wantsClean; }
    bool wantsDecodedFrame() const override { return m_wantsDecoded; }
    void onPicture(const VideoPicture& picture) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pictures.push_back({picture.sequence, picture.rgb.cols, picture.rgb.rows,
                              picture.boxesDrawn, !picture.clean.empty(), picture.cameraTime,
                              picture.decoded != nullptr, !picture.rgb.empty(),
                              picture.boxes.size()});
        m_last = picture;
    }
    std::vector<Seen> pictures() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pictures;
    }
    size_t count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pictures.size();
    }
    VideoPicture last() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }

private:
    const bool m_wantsClean;
    const bool m_wantsDecoded;
    const bool m_wantsRgb;
    mutable std::mutex m_mutex;
    std::vector<Seen> m_pictures;
    VideoPicture m_last;
};
