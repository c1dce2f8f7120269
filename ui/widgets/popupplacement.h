// Where pop-ups and new windows open: next to the control that opens them
// and always whole on the screen, so that every control they hold can be
// reached on a laptop screen.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace PopupPlacement {

// The rectangle of a pop-up of size `popup` opened by a control at `anchor`
// (global coordinates) on a screen whose free area is `screen`: under the
// control and centred on it, above it when it does not fit below, its right
// edge at the control's left edge when it does not fit on the right; `gap`
// is added below the control. Then kept inside the screen.
QRect nextTo(QSize popup, const QRect &anchor, const QRect &screen, int gap = 0);

// `rect` moved (and, when larger, shrunk) to lie inside `area`.
QRect keepInside(QRect rect, const QRect &area);

// `rect` moved into `area` where it covers none of `keepClear`: into the
// part of `area` clear of them where it fits with the least move, else into
// the largest such part, shrunk to it.
QRect clearOf(const QRect &rect, const QRect &area, const QList<QRect> &keepClear);

// The free area (without panels and docks) of the screen showing `point`,
// or of the primary screen when none does.
QRect availableAt(QPoint point);

// Places `popup` next to `anchor` as nextTo() says, on the anchor's screen,
// and shows it.
void showNextTo(QWidget *popup, QWidget *anchor, int gap = 0);

} // namespace PopupPlacement
