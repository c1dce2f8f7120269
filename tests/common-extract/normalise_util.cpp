#include "normalise_util.h"

#include <QtEndian>

QByteArray smfFile(int format, int division, const QVector<SmfTrack> &tracks)
{
    QByteArray out = QByteArray("MThd\0\0\0\6\0", 9) + char(format) + char(tracks.size() >> 8) +
                     char(tracks.size()) + char(division >> 8) + char(division);
    for (const SmfTrack &t : tracks) {
        QByteArray length(4, '\0');
        qToBigEndian(uint32_t(t.bytes.size()), length.data());
        out += "MTrk" + length + t.bytes;
    }
    return out;
}

QByteArray hexBytes(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out += char(b);
    return out;
}

QVector<StreamEvent> parseStream(const QByteArray &stream, int headSize, bool playMode,
                                 QString *error)
{
    QVector<StreamEvent> events;
    const auto *p = reinterpret_cast<const uint8_t *>(stream.constData());
    const int n = int(stream.size());
    int pos = headSize;
    uint32_t tick = 0;
    auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("%1 at offset %2").arg(why).arg(pos);
        return events;
    };
    auto vlq = [&](uint32_t &v) {
        v = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos >= n)
                return false;
            const uint8_t b = p[pos++];
            v = (v << 7) | (b & 0x7F);
            if (!(b & 0x80))
                return true;
        }
        return false;
    };
    if (error)
        error->clear();
    while (pos < n) {
        const uint32_t offset = uint32_t(pos);
        uint32_t delta;
        if (!vlq(delta))
            return fail(QStringLiteral("bad delta"));
        tick += delta;
        if (pos >= n)
            return fail(QStringLiteral("event missing"));
        const uint8_t status = p[pos];
        if (status < 0x80)
            return fail(QStringLiteral("no status byte"));
        int length = 0;
        const uint8_t kind = status & 0xF0;
        if (status == 0xF7 && playMode)
            return fail(QStringLiteral("escape in play mode"));
        if (status == 0xF0 || status == 0xFF || status == 0xF7) {
            const int save = pos;
            pos += status == 0xFF ? 2 : 1;
            uint32_t len;
            if (!vlq(len))
                return fail(QStringLiteral("bad length"));
            length = pos - save + int(len);
            pos = save;
        } else if (status == EXTRACT_EV_PORT || kind == 0xC0 || kind == 0xD0) {
            length = 2;
        } else if (kind >= 0x80 && kind <= 0xE0) {
            length = 3;
            if (kind == 0xA0 && playMode && status != EXTRACT_EV_BAR && status != EXTRACT_EV_BEAT &&
                status != EXTRACT_EV_HALF_BEAT)
                return fail(QStringLiteral("poly pressure in play mode"));
        } else {
            return fail(QStringLiteral("bad status"));
        }
        if (pos + length > n)
            return fail(QStringLiteral("event runs past the end"));
        for (int i = 1; i < length && status < 0xF0; ++i) {
            if (p[pos + i] >= 0x80)
                return fail(QStringLiteral("data byte with top bit"));
        }
        events.append({tick, stream.mid(pos, length), offset});
        pos += length;
        if (status == 0xFF && length >= 2 && p[pos - length + 1] == 0x2F) {
            if (pos != n)
                return fail(QStringLiteral("bytes after the end of track"));
            return events;
        }
    }
    return fail(QStringLiteral("no end of track"));
}

QVector<StreamEvent> withoutGrid(const QVector<StreamEvent> &events)
{
    QVector<StreamEvent> out;
    for (const StreamEvent &e : events) {
        const uint8_t s = uint8_t(e.bytes[0]);
        if (s != EXTRACT_EV_BAR && s != EXTRACT_EV_BEAT && s != EXTRACT_EV_HALF_BEAT)
            out.append(e);
    }
    return out;
}
