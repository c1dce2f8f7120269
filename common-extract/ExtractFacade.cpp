#include "Extract.h"

#include "ChordsParser.h"
#include "ExtractLock.h"
#include "ExtractProc.h"

#include <QRegularExpression>
#include <QStringList>
#include <cstring>

namespace {

MidiInfos *infosOf(s_StreamData *song)
{
    return song ? song->midiInfos : nullptr;
}

template <typename T>
T *itemAt(T *items, int count, long long index)
{
    return index >= 0 && index < count ? items + index : nullptr;
}

} // namespace

int Extract::NormalizeMidiSequence(s_StreamData *song, uint8_t *bytes, int length,
                                   int precountBars, int melodyChannel)
{
    ExtractLocker lock;
    const bool fastRun = precountBars < 1;
    if (!fastRun && _nomalizeSequence(song, bytes, length, EXTRACT_PLAY_MODE, 1) == 0)
        return 0;
    _calculate_MIDI_precount(song, fastRun, fastRun ? 0 : precountBars, melodyChannel);
    return _nomalizeSequence(song, bytes, length, EXTRACT_PLAY_MODE, 0);
}

SongRefusal Extract::failureRefusal()
{
    switch (-getLoadingError()) {
    case EXTRACT_ERR_TOO_LARGE:
        return {SongRefusal::TooManyEvents, QString(), 0, XBUF_CSHARP_SIZE};
    case EXTRACT_ERR_BARS:
        return {SongRefusal::TooManyBars, QString(), 0, MAX_BARS};
    case EXTRACT_ERR_ROWS:
        return {SongRefusal::TooManyRows, QString(), 0, MAX_TEXT_ROWS};
    case EXTRACT_ERR_SYLLABLES:
        return {SongRefusal::TooManySyllables, QString(), 0, MAX_SYLLABLES};
    case EXTRACT_ERR_CHORDS:
        return {SongRefusal::TooManyChords, QString(), 0, MAX_CHORDS};
    case EXTRACT_ERR_TPQN:
        return {SongRefusal::BadTiming};
    default:
        return {SongRefusal::BadMidi};
    }
}

QString Extract::failureText()
{
    const SongRefusal why = failureRefusal();
    switch (why.kind) {
    case SongRefusal::TooManyEvents:
        return QStringLiteral("too large to play: its notes and other events take more than %1 MiB once read")
            .arg(why.limit / 1048576);
    case SongRefusal::TooManyBars:
        return QStringLiteral("too long to play: more than %1 bars").arg(why.limit);
    case SongRefusal::TooManyRows:
        return QStringLiteral("too many lyric rows to show: more than %1").arg(why.limit);
    case SongRefusal::TooManySyllables:
        return QStringLiteral("too many lyric syllables to show: more than %1").arg(why.limit);
    case SongRefusal::TooManyChords:
        return QStringLiteral("too many chords to show: more than %1").arg(why.limit);
    case SongRefusal::BadTiming:
        return QStringLiteral("its timing (a division of 0, or frames of film or video) is not one the program "
                              "plays");
    default:
        return QStringLiteral("its MIDI data cannot be read");
    }
}

int Extract::NormalizeSequenceCutEvent(s_StreamData *song, uint8_t *bytes, int length)
{
    ExtractLocker lock;
    return _nomalizeSequence(song, bytes, length, 0, 0);
}

uint32_t Extract::MsAtTick(s_StreamData *song, int tick)
{
    return msAtTick(tick, song);
}

int Extract::Mp3TextFindType(s_StreamData *song, const uint8_t *bytes, long length, long tailLength)
{
    if (!infosOf(song))
        return 0;
    ExtractLocker lock;
    return mp3_text_find_type(song->midiInfos, bytes, length, tailLength);
}

int Extract::NormalizeMp3Sequence(const uint8_t *bytes, int length, MP3_CONTROL *out)
{
    return _nomalizeMp3(bytes, length, out);
}

uint16_t Extract::GetMidiTpqn(s_StreamData *song)
{
    return song && song->mfi ? song->mfi->tpqn : 0;
}

int Extract::GetNumTextLines(s_StreamData *song)
{
    const MidiInfos *m = infosOf(song);
    return m ? std::max<int>(0, m->textRowCount) : 0;
}

TEXT_EV *Extract::GetTextLineStructItem(s_StreamData *song, unsigned index)
{
    MidiInfos *m = infosOf(song);
    return m ? itemAt(m->textRows, std::min<int>(m->textRowCount, MAX_TEXT_ROWS), index) : nullptr;
}

int Extract::GetNumSylEvent(s_StreamData *song)
{
    const MidiInfos *m = infosOf(song);
    return m ? std::max<int>(0, m->syllableCount) : 0;
}

SYL_EV *Extract::GetSylEventStructItem(s_StreamData *song, int index)
{
    MidiInfos *m = infosOf(song);
    return m ? itemAt(m->syllables, std::min<int>(m->syllableCount, MAX_SYLLABLES), index) : nullptr;
}

int Extract::GetNumChordEvent(s_StreamData *song)
{
    const MidiInfos *m = infosOf(song);
    return m ? std::max<int>(0, m->chordCount) : 0;
}

CHORD_EV *Extract::GetChordsEventStructItem(s_StreamData *song, int index)
{
    MidiInfos *m = infosOf(song);
    return m ? itemAt(m->chords, std::min<int>(m->chordCount, MAX_CHORDS), index) : nullptr;
}

int Extract::GetNumMarkers(s_StreamData *song)
{
    const MidiInfos *m = infosOf(song);
    return m ? std::max<int>(0, m->markerCount) : 0;
}

MARKER_EV *Extract::GetMarkerStructItem(s_StreamData *song, int index)
{
    MidiInfos *m = infosOf(song);
    return m ? itemAt(m->markers, std::min<int>(m->markerCount, MAX_MARKERS), index) : nullptr;
}

int Extract::GetNumBarsBeats()
{
    ExtractLocker lock;
    return int(BarPositions.size());
}

BAR_BEAT_POS *Extract::GetBarBeatStructItem(int index)
{
    ExtractLocker lock;
    return itemAt(BarPositions.data(), int(BarPositions.size()), index);
}

int Extract::ConvMarkersFromEventsToDataStr(const QList<MARKER_EV> &markers, QByteArray &out)
{
    QString text;
    for (const MARKER_EV &m : markers) {
        const qint64 ms = qint64(m.time) * 10;
        text += QStringLiteral("[%1:%2.%3]")
                    .arg(ms / 60000, 2, 10, QLatin1Char('0'))
                    .arg(ms % 60000 / 1000, 2, 10, QLatin1Char('0'))
                    .arg(ms % 1000 / 10, 2, 10, QLatin1Char('0'));
        text += QString::fromUtf8(m.name, qsizetype(strnlen(m.name, sizeof m.name)));
        text += QStringLiteral("\r\n");
    }
    out = text.toLatin1();
    return int(markers.size());
}

int Extract::ConvMarkersFromDataStrToEvents(const QByteArray &data, QList<MARKER_EV> &out)
{
    static const QRegularExpression line(QRegularExpression::anchoredPattern(
        QStringLiteral("\\[(\\d{2,2}):(\\d{2,2}).(\\d{2,2})\\](.*)")));
    QStringList lines = QString::fromUtf8(data).split(QStringLiteral("\r\n"));
    lines.removeLast();
    out.clear();
    for (const QString &l : lines) {
        const QRegularExpressionMatch m = line.match(l);
        if (!m.hasMatch())
            continue;
        MARKER_EV ev;
        std::memset(&ev, 0, sizeof ev);
        ev.time = uint32_t((m.captured(1).toInt() * 60 + m.captured(2).toInt()) * 100 +
                           m.captured(3).toInt());
        ev.bar = uint16_t((ev.time + 50) / 100);
        const QByteArray name = m.captured(4).toLatin1();
        std::memcpy(ev.name, name.constData(),
                    size_t(std::min<qsizetype>(name.size(), MARKER_NAME_SIZE - 1)));
        out.append(ev);
    }
    return int(out.size());
}

void Extract::TransposeAndTranslateChord(char *chord, int semitones, int notation)
{
    if (!chord)
        return;
    char work[TWIN_CHORD_SIZE] = {};
    std::strncpy(work, chord, sizeof work - 1);
    transposeChord(work, semitones, 1);
    // The Italian names are longer than the letters: write them straight
    // into the caller's buffer rather than cutting them short.
    if (notation == 0)
        ChordsParser_GetItalianString(work, chord, EXTRACT_CHORD_BUFFER_SIZE);
    else
        std::memcpy(chord, work, sizeof work);
}
