#include "ListChordViewDelegate.h"

#include "Chord.h"
#include "LyricsModel.h"
#include "ViewParameter.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cstring>

namespace {

enum Mode { TEXT = 1, GUITAR = 2, PIANO = 3 };
constexpr int NAME_HEIGHT = 39;
constexpr int STRING_STEP = 29;
constexpr int FRET_STEP = 45;
constexpr int MAX_BASE_FRET = 24;

// Top-left corner of each key's dot, keys from C upward: white keys low,
// black keys high.
constexpr QPoint PIANO_DOTS[PIANO_KEYS] = {
    {1, 54},   {6, 29},   {12, 54},  {17, 29},  {23, 54},  {34, 54},  {39, 29},  {45, 54},
    {50, 29},  {56, 54},  {61, 29},  {67, 54},  {78, 54},  {83, 29},  {89, 54},  {94, 29},
    {100, 54}, {111, 54}, {116, 29}, {122, 54}, {127, 29}, {133, 54}, {138, 29}, {144, 54},
    {155, 54}, {160, 29}, {166, 54}, {171, 29}, {177, 54}};

// Qt's inclusive rectangle from (left, top) to (right, bottom).
QRect corners(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

ListChordViewDelegate::ListChordViewDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

void ListChordViewDelegate::setChordViewSize(QSize size)
{
    if (m_viewParam)
        m_viewParam->setViewChordArea(size);
}

QSize ListChordViewDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return QSize(m_viewParam ? m_viewParam->chordCellWidth : 0, CELL_HEIGHT);
}

void ListChordViewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    if (!m_viewParam || !m_songLoaded || m_viewParam->chordsViewMode == 0)
        return;
    const QByteArray bytes = index.data(LyricsModel::TEXT_ROLE).toByteArray();
    if (bytes.size() != int(sizeof(ChordInfo)))
        return;
    ChordInfo rec;
    std::memcpy(&rec, bytes.constData(), sizeof rec);
    rec.text[CHORD_TEXT_SIZE - 1] = rec.italianText[CHORD_TEXT_SIZE - 1] = 0;
    const QString name = QString::fromLatin1(m_viewParam->chordNotation == 1 ? rec.text : rec.italianText);
    const bool current = index.row() == m_playPos;
    const QRect r = option.rect;
    const int w = r.width();
    const int h = r.height();

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QRect nameRect;
    switch (m_viewParam->chordsViewMode) {
    case TEXT:
        nameRect = corners(r.left() + 5, r.top() + h / 4, r.right() - 5, r.top() + h / 4 + h / 2 - 1);
        break;
    case GUITAR: {
        S_GUITAR_CHORD diagram;
        Chord::GetGraphGuitarChord(&rec, &diagram);
        const QPixmap picture(diagram.baseFret != 0 ? QStringLiteral(":/icon2x/guitar-tab.png")
                                                    : QStringLiteral(":/icon2x/guitar-tab-fr.png"));
        // A cell too short for the picture starts it at the cell's top.
        const int gap = std::max(0, (r.bottom() - (r.top() + picture.height()) - NAME_HEIGHT) / 3);
        const QPoint at(r.left() + (w - picture.width()) / 2, r.top() + gap);
        painter->drawPixmap(at, picture);
        drawGuitarChord(painter, at.x(), at.y(), &diagram, current);
        const int nameTop = r.top() + 2 * gap + picture.height();
        nameRect = corners(r.left() + 5, nameTop, r.right() - 5, nameTop + NAME_HEIGHT);
        break;
    }
    case PIANO: {
        nameRect = corners(r.left() + 5, r.bottom() - 89, r.right() - 5, r.bottom() - 50);
        const QPixmap picture(QStringLiteral(":/icon2x/piano-tab.png"));
        const QPoint at(r.left() + (w - picture.width()) / 2, (r.bottom() - 89) - picture.height() - 50);
        painter->drawPixmap(at, picture);
        S_PIANO_FRAME frame;
        Chord::GetGraphPianoChord(&rec, &frame);
        drawPianoChord(painter, at.x(), at.y(), &frame, current);
        break;
    }
    default:
        break;
    }
    painter->setPen(current ? Qt::red : Qt::black);
    painter->setFont(current ? m_viewParam->chordFontBig : m_viewParam->chordFontSmall);
    painter->drawText(nameRect, Qt::AlignHCenter | Qt::AlignVCenter, name);
    painter->restore();
}

void ListChordViewDelegate::drawGuitarChord(QPainter *painter, int x, int y, const S_GUITAR_CHORD *diagram,
                                            bool current)
{
    painter->save();
    const QColor dot = current ? Qt::red : Qt::white;
    QPen pen(Qt::black, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (int s = 0; s < GUITAR_STRINGS; ++s) {
        const int c = STRING_STEP * s;
        const int f = diagram->fretRow[s];
        if (f >= 0) {
            pen.setWidth(1);
            painter->setPen(pen);
            painter->setBrush(dot);
            painter->drawEllipse(corners(x - 5 + c, y + 17 + FRET_STEP * f, x + 6 + c, y + 28 + FRET_STEP * f));
        }
        pen.setWidth(2);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        if (diagram->stringMark[s] == 0) {
            painter->drawEllipse(corners(x - 5 + c, y - 15, x + 4 + c, y - 6));
        } else if (diagram->stringMark[s] == 1) {
            painter->drawLine(x - 5 + c, y - 15, x + 5 + c, y - 5);
            painter->drawLine(x - 5 + c, y - 5, x + 5 + c, y - 15);
        }
    }
    const int b = diagram->barreRow;
    if (b >= 0) {
        pen.setWidth(2);
        painter->setPen(pen);
        const int left = x - 5 + STRING_STEP * diagram->barreFrom;
        const int width = (diagram->barreTo - diagram->barreFrom) * STRING_STEP + 10;
        for (int height : {15, 11})
            painter->drawArc(QRect(left, y + 5 + FRET_STEP * b, width, height), 160, 2720);
    }
    if (diagram->baseFret >= 1 && diagram->baseFret <= MAX_BASE_FRET) {
        QFont font = painter->font();
        font.setBold(true);
        font.setPixelSize(14);
        painter->setFont(font);
        painter->drawText(QPoint(x + 152, y + 19), QStringLiteral("%1 fr").arg(diagram->baseFret));
    }
    painter->restore();
}

void ListChordViewDelegate::drawPianoChord(QPainter *painter, int x, int y, const S_PIANO_FRAME *frame, bool current)
{
    painter->save();
    painter->setPen(QPen(Qt::black, 1, Qt::SolidLine));
    painter->setBrush(current ? Qt::red : Qt::white);
    for (int k = 0; k < PIANO_KEYS; ++k) {
        if (frame->key[k])
            painter->drawEllipse(QRect(x + PIANO_DOTS[k].x(), y + PIANO_DOTS[k].y(), 10, 10));
    }
    painter->restore();
}
