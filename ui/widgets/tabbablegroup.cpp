#include "tabbablegroup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>

namespace {

void allTabbable(QButtonGroup *group)
{
    for (QAbstractButton *b : group->buttons())
        b->setFocusPolicy(Qt::StrongFocus);
}

// A grouped button that takes the focus takes its unchecked fellows out of
// the Tab order; they are put back once it has.
class FocusKeeper : public QObject
{
public:
    explicit FocusKeeper(QButtonGroup *group) : QObject(group), m_group(group) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::FocusIn)
            return false;
        watched->removeEventFilter(this);
        static_cast<QObject *>(watched)->event(event);
        watched->installEventFilter(this);
        allTabbable(m_group);
        return true;
    }

private:
    QButtonGroup *m_group;
};

} // namespace

void TabbableGroup::keepEveryButton(QButtonGroup *group)
{
    allTabbable(group);
    auto *keeper = new FocusKeeper(group);
    for (QAbstractButton *b : group->buttons())
        b->installEventFilter(keeper);
    QObject::connect(group, &QButtonGroup::idToggled, group, [group] { allTabbable(group); });
}
