// Test support for the normaliser: a small MIDI file builder and a reader of
// the normalised stream, beside the loaded song.
#pragma once

#include "ExtractProc.h"
#include "StreamData.h"
#include "loadedsong.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <initializer_list>

// One track of a standard MIDI file, built event by event.
struct SmfTrack {
    QByteArray bytes;

    static QByteArray vlq(uint32_t v)
    {
        QByteArray out;
        out.prepend(char(v & 0x7F));
        while (v >>= 7)
            out.prepend(char(0x80 | (v & 0x7F)));
        return out;
    }
    SmfTrack &ev(uint32_t delta, std::initializer_list<int> data)
    {
        bytes += vlq(delta);
        for (int b : data)
            bytes += char(b);
        return *this;
    }
    SmfTrack &meta(uint32_t delta, int type, const QByteArray &data)
    {
        bytes += vlq(delta);
        bytes += char(0xFF);
        bytes += char(type);
        bytes += vlq(uint32_t(data.size()));
        bytes += data;
        return *this;
    }
    // data without the F0, with the closing F7.
    SmfTrack &sysex(uint32_t delta, const QByteArray &data)
    {
        bytes += vlq(delta);
        bytes += char(0xF0);
        bytes += vlq(uint32_t(data.size()));
        bytes += data;
        return *this;
    }
    SmfTrack &end(uint32_t delta = 0) { return meta(delta, 0x2F, {}); }
};

QByteArray smfFile(int format, int division, const QVector<SmfTrack> &tracks);
inline QByteArray smf0(int division, const SmfTrack &track) { return smfFile(0, division, {track}); }

struct StreamEvent {
    uint32_t tick;
    QByteArray bytes;
    uint32_t offset;      // of the delta in front of the event
};

// Events of a normalised stream (play mode: A8/A9/AA are grid points).
// Fails (error set) on anything outside the byte contract.
QVector<StreamEvent> parseStream(const QByteArray &stream, int headSize, bool playMode,
                                 QString *error);
// The same without grid points.
QVector<StreamEvent> withoutGrid(const QVector<StreamEvent> &events);
QByteArray hexBytes(std::initializer_list<int> bytes);
