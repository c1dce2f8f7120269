// Editors of one song file on disk. An editor reads the editable part of the
// file at open, keeps every edit in memory, and writes the whole file again
// in saveToFile through SafeSave (the song is not written before that, and a
// failed save leaves the old file as it was). Failures come back as false,
// -1 or null with a debug line "[Class::operation] ...". GUI thread only;
// an editor is not shared between threads.
#pragma once

#include "SongInfoRW.h"
#include "StreamData.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

// How setLyrics writes a MIDI song's text: LYR_FORMAT_STANDARD gives FF 05
// lyric events, every other value the maker's text track.
enum LyrFormat : int {
    LYR_FORMAT_KVERO = 1,
    LYR_FORMAT_STANDARD = 2,
};

// One track layer's mix settings (the fields of one layer of the Db record).
struct MidiTrackParam {
    uint8_t muteSolo = 0;        // 0 normal, 1 mute, 2 solo
    uint8_t program = 0;
    uint8_t bank = 0;
    bool programOverride = false;
    int volume = 0;              // offsets from the song's own values
    int pan = 0;
    int reverb = 0;
    int chorus = 0;
    uint8_t velocityCurve = 0;
    int transpose = 0;
    uint8_t insertId = 0;
};

// Sound-controller offsets of one track layer, in the order of Db::ccOffsets.
struct MidiTrackParamAdv {
    int cc75 = 0;                // decay
    int cc73 = 0;                // attack
    int cc72 = 0;                // release
    int cc71 = 0;                // resonance
    int cc74 = 0;                // cutoff
    int cc66 = 0;                // sustain
};

class SongRW
{
public:
    SongRW() = default;
    virtual ~SongRW();
    SongRW(const SongRW &) = delete;
    SongRW &operator=(const SongRW &) = delete;

    // The editor for the path's suffix ("mp3"; "mid", "kar", "midi"; "mf3",
    // "mf4", "mf5"; any case), already opened; null for any other suffix or a
    // file that does not open, with the reason in error when given. With
    // backup, the song's backup (SafeSave::makeBackup) is made once, and
    // only by an editor that can save: an existing backup is never
    // replaced, so it holds the file before its first edit. A song an
    // interrupted save left half written is put back first
    // (SafeSave::recover); one still half written (a save under way) is
    // refused. The caller deletes the editor.
    static SongRW *createFromFile(const QString &path, bool backup, QString *error = nullptr);

    // Where the backup of the song at path is: path + ".bak", or for a name
    // too long for that, the name cut and marked (SafeSave::backupPath).
    static QString backupPath(const QString &path);
    // The song's file name as its folder lists it (SafeSave::shownName).
    static QString shownName(const QString &path);
    // Puts back the song at path when a save of it died halfway (a file put
    // in its place since is left as it is, and that is told); false when
    // the song holds no whole content: a save of it is under way, or one
    // that died cannot be undone by this user (logged).
    static bool putBackInterruptedSave(const QString &path);
    // What the user is to be told, once, of files found beside songs (a
    // file another user placed there and that is left alone, a copy set
    // aside) since the last call.
    static QStringList takeNotices();

    // What of the song at path is its music, not what the program writes
    // into songs: the notes and instruments of each MIDI channel (the
    // program's settings are records beside them; the notes as steps from
    // the channel's lowest, so that the song transposed is still itself),
    // the audio of an MP3; of any other file only its kind; empty when the
    // file cannot be read.
    static QByteArray musicPrint(const QString &path);
    // Whether now is the print of the song before, or of a later version of
    // it (most of its channels as they were), rather than of another song.
    static bool sameMusic(const QByteArray &before, const QByteArray &now);

    // What Restore does to the song at path, whose own backup
    // (SafeSave::backupOf) holds it as it was before the program first saved
    // into it; a file another user placed under the backup's name is none.
    enum class Restore {
        Nothing,        // there is no backup (why: the reason none could be made, when known)
        Refused,        // the song is not written (why: it is read-only, unreadable, or
                        // its backup is damaged)
        Whole,          // the song differs from its backup only in what the program
                        // writes into songs: the backup goes back whole
        SettingsOnly,   // another program changed the song since: only the backup's
                        // settings go back into it, the rest stays as it is now
    };
    static Restore restorePlan(const QString &path, QString *why = nullptr);
    // Does what restorePlan says at this moment, as a save writes (a symlink
    // followed, owner, group and mode kept, the song replaced in one step),
    // then removes the backup: the next edit makes a new one. False, with
    // both files as they were and the reason in error, when there is nothing
    // to restore or it fails.
    static bool restoreBackup(const QString &path, QString *error = nullptr);

    QString getFormatString(SongInfoRW::fileTypeEnum type) const;
    SongInfoRW::fileTypeEnum getFileType() const { return fileType; }
    // Clears info, then fills it through the getters.
    void getSongInfo(SongInfoRW &info);
    // Sets the record's fields in memory; the caller saves.
    void setSongInfo(SongInfoRW &info);

    // Song files are opened as the loader opens them: regular files only,
    // never blocking, and a file read whole has its size checked first.
    virtual bool openFile(const QString &path);
    virtual bool saveToFile(const QString &path);
    // Why the last openFile or saveToFile failed, in words for the user.
    QString errorString() const { return lastError; }
    // False for a file this editor only reads (an MP3 tag it could not
    // rewrite without damage, said by errorString): the setters change
    // nothing, saving fails.
    virtual bool isEditable() const { return true; }
    // Why edits could not be saved into the song at path (no editor reads
    // it, it is only read, the user may not replace it); empty when they can.
    // With print, also its musicPrint, from the same reading of a MIDI file.
    // For a song just loaded: what an interrupted save left is not looked
    // for again.
    static QString editRefusal(const QString &path, QByteArray *print = nullptr);

    virtual QString getTitle() const = 0;
    virtual QString getGenre() const = 0;
    virtual QString getArtist() const = 0;
    virtual QString getAuthor() const = 0;
    virtual int getLength() const = 0;          // seconds
    virtual int getUserBpm() const = 0;
    virtual QString getUserKey() const = 0;
    virtual int getDeltaBpm() const = 0;
    virtual int getDeltaKey() const = 0;        // semitones

    virtual void setTitle(const QString &title) = 0;
    virtual void setGenre(const QString &genre) = 0;
    virtual void setArtist(const QString &artist) = 0;
    virtual void setAuthor(const QString &author) = 0;
    virtual void setLength(int seconds) = 0;
    virtual void setUserBpm(int bpm) = 0;
    virtual void setUserKey(const QString &key) = 0;
    virtual void setDeltaBpm(int delta) = 0;
    virtual void setDeltaKey(int delta) = 0;

    virtual bool setLyrics(LyrFormat format, const QList<TEXT_EV> &rows,
                           const QList<SYL_EV> &syllables, const QList<CHORD_EV> &chords,
                           const QList<MARKER_EV> &markers);
    virtual void setReverbEffect(unsigned char type, unsigned char level);
    virtual void setChorusEffect(unsigned char type, unsigned char level);
    virtual void setTrackParameter(int track, int layer, MidiTrackParam param);
    virtual void setTrackParameterAdv(int track, int layer, MidiTrackParamAdv param);
    virtual void setDrumParameter(int first, int second, QByteArray data, int evenDefault,
                                  int oddDefault);
    virtual bool getMidiTrkData(QByteArray &out);
    virtual bool getMarkerData(QByteArray &out);
    virtual bool setMarkerData(const QByteArray &data);

protected:
    // Whether this song differs from original, an editor of the same kind
    // on the song's backup, only in what the program writes into songs.
    virtual bool onlySettingsDifferFrom(const SongRW &original) const;
    // Puts original's settings in place of this song's, in memory; false
    // when they cannot be taken over.
    virtual bool takeSettingsFrom(const SongRW &original);
    // The whole file as openFile read it, where the editor holds it (a MIDI
    // file); empty otherwise.
    virtual QByteArray wholeFile() const { return {}; }

    // Keeps the reason for errorString; false, for "return fail(...)".
    bool fail(const QString &reason);

    SongInfoRW::fileTypeEnum fileType = SongInfoRW::unknown;
    QString path;
    QString lastError;
    // The file read is the song's backup, read as the song whatever its
    // name (a long name cut, another name where a file left alone held its
    // own).
    bool readingBackup = false;

private:
    // Opens the backup bak of a song of this editor's kind.
    bool openBackup(const QString &bak);
    // A new editor for the path's suffix, not opened; null for other suffixes.
    static SongRW *editorFor(const QString &path);
    // createFromFile, with what an interrupted save left settled first only
    // when recover.
    static SongRW *openEditor(const QString &path, bool backup, bool recover, QString *error);
};
