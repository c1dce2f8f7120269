// Paints one lyric row as filled text: rows already sung in the sung colour,
// rows still to sing in the unsung colour, and the current row split at the
// sung position, exact to the pixel at the character boundary. The sung part
// is the first characters: on the left, or on the right of a right-to-left row.
// Nothing is drawn below the last row that fits the list whole, and a song
// row split in two is drawn only with both its halves in those rows: the
// singer never reads half a line.
#pragma once

#include <QStyledItemDelegate>

class ViewParameter;

class ListTextViewDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ListTextViewDelegate(QObject *parent = nullptr);

    void setViewParam(ViewParameter *viewParam) { m_viewParam = viewParam; }
    void setPlayRowAndPos(int row, int pos);

    // Written by the lyric timing as well; -1 for none.
    int playRow = -1;
    int playPos = -1;

    // As wide as any row, so that the list never wraps one.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    ViewParameter *m_viewParam = nullptr;
};
