#include "LyricsModel.h"

#include "Chord.h"
#include "ListTextViewDelegate.h"
#include "ViewParameter.h"

#include <QDebug>
#include <QFontMetrics>
#include <cstring>

namespace {

template <typename T>
QVector<T> copyOf(const T *items, int count)
{
    return items && count > 0 ? QVector<T>(items, items + count) : QVector<T>();
}

// A row's text: Latin-1 up to the first NUL, at most the record's 42 bytes.
QString rowText(const TEXT_EV &row)
{
    return QString::fromLatin1(row.text, qsizetype(strnlen(row.text, TEXT_EV_SIZE)));
}

TEXT_EV makeRow(const QString &text, uint32_t tick)
{
    TEXT_EV row;
    std::memset(&row, 0, sizeof row);
    const QByteArray bytes = text.toLatin1().left(TEXT_EV_SIZE - 1);
    std::memcpy(row.text, bytes.constData(), size_t(bytes.size()));
    row.tick = tick;
    return row;
}

QStandardItem *textItem(const QString &text)
{
    auto *item = new QStandardItem;
    item->setData(text, LyricsModel::TEXT_ROLE);
    return item;
}

// The song counts a syllable's end in visible characters (spaces left out);
// the row painter and the split count every character: the position just
// after the count-th visible one. The end-of-row mark stays as it is.
uint8_t characterOffset(const QString &text, uint8_t visibleCount)
{
    if (visibleCount == 0 || visibleCount == SYL_END_OF_ROW)
        return visibleCount;
    int seen = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > ' ' && ++seen == visibleCount)
            return uint8_t(i + 1);
    }
    return uint8_t(text.size());
}

// Where a too-wide row is split: the space nearest the middle, the right-hand
// one on a tie; -1 when the row has no space.
int splitPosition(const QString &text)
{
    const int half = int(text.size()) / 2;
    const int leftSpace = int(text.left(half).lastIndexOf(QLatin1Char(' ')));
    const int right = int(text.indexOf(QLatin1Char(' '), half));
    if (leftSpace < 0)
        return right;
    if (right < 0)
        return leftSpace;
    return half - leftSpace < right - half ? leftSpace : right;
}

} // namespace

LyricsModel::LyricsModel(ViewParameter *viewParam, QObject *parent)
    : QObject(parent)
    , m_viewParam(viewParam)
{
}

void LyricsModel::loadSongChange(int state, const LyricsSource &song)
{
    m_loaded = state != 0;
    if (!m_loaded) {
        m_textModel.clear();
        updateNoChordsLabel();
        return;
    }
    m_songRows = copyOf(song.rows, song.rowCount);
    m_songSyllables = copyOf(song.syllables, song.syllableCount);
    m_songChords = copyOf(song.chords, song.chordCount);
    m_songHasRows = song.hasRows;
    m_songHasSyllables = song.hasSyllables && !m_songSyllables.isEmpty();
    m_songHasChords = song.hasChords;
    m_songCdg = song.cdg;
    m_songBaseType = song.baseType;
    m_songTicksPerQuarter = song.ticksPerQuarter;
    playState.tempoBpm = 120;
    fillDataModel();
    if (m_painter)
        m_painter->setPlayRowAndPos(-1, -1);
}

LyricsSource LyricsModel::source() const
{
    return {m_songRows.constData(), int(m_songRows.size()), m_songSyllables.constData(),
            int(m_songSyllables.size()), m_songChords.constData(), int(m_songChords.size()),
            m_songHasRows, m_songHasSyllables, m_songHasChords, m_songCdg, m_songBaseType,
            m_songTicksPerQuarter};
}

void LyricsModel::viewParameterUpdate()
{
    if (m_loaded)
        fillDataModel();
}

void LyricsModel::onSongKeyChanged(int delta)
{
    m_keyShift = delta;
    fillChordDataModel();
}

void LyricsModel::fillDataModel()
{
    m_textModel.clear();
    m_rows.clear();
    m_syllables.clear();
    playState.playRow = playState.prevPlayRow = playState.playPos = playState.prevPlayPos = -1;
    playState.prevTime = 0;
    playState.rowSearchIndex = playState.syllableSearchIndex = 0;
    if (!m_songCdg.isEmpty()) {
        m_cdg.setBufferCdgCmd(m_songCdg);
        m_cdgPicture = m_cdg.getImageAtMilliSec(0);
        // A CD+G song shows no chords, not those of the song before it.
        fillChordDataModel();
        return;
    }
    if (!m_songHasRows) {
        const QString dashes = QStringLiteral("- - - - - - - - - - - - - - - -");
        for (const QString &text : {QString(), dashes, tr("Text NOT found"), dashes, QString()})
            m_textModel.appendRow(textItem(text));
        fillChordDataModel();
        return;
    }
    splitLongRowString();
    for (const TEXT_EV &row : m_rows)
        m_textModel.appendRow(textItem(rowText(row)));
    m_textModel.appendRow(textItem(QString()));
    fillChordDataModel();
}

void LyricsModel::splitLongRowString()
{
    const QFontMetrics metrics(m_viewParam->textFont);
    const int limit = m_viewParam->textAreaSize.width() - 4 * metrics.horizontalAdvance(QLatin1Char('W'));
    int s = 0;
    for (int i = 0; i < m_songRows.size(); ++i) {
        const TEXT_EV &songRow = m_songRows[i];
        const QString text = rowText(songRow);
        const int p = metrics.horizontalAdvance(text) <= limit ? -1 : splitPosition(text);
        const int first = int(m_rows.size());
        if (p < 0) {
            m_rows.append(songRow);
        } else {
            m_rows.append(makeRow(text.left(p), songRow.tick));
            m_rows.append(makeRow(text.mid(p + 1), songRow.tick));
        }
        if (!m_songHasSyllables)
            continue;
        for (; s < m_songSyllables.size() && m_songSyllables[s].row <= i; ++s) {
            SYL_EV syllable = m_songSyllables[s];
            if (syllable.row < i)
                continue;
            syllable.offset = characterOffset(text, syllable.offset);
            syllable.row = int16_t(first);
            // The end-of-row mark stays one in the second half.
            if (p >= 0 && syllable.offset > p) {
                syllable.row = int16_t(first + 1);
                if (syllable.offset != SYL_END_OF_ROW)
                    syllable.offset = uint8_t(syllable.offset - (p + 1));
            }
            m_syllables.append(syllable);
        }
    }
}

void LyricsModel::fillChordDataModel()
{
    m_chordModel.clear();
    m_chords.clear();
    playState.chordPos = playState.prevChordPos = -1;
    playState.chordSearchIndex = 0;
    if (m_hasChordStrip && m_loaded && m_songCdg.isEmpty() && m_songHasChords) {
        for (const CHORD_EV &chord : m_songChords) {
            // Names are copied first: a 16-byte name need not end in a NUL.
            char name[CHORD_NAME_SIZE + 1] = {};
            std::memcpy(name, chord.name, CHORD_NAME_SIZE);
            char transposed[CHORD_TEXT_SIZE] = {};
            Chord::TransposeChord(transposed, name, m_keyShift);
            ChordInfo info;
            std::memset(&info, 0, sizeof info);
            Chord::ParseChord(transposed, &info);
            if (info.root == -1)
                qWarning().noquote() << QString::fromLatin1(transposed) + " ACCORDO NON TROVATO !!!";
            auto *item = new QStandardItem;
            item->setData(QByteArray(reinterpret_cast<const char *>(&info), sizeof info), TEXT_ROLE);
            m_chordModel.appendRow(item);
            m_chords.append(chord);
        }
    }
    updateNoChordsLabel();
}

void LyricsModel::updateNoChordsLabel()
{
    const bool visible = m_loaded && m_songCdg.isEmpty() && m_chords.isEmpty();
    if (visible != m_noChordsVisible) {
        m_noChordsVisible = visible;
        emit noChordsLabelChanged(visible);
    }
}
