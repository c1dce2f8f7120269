// Standalone Standard MIDI File tool: reads a file into per-track event
// lists, counts channel messages per channel, moves one channel to another
// (the maker's track-parameter records included) and patches the changed
// bytes back into the file after keeping a one-time ".bak" copy.
//
// Chunks of other kinds, before, between or behind the tracks, are passed
// over and kept. Running status is read. Every length is checked against
// its chunk, so a hostile file fails with -1 instead of reading or
// allocating past it.
// writeMIDI checks the whole walk against the file in memory first and only
// then replaces the file (temporary file and rename): a file that no longer
// matches the lists is left as it was.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

struct ByteReader;

struct MIDIHeader {
    uint16_t format = 0;
    uint16_t tracks = 0;
};

struct TrackEvent {
    enum Type : uint32_t { Unrecognised = 0, Channel = 1, SysEx = 2, Meta = 3 };

    uint32_t type = Unrecognised;
    uint32_t delta = 0;
    uint8_t status = 0;          // the effective status, also under running status
    uint8_t data1 = 0;
    uint8_t data2 = 0;           // 0 for Cx and Dx
    uint32_t size = 0;           // bytes in the file, delta time included
    QByteArray data;             // payload of a SysEx or meta event
};

class MidiFunc
{
public:
    MidiFunc() = default;

    // 0, or -1 with a warning; the track list is replaced.
    int readMIDI(const QString &path);
    // counts[status & 0F] += 1 for every channel message; counts grows to 16.
    void findMIDIEventsPerChannel(QList<unsigned int> &counts) const;
    // to must be 0-15, else nothing changes.
    void changeMIDIChannel(uint8_t from, uint8_t to);
    // 0, or -1 with a warning and the file untouched.
    int writeMIDI(const QString &path);

    const MIDIHeader &header() const { return m_header; }
    const QList<QList<TrackEvent>> &tracks() const { return m_tracks; }

    // Reading steps over the file's bytes; bytesLeft counts down the chunk.
    int getHeader(ByteReader &file, MIDIHeader &header);
    int getTracks(ByteReader &file, const MIDIHeader &header, QList<QList<TrackEvent>> &tracks);
    int getTrack(ByteReader &file, QList<TrackEvent> &events);
    bool getTrackEvent(ByteReader &file, TrackEvent &event, int64_t &bytesLeft);
    // Adds to value (zeroed by the caller) at most four 7-bit groups.
    static bool getVariableLengthQuantity(ByteReader &file, uint32_t &value, int64_t &bytesLeft);
    static bool getTimeDelta(ByteReader &file, uint32_t &value, int64_t &bytesLeft)
    {
        return getVariableLengthQuantity(file, value, bytesLeft);
    }
    static bool getLength(ByteReader &file, uint32_t &value, int64_t &bytesLeft)
    {
        return getVariableLengthQuantity(file, value, bytesLeft);
    }
    static void getEventSize(uint32_t &size, uint32_t a, uint32_t b) { size = a - b; }

private:
    MIDIHeader m_header;
    QList<QList<TrackEvent>> m_tracks;
    uint8_t m_runningStatus = 0;
};
