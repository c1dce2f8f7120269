// Painters of the library page's tables: the songs table (status and format
// icons, length, BPM and key in the chosen chord names, a grid line under
// each cell; artist and genre listings as indented text) and the drive-index
// search table (a format icon for the suffix, fixed column widths).
#pragma once

#include <QPersistentModelIndex>
#include <QPixmap>
#include <QStringList>
#include <QStyledItemDelegate>

namespace LibraryCells {
// The length column's text: "--" for no value, else "mm′ss″" (minutes
// modulo 60, as the table has always shown them).
QString lengthText(const QString &seconds);
// The key column's text in the chord-name language; "--" for no value.
QString keyText(const QString &key, int chordLang);
// The status column is narrow: its pictures are shrunk to the square that
// fits the cell, centred; the store's wide logo shows by its mark alone (the
// square at its left), not cut off at the cell's edge.
QRect statusIconRect(const QRect &cell);
QRect statusIconSource(const QPixmap &icon, bool logo);
enum class Format { Midi, Mp3, Other };
Format formatOf(const QString &type);
} // namespace LibraryCells

class libraryTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit libraryTableDelegate(QObject *parent = nullptr);

    void setChordLang(int lang) { chordLang = lang; }
    // The row of the song in play, lit whatever is selected: a pale ground
    // and a mark at its left; none once its model is filled anew.
    void setLitRow(const QPersistentModelIndex &row) { litRow = row; }
    static const QColor litGround;
    static const QColor litMark;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    // An unknown artist or genre in the language shown.
    QString displayText(const QVariant &value, const QLocale &locale) const override;

private:
    const QPixmap &statusIcon(int status, bool selected) const;
    void paintLit(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;

    int chordLang = 0;
    QPersistentModelIndex litRow;
    QPixmap defaultIcon;
    QPixmap mp3Icon;
    QPixmap midiIcon;
    QPixmap pendingIcon;
    QPixmap storeIcon;
    QPixmap downloadingIcon;
    QPixmap downloadedIcon;
    QPixmap errorIcon;
};

class searchTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit searchTableDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QPixmap defaultIcon;
    QPixmap mp3Icon;
    QPixmap midiIcon;
};
