// A song of the program: the one on the transport or the preloaded next
// song of a playlist (see SongObjects.h). Both are static objects that live
// for the whole run and never exchange roles, so the next song is loaded
// again as the current one when its turn comes. Above playback/ they are
// reached through their owner, StartedSong.
//
// loadSongFile is the loading pipeline: song information, then the MIDI
// event stream with its bars and markers or the MP3 text blocks, then the
// lyric rows, syllables and chords, and a CD+G companion file. A MIDI
// current song is handed to the sequencer, which takes its own copy of the
// records and waits paused at the start. The views read the loaded data
// through the const accessors.
//
// Threads: GUI thread only. A load or an unload holds the song's mutex and
// emits loadSongChange while holding it; a receiver that loads or unloads the
// same song from its slot gets false (load) or nothing (unload) rather than a
// deadlock.
#pragma once

#include "SongFile.h"
#include "StreamData.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <cstdint>

class SongRW;

class Song : public QObject
{
    Q_OBJECT
public:
    enum LoadSongState {
        eLsUnloaded = 0,
        eLsDownloading = 1,
        eLsLoaded = 2,
        eLsReload = 4,
    };
    Q_ENUM(LoadSongState)

    // Points the two song objects' pointers (SongObjects.h) at them.
    static void initSong();
    // Does nothing: the globals never change roles.
    static void swapNextToCurrentSong(bool);

    // True when the song is loaded. A playlist id of 0 or more marks the song
    // as started from that playlist. Loading the path already loaded is a
    // reload: it keeps the engine slot, is not handed to the sequencer again
    // and emits eLsReload. A failure leaves nothing half loaded: the song is
    // then unloaded (emitting eLsUnloaded when it was loaded before). A
    // save of the song cut off halfway is undone first; a song still half
    // written (another program saves it in place) is refused, BeingSaved.
    bool loadSongFile(const QString &path, int playlistId = -1, const QString &playlistName = {});
    // Nothing when neither loaded nor downloading; else clears the song
    // (the path stays) and emits eLsUnloaded. The engine must have stopped
    // playing it first.
    void unloadSongFile();
    // Whether the file at path plays as sound, read as the loader reads it
    // (a regular file, its size checked before reading, an MP3 mapped): a
    // MIDI or MP3 song, with audio that decodes or a MIDI stream that
    // normalises (a video, which the loader takes with its information
    // only, does not), and not half written (as loadSongFile). Why when
    // not; its length in seconds, as a load gives it, when it does. Any
    // thread (the import asks it).
    static bool checkSongFile(const QString &path, SongRefusal *why = nullptr, uint *seconds = nullptr);
    // Why the last load failed; kind None after a load that worked.
    const SongRefusal &refusal() const { return m_refusal; }
    // A load outside any list, then the given title and artist over the
    // file's; the lyrics and chords are not shown.
    bool loadPreviewSongFile(const QString &path, const QString &title, const QString &artist);
    // Announces a song still being downloaded; emits eLsDownloading.
    bool loadDownloadingSong(uint productId, const QString &extension, const QString &path,
                             const QString &title, const QString &artist);
    bool loadFromDownload();

    // Returns the previous value; a MIDI song then rewinds at its end.
    bool setEditingState(bool editing);
    bool isEditing() const { return m_editing; }
    bool hasConfigSet() const;
    QString getConfigFilePath() const { return m_configFilePath; }
    // A MIDI-family song's bytes; empty for an MP3, which is only mapped
    // while it loads.
    QByteArray getFileBufferData() const { return m_fileBuffer; }

    // Reads the song path with "CDG" (then "cdg") in place of its last three
    // characters, as a song is read (regular files only, at most a whole
    // CD's graphics); true when it holds a whole number of 24-byte packets.
    // Otherwise cdgData() stays empty.
    bool loadCdgFileIfPresent();
    // Length in seconds: a MIDI song's from its own tempo map and its stored
    // tempo offset, an MP3's from its decoded length (the bitrate estimate
    // when that is unknown). 0 when nothing is loaded.
    uint lengthSeconds() const;

    // Bar arithmetic over the bar/beat list.
    uint getLastBarTickFromTick(uint tick) const;
    uint getNearBarTickFromTick(uint tick, int bars) const;
    const BAR_BEAT_POS *getBarBeatPosFromTick(uint tick) const;
    // Ticks by which the chord strip leads the lyrics (55 for audio songs).
    int calcChordOnTextAdjustTime() const;

    // ---- what the views and the engine read

    bool isLoaded() const { return m_loaded; }
    bool isDownloading() const { return m_downloading; }
    QString path() const { return m_path; }
    const SONG_INFO &info() const { return m_info; }
    uint32_t format() const { return m_info.format; }
    uint32_t baseType() const { return m_info.format & SONG_FORMAT_BASE_MASK; }
    s_StreamData *stream() { return &m_stream; }
    int slot() const { return m_stream.slotFlag; }
    uint32_t ticksPerQuarter() const { return m_tpqn; }
    // The song's own settings record: stored offsets and the channel map (255
    // in a channel's first layer program: the channel carries no part).
    Db &db() { return m_db; }
    const Db &db() const { return m_db; }
    const MidiInfos &midiInfos() const { return m_infos; }

    bool hasText() const { return m_hasText; }
    bool hasSyllables() const { return m_hasSyllables; }
    bool hasChords() const { return m_hasChords; }
    bool hasMarkers() const { return m_hasMarkers; }
    bool hasBars() const { return m_hasBars; }
    bool hasCdg() const { return m_hasCdg; }
    bool hasBackup() const { return m_hasBackup; }
    uint32_t productId() const { return m_productId; }

    const QList<TEXT_EV> &textRows() const { return m_textRows; }
    const QList<SYL_EV> &syllables() const { return m_syllables; }
    const QList<CHORD_EV> &chords() const { return m_chords; }
    const QList<MARKER_EV> &markers() const { return m_markers; }
    const QList<BAR_BEAT_POS> &barsBeats() const { return m_barsBeats; }
    const QByteArray &cdgData() const { return m_cdgBuffer; }
    uint32_t cdgPacketCount() const { return m_hasCdg ? uint32_t(m_cdgBuffer.size() / kCdgPacket) : 0; }
    int chordOnTextAdjTime() const { return m_chordOnTextAdjTime; }

    bool inPlaylist() const { return m_inPlaylist; }
    QString playlistName() const { return m_playlistName; }
    int playlistId() const { return m_playlistId; }
    // Position in the playlist; the window writes it after a load.
    int playlistIndex() const { return m_playlistIndex; }
    void setPlaylistIndex(int index) { m_playlistIndex = index; }

    static constexpr int kCdgPacket = 24;

signals:
    void loadSongChange(Song::LoadSongState state);

private:
    Song();
    static Song s_objects[2];
    // GUI-thread guard of the load mutex: false for a call from inside a
    // receiver of this song's own signal.
    bool lock();
    void unlock();
    bool load(const QString &path, bool *reload);
    bool readMp3(const QByteArray &bytes);
    bool readMidi();
    void copyLyrics();
    void adjustSyllablesForSpaces();
    void clearSongData();
    bool initStreamData();
    const char *role() const;
    uint midiSeconds() const;

    QString m_path;
    SongRefusal m_refusal;
    SONG_INFO m_info{};
    s_StreamData m_stream{};
    uint32_t m_tpqn = 0;
    bool m_loaded = false;
    bool m_hasText = false;
    bool m_hasSyllables = false;
    bool m_hasChords = false;
    bool m_hasMarkers = false;
    bool m_hasBars = false;
    bool m_hasCdg = false;
    bool m_downloading = false;
    bool m_hasBackup = false;
    uint32_t m_productId = 0;
    QList<TEXT_EV> m_textRows;
    QList<SYL_EV> m_syllables;
    QList<CHORD_EV> m_chords;
    QList<MARKER_EV> m_markers;
    QList<BAR_BEAT_POS> m_barsBeats;
    bool m_inPlaylist = false;
    QString m_playlistName;
    int m_playlistId = -1;
    int m_playlistIndex = -1;
    int m_chordOnTextAdjTime = -1;
    QString m_configFilePath;
    long m_audioMs = 0;
    MidiStream m_midiStream{};
    // The two large records of a static object are zero before its
    // constructor runs: left out of the initializers (which would write every
    // page), they take memory only as far as songs reach.
    MidiInfos m_infos;
    Mfi m_mfi{};
    Db m_db{};
    uint8_t m_eventBuffer[EVENT_BUFFER_SIZE];
    bool m_editing = false;
    QMutex m_mutex;
    QThread *m_lockOwner = nullptr;
    QByteArray m_fileBuffer;
    QByteArray m_cdgBuffer;

    friend int saveMarkerMp3(Song *song, SongRW *rw);
};

// Writes the song's markers into an MP3 song file as its marker block;
// the number written (0 when there are none, -1 when the save fails).
int saveMarkerMp3(Song *song, SongRW *rw);
