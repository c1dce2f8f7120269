// Layout of the MF3/MF4/MF5 container header, shared by every reader and
// writer of the format. Numbers are little-endian, texts Latin-1 padded with
// NUL bytes. The compressed payload follows the header.
#pragma once

#include "StreamData.h"

#include <cstdint>

constexpr uint32_t MFX_HEADER_SIZE = 512;        // "_MF3", "_MF4"
constexpr uint32_t MFX5_HEADER_SIZE = 1024;      // "_MF5"

constexpr int MFX_OFS_MAGIC = 0;
constexpr int MFX_OFS_SIZE = 4;                  // u32
constexpr int MFX_OFS_ORIG_SIZE = 12;            // u32
constexpr int MFX_OFS_SUSTAIN = 18;              // 16 signed bytes, CC66 of tracks 0-15
constexpr int MFX_OFS_TEMPO = 38;                // u16 BPM
constexpr int MFX_OFS_INSERTS = 40;              // two bytes (channel << 4 | effect id)
constexpr int MFX_OFS_EFFECT_FLAG = 73;
constexpr int MFX_OFS_REVERB_TYPE = 74;
constexpr int MFX_OFS_REVERB_LEVEL = 75;
constexpr int MFX_OFS_CHORUS_TYPE = 76;
constexpr int MFX_OFS_CHORUS_LEVEL = 77;
constexpr int MFX_OFS_TITLE = 122;
constexpr int MFX_OFS_EDITOR = 154;
constexpr int MFX_OFS_FLAGS = 185;
constexpr int MFX_OFS_AUTHOR = 186;
constexpr int MFX_OFS_ARTIST = 218;
constexpr int MFX_OFS_GENRE = 250;
constexpr int MFX_OFS_DELTA_KEY = 282;           // i16 semitones
constexpr int MFX_OFS_DELTA_BPM = 284;           // i16
constexpr int MFX_OFS_TRACKS = 286;              // 16 track records, tracks 0-15
constexpr int MFX_OFS_EXTRAS = 430;              // 16 extra records, tracks 0-15
constexpr int MFX_OFS_EXTRAS_MARKER = 510;       // u16 MFX_EXTRAS_MARKER
constexpr int MFX5_OFS_TRACKS = 512;             // 16 track records, tracks 16-31
constexpr int MFX5_OFS_DRUM_MASK = 720;          // u32, bit k = channel k is a drum part

constexpr int MFX_TEXT_FIELD_SIZE = 32;
constexpr int MFX_EDITOR_FIELD_SIZE = 31;
constexpr int MFX_TRACKS_PER_BLOCK = 16;
constexpr int MFX_TRACK_RECORD_SIZE = 9;
constexpr int MFX_EXTRA_RECORD_SIZE = 5;
constexpr uint16_t MFX_EXTRAS_MARKER = 0x55AA;   // bytes AA 55

// Bytes of a track record.
enum MfxTrackByte {
    MFX_TRK_MUTE_SOLO = 0,
    MFX_TRK_PROGRAM = 1,                         // bit 7: program override
    MFX_TRK_BANK = 2,                            // bit 7: program override
    MFX_TRK_VOLUME = 3,
    MFX_TRK_PAN = 4,
    MFX_TRK_REVERB = 5,
    MFX_TRK_CHORUS = 6,
    MFX_TRK_VELOCITY_CURVE = 7,
    MFX_TRK_TRANSPOSE = 8,
};
constexpr uint8_t MFX_TRK_ABSENT = 0xFF;         // program byte of an absent record
constexpr uint8_t MFX_TRK_OVERRIDE_BIT = 0x80;

// The sound controller held by each byte of an extra record (track t at
// MFX_OFS_EXTRAS + 5t); CC66 lives in the sustain byte MFX_OFS_SUSTAIN + t.
// The one order for reading and writing these records.
constexpr DbCcOffset MFX_EXTRA_RECORD_CC[MFX_EXTRA_RECORD_SIZE] = {
    DB_CC73, // attack
    DB_CC72, // release
    DB_CC74, // cutoff
    DB_CC71, // resonance
    DB_CC75, // decay
};
constexpr DbCcOffset MFX_SUSTAIN_CC = DB_CC66;

inline uint32_t mfxHeaderSize(int fileType)
{
    return fileType == FILE_TYPE_MF5 ? MFX5_HEADER_SIZE : MFX_HEADER_SIZE;
}
