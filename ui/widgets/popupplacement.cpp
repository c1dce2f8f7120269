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
