// Draws the program's own pictures at build time (no text, so the result
// does not depend on the fonts of the build machine).
// Usage: drawartwork <output folder>
#include <QByteArray>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>

namespace {

const QColor kYellow(255, 204, 0);
const QColor kDark(28, 28, 28);
const QColor kHeader(66, 66, 66);

// Microphone with sound waves, centred in `area`.
void drawMicrophone(QPainter &p, const QRectF &area, const QColor &color)
{
    const qreal u = qMin(area.width(), area.height()) / 10.0;
    const QPointF c = area.center();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    // Capsule head.
    p.drawRoundedRect(QRectF(c.x() - 1.4 * u, c.y() - 3.6 * u, 2.8 * u, 4.6 * u), 1.4 * u, 1.4 * u);
    QPen pen(color, 0.45 * u, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    // Holder arc, stem and base.
    p.drawArc(QRectF(c.x() - 2.2 * u, c.y() - 2.4 * u, 4.4 * u, 4.4 * u), 180 * 16, 180 * 16);
    p.drawLine(QPointF(c.x(), c.y() + 2.0 * u), QPointF(c.x(), c.y() + 3.3 * u));
    p.drawLine(QPointF(c.x() - 1.3 * u, c.y() + 3.3 * u), QPointF(c.x() + 1.3 * u, c.y() + 3.3 * u));
    // Waves on both sides, fading outwards.
    for (int i = 1; i <= 3; ++i) {
        QColor w = color;
        w.setAlphaF(1.0 - 0.25 * i);
        p.setPen(QPen(w, 0.35 * u, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 2.6 * u + i * 1.0 * u;
        const QRectF box(c.x() - r, c.y() - 1.4 * u - r, 2 * r, 2 * r);
        p.drawArc(box, -35 * 16, 70 * 16);
        p.drawArc(box, 145 * 16, 70 * 16);
    }
    p.restore();
}

QImage appIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(size * 0.06, size * 0.06, size * 0.88, size * 0.88);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kHeader);
    g.setColorAt(1, kDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, size * 0.2, size * 0.2);
    drawMicrophone(p, r.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1), kYellow);
    return img;
}

QImage splashLogo()
{
    QImage img(800, 488, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    drawMicrophone(p, QRectF(250, 40, 300, 300), kYellow);
    // A row of equaliser bars under the microphone.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const int bars = 21;
    for (int i = 0; i < bars; ++i) {
        const qreal h = 20 + 60 * std::abs(std::sin(i * 0.7)) * (1.0 - std::abs(i - 10) / 12.0);
        QColor c = kYellow;
        c.setAlphaF(0.5 + 0.5 * (1.0 - std::abs(i - 10) / 10.0));
        p.setBrush(c);
        p.drawRoundedRect(QRectF(190 + i * 20, 440 - h, 12, h), 4, 4);
    }
    return img;
}

QImage splashBackground()
{
    QImage img(1125, 613, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, img.height());
    g.setColorAt(0, kHeader);
    g.setColorAt(1, kDark);
    p.fillRect(img.rect(), g);
    QRadialGradient light(QPointF(img.width() / 2.0, img.height() * 0.4), img.width() * 0.45);
    light.setColorAt(0, QColor(255, 204, 0, 40));
    light.setColorAt(1, QColor(255, 204, 0, 0));
    p.fillRect(img.rect(), light);
    return img;
}

QByteArray png(const QImage &img)
{
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return data;
}

void putBigEndian32(QByteArray &out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// Apple icon container holding PNG images: "ic09" 512 px, "ic08" 256 px.
QByteArray icns()
{
    QByteArray body;
    const struct { const char *type; int size; } entries[] = {{"ic09", 512}, {"ic08", 256}};
    for (const auto &e : entries) {
        const QByteArray data = png(appIcon(e.size));
        body.append(e.type, 4);
        putBigEndian32(body, quint32(8 + data.size()));
        body.append(data);
    }
    QByteArray out("icns", 4);
    putBigEndian32(out, quint32(8 + body.size()));
    return out + body;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: drawartwork <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    bool ok = writeFile(out + "/icon512.png", png(appIcon(512)));
    ok = writeFile(out + "/icon.icns", icns()) && ok;
    ok = splashLogo().save(out + "/splashscreen_logo.png", "PNG") && ok;
    ok = splashBackground().save(out + "/splashscreen_bg.jpg", "JPG", 90) && ok;
    if (!ok) {
        std::fprintf(stderr, "drawartwork: cannot write the pictures into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
