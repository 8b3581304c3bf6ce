#include "video/capture/SnapshotTaker.h"

#include "video/capture/CaptureFiles.h"

#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <vector>

SnapshotTaker::SnapshotTaker(CaptureReport report, std::chrono::milliseconds pictureTimeout)
    : m_report(std::move(report)), m_pictureTimeout(pictureTimeout) {}

SnapshotTaker::~SnapshotTaker() {
    stop();
}

bool SnapshotTaker::request(const SnapshotSettings& settings) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pending || m_stopping)
            return false;
        m_pending = true;
        m_hasPicture = false;
        m_settings = settings;
        m_deadline = std::chrono::steady_clock::now() + m_pictureTimeout;
        m_withBoxes = settings.withBoxes;
        m_wanted = true;
    }
    if (!m_worker.active())
        m_worker.start("orun-snapshot", [this] { run(); });
    m_changed.notify_all();
    return true;
}

bool SnapshotTaker::busy() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending;
}

void SnapshotTaker::stop() {
    m_worker.stop(2000, [this] {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
    });
    m_wanted = false;
}

void SnapshotTaker::onPicture(const VideoPicture& picture) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pending || m_hasPicture)
            return;
        // The matrices are shared, never changed: holding them is enough.
        m_picture = picture;
        m_hasPicture = true;
        m_wanted = false;
    }
    m_changed.notify_all();
}

cv::Mat SnapshotTaker::chooseImage(const VideoPicture& picture, bool withBoxes) {
    cv::Mat image;
    if (withBoxes) {
        if (picture.boxesDrawn) {
            image = picture.rgb;
        } else {
            image = picture.rgb.clone();
            if (picture.side)
                drawTargetBoxes(image, *picture.side, picture.boxWidth, picture.boxHeight);
        }
    } else {
        image = picture.boxesDrawn && !picture.clean.empty() ? picture.clean : picture.rgb;
    }
    const int width = picture.width > 0 ? std::min(picture.width, image.cols) : image.cols;
    const int height = picture.height > 0 ? std::min(picture.height, image.rows) : image.rows;
    if (image.empty() || (width == image.cols && height == image.rows))
        return image;
    return image(cv::Rect(0, 0, width, height));
}

CaptureEvent SnapshotTaker::save(const cv::Mat& rgb, const SnapshotSettings& settings) {
    CaptureEvent event;
    event.kind = CaptureEvent::Kind::SnapshotFailed;
    event.path = settings.folder;
    if (rgb.empty() || rgb.type() != CV_8UC3) {
        event.reason = CaptureEvent::kNoPicture;
        return event;
    }
    const bool jpeg = settings.format == "jpg" || settings.format == "jpeg";
    std::vector<uchar> bytes;
    try {
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        const std::vector<int> params = jpeg ? std::vector<int>{cv::IMWRITE_JPEG_QUALITY, 92}
                                             : std::vector<int>{cv::IMWRITE_PNG_COMPRESSION, 3};
        if (!cv::imencode(jpeg ? ".jpg" : ".png", bgr, bytes, params))
            bytes.clear();
    } catch (const cv::Exception& e) {
        event.reason = e.what();
        return event;
    }
    if (bytes.empty()) {
        event.reason = "the picture could not be encoded";
        return event;
    }
    std::string path;
    std::string reason;
    int number = 0;
    if (!capturefiles::createUniqueFile(settings.folder,
                                        capturefiles::timeStem(settings.prefix, true),
                                        jpeg ? "jpg" : "png", &path, &reason, &number)) {
        event.reason = reason;
        event.errorNumber = number;
        return event;
    }
    event.path = path;
    // QFile: the path is Unicode on every system.
    QFile file(QString::fromStdString(path));
    errno = 0;
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    written = written &&
              file.write(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    written = written && file.flush();
    const int number2 = errno;
    const QString problem = file.errorString();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        event.reason = problem.toStdString();
        event.errorNumber = number2;
        // Half a picture is no picture.
        QFile::remove(QString::fromStdString(path));
        return event;
    }
    event.kind = CaptureEvent::Kind::SnapshotSaved;
    return event;
}

void SnapshotTaker::run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || m_pending; });
        if (m_stopping)
            return;
        const bool pictured =
            m_changed.wait_until(lock, m_deadline, [this] { return m_stopping || m_hasPicture; });
        if (m_stopping)
            return;
        CaptureEvent event;
        if (pictured) {
            const VideoPicture picture = std::move(m_picture);
            const SnapshotSettings settings = m_settings;
            m_picture = VideoPicture{};
            lock.unlock();
            event = save(chooseImage(picture, settings.withBoxes), settings);
            lock.lock();
        } else {
            event.kind = CaptureEvent::Kind::SnapshotFailed;
            event.path = m_settings.folder;
            event.reason = CaptureEvent::kNoPicture;
        }
        m_wanted = false;
        m_hasPicture = false;
        m_pending = false;
        lock.unlock();
        if (m_report)
            m_report(event);
        lock.lock();
    }
}
