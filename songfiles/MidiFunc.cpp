#include "MidiFunc.h"

#include "ByteReader.h"
#include "SafeSave.h"

#include <QDebug>
#include <QFile>

#include <cstring>

namespace {

// Larger files are not Standard MIDI Files this tool should hold in memory.
constexpr qint64 MAX_FILE_BYTES = 64 * 1024 * 1024;
constexpr uint32_t HEADER_CHUNK_MIN = 6;

// The maker's track-parameter records carry their track at payload byte 5.
constexpr int MAKER_RECORD_MIN = 24;
constexpr int MAKER_TRACK_BYTE = 5;

bool isMakerTrackRecord(const QByteArray &payload)
{
    if (payload.size() < MAKER_RECORD_MIN || !payload.startsWith(QByteArray("\x00\x20\x24\x00", 4)))
        return false;
    const uint8_t command = uint8_t(payload[4]);
    return command == 0x1E || command == 0x1F;
}

bool readWholeFile(const QString &path, QByteArray &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MAX_FILE_BYTES)
        return false;
    out = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool take(ByteReader &file, int64_t &bytesLeft, uint32_t n)
{
    return bytesLeft >= int64_t(n) && file.need(n);
}

bool readByte(ByteReader &file, int64_t &bytesLeft, uint8_t &out)
{
    if (!take(file, bytesLeft, 1))
        return false;
    file.u8(out);
    --bytesLeft;
    return true;
}

// Chunks of other kinds up to the next track (or the end) are passed over,
// as the standard asks of a reader; false for one that the file cuts short.
bool skipOtherChunks(ByteReader &file)
{
    while (file.need(8) && std::memcmp(file.here(), "MTrk", 4) != 0) {
        uint32_t length = 0;
        if (!file.skip(4) || !file.u32be(length) || !file.skip(length))
            return false;
    }
    return true;
}

} // namespace

int MidiFunc::readMIDI(const QString &path)
{
    QByteArray bytes;
    if (!readWholeFile(path, bytes)) {
        qWarning().noquote() << "readMIDI(): impossible to open the file!";
        return -1;
    }
    m_tracks.clear();
    ByteReader file(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
    if (getHeader(file, m_header) != 0) {
        qWarning().noquote() << "readMIDI(): error while reading file header!";
        return -1;
    }
    if (getTracks(file, m_header, m_tracks) != 0) {
        qWarning().noquote() << "readMIDI(): error while reading file content!";
        return -1;
    }
    return 0;
}

int MidiFunc::getHeader(ByteReader &file, MIDIHeader &header)
{
    if (!file.need(4)) {
        qWarning().noquote() << "getHeader(): not consistent chunkType!";
        return -1;
    }
    const QByteArray chunkType(reinterpret_cast<const char *>(file.here()), 4);
    file.skip(4);
    qDebug().noquote() << "[DEBUG] getHeader(): chunkType =" << chunkType;
    if (chunkType != "MThd") {
        qWarning().noquote() << "getHeader(): not consistent chunkType!";
        return -1;
    }
    uint32_t chunkLength = 0;
    uint16_t division = 0;
    if (!file.u32be(chunkLength) || chunkLength < HEADER_CHUNK_MIN || !file.u16be(header.format) ||
        !file.u16be(header.tracks) || !file.u16be(division) ||
        !file.skip(chunkLength - HEADER_CHUNK_MIN))
        return -1;
    qDebug().noquote() << "[DEBUG] getHeader(): chunkLength =" << chunkLength;
    qDebug().noquote() << "[DEBUG] getHeader(): format =" << header.format;
    qDebug().noquote() << "[DEBUG] getHeader(): tracks =" << header.tracks;
    if (header.format == 0 && header.tracks != 1) {
        qWarning().noquote() << "getHeader(): not consistent number of tracks!";
        return -1;
    }
    return 0;
}

int MidiFunc::getTracks(ByteReader &file, const MIDIHeader &header, QList<QList<TrackEvent>> &tracks)
{
    for (int t = 0; t < header.tracks; ++t) {
        QList<TrackEvent> events;
        if (getTrack(file, events) != 0)
            return -1;
        tracks.append(events);
    }
    return 0;
}

int MidiFunc::getTrack(ByteReader &file, QList<TrackEvent> &events)
{
    if (!skipOtherChunks(file)) {
        qWarning().noquote() << "getTrack(): a chunk runs past the end of the file";
        return -1;
    }
    const QByteArray chunkType = file.need(4)
        ? QByteArray(reinterpret_cast<const char *>(file.here()), 4) : QByteArray();
    file.skip(4);
    qDebug().noquote() << "[DEBUG] getTrack(): chunkType =" << chunkType;
    uint32_t chunkLength = 0;
    if (chunkType != "MTrk" || !file.u32be(chunkLength)) {
        qWarning().noquote() << "getTrack(): not consistent chunkType!";
        return -1;
    }
    qDebug().noquote() << "[DEBUG] getTrack(): chunkLength =" << chunkLength;
    m_runningStatus = 0;
    int64_t bytesLeft = chunkLength;
    while (bytesLeft > 0) {
        const int64_t before = bytesLeft;
        TrackEvent event;
        if (!getTimeDelta(file, event.delta, bytesLeft) || !getTrackEvent(file, event, bytesLeft)) {
            qWarning().noquote() << "getTrack(): event runs past the end of the track";
            return -1;
        }
        getEventSize(event.size, uint32_t(before), uint32_t(bytesLeft));
        events.append(event);
    }
    qDebug().noquote() << "[DEBUG] getTrack(): bytesLeft =" << bytesLeft;
    return 0;
}

bool MidiFunc::getTrackEvent(ByteReader &file, TrackEvent &event, int64_t &bytesLeft)
{
    uint8_t status = 0;
    if (!readByte(file, bytesLeft, status))
        return false;
    bool running = false;
    if (status < 0x80 && m_runningStatus) {
        running = true;
        event.data1 = status;
        status = m_runningStatus;
    }
    event.status = status;
    if (status >= 0x80 && status <= 0xEF) {
        event.type = TrackEvent::Channel;
        m_runningStatus = status;
        if (!running && !readByte(file, bytesLeft, event.data1))
            return false;
        if (status < 0xC0 || status > 0xDF)
            return readByte(file, bytesLeft, event.data2);
        return true;
    }
    if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        event.type = status == 0xFF ? TrackEvent::Meta : TrackEvent::SysEx;
        uint8_t metaType = 0;
        if (status == 0xFF && !readByte(file, bytesLeft, metaType))
            return false;
        uint32_t length = 0;
        if (!getLength(file, length, bytesLeft) || !take(file, bytesLeft, length))
            return false;
        event.data = QByteArray(reinterpret_cast<const char *>(file.here()), qsizetype(length));
        file.skip(length);
        bytesLeft -= length;
        return true;
    }
    event.type = TrackEvent::Unrecognised;
    return true;
}

bool MidiFunc::getVariableLengthQuantity(ByteReader &file, uint32_t &value, int64_t &bytesLeft)
{
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        if (!readByte(file, bytesLeft, b))
            return false;
        value = (value << 7) + (b & 0x7F);
        if (b < 0x80)
            return true;
    }
    return false;
}

void MidiFunc::findMIDIEventsPerChannel(QList<unsigned int> &counts) const
{
    while (counts.size() < 16)
        counts.append(0);
    for (const QList<TrackEvent> &track : m_tracks)
        for (const TrackEvent &e : track)
            if (e.status >= 0x80 && e.status <= 0xEF)
                ++counts[e.status & 0x0F];
}

void MidiFunc::changeMIDIChannel(uint8_t from, uint8_t to)
{
    if (to > 15)
        return;
    int statusChngd = 0;
    for (QList<TrackEvent> &track : m_tracks) {
        for (TrackEvent &e : track) {
            if (e.status >= 0x80 && e.status <= 0xEF && (e.status & 0x0F) == from) {
                e.status = uint8_t((e.status & 0xF0) + to);
                ++statusChngd;
            } else if (e.status == 0xF0) {
                qDebug().noquote() << "[DEBUG] changeMIDIChannel(): SysEx" << e.data.toHex(' ');
                if (isMakerTrackRecord(e.data) && uint8_t(e.data[MAKER_TRACK_BYTE]) == from)
                    e.data[MAKER_TRACK_BYTE] = char(to);
            }
        }
    }
    qDebug().noquote() << "[DEBUG] changeMIDIChannel(): statusChngd =" << statusChngd;
}

int MidiFunc::writeMIDI(const QString &path)
{
    QString why;
    // No backup of a song that cannot be written: a read-only copy of it
    // would be restored over the song later, read-only too.
    if (!SafeSave::checkWritable(path, &why))
        qWarning().noquote() << "writeMIDI():" << path << why;
    else if (!SafeSave::makeBackup(path, &why))
        qWarning().noquote() << "writeMIDI(): could not keep a backup of" << path << why;

    QByteArray bytes;
    if (!readWholeFile(path, bytes)) {
        qWarning().noquote() << "writeMIDI(): impossible to open the file!";
        return -1;
    }
    // The walk patches a copy; the file is replaced only when every event
    // landed where the lists say, up to the last byte.
    ByteReader file(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(bytes.size()));
    uint32_t headerLength = 0;
    bool inStep = file.skip(4) && file.u32be(headerLength) && file.skip(headerLength);
    for (int t = 0; inStep && t < m_tracks.size(); ++t) {
        uint32_t chunkLength = 0;
        inStep = skipOtherChunks(file) && file.skip(4) && file.u32be(chunkLength) && file.need(chunkLength);
        const uint32_t trackEnd = file.pos + chunkLength;
        for (const TrackEvent &e : m_tracks[t]) {
            if (!inStep)
                break;
            const uint32_t at = file.pos;
            uint32_t delta = 0;
            int64_t left = trackEnd - at;
            inStep = e.size <= trackEnd - at && getTimeDelta(file, delta, left) && delta == e.delta;
            if (!inStep)
                break;
            const uint32_t statusAt = file.pos;
            inStep = statusAt - at < e.size;
            if (!inStep)
                break;
            const uint8_t inFile = file.data[statusAt];
            if (e.type == TrackEvent::Channel && inFile >= 0x80) {
                inStep = (inFile & 0xF0) == (e.status & 0xF0);
                bytes[statusAt] = char(e.status);
            } else if (e.type == TrackEvent::SysEx && isMakerTrackRecord(e.data)) {
                const uint32_t payloadAt = at + e.size - uint32_t(e.data.size());
                inStep = inFile == e.status && e.size > uint32_t(e.data.size()) &&
                         bytes.mid(payloadAt, MAKER_TRACK_BYTE) == e.data.left(MAKER_TRACK_BYTE);
                if (inStep)
                    bytes[payloadAt + MAKER_TRACK_BYTE] = e.data[MAKER_TRACK_BYTE];
            }
            file.pos = at + e.size;
        }
        inStep = inStep && file.pos == trackEnd;
    }
    inStep = inStep && skipOtherChunks(file);
    if (!inStep || !file.atEnd()) {
        qWarning().noquote() << "writeMIDI(): MIDI file not correctly overwritten (EOF not reached)!";
        return -1;
    }
    if (!SafeSave::writeFile(path, {bytes}, &why)) {
        qWarning().noquote() << "writeMIDI(): impossible to write the file!" << why;
        return -1;
    }
    qDebug().noquote() << "[DEBUG] writeMIDI(): MIDI file correctly overwritten.";
    return 0;
}
