// Walking the events of a Standard MIDI File held in memory. Every reader that
// looks for particular events (the maker's settings records, text and tempo
// meta events) walks with these, so that bytes inside another event - a delta
// time, a text, a SysEx - are never taken for an event of their own.
#pragma once

#include <cstdint>
#include <cstring>

struct SmfEvent {
    int pos = 0;          // its delta time
    int delta = 0;
    int statusPos = -1;   // its status byte; -1 under running status
    uint8_t status = 0;   // the status in force (F0, F7, FF or a channel status)
    uint8_t metaType = 0;
    int dataPos = 0;      // payload of a SysEx or meta event
    int dataLength = 0;
    int end = 0;          // one past its last byte
};

// Walks the events of the track data [start, end) of data in order and calls
// visit(event) for each until it returns true; then event holds that one and
// the result is true. False at the end of the track or at the first bytes
// that are no event (the rest of that track is not read).
template <typename Visit>
bool walkSmfTrack(const uint8_t *data, int start, int end, Visit &&visit, SmfEvent *event = nullptr)
{
    // A variable-length quantity of at most four bytes inside the track.
    const auto vlq = [data, end](int &p, int &value) {
        value = 0;
        for (int i = 0; i < 4 && p < end; ++i) {
            const uint8_t b = data[p++];
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    };
    uint8_t running = 0;
    for (int p = start; p < end;) {
        SmfEvent e;
        e.pos = p;
        if (!vlq(p, e.delta) || p >= end)
            return false;
        const uint8_t first = data[p];
        if (first >= 0x80) {
            e.statusPos = p++;
            e.status = first;
        } else if (running) {
            e.status = running;
        } else {
            return false;
        }
        if (e.status < 0xF0) {
            running = e.status;
            const int bytes = (e.status & 0xE0) == 0xC0 ? 1 : 2;
            if (end - p < bytes)
                return false;
            for (int i = 0; i < bytes; ++i) {
                if (data[p++] & 0x80)
                    return false;
            }
        } else if (e.status == 0xF0 || e.status == 0xF7 || e.status == 0xFF) {
            if (e.status == 0xFF) {
                if (p >= end)
                    return false;
                e.metaType = data[p++];
            }
            if (!vlq(p, e.dataLength) || e.dataLength > end - p)
                return false;
            e.dataPos = p;
            p += e.dataLength;
        } else {
            return false; // no event of a MIDI file starts so
        }
        e.end = p;
        if (visit(e)) {
            if (event)
                *event = e;
            return true;
        }
    }
    return false;
}

// Calls visitTrack(index, start, end) for each "MTrk" chunk of an SMF image
// in file order, other chunks skipped, a track that claims more bytes than
// the image holds cut at its end; stops when visitTrack returns true.
template <typename VisitTrack>
void walkSmfTracks(const uint8_t *data, uint32_t length, VisitTrack &&visitTrack)
{
    if (!data || length < 14 || std::memcmp(data, "MThd", 4) != 0)
        return;
    const auto u32 = [data](uint32_t p) {
        return uint32_t(data[p]) << 24 | uint32_t(data[p + 1]) << 16 | uint32_t(data[p + 2]) << 8 | data[p + 3];
    };
    // Images are bounded far below 2 GiB; offsets stay in int from here.
    const uint32_t size = length > 0x7FFFFFFFu ? 0x7FFFFFFFu : length;
    uint64_t p = 8 + uint64_t(u32(4));
    for (int index = 0; p + 8 <= size; ++index) {
        const bool track = std::memcmp(data + p, "MTrk", 4) == 0;
        const uint64_t start = p + 8;
        const uint64_t end = start + u32(uint32_t(p + 4));
        const int last = int(end < size ? end : size);
        if (track && visitTrack(index, int(start), last))
            return;
        if (!track)
            --index;
        p = end;
    }
}
