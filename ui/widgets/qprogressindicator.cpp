#include "qprogressindicator.h"

#include <QPainter>
#include <QTimerEvent>

QProgressIndicator::QProgressIndicator(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus);
}

void QProgressIndicator::startAnimation()
{
    angle = 0;
    if (timerId == -1)
        timerId = startTimer(delay, Qt::CoarseTimer);
}

void QProgressIndicator::stopAnimation()
{
    if (timerId != -1)
        killTimer(timerId);
    timerId = -1;
    update();
}

void QProgressIndicator::setAnimationDelay(int milliseconds)
{
    if (timerId != -1) {
        killTimer(timerId);
        timerId = startTimer(milliseconds, Qt::CoarseTimer);
    }
    delay = milliseconds;
}

void QProgressIndicator::setDisplayedWhenStopped(bool displayed)
{
    displayedWhenStopped = displayed;
    update();
}

void QProgressIndicator::setColor(const QColor &c)
{
    capsuleColor = c;
    update();
}

void QProgressIndicator::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timerId)
        return QWidget::timerEvent(event);
    angle = (angle + 30) % 360;
    update();
}

void QProgressIndicator::paintEvent(QPaintEvent *)
{
    if (!isAnimated() && !displayedWhenStopped)
        return;
    const int side = qMin(width(), height());
    const int outer = int((side - 1) * 0.5);
    const int inner = int((side - 1) * 0.5 * 0.38);
    const int length = outer - inner;
    const int capsuleWidth = side <= 32 ? int(length * 0.35) : int(length * 0.23);
    const int corner = capsuleWidth / 2;

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.translate(rect().center());
    for (int i = 0; i < 12; ++i) {
        QColor c = capsuleColor;
        c.setAlphaF(1.0f - i / 12.0f);
        p.setBrush(c);
        p.save();
        p.rotate(angle - 30 * i);
        p.drawRoundedRect(-int(capsuleWidth / 2.0), -outer, capsuleWidth, length, corner, corner);
        p.restore();
    }
}
