// Song description record and the song format codes.
#pragma once

#include <cstdint>

constexpr int SONG_INFO_TITLE_SIZE = 130;
constexpr int SONG_INFO_ARTIST_SIZE = 130;
constexpr int SONG_INFO_GENRE_SIZE = 50;
constexpr int SONG_INFO_COMPOSER_SIZE = 130;
constexpr int SONG_INFO_KEY_SIZE = 22;

// Longest decoded text stored into each field (the rest stays NUL).
constexpr int SONG_INFO_TITLE_MAX = 128;
constexpr int SONG_INFO_ARTIST_MAX = 128;
constexpr int SONG_INFO_GENRE_MAX = 48;
constexpr int SONG_INFO_COMPOSER_MAX = 128;
constexpr int SONG_INFO_KEY_MAX = 20;

// Filled in place from a file's head and tail; all texts UTF-8, NUL-terminated.
struct SONG_INFO {
    char title[SONG_INFO_TITLE_SIZE];
    char artist[SONG_INFO_ARTIST_SIZE];
    char genre[SONG_INFO_GENRE_SIZE];
    char composer[SONG_INFO_COMPOSER_SIZE];
    int32_t bpm;                    // 0 unknown
    char key[SONG_INFO_KEY_SIZE];   // "F#m", "%i" semitones, or "- - -"
    int32_t seconds;                // 0 unknown
    uint8_t flags;                  // SONG_FLAG_MARKERS
    uint32_t format;                // song format code, 0 = not a usable song
};

constexpr uint8_t SONG_FLAG_MARKERS = 1;

// Song format code: low byte the base type, second byte the sub-type.
constexpr uint32_t SONG_FORMAT_NONE = 0;
constexpr uint32_t SONG_FORMAT_MIDI = 1;
constexpr uint32_t SONG_FORMAT_MP3 = 2;
constexpr uint32_t SONG_FORMAT_AUDIO = 4;
constexpr uint32_t SONG_FORMAT_VIDEO = 8;
constexpr uint32_t SONG_FORMAT_MTA = 16;
constexpr uint32_t SONG_FORMAT_MTV = 32;
constexpr uint32_t SONG_FORMAT_BASE_MASK = 0xFF;

constexpr uint32_t SONG_FORMAT_MF3 = 0x101;
constexpr uint32_t SONG_FORMAT_MF4 = 0x201;
constexpr uint32_t SONG_FORMAT_MF5 = 0x401;
constexpr uint32_t SONG_FORMAT_WAV = 0x104;
constexpr uint32_t SONG_FORMAT_AAC = 0x204;
constexpr uint32_t SONG_FORMAT_OGG = 0x304;
constexpr uint32_t SONG_FORMAT_FLAC = 0x404;
constexpr uint32_t SONG_FORMAT_AIF = 0x504;
constexpr uint32_t SONG_FORMAT_AU = 0x604;
constexpr uint32_t SONG_FORMAT_MP4 = 0x108;
constexpr uint32_t SONG_FORMAT_MOV = 0x208;
constexpr uint32_t SONG_FORMAT_MKV = 0x308;

constexpr uint32_t songFormatBase(uint32_t format) { return format & SONG_FORMAT_BASE_MASK; }

// Results of getFileType (also stored as MidiStream::fileType).
constexpr int FILE_TYPE_UNKNOWN = 0;
constexpr int FILE_TYPE_MIDI = 1;
constexpr int FILE_TYPE_MF3 = 2;
constexpr int FILE_TYPE_MF4 = 3;
constexpr int FILE_TYPE_MF5 = 4;
constexpr int FILE_TYPE_ID3 = 5;

// Bytes that getFileType looks at.
constexpr int FILE_TYPE_HEAD_SIZE = 10;

// Kind of song file from its first FILE_TYPE_HEAD_SIZE bytes; smfFormat (may be
// null) gets byte 9 for a MIDI file, else 0.
int getFileType(const uint8_t *head, uint8_t *smfFormat);
// The same for a buffer that may be shorter than the head.
int getFileTypeN(const uint8_t *data, uint32_t length, uint8_t *smfFormat);

// Key name ("C", "F#", "Bbm") for a key signature; out needs 4 bytes.
char *getKeyString(char *out, int sharpsOrFlats, int minor);

// Readers of a file head already in memory; they never read outside data.
// 1 when data is a MIDI or MF3/MF4/MF5 file (fields filled), else 0 with format 0.
int getMidiSongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info);
// ID3v2, then ID3v1 when the first gives no title, artist or genre.
int getMp3SongInfo(const uint8_t *data, uint32_t length, SONG_INFO *info);
// 1 when a title, artist or genre was taken.
int getMp3SongInfoId3v2(const uint8_t *data, uint32_t length, SONG_INFO *info);
// data ends with the file's last 128 bytes; 1 when a title or an artist was taken.
int getMp3SongInfoId3v1(const uint8_t *data, uint32_t length, SONG_INFO *info);

constexpr int ID3V1_GENRE_COUNT = 171;
extern const char *const ID3v1_genres[ID3V1_GENRE_COUNT];
