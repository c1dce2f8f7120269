#include "MidiRW.h"

#include "Extract.h"
#include "MakerRecords.h"
#include "SafeSave.h"
#include "SongFile.h"
#include "SongRWFactory.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>

SongRW *newMidiRW()
{
    return new MidiRW;
}

namespace {

constexpr int MIN_FILE_SIZE = 22;           // "MThd" chunk and an "MTrk" header
constexpr int MAX_TEXT_CHARS = 125;         // keeps every length in one byte
const QString unknownText = QStringLiteral("<UNKNOWN>");

uint8_t byteAt(const QByteArray &d, int pos)
{
    return uint8_t(d.at(pos));
}

uint32_t u32be(const QByteArray &d, int pos)
{
    return uint32_t(byteAt(d, pos)) << 24 | uint32_t(byteAt(d, pos + 1)) << 16 |
           uint32_t(byteAt(d, pos + 2)) << 8 | byteAt(d, pos + 3);
}

uint16_t keyValue(int sf, int mi)
{
    return uint16_t(uint8_t(int8_t(sf)) << 8 | uint8_t(mi));
}

struct KeyTable {
    QMap<QString, uint16_t> byName;
    QMap<uint16_t, QString> byValue;

    KeyTable()
    {
        static const char *const major[] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                            "G", "D", "A", "E", "B", "F#", "C#"};
        static const char *const minor[] = {"Ab-", "Eb-", "Bb-", "F-", "C-", "G-", "D-", "A-",
                                            "E-", "B-", "F#-", "C#-", "G#-", "D#-", "A#-"};
        for (int i = 0; i < 15; ++i) {
            const int sf = i - 7;
            add(QLatin1String(major[i]), keyValue(sf, 0));
            add(QLatin1String(minor[i]), keyValue(sf, 1));
        }
        // Accepted when writing; reading gives the table's own spelling.
        byName.insert(QStringLiteral("G#"), keyValue(-4, 0));
        byName.insert(QStringLiteral("Db-"), keyValue(4, 1));
        byName.insert(QStringLiteral("D#"), keyValue(-3, 0));
    }
    void add(const QString &name, uint16_t value)
    {
        byName.insert(name, value);
        byValue.insert(value, name);
    }
};

const KeyTable &keyTable()
{
    static const KeyTable table;
    return table;
}

QByteArray latin1Text(const QString &text)
{
    return text.left(MAX_TEXT_CHARS).toLatin1();
}

} // namespace

MidiRW::MidiRW() : kveroHeader("\x00\x20\x24\x00", 4) {}

bool MidiRW::openFile(const QString &p)
{
    path = p;
    lastError.clear();
    QFile file;
    QByteArray bytes;
    QString why;
    if (openSongFile(p, file, &why) != SongFileStatus::Ok
        || (file.peek(4) == "MThd"
            && readOpenedSongFile(file, SONG_FILE_MAX_MIDI_BYTES, bytes, &why) != SongFileStatus::Ok)) {
        qDebug().noquote() << "[MidiRW::openFile] fail to open file" << p << why;
        return fail(why);
    }
    if (loadHeader(bytes))
        return true;
    qDebug().noquote() << "[MidiRW::openFile] file not valid" << p << lastError;
    return false;
}

bool MidiRW::loadHeader(const QByteArray &bytes)
{
    if (bytes.size() < MIN_FILE_SIZE || !bytes.startsWith("MThd"))
        return fail(QStringLiteral("not a MIDI file"));
    // The first track as the players find it: by walking the chunks.
    int mtrk = -1;
    walkSmfTracks(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()),
                  [&mtrk](int, int start, int) {
                      mtrk = start - 8;
                      return true;
                  });
    if (mtrk < 1 || mtrk > bytes.size() - 8)
        return fail(QStringLiteral("the MIDI file has no track"));
    const int format = byteAt(bytes, 8) << 8 | byteAt(bytes, 9);
    if (format != 0 && format != 1)
        return fail(QStringLiteral("MIDI files of format %1 are not edited").arg(format));
    const uint32_t length = u32be(bytes, mtrk + 4);
    // A length past the end would let edits write over the next chunk.
    if (length > uint32_t(bytes.size() - (mtrk + 8)))
        return fail(QStringLiteral("the first track of the MIDI file claims more bytes than the file holds"));
    fileData = bytes;
    fileType = format == 0 ? SongInfoRW::midiFormat0 : SongInfoRW::midiFormat1;
    trackCount = uint16_t(byteAt(bytes, 10) << 8 | byteAt(bytes, 11));
    trackLengthPos = mtrk + 4;
    trackLength = length;
    trackDataPos = mtrk + 8;
    gatherSettings();
    return true;
}

bool MidiRW::saveToFile(const QString &target)
{
    if (fileType != SongInfoRW::midiFormat0 && fileType != SongInfoRW::midiFormat1) {
        qDebug().noquote() << "[MidiRW::saveToFile] Wrong MIDI fileType";
        return fail(QStringLiteral("not a MIDI file"));
    }
    if (fileData.isEmpty()) {
        qDebug().noquote() << "[MidiRW::saveToFile] UNKNOWN format (or data corrupted) in memory, aborting";
        return fail(QStringLiteral("not a MIDI file"));
    }
    qDebug().noquote() << "[MidiRW::saveToFile] MIDI";
    QString why;
    if (!SafeSave::writeFile(target, {fileData, lyricsTrack, chordsTrack, markersTrack}, &why)) {
        qDebug().noquote() << "[MidiRW::saveToFile] Impossible to write to file. Maybe it's write protected? Aborting!"
                 << target << why;
        return fail(why);
    }
    lastError.clear();
    return true;
}

void MidiRW::updateTrackSize()
{
    if (trackLengthPos + 4 > fileData.size())
        return;
    for (int i = 0; i < 4; ++i)
        fileData[trackLengthPos + i] = char(trackLength >> (24 - 8 * i));
}

// Replaces removed bytes at pos with inserted ones inside the first track.
int MidiRW::changeTrack(int pos, int removed, const QByteArray &inserted)
{
    Track first = firstTrack();
    return changeTrack(first, pos, removed, inserted);
}

int MidiRW::changeTrack(Track &track, int pos, int removed, const QByteArray &inserted)
{
    fileData.replace(pos, removed, inserted);
    track.length = uint32_t(int(track.length) - removed + inserted.size());
    for (int i = 0; i < 4; ++i)
        fileData[track.lengthPos + i] = char(track.length >> (24 - 8 * i));
    if (track.lengthPos == trackLengthPos)
        trackLength = track.length;
    return inserted.size() - removed;
}

MidiRW::Track MidiRW::recordsTrack() const
{
    const Track track = m_recordsTrack > 0 ? trackAt(m_recordsTrack) : Track{-1, -1, 0};
    return track.dataPos >= 0 ? track : firstTrack();
}

bool MidiRW::findTrackEvent(const Track &track, const std::function<bool(const HeadEvent &)> &found,
                            HeadEvent &event) const
{
    const int end = std::min(track.end(), int(fileData.size()));
    return walkSmfTrack(reinterpret_cast<const uint8_t *>(fileData.constData()), track.dataPos, end, found, &event);
}

bool MidiRW::findHeadEvent(const std::function<bool(const HeadEvent &)> &found, HeadEvent &event) const
{
    return findTrackEvent(firstTrack(), found, event);
}

bool MidiRW::findSongEvent(const std::function<bool(const HeadEvent &)> &found, HeadEvent &event) const
{
    const auto *data = reinterpret_cast<const uint8_t *>(fileData.constData());
    bool hit = false;
    walkSmfTracks(data, uint32_t(fileData.size()), [&](int, int start, int end) {
        hit = walkSmfTrack(data, start, end, found, &event);
        return hit;
    });
    return hit;
}

QString MidiRW::metaText(const HeadEvent &e, int skip) const
{
    const int length = e.dataLength - skip;
    return length > 0 ? Extract::decodeChars(fileData.constData() + e.dataPos + skip, length).trimmed()
                      : QString();
}

QString MidiRW::extractMetaevent(kveroMetaTypeEnum type) const
{
    HeadEvent e;
    const bool found = findSongEvent([this, type](const HeadEvent &ev) {
        return ev.status == 0xFF && ev.metaType == 0x4B && ev.dataLength >= 1 && byteAt(fileData, ev.dataPos) == type;
    }, e);
    return found ? metaText(e, 1) : QString();
}

QString MidiRW::extractMetaevent(char type) const
{
    HeadEvent e;
    const bool found = findSongEvent([type](const HeadEvent &ev) {
        return ev.status == 0xFF && ev.metaType == uint8_t(type);
    }, e);
    return found ? metaText(e, 0) : QString();
}

// A head meta event has delta 0; the maker's FF 4B carries its own type as
// its first data byte.
int MidiRW::removeHeadMetaevent(kveroMetaTypeEnum type, bool firstOnly)
{
    return removeHeadEvents(firstOnly, [this, type](const HeadEvent &e) {
        return e.status == 0xFF && e.metaType == 0x4B && e.delta == 0 && e.dataLength >= 1
               && byteAt(fileData, e.dataPos) == type;
    });
}

int MidiRW::removeHeadMetaevent(char type, bool firstOnly)
{
    return removeHeadEvents(firstOnly, [type](const HeadEvent &e) {
        return e.status == 0xFF && e.metaType == uint8_t(type) && e.delta == 0;
    });
}

int MidiRW::removeHeadEvents(bool firstOnly, const std::function<bool(const HeadEvent &)> &match)
{
    int removed = 0;
    HeadEvent e;
    // Walked again after each removal: the events behind it have moved.
    while (findHeadEvent(match, e)) {
        removed -= changeTrack(e.pos, e.end - e.pos, QByteArray());
        if (firstOnly)
            break;
    }
    return removed;
}

int MidiRW::insertMetaevent(const QByteArray &data, kveroMetaTypeEnum type, int pos)
{
    if (pos > fileData.size() || pos < trackDataPos || pos > trackEnd())
        return 0;
    QByteArray event("\x00\xFF\x4B", 3);
    event.append(char(data.size() + 1)).append(char(type)).append(data);
    return changeTrack(pos, 0, event);
}

int MidiRW::insertMetaevent(const QByteArray &data, char type, int pos)
{
    if (pos > fileData.size() || pos < trackDataPos || pos > trackEnd())
        return 0;
    QByteArray event;
    event.append('\0').append(char(0xFF)).append(type).append(char(data.size())).append(data);
    return changeTrack(pos, 0, event);
}

QString MidiRW::extractKey() const
{
    HeadEvent e;
    if (!findSongEvent([](const HeadEvent &ev) {
            return ev.status == 0xFF && ev.metaType == 0x59 && ev.dataLength >= 2;
        }, e))
        return QString();
    const uint8_t sf = byteAt(fileData, e.dataPos);
    const uint8_t mi = byteAt(fileData, e.dataPos + 1);
    QString out;
    const auto &names = keyTable().byValue;
    const auto it = names.constFind(uint16_t(sf << 8 | mi));
    if (it != names.constEnd()) {
        out = *it;
    } else {
        out = QStringLiteral("[sf=%1|mi=%2]")
                  .arg(uint(sf), 2, 16, QLatin1Char('0'))
                  .arg(QString::number(mi, 16).toUpper().rightJustified(2, QLatin1Char('0')));
        qDebug().noquote() << "[RawMidiFile::extractKey] WARNING: unknown key metaevent" << out << "in MIDI file.";
    }
    return out;
}

QString MidiRW::getTitle() const
{
    const QString t = extractMetaevent(char(0x03));
    return t.isEmpty() ? QFileInfo(path).completeBaseName() : t;
}

QString MidiRW::getGenre() const
{
    const QString t = extractMetaevent(metaGenre);
    return t.isEmpty() ? unknownText : t;
}

QString MidiRW::getArtist() const
{
    const QString t = extractMetaevent(metaArtist);
    return t.isEmpty() ? unknownText : t;
}

QString MidiRW::getAuthor() const
{
    return extractMetaevent(metaAuthor);
}

int MidiRW::makerNumber(kveroMetaTypeEnum type) const
{
    const QString t = extractMetaevent(type);
    bool ok = false;
    const int value = t.toInt(&ok, 10);
    return ok && value > 0 ? value : 0;
}

int MidiRW::getLength() const { return makerNumber(metaLength); }
int MidiRW::getUserBpm() const { return makerNumber(metaUserBpm); }

QString MidiRW::getUserKey() const
{
    return extractKey();
}

void MidiRW::setMakerText(kveroMetaTypeEnum type, const QString &text)
{
    if (fileData.isEmpty())
        return;
    removeHeadMetaevent(type, false);
    insertMetaevent(latin1Text(text), type, trackDataPos);
}

void MidiRW::setTitle(const QString &title)
{
    if (fileData.isEmpty())
        return;
    removeHeadMetaevent(char(0x03), false);
    insertMetaevent(latin1Text(title), char(0x03), trackDataPos);
}

void MidiRW::setGenre(const QString &t) { setMakerText(metaGenre, t); }
void MidiRW::setArtist(const QString &t) { setMakerText(metaArtist, t); }
void MidiRW::setAuthor(const QString &t) { setMakerText(metaAuthor, t); }
void MidiRW::setLength(int seconds) { setMakerText(metaLength, QString::number(seconds)); }
void MidiRW::setUserBpm(int bpm) { setMakerText(metaUserBpm, QString::number(bpm)); }

void MidiRW::setUserKey(const QString &key)
{
    if (fileData.isEmpty())
        return;
    removeHeadMetaevent(char(0x59), false);
    if (key.isEmpty())
        return;
    QString name = key;
    name.remove(QLatin1Char(' '));
    const auto &names = keyTable().byName;
    const auto it = names.constFind(name);
    if (it == names.constEnd()) {
        qDebug().noquote() << "[MidiRW::setKey] WARNING: unknown key:" << name + QLatin1String(". Metaevent not added !!!");
        return;
    }
    const char sfmi[2] = {char(*it >> 8), char(*it & 0xFF)};
    insertMetaevent(QByteArray(sfmi, 2), char(0x59), trackDataPos);
}

void MidiRW::writeMidiMultiByteVal(QByteArray *out, int value)
{
    const uint32_t v = value <= 0 ? 0u : qMin(uint32_t(value), 0x0FFFFFFFu);
    for (int shift = 21; shift > 0; shift -= 7) {
        if (v >= (1u << shift))
            out->append(char(((v >> shift) & 0x7F) | 0x80));
    }
    out->append(char(v & 0x7F));
}
