// The owner of the program's loaded songs: the song on the transport and
// the next song of its playlist, loaded ahead. The pages and the main window
// reach them only here (read-only), and load them only through it.
//
// The song the program started on the transport, from the play
// request to the save of its edits: it loads the song, keeps the record
// shown for it (the library's row of its file, else the file's own), knows
// whether its file can take edits, and writes the edits made while it plays
// into the file however it ends (stop, its own end, another song, quit).
// The main window starts songs through it and shows the record it
// announces; the Editing page makes the edits and shows what it says.
//
// The failures of a started song are said here, in the user's words: a song
// that cannot play (cannotPlay: the file and why), a song whose file will
// not keep its edits (said as it starts playing: its edits are heard, not
// kept) and a save that failed (its reason; the file is left as it was and
// the edits stay pending, tried again at every stop and at quit until they
// are written or the user leaves without them).
//
// The edits follow the song on the transport whoever loaded it; they go to
// the song they were made on (its path and format taken as it starts
// playing), so an unload or a new load before the stop never loses them or
// writes them into another file; an unload that comes without a stop saves
// as a stop would. When another song was copied over that path before the
// stop (not the song changed by another program: most of its music is as
// it was), nothing is written and the closing note says so.
//
// Threads: GUI thread only.
#pragma once

#include "MidiEdit.h"
#include "Song.h"
#include "SongInfo.h"
#include "SongRW.h"

#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class SoundEngine;

class StartedSong : public QObject
{
    Q_OBJECT
public:
    // The library's record of the song at a path; one with another
    // innerPath (an empty record) when the library has none.
    using Lookup = std::function<SongInfo(const QString &path)>;

    explicit StartedSong(SoundEngine *engine, QObject *parent = nullptr);

    // Where the records of the library's songs are found; without one a
    // song's record is its file's.
    void setLookup(Lookup lookup) { m_lookup = std::move(lookup); }
    // The record of the song at path: the library's row, else the file's
    // own information (its name standing for the title of a file no song
    // reader takes).
    SongInfo readInfo(const QString &path) const;
    // The record the last song started with, for that song's path: started
    // again (undo, restore) it keeps the library's title and key, not the
    // file's track name. readInfo for any other path.
    SongInfo infoFor(const QString &path) const;
    // The record of the song started last, kept after it ends.
    const SongInfo &info() const { return m_info; }

    // Stops and unloads what plays, then loads the song at path as the
    // current one, with a playlist index of 0 or more as that playlist's
    // song at index. It is shown with record, or, given a record of another
    // path (an empty one), with infoFor(path). False when the song cannot
    // load, which cannotPlay says.
    bool load(const QString &path, const SongInfo &record, int playlistId = -1,
              const QString &playlistName = QString(), int index = -1);
    // Whether the song at path would load, asked before what plays is
    // stopped for it; false when not, which cannotPlay says.
    bool playable(const QString &path);
    // The song just loaded plays now (or waits ready), and its record is the
    // one shown from now on (started).
    void begin(bool play);
    // True while load stops the song in play: that unload ends no song.
    bool stopping() const { return m_stopping; }

    // The song on the transport, loaded or not.
    const Song &song() const;
    // Its place in its playlist follows the list's edits.
    void movedInPlaylist(int index);
    // The next song of the playlist the song on the transport plays in,
    // loaded ahead: its being loaded is what makes the song's end start it.
    const Song &waiting() const;
    // Loads the song at path as the next one, at index of the transport
    // song's playlist; another song waiting is unloaded first, and an empty
    // path leaves none. True when the song at path waits.
    bool prepareNext(const QString &path, int index);
    // No song waits next.
    void dropNext();

    // Why a file is no song the program plays, in the user's words.
    static QString refusalText(const SongRefusal &why);

    // The song whose edits are taken (empty, 0 when none plays).
    QString editedPath() const { return m_path; }
    uint32_t editedType() const { return m_type; }
    // What is said of the saves (a file beside the song left alone or a
    // copy set aside, a song that will not keep its edits, the last save
    // that failed); empty when nothing.
    QString saveMessage() const;
    // Writes the edits of the song in play now and those still pending,
    // while there is still a window to tell of a failure: what to tell of
    // the edits that a retry may still write, empty when none is left. May
    // be asked again.
    QString saveBeforeQuit();
    // The user leaves without the edits that could not be written: the stop
    // at the end of the program writes nothing.
    void dropUnsaved();
    // The song starts again from its file: the stop that follows saves
    // nothing.
    void saveNothingAtStop() { m_saveOnStop = false; }
    // The edits still pending for path are not written (its file was put
    // back as it was).
    void forgetPending(const QString &path);

    // Restore: the song file at path put back as it was before the program
    // first saved into it. restorePlan says what it would do; restore does
    // it, forgetting the edits still pending for path first, so that no
    // later stop writes them over the restored song. False, with why, when
    // the song cannot be put back.
    using Restore = SongRW::Restore;
    static Restore restorePlan(const QString &path, QString *why);
    // The song's file name as its folder lists it.
    static QString shownName(const QString &path) { return SongRW::shownName(path); }
    bool restore(const QString &path, QString *why);

signals:
    // A song that cannot play: the text to tell, with the file and why.
    void cannotPlay(const QString &text);
    void started(const SongInfo &info);
    // The song on the transport plays from its start: its edits are taken
    // (pending ones it plays with again become its own).
    void editsBegan();
    // Its edits were written, or said not to be, and are over.
    void editsEnded();
    void saveMessageChanged();

private:
    void takeEdits();
    void sayCannotPlay(const QString &path, const SongRefusal &why);
    void onLoadChange(Song::LoadSongState state);
    // Writes what was edited since the song started or was last saved, and
    // the edits still pending.
    void saveEdits();
    void saveAndEnd();
    // Between the song's plays: the key and tempo it keeps are where its
    // next play's edits count from.
    void awaitPlay();

    // Edits whose save failed, kept to be tried again.
    struct Pending {
        QString path;
        uint32_t type = 0;
        MIDI_SETTING_DATA base{}, inFile{}, edited{};   // a MIDI song
        int fileBpm = 0, fileKey = 0, bpm = 0, key = 0; // an MP3 song
        QByteArray print;                               // SongRW::musicPrint as it started
        QString why;
    };
    // Takes over the pending edits of the song just started when the engine
    // still plays them: they are then the song's own unsaved edits.
    void adoptPending();
    static bool writePending(Pending &p);
    static bool writeMp3(const QString &path, int bpm, int key, QString &why);
    void keepPending(Pending p);

    SoundEngine *m_engine;
    Lookup m_lookup;
    SongInfo m_info;
    SongInfo m_loaded;
    bool m_stopping = false;

    bool m_saveOnStop = true;
    QString m_path;
    uint32_t m_type = 0;
    QByteArray m_print;
    int m_deltaBpm = 0;
    int m_deltaKey = 0;
    int m_startDeltaBpm = 0;
    int m_startDeltaKey = 0;
    // The song loaded between its plays, whose file holds the start values.
    QString m_waitingPath;
    QList<Pending> m_pending;
    // The song on the page (or just stopped) whose file cannot take its
    // edits, why, and whether edits made on it were lost.
    struct Unkept {
        QString path, why;
        bool lost = false;
    } m_unkept;
    // Told of the files found beside songs since the song on the page (or
    // just stopped) started.
    QStringList m_notices;
};
