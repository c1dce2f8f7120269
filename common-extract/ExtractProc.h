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
//     one beat and takes at most two bytes (for any division below 16384).
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
//   FF type n data: meta event; n as for SysEx. FF 2F 00 ends the stream.
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

#include <cstdint>

// Bytes of the stream that the normaliser writes at most.
constexpr uint32_t XBUF_CSHARP_SIZE = 524288;

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
