// Song text carried in MP3 files (ID3v2 SYLT frames, the own LYRICS, COLORS
// and CHORDS blocks, trailing Lyrics3 v2 and "<WL5SYNCT>" blocks) and the
// location of an MP3 file's audio.
//
// The text reader keeps its state in module globals: one file at a time,
// under an ExtractLocker (ExtractLock.h). Times are hundredths of a second.
// Nothing here reads outside the buffer it is given.
#pragma once

#include "StreamData.h"

#include <cstdint>

struct MP3_CONTROL {
    const uint8_t *audio;        // first audio byte; null when no frame was found
    int32_t length;              // file length
    int32_t tagLength;           // ID3v2 tag length without its 10-byte header, 0 none
};

// The song loader's tail: a "LYRICSBEGIN" ending in the last bytes of the
// file (outside the ID3v2 tag) is a trailing Lyrics3 v2 block.
constexpr long MP3_TRAILING_TAIL_LENGTH = 10000;
// Bytes of audio that the frame check looks at.
constexpr unsigned MP3_FRAME_CHECK_BYTES = 65536;

constexpr int MP3_ROW_STORED_CHARS = 39;     // text of a row from a text block
constexpr int MP3_ROW_READ_CHARS = 59;
constexpr int MP3_SYLT_LINE_CHARS = 40;      // line buffer of SYLT syllables
constexpr int MP3_CHORD_CHARS = 15;

// Resets the reader, finds the text and reads every stream to its end into
// the rows, syllables and chords of infos (their counts start from 0). 1.
int mp3_text_find_type(MidiInfos *infos, const uint8_t *file, long size, long tailLength);
// The same reset without reading.
void mp3_text_init(MidiInfos *infos);
// First text entry: a SYLT frame, a lyrics block or a "<WL5SYNCT>" block. 1 when found.
int mp3_load_txt(MidiInfos *infos, const uint8_t *file, long size, long tailLength);
// First syllable-timing and chord entries of the own blocks. 1 when found.
int mp3_load_color(MidiInfos *infos);
int mp3_load_chords(MidiInfos *infos);
// Reads the next entries of every active stream; 1 while some stream is active.
int mp3_refill_text(MidiInfos *infos);

// "[mm:ss]", "[mm.ss]", "[mm:ss.hh]" ("[" optional): 1 when text starts with one.
int ismp3Time(const char *text, int length);
// 1 when the first six characters (or all, when fewer) after an optional "[" are digits.
int ismp3msecTime(const char *text, int length);
// Hundredths of a second of a tag as ismp3Time accepts it; -1 when it is not one.
int getmp3time(const char *text, int length);
// Big-endian milliseconds of 4 bytes, in hundredths.
uint32_t getmp3SylTime(const uint8_t *p);

// Finds the audio: fills out and returns the bitrate (kbit/s) of the first
// valid frame, 0 when the file is not a usable MP3.
int _nomalizeMp3(const uint8_t *file, int length, MP3_CONTROL *out);
// Bitrate of the first accepted frame among the first frame headers, 0 when
// too many are rejected; looks at MP3_FRAME_CHECK_BYTES at most.
int isMp3ValidType(const uint8_t *audio, unsigned length);
// First frame header in data, or null.
const uint8_t *seekToValidMp3Frame(const uint8_t *data, unsigned length);
// Size of the ID3v2 tag at data (without its header), 0 when there is none.
int id3_header_lenght(const uint8_t *data, unsigned length);
