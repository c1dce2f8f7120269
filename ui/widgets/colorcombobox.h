// Combo box whose entries are colour swatches, for choosing the karaoke colours.
#pragma once

#include <QComboBox>
#include <QItemDelegate>

class QGroupBox;

// Paints an entry with its own colour even while it is highlighted.
class ComboBoxColorItemDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    using QItemDelegate::QItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

class ColorComboBox : public QComboBox
{
    Q_OBJECT

public:
    ColorComboBox();
    explicit ColorComboBox(QWidget *parent);
    explicit ColorComboBox(QGroupBox *parent);

    // Each name is a colour as QColor::fromString reads it ("#rrggbb" or a
    // keyword); the entry carries it as its data and its background.
    void addItems(const QStringList &names);
    void addItem(const QString &name, const QVariant &unused = QVariant());

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ComboBoxColorItemDelegate *delegate;
};
