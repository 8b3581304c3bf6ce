// Draws the program's icon set and the stop-video pictures with QPainter.
//
//   icongen <resources directory>
//
// writes <dir>/icons/... (the ":/icon/" resource files),
// <dir>/appicon/orunapp_*.png (the program's icon in desktop menus) and
// <dir>/stopvideo/stopVideo_*.png. Every picture is drawn here from simple
// shapes: flat white glyphs on transparent or dark backgrounds, one accent
// colour for the selected states. Change the palette below to restyle the set.
#include "GifWriter.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

// Palette of the set.
const QColor kWhite(255, 255, 255);
const QColor kSoftWhite(235, 235, 235);
const QColor kAccent(255, 196, 0); // selected photo modes, locked gimbal
const QColor kRed(235, 64, 52);
const QColor kYellow(250, 190, 30);
const QColor kHeadBg(30, 30, 30);      // title bar
const QColor kHeadHover(60, 60, 60);   // title bar button under the pointer
const QColor kCloseHover(214, 40, 40); // close button under the pointer
const QColor kSettingBg(25, 25, 25);   // settings dialog, right column
const QColor kBlue(0, 140, 230);

QString g_out;
int g_count = 0;

QImage canvas(int w, int h, const QColor& fill = Qt::transparent) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

// Writes `image` as <dir>/<folder>/<name>.
void saveIn(const QString& folder, const QImage& image, const QString& name) {
    const QString path = g_out + "/" + folder + "/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage out = image;
    if (name.endsWith(".bmp") || name.endsWith(".jpg"))
        out = image.convertToFormat(QImage::Format_RGB32);
    if (!out.save(path, nullptr, name.endsWith(".jpg") ? 95 : -1)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    ++g_count;
}

void save(const QImage& image, const QString& name) {
    saveIn("icons", image, name);
}

QPen pen(const QColor& c, qreal width) {
    QPen p(c, width);
    p.setCapStyle(Qt::RoundCap);
    p.setJoinStyle(Qt::RoundJoin);
    return p;
}

void paint(QImage& image, const std::function<void(QPainter&)>& draw) {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
}

QFont uiFont(int pixelSize, bool bold = false) {
    QFont f("WenQuanYi Micro Hei");
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

// --- Title bar -------------------------------------------------------------

void titleButton(const QString& name, const QColor& bg,
                 const std::function<void(QPainter&)>& glyph) {
    QImage image = canvas(46, 36, bg);
    paint(image, [&](QPainter& p) {
        p.translate(23, 18);
        glyph(p);
    });
    save(image, name);
}

void titleButtons() {
    const QPen line = pen(kSoftWhite, 1.4);
    auto minimise = [&](QPainter& p) {
        p.setPen(line);
        p.drawLine(QPointF(-6, 0.5), QPointF(6, 0.5));
    };
    auto maximise = [&](QPainter& p) {
        p.setPen(line);
        p.drawRect(QRectF(-5.5, -5.5, 11, 11));
    };
    auto restore = [&](QPainter& p) {
        p.setPen(line);
        p.drawRect(QRectF(-5.5, -3.5, 9, 9));
        p.drawPolyline(QPolygonF({QPointF(-3.5, -3.5), QPointF(-3.5, -5.5), QPointF(5.5, -5.5),
                                  QPointF(5.5, 3.5), QPointF(3.5, 3.5)}));
    };
    auto cross = [&](QPainter& p) {
        p.setPen(line);
        p.drawLine(QPointF(-5.5, -5.5), QPointF(5.5, 5.5));
        p.drawLine(QPointF(-5.5, 5.5), QPointF(5.5, -5.5));
    };
    titleButton("small1.bmp", kHeadBg, minimise);
    titleButton("small2.bmp", kHeadHover, minimise);
    titleButton("big1.bmp", kHeadBg, maximise);
    titleButton("big2.bmp", kHeadHover, maximise);
    titleButton("Unbig1.bmp", kHeadBg, restore);
    titleButton("Unbig2.bmp", kHeadHover, restore);
    titleButton("close1.bmp", kHeadBg, cross);
    titleButton("close2.bmp", kCloseHover, cross);
}

// --- Connection state ----------------------------------------------------------

void wifiArcs(QPainter& p, const QColor& c, qreal cx, qreal cy) {
    p.setPen(pen(c, 4.2));
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        const qreal r = 7.5 * i;
        p.drawArc(QRectF(cx - r, cy - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(cx, cy - 1), 3.4, 3.4);
}

void connectionIcons() {
    QImage wifi = canvas(48, 48, kHeadBg);
    paint(wifi, [](QPainter& p) { wifiArcs(p, QColor(80, 210, 120), 24, 38); });
    save(wifi, "wifi.jpg");

    QImage usb = canvas(48, 48, kHeadBg);
    paint(usb, [](QPainter& p) {
        const QColor c(80, 210, 120);
        p.setPen(pen(c, 3.2));
        p.drawLine(QPointF(24, 8), QPointF(24, 38));
        p.drawPolyline(QPolygonF({QPointF(24, 31), QPointF(14, 24), QPointF(14, 18)}));
        p.drawPolyline(QPolygonF({QPointF(24, 27), QPointF(34, 20), QPointF(34, 15)}));
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(QPolygonF({QPointF(24, 3), QPointF(29, 11), QPointF(19, 11)}));
        p.drawEllipse(QPointF(14, 16), 3.2, 3.2);
        p.drawRect(QRectF(31, 11, 6, 6));
        p.drawEllipse(QPointF(24, 40), 4.2, 4.2);
    });
    save(usb, "Usb.jpg");

    QImage off = canvas(48, 48, kHeadBg);
    paint(off, [](QPainter& p) {
        wifiArcs(p, QColor(120, 120, 120), 24, 38);
        p.setPen(pen(kHeadBg, 7));
        p.drawLine(QPointF(10, 8), QPointF(38, 40));
        p.setPen(pen(kRed, 3.4));
        p.drawLine(QPointF(10, 8), QPointF(38, 40));
    });
    save(off, "disConn.jpg");
}

// --- Overlay controls ----------------------------------------------------------

void arrows() {
    struct Arrow {
        const char* name;
        qreal angle;
    };
    for (const Arrow& a : {Arrow{"up.png", 0}, Arrow{"right.png", 90}, Arrow{"down.png", 180},
                           Arrow{"left.png", 270}}) {
        QImage image = canvas(32, 32);
        paint(image, [&](QPainter& p) {
            p.translate(16, 16);
            p.rotate(a.angle);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 230));
            QPainterPath tri;
            tri.moveTo(0, -9);
            tri.lineTo(9, 5);
            tri.lineTo(-9, 5);
            tri.closeSubpath();
            p.drawPath(tri);
        });
        save(image, a.name);
    }
}

void knob(const QString& name, int fillAlpha, int ringAlpha) {
    QImage image = canvas(80, 80);
    paint(image, [&](QPainter& p) {
        QRadialGradient g(QPointF(40, 34), 40);
        g.setColorAt(0, QColor(255, 255, 255, fillAlpha));
        g.setColorAt(1, QColor(255, 255, 255, fillAlpha / 3));
        p.setBrush(g);
        p.setPen(pen(QColor(255, 255, 255, ringAlpha), 3));
        p.drawEllipse(QPointF(40, 40), 36, 36);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, ringAlpha));
        p.drawEllipse(QPointF(40, 40), 8, 8);
    });
    save(image, name);
}

void padlock(const QString& name, bool locked) {
    QImage image = canvas(64, 64);
    paint(image, [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 90));
        p.drawEllipse(QPointF(32, 32), 31, 31);
        const QColor c = locked ? kAccent : kWhite;
        p.setPen(pen(c, 4));
        p.setBrush(Qt::NoBrush);
        QPainterPath shackle;
        if (locked) {
            shackle.moveTo(23, 30);
            shackle.lineTo(23, 23);
            shackle.arcTo(QRectF(23, 14, 18, 18), 180, -180);
            shackle.lineTo(41, 30);
        } else {
            shackle.moveTo(23, 30);
            shackle.lineTo(23, 21);
            shackle.arcTo(QRectF(23, 12, 18, 18), 180, -180);
            shackle.lineTo(41, 23);
        }
        p.drawPath(shackle);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(18, 29, 28, 22), 4, 4);
        p.setBrush(QColor(0, 0, 0, 160));
        p.drawEllipse(QPointF(32, 38), 3, 3);
        p.drawRect(QRectF(31, 39, 2, 6));
    });
    save(image, name);
}

// Shutter: a white ring around a disk; the pressed state shrinks the disk.
void shutter(const QString& name, int size, bool video, bool pressed) {
    QImage image = canvas(size, size);
    paint(image, [&](QPainter& p) {
        p.scale(size / 128.0, size / 128.0);
        p.setPen(pen(kWhite, 7));
        p.setBrush(QColor(0, 0, 0, 60));
        p.drawEllipse(QPointF(64, 64), 58, 58);
        p.setPen(Qt::NoPen);
        if (video) {
            p.setBrush(kRed);
            if (pressed)
                p.drawRoundedRect(QRectF(44, 44, 40, 40), 8, 8);
            else
                p.drawEllipse(QPointF(64, 64), 44, 44);
        } else {
            p.setBrush(pressed ? QColor(200, 200, 200) : kWhite);
            p.drawEllipse(QPointF(64, 64), pressed ? 38 : 46, pressed ? 38 : 46);
        }
    });
    save(image, name);
}

void cameraGlyph(QPainter& p, const QColor& c, qreal s) {
    // A still camera in a 64-unit box, scaled by s.
    p.save();
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath body;
    body.addRoundedRect(QRectF(10, 20, 44, 30), 6, 6);
    body.addRoundedRect(QRectF(23, 14, 18, 10), 3, 3);
    QPainterPath lens;
    lens.addEllipse(QPointF(32, 35), 10, 10);
    p.drawPath(body.subtracted(lens));
    p.drawEllipse(QPointF(32, 35), 6, 6);
    p.restore();
}

void videoGlyph(QPainter& p, const QColor& c, qreal s) {
    p.save();
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(8, 20, 34, 26), 6, 6);
    p.drawPolygon(QPolygonF({QPointF(44, 29), QPointF(56, 21), QPointF(56, 45), QPointF(44, 37)}));
    p.restore();
}

void modeSwitch() {
    for (int video = 0; video < 2; ++video) {
        QImage image = canvas(96, 96);
        paint(image, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 90));
            p.drawEllipse(QPointF(48, 48), 46, 46);
            p.translate(16, 16);
            if (video)
                videoGlyph(p, kWhite, 1.0);
            else
                cameraGlyph(p, kWhite, 1.0);
        });
        save(image, video ? "mode_video2x.png" : "mode_camera2x.png");
    }
}

void fullScreenButtons() {
    for (int leave = 0; leave < 2; ++leave) {
        QImage image = canvas(64, 64);
        paint(image, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 0, 0, 90));
            p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
            p.setPen(pen(kWhite, 4));
            p.translate(32, 32);
            for (int q = 0; q < 4; ++q) {
                // One corner bracket, pointing out (enter) or in (leave).
                if (leave)
                    p.drawPolyline(
                        QPolygonF({QPointF(-18, -6), QPointF(-6, -6), QPointF(-6, -18)}));
                else
                    p.drawPolyline(
                        QPolygonF({QPointF(-18, -6), QPointF(-18, -18), QPointF(-6, -18)}));
                p.rotate(90);
            }
        });
        save(image, leave ? "btn_Unfull screen2x.png" : "btn_full screen2x.png");
    }
}

void notices() {
    struct Notice {
        const char* name;
        QColor colour;
        QColor mark;
    };
    for (const Notice& n : {Notice{"icon_playon_notice_red2x.png", kRed, kWhite},
                            Notice{"icon_playon_notice_yel2x.png", kYellow, QColor(40, 30, 0)},
                            Notice{"icon_playon_notice_white2x.png", kWhite, QColor(40, 40, 40)}}) {
        QImage image = canvas(60, 60);
        paint(image, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(n.colour);
            p.drawEllipse(QPointF(30, 30), 27, 27);
            p.setBrush(n.mark);
            p.drawRoundedRect(QRectF(26.5, 13, 7, 23), 3.5, 3.5);
            p.drawEllipse(QPointF(30, 44), 4.2, 4.2);
        });
        save(image, n.name);
    }
    QImage close = canvas(60, 60);
    paint(close, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawEllipse(QPointF(30, 30), 26, 26);
        p.setPen(pen(kWhite, 4.5));
        p.drawLine(QPointF(20, 20), QPointF(40, 40));
        p.drawLine(QPointF(20, 40), QPointF(40, 20));
    });
    save(close, "closeWarInfo.png");

    QImage dot = canvas(20, 20);
    paint(dot, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QPointF(10, 10), 9, 9);
    });
    save(dot, "videoTime.png");
}

// --- Photo modes ---------------------------------------------------------------

// A photo frame: rounded rectangle with a small mountain and sun.
void frameGlyph(QPainter& p, const QRectF& r, const QColor& c, qreal line) {
    p.setPen(pen(c, line));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, r.width() * 0.12, r.width() * 0.12);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const qreal w = r.width();
    const qreal h = r.height();
    p.drawPolygon(QPolygonF({QPointF(r.left() + w * 0.18, r.bottom() - h * 0.2),
                             QPointF(r.left() + w * 0.42, r.top() + h * 0.45),
                             QPointF(r.left() + w * 0.6, r.bottom() - h * 0.35),
                             QPointF(r.left() + w * 0.7, r.top() + h * 0.58),
                             QPointF(r.right() - w * 0.16, r.bottom() - h * 0.2)}));
    p.drawEllipse(QPointF(r.right() - w * 0.28, r.top() + h * 0.3), w * 0.08, w * 0.08);
}

void singleGlyph(QPainter& p, const QColor& c) {
    frameGlyph(p, QRectF(12, 16, 40, 32), c, 3.5);
}

void multiGlyph(QPainter& p, const QColor& c, const QString& count) {
    p.setPen(pen(c, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(20, 8, 34, 26), 4, 4);
    p.drawRoundedRect(QRectF(15, 13, 34, 26), 4, 4);
    // The front frame hides what lies behind it.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRoundedRect(QRectF(8, 19, 36, 30), 5, 5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    frameGlyph(p, QRectF(10, 21, 32, 26), c, 3);
    if (!count.isEmpty()) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(49, 47), 12, 12);
        p.setPen(QColor(20, 20, 20));
        p.setFont(uiFont(16, true));
        p.drawText(QRectF(37, 35, 24, 24), Qt::AlignCenter, count);
    }
}

void burstGlyph(QPainter& p, const QColor& c, const QString& seconds) {
    // A stopwatch; the interval is written inside it.
    p.setPen(pen(c, 3.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(32, 36), 21, 21);
    p.drawLine(QPointF(32, 8), QPointF(32, 14));
    p.drawLine(QPointF(26, 8), QPointF(38, 8));
    p.drawLine(QPointF(48, 16), QPointF(52, 12));
    if (seconds.isEmpty()) {
        p.drawLine(QPointF(32, 36), QPointF(32, 24));
        p.drawLine(QPointF(32, 36), QPointF(40, 40));
    } else {
        p.setPen(c);
        p.setFont(uiFont(seconds.size() > 2 ? 15 : 18, true));
        p.drawText(QRectF(11, 15, 42, 42), Qt::AlignCenter, seconds);
    }
}

void photoModes() {
    const int small = 48;
    const int large = 72;
    auto draw = [&](const QString& name, int size, const std::function<void(QPainter&)>& glyph) {
        QImage image = canvas(size, size);
        paint(image, [&](QPainter& p) {
            p.scale(size / 64.0, size / 64.0);
            glyph(p);
        });
        save(image, "Takephoto/" + name);
    };
    // Overlay button: the current mode in white.
    draw("mode_single_p.png", small, [](QPainter& p) { singleGlyph(p, kWhite); });
    for (const char* n : {"3", "5", "7"})
        draw(QString("mode_multi_p_%1.png").arg(n), small,
             [&](QPainter& p) { multiGlyph(p, kWhite, n); });
    for (const char* s : {"1s", "3s", "5s", "10s"})
        draw(QString("mode_burst_p_%1.png").arg(s), small,
             [&](QPainter& p) { burstGlyph(p, kWhite, s); });
    // Selector: white when not chosen, accent colour when chosen.
    draw("mode_single_n2x.png", large, [](QPainter& p) { singleGlyph(p, kWhite); });
    draw("mode_single_p2x.png", large, [](QPainter& p) { singleGlyph(p, kAccent); });
    draw("mode_multi_n2x.png", large, [](QPainter& p) { multiGlyph(p, kWhite, QString()); });
    for (const char* n : {"3", "5", "7"})
        draw(QString("mode_multi_p2x_%1.png").arg(n), large,
             [&](QPainter& p) { multiGlyph(p, kAccent, n); });
    draw("mode_burst_n2x.png", large, [](QPainter& p) { burstGlyph(p, kWhite, QString()); });
    for (const char* s : {"1s", "3s", "5s", "10s"})
        draw(QString("mode_burst_p2x_%1.png").arg(s), large,
             [&](QPainter& p) { burstGlyph(p, kAccent, s); });
}

// --- Settings dialog -------------------------------------------------------------

// The logo, beside the settings dialog's title and as the program's icon in
// desktop menus: the camera glyph on a blue disc, `size` pixels square.
QImage logo(int size) {
    QImage image = canvas(size, size);
    paint(image, [size](QPainter& p) {
        p.scale(size / 60.0, size / 60.0);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(1, 1, 58, 58));
        p.translate(6, 6);
        cameraGlyph(p, kWhite, 48.0 / 64.0);
    });
    return image;
}

void settingsPictures() {
    QImage bg1 = canvas(180, 48, QColor(40, 40, 40));
    save(bg1, "SettingBg1.bmp");
    QImage bg2 = canvas(180, 48, QColor(58, 58, 58));
    paint(bg2, [](QPainter& p) { p.fillRect(QRect(0, 0, 4, 48), kBlue); });
    save(bg2, "SettingBg2.bmp");

    for (int hover = 0; hover < 2; ++hover) {
        QImage image = canvas(40, 40, hover ? kCloseHover : kSettingBg);
        paint(image, [](QPainter& p) {
            p.setPen(pen(kSoftWhite, 2));
            p.drawLine(QPointF(14, 14), QPointF(26, 26));
            p.drawLine(QPointF(14, 26), QPointF(26, 14));
        });
        save(image, hover ? "SettingClose2.bmp" : "SettingClose1.bmp");
    }
    auto button = [](const QColor& face, const QColor& bg) {
        QImage image = canvas(120, 40, bg);
        paint(image, [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(face);
            p.drawRoundedRect(QRectF(1, 1, 118, 38), 8, 8);
        });
        return image;
    };
    save(button(QColor(70, 70, 70), kSettingBg), "SettingNGBtn1.bmp");
    save(button(kBlue, kSettingBg), "SettingOKBtn1.bmp");
    save(button(QColor(40, 165, 245), Qt::transparent), "SettingOKBtn2.png");

    save(logo(60), "logo.png");
}

// The program's icon at the sizes of the desktop icon theme (<dir>/appicon/).
void applicationIcons() {
    for (int size : {48, 64, 128, 256})
        saveIn("appicon", logo(size), QString("orunapp_%1.png").arg(size));
}

// Tick of the title bar's check box.
void checkMark() {
    QImage image = canvas(26, 26);
    paint(image, [](QPainter& p) {
        p.setPen(pen(kWhite, 3.2));
        p.drawPolyline(QPolygonF({QPointF(6, 13.5), QPointF(11, 18.5), QPointF(20, 8)}));
    });
    save(image, "check.png");
}

// --- Loading animation -------------------------------------------------------------

QImage spinnerFrame(int step, int steps) {
    QImage image = canvas(64, 64);
    paint(image, [&](QPainter& p) {
        p.translate(32, 32);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < steps; ++i) {
            // The head dot is brightest; the tail fades behind it.
            const int age = (step - i + steps) % steps;
            const int level = 255 - age * (200 / steps);
            p.save();
            p.rotate(360.0 * i / steps);
            p.setBrush(QColor(level, level, level));
            p.drawEllipse(QPointF(0, -22), 5.2 - age * 0.25, 5.2 - age * 0.25);
            p.restore();
        }
    });
    return image;
}

void loadingAnimation() {
    QVector<QRgb> palette;
    for (int i = 0; i < 255; ++i)
        palette.append(qRgb(i, i, i));
    GifWriter gif(palette);
    const int steps = 12;
    for (int s = 0; s < steps; ++s)
        gif.addFrame(spinnerFrame(s, steps), 8);
    QFile file(g_out + "/icons/loading.gif");
    if (!file.open(QIODevice::WriteOnly) || file.write(gif.encode()) < 0) {
        std::fprintf(stderr, "cannot write loading.gif\n");
        std::exit(1);
    }
    ++g_count;
}

// --- Stop-video pictures -------------------------------------------------------------

void stopVideo(const QString& name, int w, int h) {
    QImage image = canvas(w, h, QColor(16, 18, 22));
    paint(image, [&](QPainter& p) {
        QRadialGradient glow(QPointF(w / 2.0, h * 0.40), qMax(w, h) * 0.6);
        glow.setColorAt(0, QColor(44, 50, 60));
        glow.setColorAt(1, QColor(14, 15, 18));
        p.fillRect(QRect(0, 0, w, h), glow);

        // The content block (420 units high) sits a little above the middle,
        // clear of the control bar that the overlay lays over the bottom.
        const qreal unit = qMin(w, h) / 720.0;
        const qreal top = h * 0.44 - 210 * unit;
        const qreal radius = 92 * unit;
        const QPointF centre(w / 2.0, top + radius);
        // Camera glyph in a ring, crossed out.
        p.setPen(pen(QColor(255, 255, 255, 40), 5 * unit));
        p.setBrush(QColor(255, 255, 255, 10));
        p.drawEllipse(centre, radius, radius);
        p.save();
        p.translate(centre - QPointF(32, 32) * 1.9 * unit);
        cameraGlyph(p, QColor(220, 224, 230), 1.9 * unit);
        p.restore();
        const QPointF a = centre + QPointF(-70, -70) * unit;
        const QPointF b = centre + QPointF(70, 70) * unit;
        p.setPen(pen(QColor(16, 18, 22), 18 * unit));
        p.drawLine(a, b);
        p.setPen(pen(kRed, 8 * unit));
        p.drawLine(a, b);

        qreal y = top + 2 * radius + 34 * unit;
        p.setPen(QColor(240, 240, 240));
        p.setFont(uiFont(qRound(46 * unit), true));
        p.drawText(QRectF(0, y, w, 60 * unit), Qt::AlignCenter, QString::fromUtf8("相机未连接"));
        y += 62 * unit;
        p.setFont(uiFont(qRound(32 * unit)));
        p.drawText(QRectF(0, y, w, 44 * unit), Qt::AlignCenter, "Camera not connected");
        y += 58 * unit;
        p.setPen(QColor(150, 156, 165));
        p.setFont(uiFont(qRound(21 * unit)));
        p.drawText(QRectF(0, y, w, 30 * unit), Qt::AlignCenter,
                   QString::fromUtf8("请检查 USB 连接或 Wi-Fi 网络"));
        y += 32 * unit;
        p.drawText(QRectF(0, y, w, 30 * unit), Qt::AlignCenter,
                   "Check the USB link or the Wi-Fi network");
    });
    const QString path = g_out + "/stopvideo/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.convertToFormat(QImage::Format_RGB32).save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    ++g_count;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: icongen <resources directory>\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    if (!QFontDatabase().families().contains("WenQuanYi Micro Hei"))
        std::fprintf(stderr, "warning: font 'WenQuanYi Micro Hei' missing; Chinese texts "
                             "will not render (Debian package fonts-wqy-microhei)\n");
    titleButtons();
    connectionIcons();
    arrows();
    knob("CrtlCenter.png", 70, 200);
    knob("CrtlCenterHover.png", 120, 255);
    padlock("btn_play_lock_n.png", false);
    padlock("btn_play_lock_p.png", true);
    shutter("btn_camera_n.png", 64, false, false);
    shutter("btn_camera_p.png", 64, false, true);
    shutter("btn_camera_n2x.png", 128, false, false);
    shutter("btn_camera_p2x.png", 128, false, true);
    shutter("btn_video_n.png", 64, true, false);
    shutter("btn_video_p.png", 64, true, true);
    shutter("btn_video_n2x.png", 128, true, false);
    shutter("btn_video_p2x.png", 128, true, true);
    modeSwitch();
    fullScreenButtons();
    notices();
    photoModes();
    settingsPictures();
    checkMark();
    applicationIcons();
    loadingAnimation();
    stopVideo("stopVideo_16_9.png", 1280, 720);
    stopVideo("stopVideo_9_16.png", 720, 1280);
    stopVideo("stopVideo_4_3.png", 960, 720);
    stopVideo("stopVideo_3_4.png", 720, 960);
    stopVideo("stopVideo_1_1.png", 720, 720);
    std::printf("%d pictures written under %s\n", g_count, qPrintable(g_out));
    return 0;
}
