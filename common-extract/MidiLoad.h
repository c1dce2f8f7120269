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
constexpr uint32_t SMF_HEAD_SIZE = 22;              // "MThd" chunk and "MTrk" header
constexpr uint32_t SMF_HEAD_CHUNK_MIN = 6;          // format, tracks, division
constexpr uint32_t MERGE_EXTRA_BYTES = 26;          // head plus the closing end of track

// The zero-filled output buffer of one conversion, allocated by the
// normaliser for its run: CONVERSION_BUFFER_SIZE bytes (a container's
// decoded song), grown for a merge to what the song's tracks can give.
// DecodeFileInit writes merged or decoded songs into it. Freed when the
// object goes, on every path. MidiInfos::data may point into it until then.
class ConversionBuffer
{
public:
    ConversionBuffer();
    ~ConversionBuffer();
    ConversionBuffer(const ConversionBuffer &) = delete;
    ConversionBuffer &operator=(const ConversionBuffer &) = delete;
    bool ok() const { return m_data != nullptr; }
    uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }
    // Room for at least size bytes, zero-filled (what was written is
    // dropped); false, with the old buffer kept, when memory lacks.
    bool reserve(size_t size);

private:
    uint8_t *m_data;
    size_t m_size;
};

// The most bytes a merge of a format-1 file of srcLength bytes can write:
// each event gains at most its status byte back from running status (a
// third of its smallest size, two bytes), and a delta never grows.
inline uint64_t mergedSizeBound(uint64_t srcLength)
{
    return srcLength + srcLength / 2 + MERGE_EXTRA_BYTES;
}

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
// container, an SMF format other than 0 and 1, an unknown file type).
// Any number of tracks is merged (the format allows 65,535), in time
// O(events * log tracks).
int DecodeFileInit(s_StreamData *sd);

// Next sector into appendBuffer: 0 while more follow, 1 on the last one (or
// when the end was already reached). The last sector carries 00 FF 2F 00
// after the data when it has room for it; ByteDecoded counts it.
int LoadSmf0Sector(s_StreamData *sd);

// Merges the first n "MTrk" chunks of an SMF (src, srcLength), n as its
// header says, into one track at dst, writing at most dstLimit bytes
// (mergedSizeBound(srcLength) is always enough). Result: bytes written, 0 on
// failure.
uint32_t mergeTracks(const uint8_t *src, uint8_t *dst, uint32_t srcLength, uint64_t dstLimit);

// Merges the song's format-1 data into the conversion buffer (the steps
// DecodeFileInit takes for such a file, without serving a sector).
int prepareStreamMidiType1(s_StreamData *sd);

// Decompresses the song's MF3/MF4/MF5 payload into the conversion buffer;
// 1 on success, 0 on failure.
int prepareStreamMFx(s_StreamData *sd);

void DecodeFileExit();
