// Turns a loaded MIDI-family song into the one-track standard MIDI data the
// normaliser reads 512 bytes at a time: format 1 merged into one track in
// time order, MF3/MF4/MF5 payloads decompressed (LZHUF), format 0 as loaded
// when its track follows the header directly. Chunks of other kinds are
// skipped wherever they stand.
//
// State is module-global: one conversion at a time. Callers hold the
// extraction lock (ExtractLock.h) for the whole run, from the
// ConversionBuffer's creation to the last sector.
#pragma once

#include "MfxHeader.h"
#include "StreamData.h"

#include <cstdint>

constexpr uint32_t CONVERSION_BUFFER_SIZE = 1048576;
constexpr uint32_t SECTOR_SIZE = 512;
constexpr uint32_t MERGE_RESULT_LIMIT = 0x80000;   // merged songs must stay below
constexpr int MAX_MERGE_TRACKS = 32;
constexpr uint32_t SMF_HEAD_SIZE = 22;              // "MThd" chunk and "MTrk" header
constexpr uint32_t SMF_HEAD_CHUNK_MIN = 6;          // format, tracks, division
constexpr uint32_t MERGE_EXTRA_BYTES = 26;          // head plus the closing end of track

// The 1 MiB zero-filled output buffer of one conversion, allocated by the
// normaliser for its run; DecodeFileInit writes merged or decoded songs into
// it. Freed when the object goes, on every path. MidiInfos::data may point
// into it until then.
class ConversionBuffer
{
public:
    ConversionBuffer();
    ~ConversionBuffer();
    ConversionBuffer(const ConversionBuffer &) = delete;
    ConversionBuffer &operator=(const ConversionBuffer &) = delete;
    bool ok() const { return m_data != nullptr; }
    uint8_t *data() const { return m_data; }

private:
    uint8_t *m_data;
};

// Sector reader state: the sector served last, the count of sectors served,
// the valid bytes in appendBuffer and the end flag.
extern uint8_t appendBuffer[SECTOR_SIZE];
extern uint32_t cntBD;
extern uint32_t ByteDecoded;
extern int isEOF;

// Header of the last container decoded (MFX_HEADER_SIZE bytes, or
// MFX5_HEADER_SIZE for "_MF5"; zero beyond), for loadSongSettings_MFx.
extern uint8_t HeaderMFx[MFX5_HEADER_SIZE];

// Prepares the song for the normaliser and serves its first sector. Reads
// MidiStream::fileType and smfFormat and MidiInfos::data/dataLength (the
// file's bytes); on success data/dataLength describe the song to serve.
// 1 on success, 0 on failure; dataLength is then 0 for an empty song or a
// merge that failed, and non-zero for a song that cannot be decoded (a
// container, a merged song of MERGE_RESULT_LIMIT bytes or more, an SMF format
// other than 0 and 1, an unknown file type).
int DecodeFileInit(s_StreamData *sd);

// Next sector into appendBuffer: 0 while more follow, 1 on the last one (or
// when the end was already reached). The last sector carries 00 FF 2F 00
// after the data when it has room for it; ByteDecoded counts it.
int LoadSmf0Sector(s_StreamData *sd);

// Merges the first n "MTrk" chunks of an SMF (src, srcLength), n as its
// header says, into one track at dst, writing at most dstLimit bytes.
// Result: bytes written, 0 on failure.
uint32_t convertiMidi1(const uint8_t *src, uint8_t *dst, int srcLength, int dstLimit);

// The merge loop over the prepared track table: bytes written, 0 on a bad
// event (a data byte without running status, an event cut by the end of its
// track), -1 when the output limit was reached.
int demuxEnvtSmfTyep1();

// Merges the song's format-1 data into the conversion buffer (the steps
// DecodeFileInit takes for such a file, without serving a sector).
int prepareStreamMidiType1(s_StreamData *sd);

// Decompresses the song's MF3/MF4/MF5 payload into the conversion buffer;
// 1 on success, 0 on failure.
int prepareStreamMFx(s_StreamData *sd);

void DecodeFileExit();
