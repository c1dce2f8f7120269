#include "StartedSong.h"

#include "SongInfoRW.h"
#include "SongObjects.h"
#include "SongRW.h"
#include "SoundEngine.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cstddef>
#include <cstring>
#include <memory>

namespace {

// Whether two mixes play alike: the layers a song does not use take edits
// too but are never read back from the engine.
bool samePlayed(const MIDI_SETTING_DATA &engine, const MIDI_SETTING_DATA &edited)
{
    if (std::memcmp(&engine, &edited, offsetof(MIDI_SETTING_DATA, tracks)) != 0)
        return false;
    for (int c = 0; c < NUM_SLOTS; ++c)
        for (int l = 0; l < NUM_LAYERS; ++l)
            if ((engine.tracks[c][l].flags & DB_FLAG_IN_USE) &&
                std::memcmp(&engine.tracks[c][l], &edited.tracks[c][l], sizeof(MidiEditTrack)) != 0)
                return false;
    return true;
}

} // namespace

StartedSong::StartedSong(SoundEngine *engine, QObject *parent) : QObject(parent), m_engine(engine)
{
    connect(currSong, &Song::loadSongChange, this, &StartedSong::onLoadChange);
    connect(engine, &SoundEngine::refreshInstr, this, &StartedSong::takeEdits);
    connect(engine, &SoundEngine::trackStopped, this, &StartedSong::saveAndEnd);
    connect(engine, &SoundEngine::songBpmChanged, this, [this](int, int delta) { m_deltaBpm = delta; });
    connect(engine, &SoundEngine::songKeyChanged, this, [this](int delta) { m_deltaKey = delta; });
}

// ---- the loaded songs

const Song &StartedSong::song() const
{
    return *currSong;
}

void StartedSong::movedInPlaylist(int index)
{
    if (currSong->isLoaded() && currSong->inPlaylist())
        currSong->setPlaylistIndex(index);
}

const Song &StartedSong::waiting() const
{
    return *nextSong;
}

bool StartedSong::prepareNext(const QString &path, int index)
{
    if (nextSong->isLoaded() && nextSong->path() != path)
        nextSong->unloadSongFile();
    if (path.isEmpty())
        return false;
    if (!nextSong->isLoaded() && !nextSong->loadSongFile(path, currSong->playlistId(), currSong->playlistName()))
        return false;
    nextSong->setPlaylistIndex(index);
    return true;
}

void StartedSong::dropNext()
{
    if (nextSong->isLoaded())
        nextSong->unloadSongFile();
}

// ---- the start

SongInfo StartedSong::readInfo(const QString &path) const
{
    // A library song shows the library's record, whichever road started it.
    if (m_lookup && !path.isEmpty()) {
        const SongInfo listed = m_lookup(path);
        if (listed.innerPath == path)
            return listed;
    }
    SongInfo info;
    std::unique_ptr<SongRW> reader(SongRW::createFromFile(path, false));
    if (reader) {
        SongInfoRW rw;
        reader->getSongInfo(rw);
        info = SongInfo(rw);
    } else {
        info.title = QFileInfo(path).completeBaseName();
    }
    info.innerPath = path;
    return info;
}

SongInfo StartedSong::infoFor(const QString &path) const
{
    if (!path.isEmpty() && path == m_info.innerPath)
        return m_info;
    return readInfo(path);
}

bool StartedSong::load(const QString &path, const SongInfo &record, int playlistId, const QString &playlistName,
                       int index)
{
    m_stopping = true;
    m_engine->setPlayingState(SoundEngine::ePsStopUnload);
    m_engine->setPlayingState(SoundEngine::ePsReady);
    m_stopping = false;
    bool loaded;
    if (index < 0) {
        loaded = currSong->loadSongFile(path, -1, QString());
    } else {
        loaded = currSong->loadSongFile(path, playlistId, playlistName);
        currSong->setPlaylistIndex(index);
    }
    if (!loaded) {
        sayCannotPlay(path, currSong->refusal());
        return false;
    }
    m_loaded = record.innerPath == path ? record : infoFor(path);
    return true;
}

bool StartedSong::playable(const QString &path)
{
    SongRefusal why;
    if (Song::checkSongFile(path, &why))
        return true;
    sayCannotPlay(path, why);
    return false;
}

void StartedSong::sayCannotPlay(const QString &path, const SongRefusal &why)
{
    emit cannotPlay(tr("Cannot play this file")
                    + QStringLiteral("\n\n%1 (%2)").arg(QDir::toNativeSeparators(path), refusalText(why)));
}

void StartedSong::begin(bool play)
{
    if (play && currSong->isLoaded())
        m_engine->setPlayingState(SoundEngine::ePsPlaying);
    m_info = m_loaded;
    emit started(m_info);
}

QString StartedSong::refusalText(const SongRefusal &why)
{
    const QLocale locale;
    switch (why.kind) {
    case SongRefusal::None:
        break;
    case SongRefusal::Missing:
        return tr("no such file");
    case SongRefusal::NotRegular:
        return tr("not a file: a folder, a device or a pipe");
    case SongRefusal::Unreadable:
        return tr("cannot be read: %1").arg(why.cause);
    case SongRefusal::Empty:
        return tr("the file is empty");
    case SongRefusal::TooLarge:
        return tr("too large for a song: %1, at most %2")
            .arg(locale.formattedDataSize(why.size, 1), locale.formattedDataSize(why.limit, 1));
    case SongRefusal::NotASong:
        return tr("not a song file the program plays");
    case SongRefusal::BadMidi:
        return tr("its MIDI data cannot be read");
    case SongRefusal::TooManyEvents:
        return tr("too large to play: its notes and other events take more than %1 once read")
            .arg(locale.formattedDataSize(why.limit, 0));
    case SongRefusal::TooManyBars:
        return tr("too long to play: more than %1 bars").arg(why.limit);
    case SongRefusal::TooManyRows:
        return tr("too many lyric rows to show: more than %1").arg(why.limit);
    case SongRefusal::TooManySyllables:
        return tr("too many lyric syllables to show: more than %1").arg(why.limit);
    case SongRefusal::TooManyChords:
        return tr("too many chords to show: more than %1").arg(why.limit);
    case SongRefusal::BadTiming:
        return tr("its timing (a division of 0, or frames of film or video) is not one the program plays");
    case SongRefusal::BadAudio:
        return tr("no audio the program can decode");
    case SongRefusal::NotLoaded:
        return tr("the player could not load it");
    case SongRefusal::BeingSaved:
        return tr("being saved by another user; try again");
    }
    return QString();
}

// ---- the edits

void StartedSong::takeEdits()
{
    m_path = currSong->isLoaded() ? currSong->path() : QString();
    m_type = currSong->isLoaded() ? currSong->baseType() : 0;
    m_deltaKey = m_engine->getDeltaKey();
    m_deltaBpm = m_engine->getDeltaBpm();
    // A key or tempo set while the song waited is an edit of this play, so
    // that its stop writes it: the file holds what was shown before.
    if (m_path.isEmpty() || m_path != m_waitingPath) {
        m_startDeltaKey = m_deltaKey;
        m_startDeltaBpm = m_deltaBpm;
    } else if (m_type == SONG_FORMAT_MIDI) {
        MIDI_SETTING_DATA inFile = m_engine->midiEdit()->savedData();
        inFile.deltaKey = int16_t(m_startDeltaKey);
        inFile.deltaBpm = int16_t(m_startDeltaBpm);
        m_engine->midiEdit()->setSavedData(inFile);
    }
    adoptPending();
    // Told before the first edit, not at the stop: the song is heard as
    // edited, but its file will not take the edits. What the edits belong
    // to, from the same reading: another song copied over the path before
    // the stop does not take them.
    const bool printed = m_type == SONG_FORMAT_MIDI || m_type == SONG_FORMAT_MP3;
    m_unkept = {m_path, m_path.isEmpty() ? QString() : SongRW::editRefusal(m_path, printed ? &m_print : nullptr),
                false};
    // What was found beside the songs since the last song started (left
    // alone, set aside), told once.
    m_notices = SongRW::takeNotices();
    emit saveMessageChanged();
    emit editsBegan();
}

void StartedSong::onLoadChange(Song::LoadSongState state)
{
    if (state == Song::eLsDownloading)
        return;
    // Unloaded or replaced around the transport, with no stop first: the
    // edits are still saved, into the song they were made on.
    if (m_path.isEmpty())
        awaitPlay();
    else if (state != Song::eLsReload)
        saveAndEnd();
}

QString StartedSong::saveMessage() const
{
    QStringList lines = m_notices;
    if (!m_unkept.why.isEmpty()) {
        const QString name = QFileInfo(m_unkept.path).fileName();
        lines << (m_unkept.lost ? tr("The changes to %1 were not kept: %2.")
                                : tr("The changes to %1 are heard but will not be kept: %2."))
                     .arg(name, m_unkept.why);
    }
    if (!m_pending.isEmpty()) {
        const Pending &last = m_pending.last();
        lines << tr("The changes to %1 could not be written yet: %2. They are kept and will be written again at "
                    "the next stop or when the program quits.")
                     .arg(QFileInfo(last.path).fileName(), last.why);
    }
    return lines.join(QLatin1Char('\n'));
}

QString StartedSong::saveBeforeQuit()
{
    saveEdits();
    QStringList told;
    for (const Pending &p : std::as_const(m_pending))
        told << tr("The changes to %1 could not be written: %2.").arg(QFileInfo(p.path).fileName(), p.why);
    return told.join(QLatin1Char('\n'));
}

void StartedSong::dropUnsaved()
{
    m_pending.clear();
    m_saveOnStop = false;
    emit saveMessageChanged();
}

void StartedSong::forgetPending(const QString &path)
{
    // Edits not written yet would go over the restored song later.
    m_pending.removeIf([&](const Pending &p) { return p.path == path; });
    emit saveMessageChanged();
}

StartedSong::Restore StartedSong::restorePlan(const QString &path, QString *why)
{
    return SongRW::restorePlan(path, why);
}

bool StartedSong::restore(const QString &path, QString *why)
{
    forgetPending(path);
    return SongRW::restoreBackup(path, why);
}

bool StartedSong::writeMp3(const QString &path, int bpm, int key, QString &why)
{
    std::unique_ptr<SongRW> rw{SongRW::createFromFile(path, true, &why)};
    if (!rw)
        return false;
    rw->setDeltaKey(key);
    rw->setDeltaBpm(bpm);
    if (rw->saveToFile(path))
        return true;
    why = rw->errorString();
    return false;
}

bool StartedSong::writePending(Pending &p)
{
    if (p.type == SONG_FORMAT_MIDI)
        return MidiEdit::writeSettings(p.path, p.base, p.edited, p.why) == 0;
    return writeMp3(p.path, p.bpm, p.key, p.why);
}

void StartedSong::keepPending(Pending p)
{
    qWarning().noquote() << "StartedSong: the changes were not saved into" << p.path << p.why;
    for (Pending &q : m_pending) {
        if (q.path == p.path) {
            q = p;
            return;
        }
    }
    m_pending << p;
}

void StartedSong::adoptPending()
{
    for (int i = 0; i < m_pending.size(); ++i) {
        const Pending &p = m_pending.at(i);
        if (p.path != m_path || p.type != m_type)
            continue;
        MidiEdit *edit = m_engine->midiEdit();
        if (p.type == SONG_FORMAT_MIDI && samePlayed(edit->savedData(), p.edited)) {
            edit->setSavedData(p.inFile);
        } else if (p.type == SONG_FORMAT_MP3 && p.bpm == m_deltaBpm && p.key == m_deltaKey) {
            m_startDeltaBpm = p.fileBpm;
            m_startDeltaKey = p.fileKey;
        } else {
            return; // the song came back from its file: the stop tries them again
        }
        m_pending.removeAt(i);
        return;
    }
}

void StartedSong::saveEdits()
{
    if (!m_saveOnStop)
        return;
    MidiEdit *edit = m_engine->midiEdit();
    const bool midi = !m_path.isEmpty() && m_type == SONG_FORMAT_MIDI && edit->hasUnsavedEdits();
    const bool mp3 = !m_path.isEmpty() && m_type == SONG_FORMAT_MP3 &&
                     (m_deltaBpm != m_startDeltaBpm || m_deltaKey != m_startDeltaKey);
    // Earlier failures first; edits of the song in play replace its own.
    // Edits are written only into the song they were made on.
    for (int i = 0; i < m_pending.size();) {
        Pending &p = m_pending[i];
        if (((midi || mp3) && p.path == m_path) || !SongRW::sameMusic(p.print, SongRW::musicPrint(p.path)) ||
            writePending(p))
            m_pending.removeAt(i);
        else
            ++i;
    }
    Pending p;
    p.path = m_path;
    p.type = m_type;
    p.print = m_print;
    if ((midi || mp3) && !SongRW::sameMusic(m_print, SongRW::musicPrint(m_path))) {
        qWarning().noquote() << "StartedSong: another song is now at" << m_path << "- its edits are not written";
        m_unkept = {m_path, tr("another song was put in its place before they were written"), true};
        if (midi)
            edit->setSavedData(edit->editedData());
        m_startDeltaBpm = m_deltaBpm;
        m_startDeltaKey = m_deltaKey;
        emit saveMessageChanged();
        return;
    }
    // A song told as it started not to keep its edits is still tried (the
    // user may have made it writable meanwhile); when it fails again its
    // edits are not kept for later: nothing has changed that could help.
    const bool told = !m_unkept.why.isEmpty() && m_unkept.path == m_path;
    if (midi && edit->SaveToFile(m_path, &p.why) != 0) {
        p.base = edit->baseData();
        p.inFile = edit->savedData();
        p.edited = edit->editedData();
    } else if (mp3 && !writeMp3(m_path, m_deltaBpm, m_deltaKey, p.why)) {
        p.fileBpm = m_startDeltaBpm;
        p.fileKey = m_startDeltaKey;
        p.bpm = m_deltaBpm;
        p.key = m_deltaKey;
    } else {
        if (mp3) {
            m_startDeltaBpm = m_deltaBpm;
            m_startDeltaKey = m_deltaKey;
        }
        if (told && (midi || mp3))
            m_unkept.why.clear();
        emit saveMessageChanged();
        return;
    }
    if (told)
        m_unkept = {p.path, p.why, true};
    else
        keepPending(p);
    emit saveMessageChanged();
}

void StartedSong::awaitPlay()
{
    m_waitingPath = currSong->isLoaded() ? currSong->path() : QString();
    m_deltaKey = m_startDeltaKey = m_engine->getDeltaKey();
    m_deltaBpm = m_startDeltaBpm = m_engine->getDeltaBpm();
}

void StartedSong::saveAndEnd()
{
    saveEdits();
    // What its save found beside it is told until the next song starts.
    m_notices += SongRW::takeNotices();
    // What was said of the song goes with it, unless edits were lost.
    if (!m_unkept.lost)
        m_unkept = {};
    m_saveOnStop = true;
    m_path.clear();
    m_type = 0;
    awaitPlay();
    emit saveMessageChanged();
    emit editsEnded();
}
