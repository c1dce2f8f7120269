// Chunks of a kind no player knows, put by hand into a Standard MIDI File
// where the standard allows them. Their bytes hold a whole track chunk, so a
// reader that searches for "MTrk" instead of walking the chunks is caught.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

namespace SmfChunks {

inline quint32 be32At(const QByteArray &d, qsizetype pos)
{
    return qFromBigEndian<quint32>(d.constData() + pos);
}

// The header chunk, then every chunk whole, in file order.
inline QList<QByteArray> split(const QByteArray &smf)
{
    QList<QByteArray> out{smf.left(8 + be32At(smf, 4))};
    for (qsizetype p = out[0].size(); p + 8 <= smf.size();) {
        const qsizetype n = 8 + be32At(smf, p + 4);
        out.append(smf.mid(p, n));
        p += n;
    }
    return out;
}

inline QByteArray unknownChunk(int n)
{
    const QByteArray body = QByteArray("XF") + char('A' + n) + QByteArray("\x00MTrk\x00\x00\x00\x04\x00\xFF\x2F\x00", 13);
    QByteArray size(4, '\0');
    qToBigEndian(quint32(body.size()), size.data());
    return QByteArray("XFI") + char('H' + n) + size + body;
}

// smf with one unknown chunk in front of each track numbered in before (a
// number past the last track puts it behind them).
inline QByteArray insert(const QByteArray &smf, const QList<int> &before)
{
    const QList<QByteArray> chunks = split(smf);
    QByteArray out = chunks[0];
    for (int i = 1; i <= chunks.size(); ++i) {
        if (before.contains(i - 1))
            out += unknownChunk(i);
        if (i < chunks.size())
            out += chunks[i];
    }
    return out;
}

// The chunks that are no track, each with its place among all the chunks.
inline QList<QPair<int, QByteArray>> others(const QByteArray &smf)
{
    QList<QPair<int, QByteArray>> out;
    const QList<QByteArray> chunks = split(smf);
    for (int i = 1; i < chunks.size(); ++i)
        if (!chunks[i].startsWith("MTrk"))
            out.append({i, chunks[i]});
    return out;
}

inline QByteArray withoutOthers(const QByteArray &smf)
{
    QByteArray out;
    for (const QByteArray &chunk : split(smf))
        if (out.isEmpty() || chunk.startsWith("MTrk"))
            out += chunk;
    return out;
}

} // namespace SmfChunks
