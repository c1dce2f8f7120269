// State shared by the normaliser and the lyric reader during one run. One run
// at a time, under the extraction lock.
#pragma once

#include "ExtractProc.h"

#include <cstdint>

#define EXTRACT_LOG_SOURCE "../common-extract/ExtractProc"

// Data bytes of a SysEx or meta event held in hand; longer ones are never
// sent to the engine and are passed through (cut mode) or skipped.
constexpr uint32_t EXTRACT_HELD_MAX = 126;

// The event in hand. SysEx: msg = F0, n, data; meta: msg = FF, type, n, data
// (the stream's own forms, so a kept event is written from msg as it is).
struct ExtractEvent {
    uint8_t status;
    uint8_t d1;
    uint8_t d2;
    uint8_t type;                    // meta type
    uint32_t length;                 // data bytes of a SysEx or meta event
    uint8_t msg[EXTRACT_HELD_MAX + 4];
    const uint8_t *data() const { return msg + (status == 0xFF ? 3 : 2); }
};

struct ExtractRunState {
    s_StreamData *song;
    MidiStream *ms;
    MidiInfos *mi;
    Mfi *mfi;
    Db *db;

    int flags;
    bool playMode;
    bool dryRun;
    int fileType;
    bool container;                  // MF3/MF4/MF5 payload

    uint32_t tpqn;
    int bar;
    int beat;
    int port;
    int beatUnit;

    uint32_t tempoMicros;            // microseconds per quarter note in force

    ExtractEvent ev;
};

extern ExtractRunState g_run;

// Ends the run with code (the first one stays) and logs message at level 1
// when given.
void extractFail(int code, const char *message);

// Lyric reader hooks called by the normaliser.
void lyricsBeginRun();
void lyricsEndRun();
// A new bar started (maker markers become visible).
void lyricsNewBar(int bar, uint32_t barTick);
// FF 01 and FF 05. Karaoke mode follows the first "@" text in every mode;
// rows, syllables and chords are taken only with the lyrics or chords flag.
void lyricsText(const uint8_t *text, uint32_t length);
void lyricsLyric(const uint8_t *text, uint32_t length);
// FF 06 and FF 4B sub-type 6.
void lyricsMarker(const uint8_t *name, uint32_t length);
void lyricsMakerMeta(const uint8_t *data, uint32_t length);
// FF 7F 43 7B 01 cr ct bn bt and SysEx 43 7E 02 cr ct bn bt.
void lyricsXfChord(uint8_t cr, uint8_t ct, uint8_t bn);
// Channel-1 controllers: B0 31 syllables, B0 98 / B0 100 chord text. True
// when the controller was taken as chord text.
void lyricsControllerSyllable(uint8_t value);
bool lyricsControllerChord(uint8_t controller, uint8_t value);
// An "@" text has been seen (the texts are karaoke texts from then on).
bool lyricsKaraokeMode();
