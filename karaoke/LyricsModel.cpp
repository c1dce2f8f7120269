#include "LyricsModel.h"

#include "Chord.h"
#include "Extract.h"
#include "ListTextViewDelegate.h"
#include "Song.h"
#include "ViewParameter.h"

#include <QDebug>
#include <QFontMetrics>
#include <algorithm>
#include <cstring>

namespace {

template <typename T>
QVector<T> copyOf(const T *items, int count)
{
    return items && count > 0 ? QVector<T>(items, items + count) : QVector<T>();
}

// A row's text as the view shows it, and the character at which each of its
// byte offsets ends: the song counts bytes, the painter and the split count
// characters, which a UTF-8 row has fewer of.
QString rowText(const TEXT_EV &row, QVector<int> *characterAt)
{
    const int bytes = int(strnlen(row.text, TEXT_EV_SIZE));
    const QString text = Extract::decodeLyricText(row.text, TEXT_EV_SIZE);
    characterAt->resize(bytes + 1);
    const bool utf8 = text != QString::fromLatin1(row.text, bytes);
    for (int b = 0; b <= bytes; ++b)
        (*characterAt)[b] = utf8 ? std::min(int(text.size()), int(QString::fromUtf8(row.text, b).size())) : b;
    return text;
}

QStandardItem *textItem(const QString &text)
{
    auto *item = new QStandardItem;
    item->setData(text, LyricsModel::TEXT_ROLE);
    return item;
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

LyricsSource LyricsSource::of(const Song &song)
{
    LyricsSource s;
    s.rows = song.textRows().constData();
    s.rowCount = int(song.textRows().size());
    s.syllables = song.syllables().constData();
    s.syllableCount = int(song.syllables().size());
    s.chords = song.chords().constData();
    s.chordCount = int(song.chords().size());
    s.hasRows = song.hasText();
    s.hasSyllables = song.hasSyllables();
    s.hasChords = song.hasChords();
    // Only a companion the song accepted makes a CD+G song: a broken one
    // leaves the lyrics showing.
    if (song.hasCdg())
        s.cdg = song.cdgData();
    s.baseType = int(song.baseType());
    s.ticksPerQuarter = int(song.ticksPerQuarter());
    return s;
}

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
        for (const QString &text : {QString(), dashes, tr("Text NOT found"), dashes, QString()}) {
            QStandardItem *item = textItem(text);
            item->setData(true, CENTRED_ROLE);
            m_textModel.appendRow(item);
        }
        fillChordDataModel();
        return;
    }
    splitLongRowString();
    for (const LyricRow &row : m_rows) {
        QStandardItem *item = textItem(row.text);
        if (row.continued)
            item->setData(true, CONTINUED_ROLE);
        m_textModel.appendRow(item);
    }
    m_textModel.appendRow(textItem(QString()));
    fillChordDataModel();
}

void LyricsModel::splitLongRowString()
{
    const QFontMetrics metrics(m_viewParam->textFont);
    const int limit = m_viewParam->textAreaSize.width() - metrics.horizontalAdvance(QLatin1Char('W'));
    QVector<int> characterAt;
    int s = 0;
    for (int i = 0; i < m_songRows.size(); ++i) {
        const TEXT_EV &songRow = m_songRows[i];
        const QString text = rowText(songRow, &characterAt);
        const int p = metrics.horizontalAdvance(text) <= limit ? -1 : splitPosition(text);
        const int first = int(m_rows.size());
        if (p < 0) {
            m_rows.append({text, songRow.tick});
        } else {
            m_rows.append({text.left(p), songRow.tick});
            m_rows.append({text.mid(p + 1), songRow.tick, true});
        }
        if (!m_songHasSyllables)
            continue;
        for (; s < m_songSyllables.size() && m_songSyllables[s].row <= i; ++s) {
            SYL_EV syllable = m_songSyllables[s];
            if (syllable.row < i)
                continue;
            if (syllable.offset != SYL_END_OF_ROW)
                syllable.offset = uint8_t(characterAt[std::min(int(syllable.offset), int(characterAt.size()) - 1)]);
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
                qWarning().noquote() << QString::fromLatin1(transposed) + ": chord not recognised";
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
