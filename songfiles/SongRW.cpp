#include "SongRW.h"

#include "SafeSave.h"
#include "SongFile.h"
#include "SongRWFactory.h"

#include "SmfWalk.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Why the backup of a song could not be made, for Restore to tell.
QMutex backupFailuresLock;
QHash<QString, QString> backupFailures;

void noteBackup(const QString &path, const QString &why)
{
    const QMutexLocker lock(&backupFailuresLock);
    if (why.isEmpty())
        backupFailures.remove(path);
    else
        backupFailures.insert(path, why);
}

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData()) + at;
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// Walks every chunk of a Standard MIDI File and every event of its tracks;
// false when a chunk passes the end of the file or a track's events do not
// parse to its end. With notes, each channel's note-ons (time, key) and
// program changes are collected into it.
bool walkMidi(const QByteArray &bytes, std::vector<quint64> *notes = nullptr)
{
    if (bytes.size() < 14 || !bytes.startsWith("MThd") || bigEndian32(bytes, 4) < 6)
        return false;
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    qsizetype at = 8 + qsizetype(bigEndian32(bytes, 4));
    bool whole = at <= bytes.size();
    while (whole && at < bytes.size()) {
        if (bytes.size() - at < 8)
            return false;
        const quint32 length = bigEndian32(bytes, at + 4);
        const qsizetype start = at + 8;
        if (length > quint64(bytes.size() - start))
            return false;
        const int end = int(start + qsizetype(length));
        if (bytes.mid(at, 4) == "MTrk") {
            int reached = int(start);
            quint64 tick = 0;
            walkSmfTrack(data, int(start), end, [&](const SmfEvent &e) {
                reached = e.end;
                tick += quint64(e.delta);
                if (notes && (e.status & 0xF0) == 0x90 && data[e.end - 1] != 0)
                    notes[e.status & 0x0F].push_back(tick << 7 | data[e.end - 2]);
                // The instrument is the channel's part as much as its notes;
                // program 0 at the start is what a save may add, and plays
                // as none.
                if (notes && (e.status & 0xF0) == 0xC0 && (tick != 0 || data[e.end - 1] != 0))
                    notes[e.status & 0x0F].push_back(quint64(1) << 62 | tick << 7 | data[e.end - 1]);
                return false;
            });
            whole = reached == end;
        }
        at = end;
    }
    return whole;
}

// The print of a MIDI file's music (see SongRW::musicPrint): each channel's
// notes and programs.
QByteArray midiPrint(const QByteArray &bytes)
{
    std::vector<quint64> notes[16];
    walkMidi(bytes, notes);
    QByteArray print("M");
    for (std::vector<quint64> &channel : notes) {
        // Transposed by another program a song is still itself: its notes
        // count from the channel's lowest one.
        quint64 lowest = 0x7F;
        for (quint64 event : channel) {
            if (!(event >> 62))
                lowest = std::min(lowest, event & 0x7F);
        }
        for (quint64 &event : channel) {
            if (!(event >> 62))
                event -= lowest;
        }
        // Tracks merged in any order give one channel the same print.
        std::sort(channel.begin(), channel.end());
        const QByteArray hash = channel.empty()
            ? QByteArray(8, '\0')
            : QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char *>(channel.data()),
                                                      qsizetype(channel.size() * sizeof(quint64))),
                                       QCryptographicHash::Md5).left(8);
        print += hash;
    }
    return print;
}

} // namespace

SongRW::~SongRW() = default;

SongRW *SongRW::editorFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mp3"))
        return newMp3RW();
    if (suffix == QLatin1String("mid") || suffix == QLatin1String("kar") || suffix == QLatin1String("midi"))
        return newMidiRW();
    if (suffix == QLatin1String("mf3") || suffix == QLatin1String("mf4") || suffix == QLatin1String("mf5"))
        return newMfxRW();
    return nullptr;
}

SongRW *SongRW::createFromFile(const QString &path, bool backup, QString *error)
{
    return openEditor(path, backup, true, error);
}

SongRW *SongRW::openEditor(const QString &path, bool backup, bool recover, QString *error)
{
    SongRW *editor = editorFor(path);
    if (!editor) {
        if (error)
            *error = QCoreApplication::translate("SongRW", "the program does not edit this kind of file");
        return nullptr;
    }
    QString why;
    // A song an interrupted save left half written gets its old content
    // back before anything reads it; one still half written is not read.
    bool unfinished = false;
    if (recover && !SafeSave::recover(path, &why, &unfinished)) {
        qWarning().noquote() << "[SongRW::createFromFile] an interrupted save of" << path << "stays:" << why;
        if (unfinished) {
            if (error)
                *error = why;
            delete editor;
            return nullptr;
        }
    }
    why.clear();
    // Refused before a backup is made beside a song that cannot be replaced.
    if ((backup && !SafeSave::checkWritable(path, &why)) || !editor->openFile(path)) {
        if (error)
            *error = why.isEmpty() ? editor->errorString() : why;
        delete editor;
        return nullptr;
    }
    if (backup && editor->isEditable()) {
        // Without a backup "Revert" can't work; the edit itself may still go on.
        if (!SafeSave::makeBackup(path, &why)) {
            qWarning().noquote() << "[SongRW::createFromFile] backup not made:" << path << why;
            noteBackup(path, why);
        } else {
            noteBackup(path, QString());
        }
    }
    return editor;
}

QString SongRW::editRefusal(const QString &path, QByteArray *print)
{
    QString why;
    // The song was just loaded, which settled what an interrupted save left.
    const std::unique_ptr<SongRW> editor(openEditor(path, false, false, &why));
    if (print) {
        const QByteArray whole = editor ? editor->wholeFile() : QByteArray();
        *print = whole.startsWith("MThd") ? midiPrint(whole) : musicPrint(path);
    }
    if (!editor)
        return why;
    if (!editor->isEditable())
        return editor->errorString();
    SafeSave::checkWritable(path, &why);
    return why;
}

SongRW::Restore SongRW::restorePlan(const QString &path, QString *why)
{
    QString dummy;
    QString &err = why ? *why : dummy;
    QString refused;
    const QString bak = SafeSave::backupOf(path, &refused);
    if (bak.isEmpty()) {
        const QMutexLocker lock(&backupFailuresLock);
        const QString failed = backupFailures.value(path);
        if (!failed.isEmpty())
            err = QCoreApplication::translate("SongRW", "its backup could not be made: %1").arg(failed);
        else
            err = refused;
        return Restore::Nothing;
    }
    if (!SafeSave::checkWritable(path, &err))
        return Restore::Refused;
    const std::unique_ptr<SongRW> song(createFromFile(path, false, &err));
    if (!song)
        return Restore::Refused;
    const std::unique_ptr<SongRW> original(editorFor(path));
    if (!original || !original->openBackup(bak)) {
        err = QCoreApplication::translate("SongRW", "its backup cannot be read: %1")
                  .arg(original ? original->errorString() : QString());
        return Restore::Refused;
    }
    if (song->onlySettingsDifferFrom(*original))
        return Restore::Whole;
    // A backup whose music no longer reads beside a song whose music does
    // was damaged, not the song changed.
    QByteArray songBytes, bakBytes;
    if (SafeSave::readFile(bak, SONG_FILE_MAX_MP3_BYTES, bakBytes) && bakBytes.startsWith("MThd") &&
        !walkMidi(bakBytes) && SafeSave::readFile(path, SONG_FILE_MAX_MP3_BYTES, songBytes) && walkMidi(songBytes)) {
        err = QCoreApplication::translate("SongRW", "its backup is damaged: its MIDI data cannot be read");
        return Restore::Refused;
    }
    return Restore::SettingsOnly;
}

bool SongRW::restoreBackup(const QString &path, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    const QString bak = SafeSave::backupOf(path);
    const Restore plan = restorePlan(path, &err);
    bool done = false;
    if (plan == Restore::Whole) {
        QByteArray bytes;
        done = SafeSave::readFile(bak, SONG_FILE_MAX_MP3_BYTES, bytes, &err) && SafeSave::writeFile(path, {bytes}, &err);
    } else if (plan == Restore::SettingsOnly) {
        const std::unique_ptr<SongRW> song(createFromFile(path, false, &err));
        const std::unique_ptr<SongRW> original(editorFor(path));
        const bool read = song && original && original->openBackup(bak);
        done = read && song->takeSettingsFrom(*original) && song->saveToFile(path);
        if (!done && song)
            err = read || !original ? song->errorString() : original->errorString();
    } else if (plan == Restore::Nothing) {
        err = err.isEmpty() ? QCoreApplication::translate("SongRW", "there is no backup of the song") : err;
    }
    if (!done) {
        qWarning().noquote() << "[SongRW::restoreBackup] cannot restore" << path << err;
        return false;
    }
    if (!SafeSave::remove(bak))
        qWarning().noquote() << "[SongRW::restoreBackup] the backup stays:" << bak;
    // And any later one of another of its names: the next save makes one.
    for (QString later = SafeSave::backupOf(path); !later.isEmpty() && later != bak && SafeSave::remove(later);
         later = SafeSave::backupOf(path)) {
    }
    return true;
}

QString SongRW::backupPath(const QString &path)
{
    return SafeSave::backupPath(path);
}

QString SongRW::shownName(const QString &path)
{
    return SafeSave::shownName(path);
}

bool SongRW::putBackInterruptedSave(const QString &path)
{
    QString why;
    bool unfinished = false;
    if (!SafeSave::recover(path, &why, &unfinished))
        qWarning().noquote() << "[SongRW::putBackInterruptedSave]" << path << why;
    return !unfinished;
}

QStringList SongRW::takeNotices()
{
    return SafeSave::takeNotices();
}

QByteArray SongRW::musicPrint(const QString &path)
{
    QFile file;
    if (openSongFile(path, file) != SongFileStatus::Ok)
        return {};
    const QByteArray head = file.read(10);
    if (head.startsWith("MThd")) {
        QByteArray bytes;
        file.seek(0);
        if (readOpenedSongFile(file, SONG_FILE_MAX_MIDI_BYTES, bytes) != SongFileStatus::Ok)
            return {};
        return midiPrint(bytes);
    }
    const bool frame = head.size() >= 2 && uint8_t(head[0]) == 0xFF && (uint8_t(head[1]) & 0xE0) == 0xE0;
    if (!head.startsWith("ID3") && !frame)
        return QByteArrayLiteral("X"); // a kind whose music is not told apart
    // The audio after the ID3 tag, where the program writes nothing.
    qint64 audio = 0;
    if (head.size() == 10 && head.startsWith("ID3")) {
        const auto *p = reinterpret_cast<const uint8_t *>(head.constData());
        audio = 10 + (qint64(p[6] & 0x7F) << 21 | qint64(p[7] & 0x7F) << 14 | qint64(p[8] & 0x7F) << 7 | (p[9] & 0x7F));
        if (p[5] & 0x10)
            audio += 10;
    }
    if (!file.seek(audio))
        return {};
    return "A" + QCryptographicHash::hash(file.read(64 * 1024), QCryptographicHash::Md5);
}

bool SongRW::sameMusic(const QByteArray &before, const QByteArray &now)
{
    // What cannot be told is not said to be another song.
    if (before.isEmpty() || now.isEmpty())
        return true;
    if (before.at(0) != now.at(0) || before.size() != now.size())
        return false;
    if (before.at(0) != 'M')
        return before.at(0) == 'X' || before == now;
    // A later version of a song (a track added, a part mended) keeps most
    // of its channels as they were; another song keeps none.
    const QByteArray none(8, '\0');
    int played = 0, kept = 0, playedNow = 0;
    for (qsizetype at = 1; at + 8 <= before.size(); at += 8) {
        const QByteArray was = before.mid(at, 8), is = now.mid(at, 8);
        played += was != none;
        playedNow += is != none;
        kept += was != none && was == is;
    }
    return played == 0 ? playedNow == 0 : 2 * kept >= played;
}

bool SongRW::onlySettingsDifferFrom(const SongRW &) const
{
    return false;
}

bool SongRW::takeSettingsFrom(const SongRW &)
{
    return fail(QCoreApplication::translate("SongRW", "the program does not edit this kind of file"));
}

QString SongRW::getFormatString(SongInfoRW::fileTypeEnum type) const
{
    switch (type) {
    case SongInfoRW::midiFormat0:
    case SongInfoRW::midiFormat1:
        return QStringLiteral("MIDI");
    case SongInfoRW::mf3:
        return QStringLiteral("MF3");
    case SongInfoRW::mf4:
        return QStringLiteral("MF4");
    case SongInfoRW::mf5:
        return QStringLiteral("MF5");
    case SongInfoRW::mp3:
        return QStringLiteral("MP3");
    case SongInfoRW::mta:
        return QStringLiteral("MTA");
    case SongInfoRW::mtv:
        return QStringLiteral("MTV");
    default:
        return QStringLiteral("UNKNOWN");
    }
}

void SongRW::getSongInfo(SongInfoRW &info)
{
    info.clear();
    info.format = getFormatString(fileType);
    info.title = getTitle();
    info.artist = getArtist();
    info.author = getAuthor();
    info.genre = getGenre();
    info.length = getLength();
    info.userBpm = getUserBpm();
    info.userKey = getUserKey();
}

void SongRW::setSongInfo(SongInfoRW &info)
{
    setUserKey(info.userKey);
    setUserBpm(info.userBpm);
    setLength(info.length);
    setGenre(info.genre);
    setAuthor(info.author);
    setArtist(info.artist);
    setTitle(info.title);
}

bool SongRW::openBackup(const QString &bak)
{
    readingBackup = true;
    return openFile(bak);
}

bool SongRW::fail(const QString &reason)
{
    lastError = reason;
    return false;
}

bool SongRW::openFile(const QString &p)
{
    path = p;
    return fail(QCoreApplication::translate("SongRW", "the program does not edit this kind of file"));
}

bool SongRW::saveToFile(const QString &)
{
    return fail(QCoreApplication::translate("SongRW", "the program does not edit this kind of file"));
}

bool SongRW::setLyrics(LyrFormat, const QList<TEXT_EV> &, const QList<SYL_EV> &,
                       const QList<CHORD_EV> &, const QList<MARKER_EV> &)
{
    return false;
}

void SongRW::setReverbEffect(unsigned char, unsigned char) {}
void SongRW::setChorusEffect(unsigned char, unsigned char) {}
void SongRW::setTrackParameter(int, int, MidiTrackParam) {}
void SongRW::setTrackParameterAdv(int, int, MidiTrackParamAdv) {}
void SongRW::setDrumParameter(int, int, QByteArray, int, int) {}

bool SongRW::getMidiTrkData(QByteArray &)
{
    return false;
}

bool SongRW::getMarkerData(QByteArray &)
{
    return false;
}

bool SongRW::setMarkerData(const QByteArray &)
{
    return false;
}
