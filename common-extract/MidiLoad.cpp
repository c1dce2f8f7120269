#include "MidiLoad.h"

#include "ByteReader.h"
#include "ExtractLock.h"
#include "Lzhuf.h"
#include "logmsg.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <vector>

uint8_t appendBuffer[SECTOR_SIZE];
uint32_t cntBD;
uint32_t ByteDecoded;
int isEOF;
uint8_t HeaderMFx[MFX5_HEADER_SIZE];

namespace {

constexpr const char *SRC = "../common-extract/MidiLoad";
constexpr uint32_t VLQ_LIMIT = 1u << 28;            // four 7-bit groups
const uint8_t END_OF_TRACK[4] = {0x00, 0xFF, 0x2F, 0x00};

ConversionBuffer *conversionBuffer;                 // the one alive

struct MergeTrack {
    uint64_t nextTick;
    uint32_t readPos;
    uint32_t lastByte;                              // one past the track's last byte
    bool ended;
    uint8_t runningStatus;                          // 0 none
};

// The tracks of the merge in hand and, as a binary heap, those not ended
// yet: the earliest next event first, of two at one tick the lower track's.
std::vector<MergeTrack> tracks;
std::vector<uint32_t> due;
uint64_t globalTick;
const uint8_t *mergeSrc;
uint8_t *outPtr;
uint64_t outCount;
uint64_t outLimit;

bool dueBefore(uint32_t a, uint32_t b)
{
    return tracks[a].nextTick != tracks[b].nextTick ? tracks[a].nextTick < tracks[b].nextTick : a < b;
}

void siftDown(size_t i)
{
    for (;;) {
        size_t first = i;
        for (size_t child = 2 * i + 1; child <= 2 * i + 2 && child < due.size(); ++child)
            if (dueBefore(due[child], due[first]))
                first = child;
        if (first == i)
            return;
        std::swap(due[i], due[first]);
        i = first;
    }
}

void siftUp(size_t i)
{
    while (i > 0 && dueBefore(due[i], due[(i - 1) / 2])) {
        std::swap(due[i], due[(i - 1) / 2]);
        i = (i - 1) / 2;
    }
}

// Read position of the sector reader in the song's data.
uint32_t sectorPos;

void m_putc(uint8_t byte)
{
    if (outCount < outLimit) {
        *outPtr++ = byte;
        ++outCount;
    }
}

// Variable-length quantity; false for values that do not fit four bytes.
bool WriteVarLen(uint32_t value)
{
    if (value >= VLQ_LIMIT)
        return false;
    uint8_t bytes[4];
    int n = 0;
    bytes[n++] = uint8_t(value & 0x7F);
    while (value >>= 7)
        bytes[n++] = uint8_t(0x80 | (value & 0x7F));
    while (n > 0)
        m_putc(bytes[--n]);
    return true;
}

int closeTrkSmf1()
{
    for (uint8_t b : END_OF_TRACK)
        m_putc(b);
    return 4;
}

// Reads the track's next delta; a track that has no more bytes ends here.
void readDelta(MergeTrack &t)
{
    ByteReader rd(mergeSrc, t.lastByte, t.readPos);
    uint32_t delta;
    if (!rd.vlq(delta)) {
        t.ended = true;
        return;
    }
    t.readPos = rd.pos;
    t.nextTick += delta;
}

// Copies n bytes of the track to the output; false when the track has fewer.
bool copyBytes(MergeTrack &t, uint32_t n)
{
    if (t.lastByte - t.readPos < n)
        return false;
    for (uint32_t i = 0; i < n; ++i)
        m_putc(mergeSrc[t.readPos + i]);
    t.readPos += n;
    return true;
}

// SysEx, escape and meta events: the length and the data, bounded by the track.
bool copyLengthAndData(MergeTrack &t)
{
    ByteReader rd(mergeSrc, t.lastByte, t.readPos);
    uint32_t len;
    if (!rd.vlq(len) || rd.left() < len)
        return false;
    t.readPos = rd.pos;
    WriteVarLen(len);
    return copyBytes(t, len);
}

bool channelDataBytes(uint8_t status)
{
    return (status & 0xF0) != 0xC0 && (status & 0xF0) != 0xD0;
}

bool trackFollowsHead(const uint8_t *data, uint32_t length)
{
    return length >= SMF_HEAD_SIZE && readU32be(data + 4) == SMF_HEAD_CHUNK_MIN && std::memcmp(data + 14, "MTrk", 4) == 0;
}

} // namespace

ConversionBuffer::ConversionBuffer()
    : m_data(static_cast<uint8_t *>(std::calloc(CONVERSION_BUFFER_SIZE, 1))),
      m_size(m_data ? CONVERSION_BUFFER_SIZE : 0)
{
    conversionBuffer = this;
}

ConversionBuffer::~ConversionBuffer()
{
    if (conversionBuffer == this)
        conversionBuffer = nullptr;
    std::free(m_data);
}

bool ConversionBuffer::reserve(size_t size)
{
    if (size <= m_size)
        return m_data != nullptr;
    auto *bigger = static_cast<uint8_t *>(std::calloc(size, 1));
    if (!bigger)
        return false;
    std::free(m_data);
    m_data = bigger;
    m_size = size;
    return true;
}

namespace {

// The merge loop over the prepared tracks: bytes of events written, 0 on a
// bad event (a data byte without running status, an event cut by the end of
// its track), -1 when the output limit was reached.
int64_t mergeTracks()
{
    while (!due.empty()) {
        MergeTrack &t = tracks[due.front()];
        const uint64_t nowTick = t.nextTick;
        const uint64_t delta = nowTick - globalTick;

        if (outCount >= outLimit)
            return -1;
        bool ended = t.readPos >= t.lastByte;
        bool ok = true;
        if (!ended) {
            const uint8_t status = mergeSrc[t.readPos++];
            if (delta >= VLQ_LIMIT)
                return 0;
            if (status == 0xF0 || status == 0xF7) {
                t.runningStatus = 0;
                WriteVarLen(uint32_t(delta));
                m_putc(status);
                ok = copyLengthAndData(t);
            } else if (status == 0xFF) {
                t.runningStatus = 0;
                if (t.readPos >= t.lastByte)
                    return 0;
                const uint8_t type = mergeSrc[t.readPos++];
                // Nothing is written for an end of track, so the next delta
                // still counts from the last event written.
                ended = type == 0x2F;
                if (!ended) {
                    WriteVarLen(uint32_t(delta));
                    m_putc(status);
                    m_putc(type);
                    ok = copyLengthAndData(t);
                }
            } else if (status == 0xF5) {
                // Port select of the maker's two-port songs: one data byte.
                WriteVarLen(uint32_t(delta));
                m_putc(status);
                ok = copyBytes(t, 1);
            } else if (status > 0xF0) {
                // Not valid in a file; left for the normaliser to refuse.
                WriteVarLen(uint32_t(delta));
                m_putc(status);
            } else if (status >= 0x80) {
                t.runningStatus = status;
                WriteVarLen(uint32_t(delta));
                m_putc(status);
                ok = copyBytes(t, channelDataBytes(status) ? 2 : 1);
            } else {
                if (t.runningStatus == 0)
                    return 0;
                WriteVarLen(uint32_t(delta));
                m_putc(t.runningStatus);
                m_putc(status);
                if (channelDataBytes(t.runningStatus))
                    ok = copyBytes(t, 1);
            }
            if (!ok)
                return 0;
        }
        if (!ended) {
            globalTick = nowTick;
            readDelta(t);
            ended = t.ended;
        }
        if (ended) {
            t.ended = true;
            due.front() = due.back();
            due.pop_back();
        }
        siftDown(0);
    }
    // The last event may have been cut by the limit.
    if (outCount >= outLimit)
        return -1;
    return int64_t(outCount - SMF_HEAD_SIZE);
}

} // namespace

uint32_t mergeTracks(const uint8_t *src, uint8_t *dst, uint32_t srcLength, uint64_t dstLimit)
{
    globalTick = 0;
    tracks.clear();
    due.clear();
    mergeSrc = src;
    outPtr = dst;
    outCount = 0;
    outLimit = dstLimit;

    if (!src || !dst || srcLength < SMF_HEAD_SIZE || outLimit < MERGE_EXTRA_BYTES)
        return 0;
    const uint32_t length = srcLength;
    const int count = src[10] << 8 | src[11];

    // The tracks are the first count "MTrk" chunks behind the header; any
    // other chunk is skipped, as the standard asks of a reader. Every chunk
    // passed must lie inside the file.
    const uint32_t headLength = readU32be(src + 4);
    if (headLength < SMF_HEAD_CHUNK_MIN || headLength > length - 8)
        return 0;
    tracks.reserve(size_t(count));
    uint32_t offset = 8 + headLength;
    while (int(tracks.size()) < count) {
        if (length - offset < 8)
            return 0;
        const uint32_t chunkLength = readU32be(src + offset + 4);
        const uint32_t start = offset + 8;
        if (chunkLength > length - start)
            return 0;
        if (std::memcmp(src + offset, "MTrk", 4) == 0)
            tracks.push_back({0, start, start + chunkLength, false, 0});
        offset = start + chunkLength;
    }
    for (uint32_t i = 0; i < uint32_t(count); ++i) {
        readDelta(tracks[i]);
        if (!tracks[i].ended) {
            due.push_back(i);
            siftUp(due.size() - 1);
        }
    }

    static const uint8_t head[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0};
    for (int i = 0; i < 12; ++i)
        m_putc(head[i]);
    m_putc(src[12]);
    m_putc(src[13]);
    static const uint8_t trackHead[8] = {'M', 'T', 'r', 'k', 0, 0, 0, 0};
    for (uint8_t b : trackHead)
        m_putc(b);

    const int64_t merged = mergeTracks();
    tracks.clear();
    tracks.shrink_to_fit();
    due.clear();
    due.shrink_to_fit();
    if (merged < 1)
        return 0;
    closeTrkSmf1();
    if (outCount != uint64_t(merged) + MERGE_EXTRA_BYTES || outCount > UINT32_MAX)
        return 0;
    return uint32_t(outCount);
}

int prepareStreamMidiType1(s_StreamData *sd)
{
    if (!sd || !sd->midiInfos || !conversionBuffer)
        return 0;
    MidiInfos *mi = sd->midiInfos;
    const uint64_t limit = mergedSizeBound(mi->dataLength);
    if (limit > SIZE_MAX || !conversionBuffer->reserve(size_t(limit))) {
        logMsg(1, SRC, __LINE__, "No memory to merge the MIDI file's tracks: %llu bytes",
               static_cast<unsigned long long>(limit));
        mi->dataLength = 0;
        return 0;
    }
    const uint32_t result = mergeTracks(mi->data, conversionBuffer->data(), mi->dataLength, limit);
    mi->dataLength = result;
    if (result == 0) {
        logMsg(3, SRC, __LINE__, "MIDI file could not be merged into one track");
        return 0;
    }
    mi->data = conversionBuffer->data();
    return 1;
}

int prepareStreamMFx(s_StreamData *sd)
{
    if (!sd || !sd->midiInfos || !sd->midiStream || !conversionBuffer)
        return 0;
    MidiInfos *mi = sd->midiInfos;
    const int type = int(sd->midiStream->fileType);
    const uint32_t headerSize = mfxHeaderSize(type);
    std::memset(HeaderMFx, 0, sizeof HeaderMFx);
    if (!mi->data || mi->dataLength < headerSize) {
        logMsg(3, SRC, __LINE__, "Container shorter than its header: %u bytes", mi->dataLength);
        return 0;
    }
    std::memcpy(HeaderMFx, mi->data, headerSize);

    const uint8_t *payload = mi->data + headerSize;
    const uint32_t payloadSize = mi->dataLength - headerSize;
    if (payloadSize < 4)
        return 0;
    const uint32_t decodedLength = readU32le(payload);
    if (decodedLength == 0 || decodedLength > conversionBuffer->size()) {
        logMsg(3, SRC, __LINE__, "Container decoded length out of range: %u", decodedLength);
        return 0;
    }

    lzhufStart(payload + 4, payloadSize - 4);
    uint32_t total = 0;
    while (total < decodedLength) {
        const int chunk = int(std::min<uint32_t>(SECTOR_SIZE, decodedLength - total));
        const int got = DecodeNext(chunk, conversionBuffer->data() + total);
        if (got != chunk) {
            logMsg(3, SRC, __LINE__, "Container payload ends after %u of %u bytes", total, decodedLength);
            return 0;
        }
        total += uint32_t(got);
    }
    mi->data = conversionBuffer->data();
    mi->dataLength = decodedLength;
    return 1;
}

int LoadSmf0Sector(s_StreamData *sd)
{
    assert(EXTRACT_IsLockedByThisThread());
    if (isEOF)
        return 1;
    const MidiInfos *mi = sd->midiInfos;
    const uint32_t length = mi->dataLength;
    const uint32_t n = sectorPos < length ? std::min(SECTOR_SIZE, length - sectorPos) : 0;
    std::memcpy(appendBuffer, mi->data + sectorPos, n);
    std::memset(appendBuffer + n, 0, SECTOR_SIZE - n);
    sectorPos += n;
    ByteDecoded = SECTOR_SIZE;
    ++cntBD;
    if (uint64_t(SECTOR_SIZE) * cntBD < length)
        return 0;
    isEOF = 1;
    uint32_t e = uint32_t(uint64_t(SECTOR_SIZE) * cntBD - length);
    if (e >= 4) {
        std::memcpy(appendBuffer + (SECTOR_SIZE - e), END_OF_TRACK, 4);
        e -= 4;
    }
    ByteDecoded = SECTOR_SIZE - e;
    return 1;
}

int DecodeFileInit(s_StreamData *sd)
{
    assert(EXTRACT_IsLockedByThisThread());
    isEOF = 0;
    cntBD = 0;
    sectorPos = 0;
    ByteDecoded = 0;
    if (!sd || !sd->midiStream || !sd->midiInfos)
        return 0;
    MidiInfos *mi = sd->midiInfos;
    if (!mi->data || mi->dataLength == 0) {
        mi->dataLength = 0;
        return 0;
    }
    const int type = int(sd->midiStream->fileType);
    if (type == FILE_TYPE_MF3 || type == FILE_TYPE_MF4 || type == FILE_TYPE_MF5) {
        if (!prepareStreamMFx(sd))
            return 0;
    } else if (type == FILE_TYPE_MIDI) {
        const uint8_t format = sd->midiStream->smfFormat;
        // The normaliser reads a format-0 track right behind a 6-byte header;
        // one that stands elsewhere (behind chunks of other kinds, or a longer
        // header) is brought there by the merge, as a song of one track.
        if (format == 1 || (format == 0 && !trackFollowsHead(mi->data, mi->dataLength))) {
            if (!prepareStreamMidiType1(sd))
                return 0;
        } else if (format != 0) {
            // Format 2 holds independent sequences, not parts to play together.
            logMsg(1, SRC, __LINE__, "MIDI file format %u is not supported (only formats 0 and 1)",
                   unsigned(format));
            return 0;
        }
    } else {
        logMsg(1, SRC, __LINE__, "Not a MIDI song (file type %d)", type);
        return 0;
    }
    LoadSmf0Sector(sd);
    return 1;
}

void DecodeFileExit()
{
}
