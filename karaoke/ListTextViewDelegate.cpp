#include "ListTextViewDelegate.h"

#include "LyricsModel.h"
#include "ViewParameter.h"

#include <QAbstractScrollArea>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

constexpr int ITEM_WIDTH = 5000;

// Items are ITEM_WIDTH wide: centre in what the list actually shows.
int visibleWidth(const QStyleOptionViewItem &option)
{
    const auto *area = qobject_cast<const QAbstractScrollArea *>(option.widget);
    const int width = option.rect.width();
    return area ? std::min(width, area->viewport()->width()) : width;
}

// The rows that fit the list whole. Below them, above the corner buttons,
// lies less than a row: the next row drawn there would show as a sliver cut
// off, its tallest letters or accents.
QRect wholeRows(const QStyleOptionViewItem &option, int pitch)
{
    const auto *area = qobject_cast<const QAbstractScrollArea *>(option.widget);
    const QRect r = option.rect;
    if (!area || pitch <= 0)
        return r;
    const int height = area->viewport()->height();
    return QRect(r.left(), 0, r.width(), std::max(pitch, height / pitch * pitch));
}

// The other half of a song row split in two, in the row above or below of
// the same height, lies in the rows shown; true for a row not split.
bool otherHalfShown(const QModelIndex &index, const QRect &r, const QRect &shown)
{
    const auto continued = [](const QModelIndex &row) {
        return row.isValid() && row.data(LyricsModel::CONTINUED_ROLE).toBool();
    };
    if (continued(index))
        return shown.contains(r.translated(0, -r.height()));
    if (continued(index.siblingAtRow(index.row() + 1)))
        return shown.contains(r.translated(0, r.height()));
    return true;
}

} // namespace

ListTextViewDelegate::ListTextViewDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

void ListTextViewDelegate::setPlayRowAndPos(int row, int pos)
{
    playRow = row;
    playPos = pos;
}

QSize ListTextViewDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(ITEM_WIDTH, m_viewParam ? m_viewParam->textRowVerticalSpace : 0);
}

void ListTextViewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    if (!m_viewParam)
        return;
    const QString text = index.data(LyricsModel::TEXT_ROLE).toString();
    const QRect r = option.rect;
    const QFont &font = m_viewParam->textFont;
    const QFontMetrics metrics(font);
    const QRect shown = wholeRows(option, m_viewParam->textRowVerticalSpace);
    if (!shown.intersects(r) || !otherHalfShown(index, r, shown))
        return;
    painter->save();
    painter->setClipRect(shown);
    painter->setRenderHint(QPainter::Antialiasing);
    // Filled, never outlined, whatever the outline colours.
    painter->setPen(Qt::NoPen);

    const int textWidth = metrics.horizontalAdvance(text);
    int x = r.left();
    if (m_viewParam->textAlignment == (Qt::AlignHCenter | Qt::AlignVCenter) ||
        index.data(LyricsModel::CENTRED_ROLE).toBool())
        x += (visibleWidth(option) - textWidth) / 2;
    QPainterPath path;
    path.addText(x, r.top() + metrics.height() - metrics.descent(), font, text);

    const int row = index.row();
    const QColor &sung = m_viewParam->sungFillColor;
    const QColor &unsung = m_viewParam->unsungFillColor;
    if (playRow == -1 || row > playRow) {
        painter->fillPath(path, unsung);
    } else if (row < playRow || playPos < 0 || playPos >= text.size()) {
        painter->fillPath(path, sung);
    } else {
        const int sungWidth = metrics.horizontalAdvance(text.left(playPos));
        const bool rightToLeft = text.isRightToLeft();
        const int boundary = rightToLeft ? x + textWidth - sungWidth : x + sungWidth;
        const int bottom = r.top() + metrics.height() - 1;
        const QRect left(QPoint(r.left(), r.top()), QPoint(boundary - 1, bottom));
        const QRect right(QPoint(boundary, r.top()), QPoint(r.right(), bottom));
        painter->setClipRect((rightToLeft ? right : left) & shown);
        painter->fillPath(path, sung);
        painter->setClipRect((rightToLeft ? left : right) & shown);
        painter->fillPath(path, unsung);
    }
    painter->restore();
}
