#include "SongRW.h"

#include "SafeSave.h"
#include "SongFile.h"
#include "SongRWFactory.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <memory>

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
    SongRW *editor = editorFor(path);
    if (!editor) {
        if (error)
            *error = QCoreApplication::translate("SongRW", "the program does not edit this kind of file");
        return nullptr;
    }
    QString why;
    // Refused before a backup is made beside a song that cannot be replaced.
    if ((backup && !SafeSave::checkWritable(path, &why)) || !editor->openFile(path)) {
        if (error)
            *error = why.isEmpty() ? editor->errorString() : why;
        delete editor;
        return nullptr;
    }
    const QString bak = path + QLatin1String(".bak");
    if (backup && editor->isEditable() && !SafeSave::exists(bak)) {
        // Without a backup "Revert" can't work; the edit itself may still go on.
        if (!SafeSave::copyFile(path, bak, &why))
            qWarning().noquote() << "[SongRW::createFromFile] backup not made:" << bak << why;
    }
    return editor;
}

QString SongRW::editRefusal(const QString &path)
{
    QString why;
    const std::unique_ptr<SongRW> editor(createFromFile(path, false, &why));
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
    const QString bak = path + QLatin1String(".bak");
    if (!SafeSave::exists(bak))
        return Restore::Nothing;
    if (!SafeSave::checkWritable(path, &err))
        return Restore::Refused;
    const std::unique_ptr<SongRW> song(createFromFile(path, false, &err));
    if (!song)
        return Restore::Refused;
    const std::unique_ptr<SongRW> original(editorFor(path));
    if (!original || !original->openFile(bak)) {
        err = QCoreApplication::translate("SongRW", "its backup cannot be read: %1")
                  .arg(original ? original->errorString() : QString());
        return Restore::Refused;
    }
    return song->onlySettingsDifferFrom(*original) ? Restore::Whole : Restore::SettingsOnly;
}

bool SongRW::restoreBackup(const QString &path, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    const QString bak = path + QLatin1String(".bak");
    const Restore plan = restorePlan(path, &err);
    bool done = false;
    if (plan == Restore::Whole) {
        QByteArray bytes;
        done = SafeSave::readFile(bak, SONG_FILE_MAX_MP3_BYTES, bytes, &err) && SafeSave::writeFile(path, {bytes}, &err);
    } else if (plan == Restore::SettingsOnly) {
        const std::unique_ptr<SongRW> song(createFromFile(path, false, &err));
        const std::unique_ptr<SongRW> original(editorFor(path));
        const bool read = song && original && original->openFile(bak);
        done = read && song->takeSettingsFrom(*original) && song->saveToFile(path);
        if (!done && song)
            err = read || !original ? song->errorString() : original->errorString();
    } else if (plan == Restore::Nothing) {
        err = QCoreApplication::translate("SongRW", "there is no backup of the song");
    }
    if (!done) {
        qWarning().noquote() << "[SongRW::restoreBackup] cannot restore" << path << err;
        return false;
    }
    if (!SafeSave::remove(bak))
        qWarning().noquote() << "[SongRW::restoreBackup] the backup stays:" << bak;
    return true;
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
