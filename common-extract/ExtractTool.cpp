#include "ExtractTool.h"

#include "Extract.h"
#include "ExtractLock.h"
#include "SongFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

Q_LOGGING_CATEGORY(lcExtractTool, "extract.tool")

namespace {

// The whole song, or for an MP3 its head and the part of its tail not in the
// head. False when the device gives less than it holds.
bool readSong(QIODevice &in, qint64 size, bool mp3, QByteArray &out)
{
    if (!mp3 || size <= EXTRACT_TOOL_MP3_HEAD_BYTES) {
        out = in.readAll();
        return out.size() == size;
    }
    out = in.read(EXTRACT_TOOL_MP3_HEAD_BYTES);
    if (out.size() != EXTRACT_TOOL_MP3_HEAD_BYTES)
        return false;
    const qint64 tail = std::min(EXTRACT_TOOL_MP3_TAIL_BYTES, size - EXTRACT_TOOL_MP3_HEAD_BYTES);
    if (!in.seek(size - tail))
        return false;
    const QByteArray end = in.read(tail);
    out += end;
    return end.size() == tail;
}

const char *formatName(uint32_t base)
{
    switch (base) {
    case SONG_FORMAT_MIDI: return "MID";
    case SONG_FORMAT_MP3: return "MP3";
    case SONG_FORMAT_AUDIO: return "AUD";
    default: return nullptr;
    }
}

} // namespace

ExtractResult ExtractResult::fromJson(const QJsonObject &)
{
    return ExtractResult();
}

ExtractTool::ExtractTool(const QString &path) : m_path(path)
{
    QFile file;
    QString reason;
    const SongFileStatus opened = openSongFile(path, file, &reason);
    if (opened == SongFileStatus::Missing)
        qCWarning(lcExtractTool).noquote() << QStringLiteral("File %1 does not exists").arg(path);
    if (opened != SongFileStatus::Ok) {
        fail(reason);
        return;
    }
    if (!Extract::GetSongInfoFromFile(&m_info, path) || m_info.format == SONG_FORMAT_NONE) {
        qCWarning(lcExtractTool).noquote() << QStringLiteral("Cannot get info from file %1").arg(path);
        fail(QStringLiteral("not a song file"));
        return;
    }
    const uint32_t base = songFormatBase(m_info.format);
    QByteArray bytes;
    if (base == SONG_FORMAT_MIDI) {
        if (readOpenedSongFile(file, SONG_FILE_MAX_MIDI_BYTES, bytes, &reason) != SongFileStatus::Ok) {
            fail(reason);
            return;
        }
    } else if (base == SONG_FORMAT_MP3 && !readSong(file, file.size(), true, bytes)) {
        fail(QStringLiteral("cannot be read: %1").arg(file.errorString()));
        return;
    }
    // Other files are not analysed: nothing of them is read.
    setUpRecords();
    ExtractLocker lock;             // the bar table is the last run's
    if (_loadBuffer(bytes))
        _loadTextAndChords();
}

ExtractTool::ExtractTool(const QByteArray &data, int type)
{
    if (type != int(SONG_FORMAT_MIDI) && type != int(SONG_FORMAT_MP3)) {
        qCWarning(lcExtractTool).noquote() << QStringLiteral("Unhandled extract type %1").arg(type);
        fail(QStringLiteral("unhandled type %1").arg(type));
        return;
    }
    m_info.format = uint32_t(type);
    QByteArray source(data);
    QBuffer in(&source);
    in.open(QIODevice::ReadOnly);
    QByteArray bytes;
    readSong(in, source.size(), type == int(SONG_FORMAT_MP3), bytes);
    setUpRecords();
    ExtractLocker lock;
    if (_loadBuffer(bytes))
        _loadTextAndChords();
}

ExtractTool::~ExtractTool() = default;

void ExtractTool::fail(const QString &error)
{
    m_loaded = false;
    m_error = error;
}

void ExtractTool::setUpRecords()
{
    // MidiInfos is about 1.5 MB and the event buffer 16 MiB, used only as far
    // as the song goes: never on the stack, never filled beforehand.
    m_midiStream = std::make_unique<MidiStream>();
    m_midiInfos = std::make_unique<MidiInfos>();
    m_mfi = std::make_unique<Mfi>();
    m_db = std::make_unique<Db>();
    m_eventBuffer.reset(new uint8_t[EVENT_BUFFER_SIZE]);
    bindStreamData(&m_stream, &m_info, m_eventBuffer.get(), m_midiStream.get(), m_midiInfos.get(),
                   m_mfi.get(), m_db.get(), 0);
}

bool ExtractTool::_loadBuffer(const QByteArray &bytes)
{
    const uint32_t base = songFormatBase(m_info.format);
    const char *name = formatName(base);
    if (!name) {
        qCWarning(lcExtractTool).noquote() << QStringLiteral("File %1 format unknown").arg(m_path);
        fail(QStringLiteral("format unknown"));
        return false;
    }
    qCDebug(lcExtractTool).noquote()
        << QStringLiteral("File %1 format = %2").arg(m_path, QLatin1String(name));
    auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (base == SONG_FORMAT_MIDI) {
        if (bytes.size() > SONG_FILE_MAX_MIDI_BYTES) {
            fail(QStringLiteral("too large for a song"));
            return false;
        }
        // No count-in; melody channel 4 as the player's export always asked.
        m_streamLength = Extract::NormalizeMidiSequence(&m_stream, const_cast<uint8_t *>(data),
                                                        int(bytes.size()), 0, 4);
        if (m_streamLength <= 0) {
            qCWarning(lcExtractTool).noquote() << QStringLiteral("File %1 cannot be decoded").arg(m_path);
            fail(Extract::failureText());
            return false;
        }
        for (int i = 0; i < Extract::GetNumBarsBeats(); ++i)
            m_bars.append(*Extract::GetBarBeatStructItem(i));
        for (int i = 0; i < Extract::GetNumMarkers(&m_stream); ++i)
            m_markers.append(*Extract::GetMarkerStructItem(&m_stream, i));
        m_tempo = TempoMap(&m_stream);
    } else if (base == SONG_FORMAT_MP3) {
        Extract::Mp3TextFindType(&m_stream, data, long(bytes.size()), MP3_TRAILING_TAIL_LENGTH);
    }
    m_loaded = true;
    m_error.clear();
    return true;
}

qint64 ExtractTool::toMs(uint32_t time) const
{
    if (songFormatBase(m_info.format) == SONG_FORMAT_MIDI)
        return m_tempo.msAt(time);
    return qint64(time) * 10;
}

void ExtractTool::_loadTextAndChords()
{
    m_text.clear();
    m_syl.clear();
    m_chords.clear();
    const int rows = Extract::GetNumTextLines(&m_stream);
    qCDebug(lcExtractTool).noquote() << QStringLiteral("Found %1 text lines").arg(rows);
    for (int i = 0; i < rows; ++i) {
        const TEXT_EV *r = Extract::GetTextLineStructItem(&m_stream, unsigned(i));
        m_text.append({Extract::decodeLyricText(r->text, int(sizeof r->text)), toMs(r->tick)});
    }
    for (int i = 0; i < Extract::GetNumSylEvent(&m_stream); ++i) {
        const SYL_EV *s = Extract::GetSylEventStructItem(&m_stream, i);
        int offset = s->offset;
        // Offsets count bytes: a UTF-8 row has fewer characters.
        if (offset != SYL_END_OF_ROW && s->row >= 0 && s->row < rows) {
            const TEXT_EV *r = Extract::GetTextLineStructItem(&m_stream, unsigned(s->row));
            offset = Extract::visibleCharsOfBytes(r->text, int(sizeof r->text), offset);
        }
        m_syl.append({offset, s->row, toMs(s->tick)});
    }
    // Offsets that count only visible characters are turned into character
    // positions: each blank of a row pushes the syllables after it one place.
    if (rows > 0 && m_syl.size() > 2 * rows) {
        for (int r = 0; r < rows; ++r) {
            const QString &text = m_text[r].text;
            const int length = int(text.size());
            for (int c = 0; c < length; ++c) {
                if (text[c] != QLatin1Char(' '))
                    continue;
                for (SylItem &s : m_syl)
                    if (s.row == r && s.charAt < length && s.charAt > c)
                        ++s.charAt;
            }
        }
    }
    for (int i = 0; i < Extract::GetNumChordEvent(&m_stream); ++i) {
        const CHORD_EV *c = Extract::GetChordsEventStructItem(&m_stream, i);
        m_chords.append({Extract::decodeLyricText(c->name, int(sizeof c->name)), toMs(c->tick)});
    }
    m_result.rows = int(m_text.size());
    m_result.syllables = int(m_syl.size());
    m_result.chords = int(m_chords.size());
}

void ExtractTool::printStatistics() const
{
    qCDebug(lcExtractTool).noquote() << QStringLiteral("File analyzed %1").arg(m_path);
    qCDebug(lcExtractTool).noquote()
        << QStringLiteral("Found %1 Text events (%2 Syl)").arg(m_text.size()).arg(m_syl.size());
    qCDebug(lcExtractTool).noquote() << QStringLiteral("Found %1 Chords events").arg(m_chords.size());
}

QJsonObject ExtractTool::toJson() const
{
    QJsonObject out = getRawJsonText();
    const QJsonObject chords = getRawJsonChords();
    for (auto it = chords.begin(); it != chords.end(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

QJsonObject ExtractTool::getRawJsonText() const
{
    QJsonArray text;
    for (const TextItem &t : m_text)
        text.append(QJsonObject{{QStringLiteral("text"), t.text}, {QStringLiteral("tick"), t.ms}});
    QJsonArray syl;
    for (const SylItem &s : m_syl)
        syl.append(QJsonObject{{QStringLiteral("offset"), s.charAt},
                               {QStringLiteral("row"), s.row},
                               {QStringLiteral("tick"), s.ms}});
    return QJsonObject{{QStringLiteral("text"), text}, {QStringLiteral("syl"), syl}};
}

QJsonObject ExtractTool::getRawJsonChords() const
{
    QJsonArray chords;
    for (const ChordItem &c : m_chords)
        chords.append(QJsonObject{{QStringLiteral("chord"), c.chord}, {QStringLiteral("tick"), c.ms}});
    return QJsonObject{{QStringLiteral("chord"), chords}};
}

QList<ExtractTool::TextItem> ExtractTool::getGenericText(qint64 offset) const
{
    QList<TextItem> out;
    for (const TextItem &t : m_text)
        out.append({t.text, t.ms + offset});
    return out;
}

QList<ExtractTool::ChordItem> ExtractTool::getGenericChord(qint64 offset) const
{
    QList<ChordItem> out;
    for (const ChordItem &c : m_chords)
        out.append({c.chord, c.ms + offset});
    return out;
}

QList<ExtractTool::SylItem> ExtractTool::getGenericSyl(int row, qint64 offset) const
{
    QList<SylItem> out;
    for (const SylItem &s : m_syl)
        if (s.row == row)
            out.append({s.charAt, s.row, s.ms + offset});
    return out;
}

QJsonObject ExtractTool::getParsedJsonText(qint64 offset) const
{
    QJsonArray data;
    const QList<TextItem> rows = getGenericText(offset);
    for (int r = 0; r < rows.size(); ++r) {
        QJsonArray syl;
        for (const SylItem &s : getGenericSyl(r, offset))
            syl.append(QJsonObject{{QStringLiteral("charat"), s.charAt}, {QStringLiteral("tick"), s.ms}});
        data.append(QJsonObject{{QStringLiteral("text"), rows[r].text},
                                {QStringLiteral("end_tick"), rows[r].ms},
                                {QStringLiteral("syl"), syl}});
    }
    return QJsonObject{{QStringLiteral("data"), data}};
}

QJsonObject ExtractTool::getParsedJsonChords(qint64 offset) const
{
    QJsonArray data;
    for (const ChordItem &c : getGenericChord(offset))
        data.append(QJsonObject{{QStringLiteral("chord"), c.chord}, {QStringLiteral("tick"), c.ms}});
    return QJsonObject{{QStringLiteral("data"), data}};
}
