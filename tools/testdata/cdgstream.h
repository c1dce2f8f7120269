// CD+G packets by the published layout (command 9, instruction, two parity
// bytes, 16 data bytes, four parity bytes), for the tests and the benchmark.
#pragma once

#include <QByteArray>
#include <QVector>

namespace CdgStream {

inline QByteArray packet(int instruction, const QVector<int> &data, int command = 9)
{
    QByteArray p(24, 0);
    p[0] = char(command);
    p[1] = char(instruction);
    for (int i = 0; i < data.size() && i < 16; ++i)
        p[4 + i] = char(data[i]);
    return p;
}

// rows: pixel rows (bit 0x20 leftmost), repeated over the tile's twelve.
inline QByteArray tile(int colour0, int colour1, int row, int column, const QVector<int> &rows, bool xorMode = false)
{
    QVector<int> d{colour0, colour1, row, column};
    for (int r = 0; r < 12; ++r)
        d.append(rows[r % rows.size()]);
    return packet(xorMode ? 38 : 6, d);
}

// h and v: command in bits 4-5 (2 left or up, 1 right or down), offset below.
inline QByteArray scroll(int colour, int h, int v, bool copy) { return packet(copy ? 24 : 20, {colour, h, v}); }

// Eight 12-bit colours 0xRGB into entries 0-7 or 8-15.
inline QByteArray colours(bool high, const QVector<int> &rgb)
{
    QVector<int> d;
    for (int c : rgb)
        d << (((c >> 8) & 15) << 2 | ((c >> 6) & 3)) << (((c >> 4) & 3) << 4 | (c & 15));
    return packet(high ? 31 : 30, d);
}

} // namespace CdgStream
