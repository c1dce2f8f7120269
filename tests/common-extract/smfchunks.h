// Chunks of a kind no player knows, put by hand into a Standard MIDI File
// where the standard allows them. Their bytes hold a whole track chunk, so a
// reader that searches for "MTrk" instead of walking the chunks is caught.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

namespace SmfChunks {

// The header chunk, then every chunk whole, in file order.
inline QList<QByteArray> split(const QByteArray &smf)
{
    const auto chunkSize = [&smf](qsizetype p) { return 8 + qFromBigEndian<quint32>(smf.constData() + p + 4); };
    QList<QByteArray> out{smf.left(chunkSize(0))};
    for (qsizetype p = out[0].size(); p + 8 <= smf.size(); p += out.last().size())
        out.append(smf.mid(p, chunkSize(p)));
    return out;
}

// smf with an unknown chunk in front of each track numbered in before (the
// track count puts one behind them all).
inline QByteArray insert(const QByteArray &smf, const QList<int> &before)
{
    const QList<QByteArray> chunks = split(smf);
    QByteArray out = chunks[0];
    for (int i = 1; i <= chunks.size(); ++i) {
        if (before.contains(i - 1))
            out += QByteArray("XFI") + char('H' + i) + QByteArray("\0\0\0\x0F" "XF\0MTrk\0\0\0\4\0\xFF\x2F\0", 19);
        out += chunks.value(i);
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
        out += out.isEmpty() || chunk.startsWith("MTrk") ? chunk : QByteArray();
    return out;
}

} // namespace SmfChunks
