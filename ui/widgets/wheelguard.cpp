#include "wheelguard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QCoreApplication>
#include <QWheelEvent>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace {

class Guard : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        auto *w = qobject_cast<QWidget *>(watched);
        if (!w || w->hasFocus())
            return false;
        QAbstractScrollArea *area = nullptr;
        for (QWidget *p = w->parentWidget(); p && !area; p = p->parentWidget())
            area = qobject_cast<QAbstractScrollArea *>(p);
        if (!area)
            return false;
        const auto *wheel = static_cast<QWheelEvent *>(event);
        QWidget *viewport = area->viewport();
        const QPointF at = viewport->mapFromGlobal(wheel->globalPosition());
        QWheelEvent scroll(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
                           wheel->modifiers(), wheel->phase(), wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(viewport, &scroll);
        return true;
    }
};

} // namespace

void WheelGuard::guardChildren(QWidget *area)
{
    auto *guard = new Guard(area);
    for (QWidget *w : area->findChildren<QWidget *>()) {
        if (!qobject_cast<QComboBox *>(w) && !qobject_cast<QAbstractSpinBox *>(w) && !qobject_cast<QAbstractSlider *>(w))
            continue;
        if (w->focusPolicy() == Qt::WheelFocus)
            w->setFocusPolicy(Qt::StrongFocus);
        w->installEventFilter(guard);
    }
}
