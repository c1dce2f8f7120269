#include "librarytabledelegate.h"

#include "Extract.h"
#include "songtexts.h"
#include "storereplies.h"

#include <QPainter>

#include <cstring>

namespace {

const QPixmap &formatIcon(const QString &type, const QPixmap &midi, const QPixmap &mp3,
                          const QPixmap &other)
{
    switch (LibraryCells::formatOf(type)) {
    case LibraryCells::Format::Midi:
        return midi;
    case LibraryCells::Format::Mp3:
        return mp3;
    default:
        return other;
    }
}

bool noValue(const QString &text)
{
    return text.isEmpty() || text == QLatin1String("0");
}

void fillSelection(QPainter *painter, const QStyleOptionViewItem &option)
{
    if (!(option.state & QStyle::State_Selected))
        return;
    QPalette::ColorGroup group = QPalette::Disabled;
    if (option.state & QStyle::State_Enabled)
        group = (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
}

} // namespace

namespace LibraryCells {

QString lengthText(const QString &seconds)
{
    if (noValue(seconds))
        return QStringLiteral("--");
    return StoreReplies::lengthText(seconds.toInt());
}

QString keyText(const QString &key, int chordLang)
{
    if (noValue(key))
        return QStringLiteral("--");
    // Keys come from song files and the store: only a name the chord helper
    // can hold is handed to it, the rest of a longer text is dropped.
    char buffer[EXTRACT_CHORD_BUFFER_SIZE] = {};
    const QByteArray latin = key.toLatin1();
    std::memcpy(buffer, latin.constData(), qMin<qsizetype>(latin.size(), EXTRACT_CHORD_MAX_CHARS));
    Extract::TransposeAndTranslateChord(buffer, 0, chordLang);
    return QString::fromLatin1(buffer);
}

QRect statusIconRect(const QRect &cell)
{
    const int side = qMax(1, qMin(cell.width(), cell.height()) - 6);
    return QRect(cell.left() + (cell.width() - side) / 2, cell.top() + (cell.height() - side) / 2, side, side);
}

QRect statusIconSource(const QPixmap &icon, bool logo)
{
    return logo ? QRect(0, 0, icon.height(), icon.height()) : icon.rect();
}

Format formatOf(const QString &type)
{
    static const QStringList midi{QStringLiteral("MIDI"), QStringLiteral("MID"),
                                  QStringLiteral("KAR"),  QStringLiteral("MF3"),
                                  QStringLiteral("MF4"),  QStringLiteral("MF5")};
    if (midi.contains(type, Qt::CaseInsensitive))
        return Format::Midi;
    if (type.compare(QLatin1String("MP3"), Qt::CaseInsensitive) == 0)
        return Format::Mp3;
    return Format::Other;
}

} // namespace LibraryCells

libraryTableDelegate::libraryTableDelegate(QObject *parent)
    : QStyledItemDelegate(parent),
      defaultIcon(QStringLiteral(":/icon2x/genre_icon.png")),
      mp3Icon(QStringLiteral(":/icon2x/mp3_icon.png")),
      midiIcon(QStringLiteral(":/icon2x/midi_icon.png")),
      pendingIcon(QStringLiteral(":/icon2x/clock.png")),
      storeIcon(QStringLiteral(":/icon2x/library_icon_sel_melodrome.png")),
      downloadingIcon(QStringLiteral(":/icon2x/downloadingIcon.png")),
      downloadedIcon(QStringLiteral(":/icon2x/okactionSmall.png")),
      errorIcon(QStringLiteral(":/icon2x/downloadError.png"))
{
}

const QPixmap &libraryTableDelegate::statusIcon(int status, bool selected) const
{
    switch (status) {
    case 1:
        return pendingIcon;
    case 2:
        // Dark on the white row and on the chosen row's yellow alike.
        Q_UNUSED(selected);
        return storeIcon;
    case 3:
        return downloadingIcon;
    case 4:
        return downloadedIcon;
    case 5:
        return errorIcon;
    default:
        return defaultIcon;
    }
}

QString libraryTableDelegate::displayText(const QVariant &value, const QLocale &locale) const
{
    return SongTexts::shown(QStyledItemDelegate::displayText(value, locale));
}

// The autoplay button's blues: black text stands out 14:1 from the ground.
const QColor libraryTableDelegate::litGround(198, 223, 250);
const QColor libraryTableDelegate::litMark(0, 133, 205);

void libraryTableDelegate::paintLit(QPainter *painter, const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    if (!litRow.isValid() || index.model() != litRow.model() || index.row() != litRow.row())
        return;
    if (!(option.state & QStyle::State_Selected))
        painter->fillRect(option.rect, litGround);
    if (index.column() == 1)
        painter->fillRect(QRect(option.rect.topLeft(), QSize(4, option.rect.height())), litMark);
}

void libraryTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    if (!index.isValid() || !index.model())
        return;
    fillSelection(painter, option);
    paintLit(painter, option, index);

    const QRect &r = option.rect;
    const QPen pen = painter->pen();
    painter->setPen(QPen(QColor(136, 138, 133), 1, Qt::SolidLine));
    painter->drawLine(r.left() - 1, r.bottom(), r.right() + 1, r.bottom());
    painter->setPen(pen);

    const QString text = index.data().toString();
    if (index.model()->columnCount() < 4) {
        painter->drawText(r.translated(20, 0), Qt::AlignLeft | Qt::AlignVCenter, displayText(text, option.locale));
        return;
    }
    const int centred = Qt::AlignHCenter | Qt::AlignVCenter;
    switch (index.column()) {
    case 1: {
        const QPixmap &icon = statusIcon(index.data().toInt(), option.state & QStyle::State_Selected);
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(LibraryCells::statusIconRect(r), icon,
                            LibraryCells::statusIconSource(icon, &icon == &storeIcon));
        painter->restore();
        break;
    }
    case 4:
        painter->drawText(r, centred, LibraryCells::lengthText(text));
        break;
    case 5:
        painter->drawPixmap(r, formatIcon(text, midiIcon, mp3Icon, defaultIcon));
        break;
    case 6:
        painter->drawText(r, centred, noValue(text) ? QStringLiteral("--") : text);
        break;
    case 7:
        painter->drawText(r, centred, LibraryCells::keyText(text, chordLang));
        break;
    default:
        QStyledItemDelegate::paint(painter, option, index);
    }
}

searchTableDelegate::searchTableDelegate(QObject *parent)
    : QStyledItemDelegate(parent),
      defaultIcon(QStringLiteral(":/icon2x/genre_icon.png")),
      mp3Icon(QStringLiteral(":/icon2x/mp3_icon.png")),
      midiIcon(QStringLiteral(":/icon2x/midi_icon.png"))
{
}

void searchTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    if (index.isValid()) {
        fillSelection(painter, option);
        if (index.column() == 0) {
            painter->drawPixmap(option.rect, formatIcon(index.data().toString(), midiIcon,
                                                        mp3Icon, defaultIcon));
            return;
        }
    }
    QStyledItemDelegate::paint(painter, option, index);
}

QSize searchTableDelegate::sizeHint(const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    static const int widths[] = {60, 300, 650};
    if (index.column() >= 0 && index.column() < 3)
        return QSize(widths[index.column()], 40);
    return QStyledItemDelegate::sizeHint(option, index);
}
