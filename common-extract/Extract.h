// Entry points of the song-decoding code for the rest of the program: static
// members only, no instances.
#pragma once

#include "SongFile.h"
#include "SongInfoRecord.h"
#include "StreamData.h"
#include "mp3.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

// Buffer that callers of TransposeAndTranslateChord pass (zero-filled); the
// chord or key name in it holds at most EXTRACT_CHORD_MAX_CHARS characters.
constexpr int EXTRACT_CHORD_BUFFER_SIZE = 50;
constexpr int EXTRACT_CHORD_MAX_CHARS = 24;

class Extract
{
public:
    Extract() = delete;

    // Fills info from the file's suffix and head (and tail for MP3). False when
    // the file is missing or not a regular file (info untouched), its suffix
    // is unknown, it cannot be read, it is too
    // short or its content does not match the suffix (then format is 0).
    // Safe from any thread.
    static bool GetSongInfoFromFile(SONG_INFO *info, const QString &path);
    // The same from the file at path opened by openSongFile (a regular file):
    // a loader that reads the song next opens it once.
    static bool GetSongInfoFromOpenFile(SONG_INFO *info, const QString &path, QFile &file);

    // Tag or meta-event bytes to text: honours a UTF-8/16/32 byte-order mark;
    // without one UTF-8, or ISO 8859-15 when that is not valid UTF-8. Reads at
    // most length bytes and stops at the first NUL (a NUL code unit for UTF-16/32).
    static QString decodeChars(const char *text, int length);

    // Lyric rows, chord and marker names as the decoder stores them, from a
    // field of length bytes: text that is valid UTF-8 (a character cut where
    // the text fills the field dropped) or starts with a UTF-16 byte-order
    // mark is decoded as such, anything else as Latin-1. Stops at the first NUL.
    static QString decodeLyricText(const char *text, int length);
    // Turns a count of the visible bytes (above blank) of text into a count
    // of its visible characters, for syllable offsets of a UTF-8 row.
    static int visibleCharsOfBytes(const char *text, int length, int visibleBytes);

    // Upper-case suffix -> base type of the song format code.
    static const QMap<QString, int> &mapFileExtToFrmBaseType();
    // Full song format code -> display text ("MF5", "MP3"); absent codes give "".
    static const QMap<uint32_t, QString> &mapFrmFullTypeToFrmDesc();

    // Normalises a MIDI-family song into the handle's records and event
    // buffer (play mode). precountBars below 1: one run without count-in;
    // otherwise a dry run first, from which the count-in is worked out.
    // Returns the stream length, 0 on failure.
    static int NormalizeMidiSequence(s_StreamData *song, uint8_t *bytes, int length,
                                     int precountBars, int melodyChannel);
    // Why the last of these runs failed, right after it: BadMidi, or a kind
    // that says why (too long, too large, too much text, timing); and the
    // same in English words for the command-line tools.
    static SongRefusal failureRefusal();
    static QString failureText();
    // The stream without the song's text (cut mode), for the MIDI file writer.
    static int NormalizeSequenceCutEvent(s_StreamData *song, uint8_t *bytes, int length);
    // Milliseconds from the start of the song to tick, as the engine plays it
    // (see TempoMap).
    static uint32_t MsAtTick(s_StreamData *song, int tick);

    // Rows, syllables and chords of an MP3 file's text into the song's
    // MidiInfos (hundredths of a second). A "LYRICSBEGIN" ending in the last
    // tailLength bytes, outside the ID3v2 tag, is a trailing Lyrics3 block
    // (the loader passes MP3_TRAILING_TAIL_LENGTH). 1, 0 without a song.
    static int Mp3TextFindType(s_StreamData *song, const uint8_t *bytes, long length,
                               long tailLength);
    // Audio start and tag length of an MP3 file; the first frame's bitrate
    // in kbit/s, 0 when it is not a usable MP3.
    static int NormalizeMp3Sequence(const uint8_t *bytes, int length, MP3_CONTROL *out);

    static uint16_t GetMidiTpqn(s_StreamData *song);

    // Counts and items of the song's lyric records; an item outside
    // 0 .. count - 1 (or of a song without records) is null.
    static int GetNumTextLines(s_StreamData *song);
    static TEXT_EV *GetTextLineStructItem(s_StreamData *song, unsigned index);
    static int GetNumSylEvent(s_StreamData *song);
    static SYL_EV *GetSylEventStructItem(s_StreamData *song, int index);
    static int GetNumChordEvent(s_StreamData *song);
    static CHORD_EV *GetChordsEventStructItem(s_StreamData *song, int index);
    static int GetNumMarkers(s_StreamData *song);
    static MARKER_EV *GetMarkerStructItem(s_StreamData *song, int index);
    // The bar/beat table of the last normalising run. Copy it under an
    // ExtractLocker held across the run and the copy.
    static int GetNumBarsBeats();
    static BAR_BEAT_POS *GetBarBeatStructItem(int index);

    // Marker lines "[mm:ss.hh]name" CR LF in Latin-1 from markers timed in
    // hundredths of a second; returns the number of markers.
    static int ConvMarkersFromEventsToDataStr(const QList<MARKER_EV> &markers, QByteArray &out);
    // The reverse; lines that do not read, and a last line without CR LF,
    // are skipped. Names keep at most 15 bytes.
    static int ConvMarkersFromDataStrToEvents(const QByteArray &data, QList<MARKER_EV> &out);

    // In place on a zero-filled EXTRACT_CHORD_BUFFER_SIZE buffer: moves the
    // root and a bass after "/" by semitones; notation 0 then writes the note
    // names in Italian ("Do#m7/Sol#"), any other value keeps the letters.
    static void TransposeAndTranslateChord(char *chord, int semitones, int notation);
};
