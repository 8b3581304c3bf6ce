#include "GifWriter.h"

#include <QHash>

namespace {
constexpr int kTransparent = 255;

void putShort(QByteArray& out, int value) {
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// Collects variable-width codes least significant bit first and cuts them
// into data sub-blocks of at most 255 bytes.
class BitPacker {
public:
    void put(int code, int width) {
        m_acc |= static_cast<quint32>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish() {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xFF));
        QByteArray blocks;
        for (int i = 0; i < m_bytes.size(); i += 255) {
            const int n = qMin(255, m_bytes.size() - i);
            blocks.append(char(n));
            blocks.append(m_bytes.mid(i, n));
        }
        blocks.append(char(0));
        return blocks;
    }

private:
    quint32 m_acc = 0;
    int m_bits = 0;
    QByteArray m_bytes;
};
} // namespace

GifWriter::GifWriter(QVector<QRgb> palette) : m_palette(std::move(palette)) {
    m_palette.resize(255);
}

int GifWriter::nearest(QRgb colour) const {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < m_palette.size(); ++i) {
        const int dr = qRed(colour) - qRed(m_palette[i]);
        const int dg = qGreen(colour) - qGreen(m_palette[i]);
        const int db = qBlue(colour) - qBlue(m_palette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

void GifWriter::addFrame(const QImage& frame, int delayCentiseconds, int alphaCut) {
    const QImage image = frame.convertToFormat(QImage::Format_ARGB32);
    Frame f{image.width(), image.height(), delayCentiseconds, QByteArray()};
    f.indices.resize(image.width() * image.height());
    QHash<QRgb, int> cache;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            int index = kTransparent;
            if (qAlpha(px) >= alphaCut) {
                const QRgb opaque = qRgb(qRed(px), qGreen(px), qBlue(px));
                auto it = cache.find(opaque);
                if (it == cache.end())
                    it = cache.insert(opaque, nearest(opaque));
                index = it.value();
            }
            f.indices[y * image.width() + x] = char(index);
        }
    }
    m_frames.append(f);
}

QByteArray GifWriter::compress(const QByteArray& indices, int minCodeSize) {
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitPacker packer;
    QHash<quint32, int> table; // (prefix code << 8 | next byte) -> code
    int nextCode = endCode + 1;
    int width = minCodeSize + 1;
    packer.put(clearCode, width);
    if (indices.isEmpty()) {
        packer.put(endCode, width);
        return packer.finish();
    }
    int prefix = static_cast<unsigned char>(indices[0]);
    for (int i = 1; i < indices.size(); ++i) {
        const int c = static_cast<unsigned char>(indices[i]);
        const quint32 key = (static_cast<quint32>(prefix) << 8) | static_cast<quint32>(c);
        auto it = table.constFind(key);
        if (it != table.constEnd()) {
            prefix = it.value();
            continue;
        }
        packer.put(prefix, width);
        if (nextCode < 4096) {
            table.insert(key, nextCode);
            // The decoder widens its codes once the table reaches the next
            // power of two; the encoder follows one code later.
            if (nextCode == (1 << width) && width < 12)
                ++width;
            ++nextCode;
        } else {
            packer.put(clearCode, width);
            table.clear();
            nextCode = endCode + 1;
            width = minCodeSize + 1;
        }
        prefix = c;
    }
    packer.put(prefix, width);
    packer.put(endCode, width);
    return packer.finish();
}

QByteArray GifWriter::encode() const {
    QByteArray out("GIF89a");
    const int width = m_frames.isEmpty() ? 1 : m_frames.first().width;
    const int height = m_frames.isEmpty() ? 1 : m_frames.first().height;
    putShort(out, width);
    putShort(out, height);
    out.append(char(0xF7)); // global colour table of 256 entries, 8 bits per primary
    out.append(char(kTransparent));
    out.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < m_palette.size() ? m_palette[i] : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    // Loop for ever.
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
    putShort(out, 0);
    out.append(char(0));
    for (const Frame& f : m_frames) {
        out.append("\x21\xF9\x04", 3);
        out.append(char(0x09)); // restore to background, transparent index used
        putShort(out, f.delay);
        out.append(char(kTransparent));
        out.append(char(0));
        out.append(char(0x2C));
        putShort(out, 0);
        putShort(out, 0);
        putShort(out, f.width);
        putShort(out, f.height);
        out.append(char(0));
        out.append(char(8));
        out.append(compress(f.indices, 8));
    }
    out.append(char(0x3B));
    return out;
}
