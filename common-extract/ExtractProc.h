// Normaliser and lyric reader of MIDI-family songs.
//
// The normalised event stream is what the sequencer engine plays (play mode)
// and what the MIDI file writer saves after cutting the song's text out (cut
// mode). Its byte contract:
//
// Head, EXTRACT_HEAD_SIZE bytes (EXTRACT_HEAD_SIZE_MF4 for an MF4 payload,
// whose "MThd" chunk is 9 bytes long):
//   "MThd", chunk length (u32 BE), format (u16 BE), tracks (u16 BE),
//   division (u16 BE), [MF4: 3 more header bytes], "MTrk", track length
//   (u32 BE) = stream length - head size.
//   The division is EXTRACT_TPQN whenever that is a multiple of the file's
//   division; every delta is then scaled by EXTRACT_TPQN / division. Other
//   divisions are kept and deltas are unscaled. Mfi.tpqn holds the division
//   written. SMPTE divisions and 0 are refused.
//
// Events follow the head, each a delta then the event bytes, up to and
// including the closing FF 2F 00; nothing follows it.
//   Delta: a standard variable-length quantity (7 bits a byte, most
//     significant first, top bit set on every byte but the last). In play
//     mode a grid point is written at least once a beat, so a delta is below
//     one beat (at most a whole note) and, at 480 ticks per quarter note,
//     takes at most two bytes.
//     In cut mode deltas take up to four bytes, so long gaps survive a save.
//     The sum of the deltas up to an event is its tick in the song (count-in
//     included).
//   Channel messages always carry their status byte (no running status):
//     8n key vel, 9n key vel (vel > 0), Bn ctl val, Cn prog, Dn val, En lsb msb.
//     Play mode writes a note on of velocity 0 as 8n key 00 and drops An;
//     cut mode keeps both as they are.
//   F0 n data: SysEx; n counts the data bytes, the closing F7 included.
//     Play mode: n is one byte below 127 (longer messages are dropped).
//     Cut mode: n is a variable-length quantity and nothing is dropped for
//     its length.
//   F7 n data (cut mode only): a SysEx continuation or escape, as in the
//     file; play mode drops it.
//   FF type n data: meta event; n as for SysEx. FF 2F 00 ends the stream.
//     In play mode an FF 51 always has 3 data bytes and a tempo above 0.
//   F5 p: port select (p = 1 or 2); the events after it belong to port p - 1
//     and a channel slot is port * 16 + channel. Play mode writes it for MF5
//     songs only; elsewhere, and for any other p, it is dropped and the port
//     stays as it was.
//   Pseudo events of the beat grid (play mode only), each a delta and three
//   bytes, never sent to a port; value = lo + 128 * hi:
//     A9 lo hi  bar `value` starts (bars count from 0; bar 0 has no A9)
//     A8 lo hi  beat `value` (1 .. beats per bar - 1) of the bar starts
//     AA lo hi  half of beat `value` is reached (no AA when the time
//               signature's numerator is below 3 or its unit is 1)
//     A beat is a note of the time signature's unit (a quarter at x/4, an
//     eighth at x/8, a half note at 2/2); 4/4 until the song says otherwise.
//     A grid point comes before the song's events of the same tick, so a
//     bar's first notes follow its A9.
//
// Tables filled beside the stream (play mode):
//   MidiInfos.barOffsets[b]: stream offset of the delta in front of bar b's
//   A9 (bar 0: the end of the head); barTicks[b] its tick.
//   MidiInfos.setupList[port]: ready-made stream events of 4 bytes each,
//   03 Bn ctl val, appended as they are by the chase.
//   MidiInfos.sysexTable: messages in the stream's SysEx form F0 n data.
#pragma once

#include "StreamData.h"

#include <cstdint>

// Bytes of the stream that the normaliser writes at most: the whole event
// buffer the song and the engine hold.
constexpr uint32_t XBUF_CSHARP_SIZE = EVENT_BUFFER_SIZE;

constexpr uint16_t EXTRACT_TPQN = 480;
constexpr int EXTRACT_HEAD_SIZE = 22;
constexpr int EXTRACT_HEAD_SIZE_MF4 = 25;

constexpr uint8_t EXTRACT_EV_BEAT = 0xA8;
constexpr uint8_t EXTRACT_EV_BAR = 0xA9;
constexpr uint8_t EXTRACT_EV_HALF_BEAT = 0xAA;
constexpr uint8_t EXTRACT_EV_PORT = 0xF5;

// Flags of a normalising run; EXTRACT_PLAY_MODE (all three) is play mode,
// any other value cut mode.
constexpr int EXTRACT_FLAG_LYRICS = 1;
constexpr int EXTRACT_FLAG_MARKERS = 2;
constexpr int EXTRACT_FLAG_CHORDS = 4;
constexpr int EXTRACT_PLAY_MODE = 7;

// End codes of a run (decodeEndWork); getLoadingError() reports them negated.
constexpr int EXTRACT_OK = 1;
constexpr int EXTRACT_ERR_OVERFLOW = -2;     // data ended before FF 2F
constexpr int EXTRACT_ERR_EMPTY = -4;        // empty song or failed format-1 merge
constexpr int EXTRACT_ERR_DELTA = -5;        // delta of more than four bytes
constexpr int EXTRACT_ERR_STATUS = -6;       // status F1-FE other than F5
constexpr int EXTRACT_ERR_DATA = -7;         // data byte of 0x80 or more
constexpr int EXTRACT_ERR_SYLLABLES = -8;
constexpr int EXTRACT_ERR_CHORDS = -9;
constexpr int EXTRACT_ERR_BARS = -10;        // bar MAX_BARS
constexpr int EXTRACT_ERR_ROWS = -11;
constexpr int EXTRACT_ERR_TPQN = -12;        // division 0 or SMPTE
constexpr int EXTRACT_ERR_DECODE = -13;      // container not decodable, SMF format 2
constexpr int EXTRACT_ERR_TOO_LARGE = -14;   // the stream is full

// Time-signature history of the last run: beat length in ticks, the bar where
// it starts and the beats per bar.
struct TICK_PER_BAR {
    uint32_t beatLength;
    uint16_t bar;
    uint16_t beatsPerBar;
};
constexpr int MAX_TICK_PER_BAR = 100;
extern TICK_PER_BAR SongTickPerBar[MAX_TICK_PER_BAR];
extern int SongTickPerBarCount;

// Normalises one MIDI-family song into song->mfi->buffer and fills its
// MidiInfos, MidiStream and Db. flags: EXTRACT_PLAY_MODE, or a cut-mode
// combination of EXTRACT_FLAG_*. A dry run stores no byte and arms no
// count-in. Returns the stream length, or 0 on failure (getLoadingError).
// Takes the extraction lock for the whole run.
int _nomalizeSequence(s_StreamData *song, const uint8_t *fileBytes, int length, int flags,
                      int dryRun);

// Count-in for the next real run, from the activity table of a dry run: the
// first of the first precountBars bars in which a slot other than the melody
// slot and the drum slots sounds on its first two beats gives
// precountBars - that bar. fastRun or precountBars < 1: none. Returns 1.
int _calculate_MIDI_precount(s_StreamData *song, int fastRun, int precountBars,
                             int melodyChannel);

// 0 after a successful run, else the positive error code.
int getLoadingError();
// True while a run is going (no end code yet).
bool isDecoding();
// Bytes of the stream written (or counted) by the last run.
int getTotCharDecoded();
// The last song carried the maker's text-track SysEx.
bool isSysExMode();

// Note count and velocity sum of channel slot 0-31 in the last run (0 for
// another slot).
uint32_t EXTRACT_GetNoteNum(int slot);
uint32_t EXTRACT_GetNoteScore(int slot);

// ticks * 60000 / (tpqn * bpm) ms, truncated; 0 when tpqn or bpm is not positive.
uint32_t ticksToMs(int ticks, int tpqn, int bpm);
// Milliseconds from the start of the song to tick, as the engine plays it
// (TempoMap; callers that convert many ticks build one TempoMap instead).
// 0 for a song without a stream or a tick that is not positive; the song's
// length for a tick past its end.
uint32_t msAtTick(int tick, s_StreamData *song);

// Lyric reader, run by the normaliser on the event in hand.

// Reads the SysEx in hand; non-zero keeps it in the stream, 0 removes it.
int AnalyseSxs(s_StreamData *song, int bar, int port);
// Closes the row being built (see the lyric reader for its rules).
void addNewLiricsRow(MidiInfos *infos);
// GS reverb and chorus: message is a stream SysEx (F0, length, data) whose
// data begin at offset. Stores macros and levels, rescales a level to the
// song's setting with a fresh checksum. 1 for a macro message, else 0.
int substituteRevCho(s_StreamData *song, uint8_t *message, int offset);
