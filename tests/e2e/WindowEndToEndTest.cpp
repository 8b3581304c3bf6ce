// The program's window against the camsim program: gestures on the real
// widgets must reach the simulated camera as the right requests, and the
// camera's picture and state must show in the window.

#include "CamsimProcess.h"
#include "E2eWindow.h"

#include "app/OrunAppFace.h"
#include "ui/ErrorInfoDlg.h"
#include "ui/MySlider.h"
#include "ui/PohtoModeSettingDlg.h"
#include "ui/VideoStatisticalTimeDlg.h"

#include <QAbstractButton>
#include <QDir>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int kCamera = 1; // command sets as camsim logs them
constexpr int kSdk = 3;
constexpr int kUniversal = 0;

float floatAt(const QByteArray& payload, int offset) {
    float f = 0;
    if (payload.size() >= offset + 4)
        std::memcpy(&f, payload.constData() + offset, 4);
    return f;
}

QString artifact(const QString& name) {
    QString dir = qEnvironmentVariable("ORUN_TEST_ARTIFACTS");
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir + "/" + name;
}

// The four quadrants of camsim's scene, sampled a quarter in from each side.
void expectScene(const QImage& img, const char* what) {
    ASSERT_FALSE(img.isNull()) << what;
    const int w = img.width();
    const int h = img.height();
    const QRgb tl = img.pixel(w / 4, h / 4 + h / 16);
    const QRgb tr = img.pixel(3 * w / 4, h / 4 + h / 16);
    const QRgb bl = img.pixel(w / 4, 3 * h / 4 + h / 16);
    const QRgb br = img.pixel(3 * w / 4, 3 * h / 4 + h / 16);
    EXPECT_TRUE(near(tl, 200, 40, 40)) << what << " top-left " << std::hex << tl;
    EXPECT_TRUE(near(tr, 40, 170, 60)) << what << " top-right " << std::hex << tr;
    EXPECT_TRUE(near(bl, 40, 60, 200)) << what << " bottom-left " << std::hex << bl;
    EXPECT_TRUE(near(br, 128, 128, 128)) << what << " bottom-right " << std::hex << br;
}

bool waitForScene(E2eWindow& app, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            const QImage img = app.grabVideo();
            const int w = img.width();
            const int h = img.height();
            return w > 0 && near(img.pixel(w / 4, h / 4 + h / 16), 200, 40, 40) &&
                   near(img.pixel(3 * w / 4, 3 * h / 4 + h / 16), 128, 128, 128);
        },
        timeoutMs);
}

QAbstractButton* button(QWidget* parent, const char* name) {
    return parent->findChild<QAbstractButton*>(name);
}

// Link-up and picture, then the controls of the overlay one after another on
// the same camera and window.
TEST(WindowEndToEnd, LinkUpPictureAndOverlayControls) {
    CamsimProcess camsim;
    ASSERT_TRUE(camsim.start());
    E2eWindow app;
    OrunAppFace* hub = OrunAppFace::instance();

    // Link-up: the client announces itself and the picture of camsim's scene
    // (1280x720 at the start) reaches the video widget.
    EXPECT_GE(camsim.waitFor(kUniversal, 0x020, 15000).set, 0) << "no announcement";
    ASSERT_TRUE(app.waitForFrames(5, 20000)) << "no pictures";
    EXPECT_EQ(app.lastFrameSize(), QSize(1280, 720));
    ASSERT_TRUE(waitForScene(app, 5000));
    app.window().grab().save(artifact("e2e_linked.png"));
    expectScene(app.grabVideo(), "first picture");
    QWidget* overlay = app.overlay();
    ASSERT_NE(overlay, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return overlay->isVisible(); }, 3000));

    // Focus: one click into the picture becomes a focus request at that point.
    const QPoint spot(overlay->width() * 3 / 10, overlay->height() * 2 / 5);
    camsim.mark();
    QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, spot);
    const LoggedRequest focus = camsim.waitFor(kCamera, 0x278, 3000);
    ASSERT_EQ(focus.payload.size(), 8);
    EXPECT_NEAR(floatAt(focus.payload, 0), 0.3, 0.02);
    EXPECT_NEAR(floatAt(focus.payload, 4), 0.4, 0.02);
    EXPECT_TRUE(camsim.since(kSdk, 0x063).empty());

    // Selection: a double click selects the target there and does not focus.
    QTest::qWait(600);
    camsim.mark();
    const QPoint target(overlay->width() * 3 / 5, overlay->height() / 2);
    QTest::mouseDClick(overlay, Qt::LeftButton, Qt::NoModifier, target);
    const LoggedRequest select = camsim.waitFor(kSdk, 0x063, 3000);
    ASSERT_EQ(select.payload.size(), 8);
    EXPECT_NEAR(floatAt(select.payload, 0), 0.6, 0.02);
    EXPECT_NEAR(floatAt(select.payload, 4), 0.5, 0.02);
    QTest::qWait(500);
    EXPECT_TRUE(camsim.since(kCamera, 0x278).empty()) << "double click also focused";
}

} // namespace
