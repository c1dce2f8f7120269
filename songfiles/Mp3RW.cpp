#include "Mp3RW.h"

#include "Extract.h"
#include "Mp3TextBlocks.h"
#include "SafeSave.h"
#include "SongFile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr char UNKNOWN[] = "<UNKNOWN>";
constexpr int V1_TITLE = 3;
constexpr int V1_ARTIST = 33;
constexpr int V1_TEXT = 30;
constexpr int V1_GENRE = 127;
constexpr int QEDT_VALUE = 3;        // delta BPM, delta key, 0
constexpr int AUDIO_CHUNK = 100000;

QString tagNotRewritten()
{
    return QCoreApplication::translate("Mp3RW", "its ID3 tag (version 2.2, unsynchronised or with a checksum) "
                                                "cannot be rewritten without damaging it");
}

bool looksLikeMp3(const QByteArray &head)
{
    const auto b = [&](int i) { return uint8_t(head[i]); };
    return head.startsWith("ID3") || (b(0) == 0xFF && b(1) >= 0xE1) || (b(0) == 0 && b(1) == 0);
}

} // namespace

Mp3RW::Mp3RW()
{
    fileType = SongInfoRW::mp3;
}

bool Mp3RW::openFile(const QString &p)
{
    path = p;
    lastError.clear();
    m_footer.clear();
    QFile file;
    QString why;
    if (openSongFile(p, file, &why) != SongFileStatus::Ok) {
        qDebug().noquote() << "[Mp3RW::openFile] Impossible to open" << p << why;
        return fail(why);
    }
    // A song's backup is read as the song.
    const bool mp3Name = readingBackup || p.toUpper().endsWith(QLatin1String("MP3"));
    if (file.size() < 5 || !mp3Name || !looksLikeMp3(file.peek(4)))
        return fail(QStringLiteral("not an MP3 file"));
    const QByteArray head = file.read(MP3_TAG_READ_LIMIT);
    QByteArray tail;
    if (file.size() >= ID3V1_SIZE && file.seek(file.size() - ID3V1_SIZE))
        tail = file.read(ID3V1_SIZE);
    if (!loadHeader(head))
        return fail(QStringLiteral("the ID3 tag runs past the end of the file or is too large"));
    // A short file's last 128 bytes may lie inside the tag.
    if (tail.startsWith("TAG") && file.size() - ID3V1_SIZE >= m_audioStart)
        m_footer = tail;
    return true;
}

bool Mp3RW::isEditable() const
{
    return m_tag.editable();
}

bool Mp3RW::loadHeader(const QByteArray &data)
{
    fileType = SongInfoRW::mp3;
    if (!m_tag.load(data)) {
        qDebug().noquote() << "[Mp3RW::loadHeader] the tag does not fit in the bytes read";
        return false;
    }
    m_audioStart = m_tag.fileTagLength();
    if (!m_tag.editable()) {
        qDebug().noquote() << "[Mp3RW::loadHeader] ID3 version" << m_tag.version()
                           << "or unsynchronised tag: read only";
        fail(tagNotRewritten());
    }
    return true;
}

bool Mp3RW::saveToFile(const QString &destination)
{
    if (fileType != SongInfoRW::mp3 || m_tag.bytes().isEmpty())
        return fail(QStringLiteral("not an MP3 file"));
    if (!m_tag.editable()) {
        qDebug().noquote() << "[Mp3RW::saveToFile] This tag is not written: it would be damaged.";
        return fail(tagNotRewritten());
    }
    QFile song;
    QString why;
    if (openSongFile(path, song, &why) != SongFileStatus::Ok) {
        qDebug().noquote() << "[Mp3RW::saveToFile] Impossible to read from file.";
        return fail(why);
    }
    // A song cut shorter since it was opened has lost the audio this tag belongs to.
    if (song.size() < m_audioStart || !song.seek(m_audioStart)) {
        qDebug().noquote() << "[Mp3RW::saveToFile] Impossible to seek file.";
        return fail(QStringLiteral("the file changed since it was opened"));
    }
    // The audio goes from the page cache straight into the new file; only
    // when the file cannot be mapped is it read, chunk by chunk.
    const qint64 audioLength = song.size() - m_audioStart;
    QList<QByteArray> parts{m_tag.bytes()};
    uchar *mapped = audioLength > 0 ? song.map(m_audioStart, audioLength) : nullptr;
    if (mapped) {
        parts.append(QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(audioLength)));
    } else {
        for (qint64 left = audioLength; left > 0; left -= parts.last().size()) {
            parts.append(song.read(std::min<qint64>(left, AUDIO_CHUNK)));
            if (parts.last().isEmpty()) {
                qDebug().noquote() << "[Mp3RW::saveToFile] Impossible to copy part of file.";
                return fail(QStringLiteral("cannot be read: %1").arg(song.errorString()));
            }
        }
    }
    const bool saved = SafeSave::writeFile(destination, parts, &why);
    parts.clear();
    if (mapped)
        song.unmap(mapped);
    if (!saved) {
        qDebug().noquote()
            << "[Mp3RW::saveToFile] Impossible to write to file. Maybe it's write protected? Aborting!" << why;
        return fail(why);
    }
    lastError.clear();
    // The editor may save again: the opened file now starts with this tag.
    if (QFileInfo(destination) == QFileInfo(path))
        m_audioStart = int(m_tag.bytes().size());
    return true;
}

namespace {

// The tag without the QEDT frame and without padding: its header's version
// and flags, and its frames and blocks.
QByteArray tagBesideQedt(Id3Tag tag)
{
    tag.removeFrame("QEDT");
    QByteArray body = tag.bytes().mid(Id3Tag::HEADER_SIZE);
    while (body.endsWith('\0'))
        body.chop(1);
    return tag.bytes().left(6) + body;
}

// Whether two files hold the same bytes from their starts on, read a piece
// at a time.
bool sameTails(const QString &one, qint64 from, const QString &two, qint64 twoFrom)
{
    QFile a, b;
    if (openSongFile(one, a) != SongFileStatus::Ok || openSongFile(two, b) != SongFileStatus::Ok ||
        a.size() - from != b.size() - twoFrom || !a.seek(from) || !b.seek(twoFrom))
        return false;
    for (qint64 left = a.size() - from; left > 0;) {
        const QByteArray x = a.read(std::min<qint64>(left, AUDIO_CHUNK)), y = b.read(x.size());
        if (x.isEmpty() || x != y)
            return false;
        left -= x.size();
    }
    return true;
}

} // namespace

bool Mp3RW::onlySettingsDifferFrom(const SongRW &original) const
{
    const auto *o = dynamic_cast<const Mp3RW *>(&original);
    if (!o || tagBesideQedt(m_tag) != tagBesideQedt(o->m_tag))
        return false;
    return sameTails(path, m_audioStart, o->path, o->m_audioStart);
}

bool Mp3RW::takeSettingsFrom(const SongRW &original)
{
    const auto *o = dynamic_cast<const Mp3RW *>(&original);
    if (!o || !m_tag.editable())
        return fail(tagNotRewritten());
    QByteArray qedt;
    const bool had = o->m_tag.frameContent("QEDT", qedt);
    m_tag.removeFrame("QEDT");
    if (had)
        m_tag.insertFrame("QEDT", qedt);
    return true;
}

bool Mp3RW::getId3StandardFrame(QByteArray &out, const char *frameId) const
{
    if (!m_tag.frameContent(frameId, out))
        return false;
    out.remove(0, 1);
    return true;
}

bool Mp3RW::getId3StandardFrameStr(QString &out, const char *frameId) const
{
    QByteArray content;
    const bool found = m_tag.frameContent(frameId, content);
    out = found ? Id3Tag::decodeText(content) : QString();
    return found;
}

void Mp3RW::setTextFrame(const char *frameId, const QString &text)
{
    m_tag.removeFrame(frameId);
    if (!text.isEmpty())
        m_tag.insertFrame(frameId, Id3Tag::encodeText(text));
}

int Mp3RW::frameNumber(const char *frameId) const
{
    QString text;
    getId3StandardFrameStr(text, frameId);
    return text.toInt();
}

QString Mp3RW::id3v1Text(int offset) const
{
    if (m_footer.isEmpty())
        return QString();
    return Extract::decodeChars(m_footer.constData() + offset, V1_TEXT).trimmed();
}

QString Mp3RW::getID3v1GenreName(int index)
{
    if (index < 1 || index >= ID3V1_GENRE_COUNT)
        return QString();
    return QString::fromLatin1(ID3v1_genres[index]);
}

QString Mp3RW::getTitle() const
{
    QString title;
    getId3StandardFrameStr(title, "TIT2");
    if (title.isEmpty())
        title = id3v1Text(V1_TITLE);
    return title.isEmpty() ? QFileInfo(path).completeBaseName() : title;
}

QString Mp3RW::getArtist() const
{
    QString artist;
    getId3StandardFrameStr(artist, "TPE1");
    if (artist.isEmpty())
        artist = id3v1Text(V1_ARTIST);
    return artist.isEmpty() ? QString::fromLatin1(UNKNOWN) : artist;
}

QString Mp3RW::getGenre() const
{
    QString genre;
    getId3StandardFrameStr(genre, "TCON");
    if (genre.isEmpty() && !m_footer.isEmpty())
        genre = getID3v1GenreName(uint8_t(m_footer[V1_GENRE]));
    return genre.isEmpty() ? QString::fromLatin1(UNKNOWN) : genre;
}

QString Mp3RW::getAuthor() const
{
    QString author;
    getId3StandardFrameStr(author, "TCOM");
    return author;
}

QString Mp3RW::getUserKey() const
{
    QString key;
    getId3StandardFrameStr(key, "TKEY");
    return key;
}

int Mp3RW::getUserBpm() const
{
    return frameNumber("TBPM");
}

int Mp3RW::getLength() const
{
    return frameNumber("TLEN") / 1000;
}

int Mp3RW::getDeltaBpm() const
{
    QByteArray value;
    return getId3StandardFrame(value, "QEDT") && value.size() >= QEDT_VALUE ? int(int8_t(value[0])) : 0;
}

int Mp3RW::getDeltaKey() const
{
    QByteArray value;
    return getId3StandardFrame(value, "QEDT") && value.size() >= QEDT_VALUE ? int(int8_t(value[1])) : 0;
}

void Mp3RW::setTitle(const QString &title)
{
    setTextFrame("TIT2", title);
}

void Mp3RW::setGenre(const QString &genre)
{
    setTextFrame("TCON", genre);
}

void Mp3RW::setArtist(const QString &artist)
{
    setTextFrame("TPE1", artist);
}

void Mp3RW::setAuthor(const QString &author)
{
    setTextFrame("TCOM", author);
}

void Mp3RW::setUserKey(const QString &key)
{
    setTextFrame("TKEY", key);
}

void Mp3RW::setUserBpm(int bpm)
{
    setTextFrame("TBPM", QString::number(bpm));
}

void Mp3RW::setLength(int seconds)
{
    setTextFrame("TLEN", QString::number(qint64(seconds) * 1000));
}

void Mp3RW::setQedtByte(int index, int value)
{
    QByteArray qedt;
    if (!getId3StandardFrame(qedt, "QEDT") || qedt.size() < QEDT_VALUE)
        qedt = QByteArray(QEDT_VALUE, '\0');
    qedt[index] = char(value);
    m_tag.removeFrame("QEDT");
    m_tag.insertFrame("QEDT", '\0' + qedt);
}

void Mp3RW::setDeltaBpm(int delta)
{
    setQedtByte(0, delta);
}

void Mp3RW::setDeltaKey(int delta)
{
    setQedtByte(1, delta);
}

bool Mp3RW::setLyrics(LyrFormat, const QList<TEXT_EV> &rows, const QList<SYL_EV> &syllables,
                      const QList<CHORD_EV> &chords, const QList<MARKER_EV> &markers)
{
    using namespace Mp3TextBlocks;
    if (!m_tag.editable())
        return false;
    m_tag.removeFrame("SYLT");
    for (const char *name : {LYRICS, COLORS, CHORDS, MARKER})
        remove(m_tag, name);
    insert(m_tag, LYRICS, createLyrics(rows), int(m_tag.bytes().size()));
    insert(m_tag, COLORS, createColors(syllables, rows), int(m_tag.bytes().size()));
    insert(m_tag, CHORDS, createChords(chords), int(m_tag.bytes().size()));
    insert(m_tag, MARKER, createMarkers(markers), int(m_tag.bytes().size()));
    return true;
}

bool Mp3RW::getMidiTrkData(QByteArray &out)
{
    out.clear();
    return Mp3TextBlocks::get(m_tag, Mp3TextBlocks::MIDITK, out);
}

bool Mp3RW::getMarkerData(QByteArray &out)
{
    out.clear();
    return Mp3TextBlocks::get(m_tag, Mp3TextBlocks::MARKER, out);
}

bool Mp3RW::setMarkerData(const QByteArray &data)
{
    if (!m_tag.editable())
        return false;
    Mp3TextBlocks::remove(m_tag, Mp3TextBlocks::MARKER);
    return data.isEmpty() ||
           Mp3TextBlocks::insert(m_tag, Mp3TextBlocks::MARKER, data, int(m_tag.bytes().size())) > 0;
}
