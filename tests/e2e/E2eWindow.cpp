#include "E2eWindow.h"

#include "app/Configuration.h"
#include "app/Shutdown.h"
#include "hub/OrunAppFace.h"
#include "program/Composition.h"

#include <QDir>
#include <QFile>
#include <QtTest/QTest>

#include <opencv2/core.hpp>

#include <cstdlib>

namespace {

void copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + "/" + name, to + "/" + name);
}

} // namespace

E2eWindow::E2eWindow(int language, const std::function<void()>& configure) {
    const QString base = m_dir.path();
    // Translations and stop-video pictures of the build (tests run in build/bin).
    copyFolder(QDir::currentPath() + "/language", base + "/language");
    copyFolder(QDir::currentPath() + "/icon", base + "/icon");
    setApplicationBaseDir(base);
    writeConfigValue("BaseOption/language", language);
    writeConfigValue("BaseOption/wifiMode", 1);
    writeConfigValue("BaseOption/usb", "127.0.0.1");
    writeConfigValue("BaseOption/wifi", "192.168.0.1");
    if (configure)
        configure();

    OrunAppFace* hub = OrunAppFace::instance();
    QObject::connect(hub, &OrunAppFace::signal_showVideoPlanes, &m_receiver,
                     [this](PlanePicture picture) {
                         m_frameSize = QSize(picture.width, picture.height);
                         ++m_frames;
                     });

    m_window = std::make_unique<OrunAppUI>();
    m_window->show();
    hub->uiActive = true;
    startProgram();
}

E2eWindow::~E2eWindow() {
    shutdown();
    m_window->close();
    m_window.reset();
    setApplicationBaseDir(QString());
}

QWidget* E2eWindow::overlay() const {
    return m_window->overlayView(OrunAppFace::instance()->iScreenLayout.load());
}

bool E2eWindow::waitForFrames(int n, int timeoutMs) {
    const int target = m_frames + n;
    return QTest::qWaitFor([&] { return m_frames >= target; }, timeoutMs);
}

QImage E2eWindow::grabVideo() const {
    return m_window->videoView()->grab().toImage();
}

QString artifact(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

bool near(QRgb c, int r, int g, int b, int tol) {
    return std::abs(qRed(c) - r) <= tol && std::abs(qGreen(c) - g) <= tol &&
           std::abs(qBlue(c) - b) <= tol;
}
