// The song's karaoke text carried inside an MP3 file's ID3v2 tag as named
// blocks behind the frames (not ID3 frames), in the form the MP3 text reader
// of common-extract/mp3.h reads:
//
//   NAME "BEGININD0000211LYR"  length n, 5 digits (more past 99999)  CR LF
//   n bytes of data            n + 50, 5 digits     NAME "200"       CR LF
//
// NAME is LYRICS, COLORS, CHORDS, MARKER or MIDITK. The data is lines of
// "[mm:ss.hh]" and a payload, each ended by CR LF. A block is located by its
// length field, so data that happens to hold a marker text cannot cut it
// short; blocks of other writers whose length does not match are still found
// by their end marker.
#pragma once

#include "StreamData.h"

#include <QByteArray>
#include <QList>
#include <cstdint>

class Id3Tag;

namespace Mp3TextBlocks {

inline constexpr char LYRICS[] = "LYRICS";
inline constexpr char COLORS[] = "COLORS";
inline constexpr char CHORDS[] = "CHORDS";
inline constexpr char MARKER[] = "MARKER";
inline constexpr char MIDITK[] = "MIDITK";

QByteArray beginMarker(const char *name);   // "LYRICSBEGININD0000211LYR"
QByteArray endMarker(const char *name);     // "LYRICS200"

// True when bytes hold an own block's "NAMEBEGIN" at pos.
bool beginsAt(const QByteArray &bytes, int pos);

// The whole block around data.
QByteArray build(const char *name, const QByteArray &data);

// Inserts the block at pos of the tag; its length, 0 when data is empty or
// the tag refuses the insert.
int insert(Id3Tag &tag, const char *name, const QByteArray &data, int pos);
// Removes the first block of that name; the bytes removed, 0 when none.
int remove(Id3Tag &tag, const char *name);
// The data of the first block of that name; false when there is none.
bool get(const Id3Tag &tag, const char *name, QByteArray &out);

// "[mm:ss.hh]", two digits each (minutes more past 99).
QByteArray millisToString(uint64_t ms);

// One line per record, times in hundredths of a second. Texts are the
// records' bytes up to their first NUL.
QByteArray createLyrics(const QList<TEXT_EV> &rows);
// Payload: the syllable's offset less the spaces before it in its row, three
// digits; offsets 0 and SYL_END_OF_ROW as they are.
QByteArray createColors(const QList<SYL_EV> &syllables, const QList<TEXT_EV> &rows);
QByteArray createChords(const QList<CHORD_EV> &chords);
QByteArray createMarkers(const QList<MARKER_EV> &markers);

} // namespace Mp3TextBlocks
