#pragma once

// The program's window built as the program builds it (window, operation
// runtime, camera with its supervisor enabled), on a configuration of its own
// in hotspot mode with the camera at 127.0.0.1.

#include "ui/OrunAppUI.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class E2eWindow {
public:
    // `language`: 0 Chinese, 1 English. `configure` writes more of the
    // configuration before the program starts.
    explicit E2eWindow(int language = 1, const std::function<void()>& configure = {});
    ~E2eWindow();

    OrunAppUI& window() { return *m_window; }
    // Overlay of the current picture layout.
    QWidget* overlay() const;
    // Size of the last picture handed to the video widget, and how many came.
    QSize lastFrameSize() const { return m_frameSize; }
    int frameCount() const { return m_frames; }
    // Waits for `n` more pictures.
    bool waitForFrames(int n, int timeoutMs);
    // What the video widget shows now.
    QImage grabVideo() const;
    QString baseDir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QObject m_receiver; // lives on the graphical thread: pictures arrive queued
    std::unique_ptr<OrunAppUI> m_window;
    QSize m_frameSize;
    int m_frames = 0;
};

// Where a test keeps a picture to be looked at: ORUN_TEST_ARTIFACTS (the
// build's test-artifacts folder), else the temporary folder.
QString artifact(const QString& name);

// True when `c` is within `tol` of (r, g, b) in every channel.
bool near(QRgb c, int r, int g, int b, int tol = 45);
