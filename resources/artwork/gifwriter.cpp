#include "gifwriter.h"

namespace Artwork {

namespace {

void put16(QByteArray &out, int v)
{
    out.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
}

// LZW stream of 8-bit indices without compression: a clear code before the
// string table would grow past 9-bit codes keeps every code 9 bits wide.
QByteArray lzwLiteral(const QByteArray &indices)
{
    constexpr int kClear = 256, kEnd = 257, kRun = 250;
    QByteArray bytes;
    quint32 acc = 0;
    int bits = 0;
    auto put = [&](int code) {
        acc |= quint32(code) << bits;
        bits += 9;
        while (bits >= 8) {
            bytes.append(char(acc & 0xff));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (qsizetype i = 0; i < indices.size(); ++i) {
        if (i % kRun == 0)
            put(kClear);
        put(quint8(indices[i]));
    }
    put(kEnd);
    if (bits > 0)
        bytes.append(char(acc & 0xff));

    QByteArray blocks(1, char(8)); // minimum code size
    for (qsizetype i = 0; i < bytes.size(); i += 255) {
        const QByteArray part = bytes.mid(i, 255);
        blocks.append(char(part.size())).append(part);
    }
    blocks.append(char(0));
    return blocks;
}

} // namespace

QByteArray animatedGif(const QList<QImage> &frames, int delayCentiseconds, const QColor &ground)
{
    if (frames.isEmpty())
        return {};
    const QSize size = frames.first().size();
    // Palette: 0 transparent, then 255 shades from the ground colour to the
    // frame's colour, taken from the first opaque pixel seen.
    QColor ink = Qt::black;
    for (const QImage &f : frames)
        for (int y = 0; y < f.height() && ink == Qt::black; ++y)
            for (int x = 0; x < f.width(); ++x)
                if (qAlpha(f.pixel(x, y)) == 255) {
                    ink = QColor(f.pixel(x, y));
                    break;
                }

    QByteArray out("GIF89a");
    put16(out, size.width());
    put16(out, size.height());
    out.append(char(0xf7)).append(char(0)).append(char(0)); // global table of 256
    for (int i = 0; i < 256; ++i) {
        const qreal t = i == 0 ? 0 : (i - 1) / 254.0;
        out.append(char(int(ground.red() + (ink.red() - ground.red()) * t)));
        out.append(char(int(ground.green() + (ink.green() - ground.green()) * t)));
        out.append(char(int(ground.blue() + (ink.blue() - ground.blue()) * t)));
    }
    out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    put16(out, 0); // loop for ever
    out.append(char(0));

    for (const QImage &frame : frames) {
        const QImage f = frame.convertToFormat(QImage::Format_ARGB32);
        out.append("\x21\xf9\x04", 3);
        out.append(char(0x09)); // restore to background, index 0 transparent
        put16(out, delayCentiseconds);
        out.append(char(0)).append(char(0));
        out.append(char(0x2c));
        put16(out, 0);
        put16(out, 0);
        put16(out, size.width());
        put16(out, size.height());
        out.append(char(0));
        QByteArray indices;
        indices.reserve(size.width() * size.height());
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int a = qAlpha(f.pixel(x, y));
                indices.append(char(a < 64 ? 0 : 1 + (a - 64) * 254 / 191));
            }
        out.append(lzwLiteral(indices));
    }
    out.append(char(0x3b));
    return out;
}

} // namespace Artwork
