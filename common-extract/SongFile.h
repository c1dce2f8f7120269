// Opening song files safely: only regular files are opened, without ever
// blocking on a FIFO or a device, and a song that is read whole has its size
// checked before a byte of it is read.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Largest MIDI-family song file read whole. The decoder writes at most half a
// megabyte of events, so a real song is far below this.
constexpr qint64 SONG_FILE_MAX_MIDI_BYTES = 64 * 1024 * 1024;
// Largest MP3 song (four and a half hours at 128 kbit/s): its length in bits
// still fits the decoders' 32-bit counts.
constexpr qint64 SONG_FILE_MAX_MP3_BYTES = 255 * 1024 * 1024;
// Largest CD+G companion: the graphics of a whole 80-minute CD are 34.6 MB.
constexpr qint64 SONG_FILE_MAX_CDG_BYTES = 40 * 1024 * 1024;

enum class SongFileStatus {
    Ok,
    Missing,         // "no such file"
    NotRegular,      // a folder, FIFO, device or socket
    Unreadable,      // exists but cannot be opened or read
    TooLarge,
};

// Why a file is no song the program takes, in kinds that the views put into
// the user's words.
struct SongRefusal {
    enum Kind {
        None,
        Missing,
        NotRegular,   // a folder, FIFO, device or socket
        Unreadable,   // cause: the system's reason
        Empty,
        TooLarge,     // size and limit in bytes
        NotASong,     // no kind of song the program plays
        BadMidi,      // its MIDI data cannot be read
        TooManyEvents, // its events pass limit, the bytes the player holds
        TooManyBars,  // and the others: more than limit of them
        TooManyRows,
        TooManySyllables,
        TooManyChords,
        BadTiming,    // a division of 0 or in SMPTE frames
        BadAudio,     // no audio the program decodes
        NotLoaded,    // the player could not take it (the log says why)
        BeingSaved,   // another program writes it in place, or its cut-off save is not undone yet
    };
    SongRefusal(Kind kind = None, const QString &cause = QString(), qint64 size = 0, qint64 limit = 0)
        : kind(kind), cause(cause), size(size), limit(limit)
    {
    }
    // A kind the decoder of MIDI data gives.
    bool fromDecoder() const { return kind >= BadMidi && kind <= BadTiming; }
    Kind kind;
    QString cause;
    qint64 size;
    qint64 limit;
};

// The bytes that name path on disk. Qt reads a name that is not UTF-8 (an
// old archive's Latin-1 names, a command line's argument) with U+FFFD in
// place of each byte it cannot read, and never writes those bytes back: such
// a part of path is the entry of its folder that reads the same (or, for a
// name not there yet, the one it begins with, as "song.mid" for
// "song.mid.bak"). Any other path is QFile::encodeName's.
QByteArray nativeSongPath(const QString &path);

// Opens path read-only into file (which must be closed) when it is a regular
// file. Otherwise error, when given, gets a one-line reason, and refusal
// what the user is told.
SongFileStatus openSongFile(const QString &path, QFile &file, QString *error = nullptr,
                            SongRefusal *refusal = nullptr);

// Reads a whole song file of at most maxBytes, refusing a larger one before
// reading it and one that gives less than its size.
SongFileStatus readOpenedSongFile(QFile &file, qint64 maxBytes, QByteArray &out,
                                  QString *error = nullptr);
// The same from a path, opened as openSongFile does.
SongFileStatus readSongFile(const QString &path, qint64 maxBytes, QByteArray &out,
                            QString *error = nullptr);
