#include "colorcombobox.h"

#include <QGroupBox>
#include <QPainter>

void ComboBoxColorItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_Selected;
    QItemDelegate::paint(painter, plain, index);
}

ColorComboBox::ColorComboBox()
    : ColorComboBox(static_cast<QWidget *>(nullptr))
{
}

ColorComboBox::ColorComboBox(QWidget *parent)
    : QComboBox(parent), delegate(new ComboBoxColorItemDelegate(this))
{
    setItemDelegate(delegate);
}

ColorComboBox::ColorComboBox(QGroupBox *parent)
    : ColorComboBox(static_cast<QWidget *>(parent))
{
}

void ColorComboBox::addItems(const QStringList &names)
{
    for (const QString &name : names)
        addItem(name, QVariant());
}

void ColorComboBox::addItem(const QString &name, const QVariant &)
{
    const QColor color = QColor::fromString(name);
    QComboBox::addItem(QString(), color);
    setItemData(count() - 1, color, Qt::BackgroundRole);
}

void ColorComboBox::paintEvent(QPaintEvent *event)
{
    QComboBox::paintEvent(event);
    // An empty box, or an entry without a colour, shows no swatch rather
    // than a black one.
    const QColor color = itemData(currentIndex(), Qt::BackgroundRole).value<QColor>();
    if (currentIndex() < 0 || !color.isValid())
        return;
    QPainter p(this);
    p.fillRect(QRect(QPoint(3, 3), QPoint(width() - 19, height() - 4)), color);
}
