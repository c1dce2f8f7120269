#include "popupplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QRect PopupPlacement::nextTo(QSize popup, const QRect &anchor, const QRect &screen, int gap)
{
    const QPoint p = anchor.topLeft();
    const int below = p.y() + anchor.height() + gap;
    const int y = below + popup.height() <= screen.bottom() + 1 ? below : p.y() - popup.height();
    const int x = p.x() + popup.width() <= screen.right() + 1 ? p.x() + (anchor.width() - popup.width()) / 2
                                                              : p.x() - popup.width();
    return keepInside(QRect(QPoint(x, y), popup), screen);
}

QRect PopupPlacement::keepInside(QRect rect, const QRect &area)
{
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveLeft(qBound(area.left(), rect.left(), area.right() + 1 - rect.width()));
    rect.moveTop(qBound(area.top(), rect.top(), area.bottom() + 1 - rect.height()));
    return rect;
}

QRect PopupPlacement::clearOf(const QRect &rect, const QRect &area, const QList<QRect> &keepClear)
{
    // The largest rectangles of the area that cover none of them: each one
    // met is cut into what lies above, below, left and right of it.
    QList<QRect> parts{area};
    for (const QRect &clear : keepClear) {
        QList<QRect> cut;
        for (const QRect &part : std::as_const(parts)) {
            if (!part.intersects(clear)) {
                cut << part;
                continue;
            }
            if (clear.top() > part.top())
                cut << QRect(part.left(), part.top(), part.width(), clear.top() - part.top());
            if (clear.bottom() < part.bottom())
                cut << QRect(part.left(), clear.bottom() + 1, part.width(), part.bottom() - clear.bottom());
            if (clear.left() > part.left())
                cut << QRect(part.left(), part.top(), clear.left() - part.left(), part.height());
            if (clear.right() < part.right())
                cut << QRect(clear.right() + 1, part.top(), part.right() - clear.right(), part.height());
        }
        parts = cut;
    }
    QRect best;
    int bestMove = -1;
    for (const QRect &part : std::as_const(parts)) {
        if (part.width() < rect.width() || part.height() < rect.height())
            continue;
        const int move = (keepInside(rect, part).topLeft() - rect.topLeft()).manhattanLength();
        if (bestMove < 0 || move < bestMove) {
            best = part;
            bestMove = move;
        }
    }
    if (bestMove < 0) {
        for (const QRect &part : std::as_const(parts)) {
            if (qint64(part.width()) * part.height() > qint64(best.width()) * best.height())
                best = part;
        }
    }
    return best.isEmpty() ? keepInside(rect, area) : keepInside(rect, best);
}

QRect PopupPlacement::availableAt(QPoint point)
{
    const QScreen *screen = QGuiApplication::screenAt(point);
    return (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
}

void PopupPlacement::showNextTo(QWidget *popup, QWidget *anchor, int gap)
{
    const QRect at(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    // A pop-up taller than the screen is cut to it; its scroll area, where
    // it has one, reaches the rest.
    const QRect placed = nextTo(popup->size(), at, availableAt(at.center()), gap);
    popup->setGeometry(placed);
    popup->show();
}
