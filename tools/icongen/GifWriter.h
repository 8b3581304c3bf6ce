#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QVector>

// A small GIF89a writer for looping animations: every frame is drawn with one
// shared palette of up to 255 colours plus one transparent index, and the
// picture data is LZW-compressed as the format requires.
class GifWriter {
public:
    // palette: the opaque colours (at most 255). Index 255 is transparent.
    explicit GifWriter(QVector<QRgb> palette);

    // Adds a frame; every pixel whose alpha is below alphaCut becomes
    // transparent, the others take the nearest palette colour.
    void addFrame(const QImage& frame, int delayCentiseconds, int alphaCut = 96);

    QByteArray encode() const;

    // LZW compression of colour indices with the given minimum code size, as
    // packed into GIF data sub-blocks (without the leading code-size byte).
    static QByteArray compress(const QByteArray& indices, int minCodeSize);

private:
    struct Frame {
        int width;
        int height;
        int delay;
        QByteArray indices;
    };
    int nearest(QRgb colour) const;

    QVector<QRgb> m_palette;
    QList<Frame> m_frames;
};
