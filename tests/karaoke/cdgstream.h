// CD+G packets for tests and the benchmark, written by the published packet
// layout: command 9, instruction, two parity bytes, 16 data bytes, four
// parity bytes.
#pragma once

#include <QByteArray>
#include <QVector>
#include <cstdint>
#include <initializer_list>

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

inline QByteArray memoryPreset(int colour, int repeat = 0) { return packet(1, {colour, repeat}); }
inline QByteArray borderPreset(int colour) { return packet(2, {colour}); }
inline QByteArray transparent(int colour) { return packet(28, {colour}); }

// rows: twelve 6-bit pixel rows, bit 0x20 leftmost.
inline QByteArray tile(int colour0, int colour1, int row, int column, const QVector<int> &rows,
                       bool xorMode = false)
{
    QVector<int> d{colour0, colour1, row, column};
    for (int r = 0; r < 12; ++r)
        d.append(rows.value(r % qMax(1, int(rows.size())), 0));
    return packet(xorMode ? 38 : 6, d);
}

// h and v: command in bits 4-5 (2 left or up, 1 right or down), offset below.
inline QByteArray scroll(int colour, int h, int v, bool copy)
{
    return packet(copy ? 24 : 20, {colour, h, v});
}

// Eight 12-bit colours 0xRGB into entries 0-7 (low) or 8-15.
inline QByteArray colours(bool high, const QVector<int> &rgb)
{
    QVector<int> d;
    for (int k = 0; k < 8; ++k) {
        const int c = rgb.value(k);
        d << (((c >> 8) & 15) << 2 | ((c >> 6) & 3)) << (((c >> 4) & 3) << 4 | (c & 15));
    }
    return packet(high ? 31 : 30, d);
}

// A song-like stream: colour tables, a preset and a border, then tiles,
// XOR tiles and now and then a scroll, with empty packets between them.
inline QByteArray scene(int packets, uint32_t seed = 1)
{
    auto next = [&seed] { seed = seed * 1664525u + 1013904223u; return int(seed >> 8); };
    QByteArray s = colours(false, {0x000, 0xF00, 0x0F0, 0x00F, 0xFF0, 0x0FF, 0xF0F, 0xFFF}) +
                   colours(true, {0x111, 0x222, 0x333, 0x444, 0x555, 0x666, 0x777, 0x888}) +
                   memoryPreset(1) + borderPreset(2);
    int hOffset = 0;
    while (s.size() < packets * 24) {
        const int kind = next() % 16;
        if (kind < 8) {
            QVector<int> rows;
            for (int r = 0; r < 12; ++r)
                rows << next() % 64;
            s += tile(next() % 16, next() % 16, next() % 18, next() % 50, rows, kind == 7);
        } else if (kind == 8) {
            // Copies roll one way at a time, as discs use them; offsets only across;
            // every scroll moves (ffmpeg shows a stale frame after one that does not).
            const bool copy = next() % 2 == 0;
            const bool across = !copy || next() % 2 == 0;
            if (across)
                hOffset = next() % 6;
            const int h = (across ? (1 + next() % 2) << 4 : 0) | hOffset;
            const int v = copy && across ? 0 : (across ? next() % 3 : 1 + next() % 2) << 4;
            s += scroll(next() % 16, h, v, copy);
        } else {
            s += QByteArray(24, 0);
        }
    }
    return s.left(packets * 24);
}

} // namespace CdgStream
