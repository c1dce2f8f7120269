#include "glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QLinearGradient>
#include <cmath>

namespace Artwork {

const QColor kYellow(255, 204, 0);
const QColor kDark(28, 28, 28);
const QColor kHeader(66, 66, 66);
const QColor kLight(235, 235, 235);
const QColor kGrey(150, 150, 150);

namespace {

QPolygonF poly(std::initializer_list<QPointF> pts)
{
    return QPolygonF(QVector<QPointF>(pts));
}

void stroke(QPainter &p, const QColor &c, qreal width)
{
    p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void fill(QPainter &p, const QColor &c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
}

void speaker(QPainter &p, const QColor &c)
{
    fill(p, c);
    p.drawPolygon(poly({{12, 38}, {30, 38}, {52, 18}, {52, 82}, {30, 62}, {12, 62}}));
}

void arrowHead(QPainter &p, QPointF tip, qreal angleDeg, const QColor &c)
{
    p.save();
    p.translate(tip);
    p.rotate(angleDeg);
    fill(p, c);
    p.drawPolygon(poly({{0, 0}, {-16, -10}, {-16, 10}}));
    p.restore();
}

void corners(QPainter &p, const QColor &c, bool outwards)
{
    // Four L shapes: at the edges with arms inwards, or near the middle with
    // arms outwards.
    stroke(p, c, 8);
    const qreal at = outwards ? 36 : 12, arm = outwards ? -22 : 22;
    for (const QPointF s : {QPointF(-1, -1), QPointF(1, -1), QPointF(1, 1), QPointF(-1, 1)}) {
        const QPointF corner(50 + s.x() * at, 50 + s.y() * at);
        p.drawPolyline(poly({corner + QPointF(s.x() * arm, 0), corner, corner + QPointF(0, s.y() * arm)}));
    }
}

void folder(QPainter &p, const QColor &c)
{
    fill(p, c);
    QPainterPath path;
    path.moveTo(10, 26);
    path.lineTo(40, 26);
    path.lineTo(48, 34);
    path.lineTo(90, 34);
    path.lineTo(90, 82);
    path.lineTo(10, 82);
    path.closeSubpath();
    p.drawPath(path);
}

void window(QPainter &p, const QColor &c)
{
    stroke(p, c, 7);
    p.drawRect(QRectF(12, 30, 58, 50));
    p.drawLine(QPointF(12, 42), QPointF(70, 42));
}

void pin(QPainter &p, const QColor &c, bool filled)
{
    p.save();
    p.translate(50, 50);
    p.rotate(45);
    if (filled)
        fill(p, c);
    else
        stroke(p, c, 6);
    p.drawRect(QRectF(-12, -40, 24, 30));
    p.drawRect(QRectF(-22, -12, 44, 8));
    stroke(p, c, 6);
    p.drawLine(QPointF(0, -4), QPointF(0, 40));
    p.restore();
}

void earth(QPainter &p, const QColor &c)
{
    stroke(p, c, 6);
    p.drawEllipse(QPointF(50, 50), 36, 36);
    p.drawEllipse(QPointF(50, 50), 16, 36);
    p.drawLine(QPointF(14, 50), QPointF(86, 50));
    p.drawLine(QPointF(50, 14), QPointF(50, 86));
}

void note(QPainter &p, const QColor &c, QPointF at, qreal scale)
{
    p.save();
    p.translate(at);
    p.scale(scale, scale);
    fill(p, c);
    p.drawEllipse(QPointF(0, 0), 12, 9);
    p.drawRect(QRectF(8, -50, 6, 50));
    p.drawPolygon(poly({{8, -50}, {30, -36}, {30, -26}, {14, -36}}));
    p.restore();
}

void clockFace(QPainter &p, const QColor &c)
{
    stroke(p, c, 7);
    p.drawEllipse(QPointF(50, 50), 36, 36);
    p.drawPolyline(poly({{50, 26}, {50, 50}, {66, 60}}));
}

void downArrow(QPainter &p, const QColor &c)
{
    stroke(p, c, 9);
    p.drawLine(QPointF(50, 12), QPointF(50, 58));
    p.drawPolyline(poly({{30, 42}, {50, 62}, {70, 42}}));
    p.drawPolyline(poly({{16, 66}, {16, 86}, {84, 86}, {84, 66}}));
}

void circularArrow(QPainter &p, const QColor &c, bool clockwise)
{
    stroke(p, c, 8);
    const QRectF box(20, 20, 60, 60);
    p.drawArc(box, 120 * 16, clockwise ? -300 * 16 : 300 * 16);
    // The head sits where the arc ends.
    if (clockwise)
        arrowHead(p, QPointF(35, 24), 180 + 60, c);
    else
        arrowHead(p, QPointF(64, 24), -60, c);
}

} // namespace

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

void drawGlyph(QPainter &p, Glyph g, const QColor &c)
{
    switch (g) {
    case Glyph::Play:
        fill(p, c);
        p.drawPolygon(poly({{30, 18}, {82, 50}, {30, 82}}));
        break;
    case Glyph::Pause:
        fill(p, c);
        p.drawRect(QRectF(26, 20, 17, 60));
        p.drawRect(QRectF(57, 20, 17, 60));
        break;
    case Glyph::Rewind:
        fill(p, c);
        p.drawPolygon(poly({{50, 22}, {50, 78}, {10, 50}}));
        p.drawPolygon(poly({{90, 22}, {90, 78}, {50, 50}}));
        break;
    case Glyph::Forward:
        fill(p, c);
        p.drawPolygon(poly({{10, 22}, {10, 78}, {50, 50}}));
        p.drawPolygon(poly({{50, 22}, {50, 78}, {90, 50}}));
        break;
    case Glyph::Speaker:
        speaker(p, c);
        stroke(p, c, 6);
        p.drawArc(QRectF(40, 30, 30, 40), -50 * 16, 100 * 16);
        p.drawArc(QRectF(36, 18, 50, 64), -50 * 16, 100 * 16);
        break;
    case Glyph::SpeakerOff:
        speaker(p, c);
        stroke(p, c, 7);
        p.drawLine(QPointF(64, 38), QPointF(88, 62));
        p.drawLine(QPointF(88, 38), QPointF(64, 62));
        break;
    case Glyph::Microphone:
        drawMicrophone(p, QRectF(0, 0, 100, 100), c);
        break;
    case Glyph::User:
        fill(p, c);
        p.drawEllipse(QPointF(50, 32), 16, 16);
        p.drawChord(QRectF(18, 56, 64, 60), 0, 180 * 16);
        break;
    case Glyph::Gear:
        fill(p, c);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(50, 50);
            p.rotate(i * 45);
            p.drawRect(QRectF(-7, -42, 14, 16));
            p.restore();
        }
        stroke(p, c, 14);
        p.drawEllipse(QPointF(50, 50), 23, 23);
        break;
    case Glyph::ChevronDown:
        stroke(p, c, 10);
        p.drawPolyline(poly({{22, 36}, {50, 64}, {78, 36}}));
        break;
    case Glyph::ChevronLeft:
        stroke(p, c, 10);
        p.drawPolyline(poly({{62, 20}, {32, 50}, {62, 80}}));
        break;
    case Glyph::ChevronRight:
        stroke(p, c, 10);
        p.drawPolyline(poly({{38, 20}, {68, 50}, {38, 80}}));
        break;
    case Glyph::Pin:
        pin(p, c, true);
        break;
    case Glyph::Unpin:
        pin(p, c, false);
        break;
    case Glyph::MinimiseBar:
        stroke(p, c, 9);
        p.drawLine(QPointF(22, 72), QPointF(78, 72));
        break;
    case Glyph::Expand:
        corners(p, c, true);
        break;
    case Glyph::Shrink:
        corners(p, c, false);
        break;
    case Glyph::NewWindow:
        window(p, c);
        stroke(p, c, 8);
        p.drawLine(QPointF(80, 10), QPointF(80, 40));
        p.drawLine(QPointF(65, 25), QPointF(95, 25));
        break;
    case Glyph::ToNewWindow:
        window(p, c);
        stroke(p, c, 8);
        p.drawLine(QPointF(48, 52), QPointF(84, 16));
        arrowHead(p, QPointF(90, 10), -45, c);
        break;
    case Glyph::Cross:
        stroke(p, c, 11);
        p.drawLine(QPointF(24, 24), QPointF(76, 76));
        p.drawLine(QPointF(76, 24), QPointF(24, 76));
        break;
    case Glyph::FolderUp:
        folder(p, c);
        stroke(p, QColor(0, 0, 0, 160), 8);
        p.drawLine(QPointF(50, 74), QPointF(50, 46));
        p.drawPolyline(poly({{38, 56}, {50, 44}, {62, 56}}));
        break;
    case Glyph::Autoplay:
        circularArrow(p, c, true);
        fill(p, c);
        p.drawPolygon(poly({{43, 38}, {62, 50}, {43, 62}}));
        break;
    case Glyph::AddPlaylist:
        stroke(p, c, 8);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(12, 24 + i * 20), QPointF(i == 2 ? 46 : 62, 24 + i * 20));
        p.drawLine(QPointF(72, 54), QPointF(72, 88));
        p.drawLine(QPointF(55, 71), QPointF(89, 71));
        break;
    case Glyph::Check:
        stroke(p, c, 12);
        p.drawPolyline(poly({{20, 52}, {42, 74}, {82, 28}}));
        break;
    case Glyph::Info:
        stroke(p, c, 7);
        p.drawEllipse(QPointF(50, 50), 38, 38);
        fill(p, c);
        p.drawEllipse(QPointF(50, 30), 6, 6);
        p.drawRect(QRectF(44, 42, 12, 34));
        break;
    case Glyph::Bin:
        fill(p, c);
        p.drawRect(QRectF(18, 20, 64, 8));
        p.drawRect(QRectF(40, 12, 20, 8));
        p.drawPolygon(poly({{24, 32}, {76, 32}, {70, 88}, {30, 88}}));
        stroke(p, c.lightness() < 128 ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 140), 4);
        for (int x : {40, 50, 60})
            p.drawLine(QPointF(x, 42), QPointF(x, 78));
        break;
    case Glyph::Earth:
        earth(p, c);
        break;
    case Glyph::EarthOff:
        earth(p, c);
        stroke(p, QColor(220, 60, 60), 9);
        p.drawLine(QPointF(14, 86), QPointF(86, 14));
        break;
    case Glyph::Search:
        stroke(p, c, 9);
        p.drawEllipse(QPointF(42, 42), 24, 24);
        p.drawLine(QPointF(60, 60), QPointF(84, 84));
        break;
    case Glyph::DragLines:
        fill(p, c);
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(20, 30 + i * 18, 60, 7));
        break;
    case Glyph::File: {
        fill(p, c);
        p.drawPolygon(poly({{22, 10}, {60, 10}, {80, 30}, {80, 90}, {22, 90}}));
        fill(p, QColor(0, 0, 0, 70));
        p.drawPolygon(poly({{60, 10}, {80, 30}, {60, 30}}));
        break;
    }
    case Glyph::FolderSad:
        folder(p, c);
        stroke(p, QColor(0, 0, 0, 170), 5);
        p.drawPoint(QPointF(38, 52));
        p.drawPoint(QPointF(62, 52));
        p.drawArc(QRectF(36, 64, 28, 20), 30 * 16, 120 * 16);
        break;
    case Glyph::Disk:
        fill(p, c);
        p.drawRoundedRect(QRectF(10, 30, 80, 40), 8, 8);
        fill(p, QColor(60, 200, 90));
        p.drawEllipse(QPointF(76, 50), 5, 5);
        stroke(p, QColor(0, 0, 0, 120), 4);
        p.drawLine(QPointF(20, 50), QPointF(56, 50));
        break;
    case Glyph::MidiPlug:
        stroke(p, c, 7);
        p.drawEllipse(QPointF(50, 50), 38, 38);
        fill(p, c);
        for (int i = 0; i < 5; ++i) {
            p.save();
            p.translate(50, 54);
            p.rotate(-90 + (i - 2) * 45);
            p.drawEllipse(QPointF(22, 0), 6, 6);
            p.restore();
        }
        p.drawRect(QRectF(44, 14, 12, 8));
        break;
    case Glyph::Wave:
        fill(p, c);
        for (int i = 0; i < 9; ++i) {
            const qreal h = 14 + 60 * (0.5 + 0.5 * std::sin(i * 1.3)) * (1.0 - std::abs(i - 4) / 6.0);
            p.drawRoundedRect(QRectF(10 + i * 9, 50 - h / 2, 6, h), 3, 3);
        }
        break;
    case Glyph::Notes:
        note(p, c, QPointF(30, 76), 1.0);
        note(p, c, QPointF(64, 66), 0.9);
        break;
    case Glyph::Clock:
        clockFace(p, c);
        break;
    case Glyph::Coin:
        fill(p, c);
        p.drawEllipse(QPointF(50, 50), 40, 40);
        stroke(p, QColor(0, 0, 0, 110), 5);
        p.drawEllipse(QPointF(50, 50), 30, 30);
        note(p, QColor(0, 0, 0, 110), QPointF(44, 64), 0.55);
        break;
    case Glyph::Download:
        downArrow(p, c);
        break;
    case Glyph::DownloadError:
        downArrow(p, c);
        stroke(p, QColor(220, 60, 60), 8);
        p.drawLine(QPointF(62, 10), QPointF(90, 38));
        p.drawLine(QPointF(90, 10), QPointF(62, 38));
        break;
    case Glyph::Pencil:
        p.save();
        p.translate(50, 50);
        p.rotate(45);
        fill(p, c);
        p.drawRect(QRectF(-9, -40, 18, 60));
        p.drawPolygon(poly({{-9, 24}, {9, 24}, {0, 42}}));
        p.restore();
        break;
    case Glyph::Plus:
        stroke(p, c, 12);
        p.drawLine(QPointF(50, 18), QPointF(50, 82));
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
        break;
    case Glyph::Minus:
        stroke(p, c, 12);
        p.drawLine(QPointF(18, 50), QPointF(82, 50));
        break;
    case Glyph::Headphones:
        stroke(p, c, 8);
        p.drawArc(QRectF(16, 16, 68, 68), 0, 180 * 16);
        fill(p, c);
        p.drawRoundedRect(QRectF(12, 48, 18, 34), 6, 6);
        p.drawRoundedRect(QRectF(70, 48, 18, 34), 6, 6);
        break;
    case Glyph::Undo:
        circularArrow(p, c, false);
        break;
    case Glyph::Restore:
        circularArrow(p, c, false);
        fill(p, c);
        p.drawEllipse(QPointF(50, 50), 8, 8);
        break;
    case Glyph::Playlist:
        stroke(p, c, 8);
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(10, 24 + i * 20), QPointF(48, 24 + i * 20));
        note(p, c, QPointF(66, 76), 0.9);
        break;
    }
}

QImage icon(QSize size, Glyph g, const QColor &color, Plate plate)
{
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(size.width(), size.height());
    if (plate != Plate::None) {
        QLinearGradient g(0, 0, 0, size.height());
        g.setColorAt(0, plate == Plate::Down ? QColor(40, 40, 40) : QColor(90, 90, 90));
        g.setColorAt(1, plate == Plate::Down ? QColor(20, 20, 20) : QColor(50, 50, 50));
        p.setPen(QPen(QColor(30, 30, 30), 1));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), side * 0.18, side * 0.18);
    }
    // The pictogram fills the middle square, a little inset on a plate.
    const qreal inset = plate == Plate::None ? 0 : side * 0.18;
    const qreal box = side - 2 * inset;
    p.translate((size.width() - box) / 2.0, (size.height() - box) / 2.0);
    p.scale(box / 100.0, box / 100.0);
    drawGlyph(p, g, plate == Plate::Down ? kYellow : color);
    return img;
}

} // namespace Artwork
