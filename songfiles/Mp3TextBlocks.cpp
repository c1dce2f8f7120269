#include "Mp3TextBlocks.h"

#include "Id3Tag.h"

#include <algorithm>
#include <cstring>

namespace Mp3TextBlocks {

namespace {

const char *const kNames[] = {LYRICS, COLORS, CHORDS, MARKER, MIDITK};
constexpr int NAME_CHARS = 6;
constexpr char kBeginTail[] = "BEGININD0000211LYR";
constexpr int BEGIN_TAIL_CHARS = sizeof kBeginTail - 1;
constexpr int BEGIN_CHARS = NAME_CHARS + BEGIN_TAIL_CHARS;
constexpr int END_CHARS = NAME_CHARS + 3;
constexpr int LENGTH_DIGITS = 5;
constexpr int LENGTH_DIGITS_MAX = 9;
constexpr int TRAILER_ADD = 50;
constexpr int SPACES_LOOKED_AT = TEXT_EV_SIZE;

struct Block {
    int begin = -1;
    int dataStart = 0;
    int dataEnd = 0;
    int end = 0;
};

QByteArray digits(qint64 value)
{
    return QByteArray::number(value).rightJustified(LENGTH_DIGITS, '0');
}

bool isName(const QByteArray &bytes, int pos)
{
    for (const char *name : kNames)
        if (bytes.size() - pos >= NAME_CHARS && std::memcmp(bytes.constData() + pos, name, NAME_CHARS) == 0)
            return true;
    return false;
}

// The block whose begin marker stands at p, by its length field when that
// matches the trailer, else up to its end marker.
Block blockAt(const QByteArray &b, int p)
{
    Block bl;
    const QByteArray name = b.mid(p, NAME_CHARS);
    int q = p + BEGIN_CHARS;
    qint64 n = 0;
    int count = 0;
    while (q < b.size() && count < LENGTH_DIGITS_MAX && b[q] >= '0' && b[q] <= '9') {
        n = n * 10 + (b[q] - '0');
        ++q;
        ++count;
    }
    if (b.mid(q, 2) == "\r\n")
        q += 2;
    const QByteArray tail = digits(n + TRAILER_ADD) + name + "200\r\n";
    if (count > 0 && n <= b.size() - q && b.mid(q + int(n), tail.size()) == tail)
        return {p, q, q + int(n), q + int(n) + int(tail.size())};
    const int e = b.indexOf(name + "200", q);
    if (e < 0)
        return bl;
    bl = {p, q, e, e + END_CHARS};
    if (b.mid(bl.end, 2) == "\r\n")
        bl.end += 2;
    const QByteArray trailer = b.mid(e - LENGTH_DIGITS, LENGTH_DIGITS);
    if (e - LENGTH_DIGITS >= q && std::all_of(trailer.begin(), trailer.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        bl.dataEnd = e - LENGTH_DIGITS;
    return bl;
}

// The first block of that name behind the tag's frames; the data of other
// blocks on the way is skipped, so marker texts inside it are never taken.
Block find(const Id3Tag &tag, const char *name)
{
    const QByteArray &b = tag.bytes();
    int pos = tag.framesEnd();
    while (true) {
        const int h = b.indexOf(kBeginTail, pos + NAME_CHARS);
        if (h < 0)
            return Block();
        const int p = h - NAME_CHARS;
        if (!isName(b, p)) {
            pos = p + 1;
            continue;
        }
        const Block bl = blockAt(b, p);
        if (bl.begin >= 0 && std::memcmp(b.constData() + p, name, NAME_CHARS) == 0)
            return bl;
        pos = bl.begin >= 0 ? bl.end : p + 1;
    }
}

QByteArray line(uint32_t hundredths, const QByteArray &payload)
{
    return millisToString(uint64_t(hundredths) * 10) + payload + "\r\n";
}

QByteArray text(const char *chars, int size)
{
    return QByteArray(chars, int(strnlen(chars, size_t(size))));
}

} // namespace

QByteArray beginMarker(const char *name)
{
    return QByteArray(name) + kBeginTail;
}

QByteArray endMarker(const char *name)
{
    return QByteArray(name) + "200";
}

bool beginsAt(const QByteArray &bytes, int pos)
{
    return isName(bytes, pos) && bytes.mid(pos + NAME_CHARS, 5) == "BEGIN";
}

QByteArray build(const char *name, const QByteArray &data)
{
    return beginMarker(name) + digits(data.size()) + "\r\n" + data + digits(data.size() + TRAILER_ADD) +
           endMarker(name) + "\r\n";
}

int insert(Id3Tag &tag, const char *name, const QByteArray &data, int pos)
{
    return data.isEmpty() ? 0 : tag.insertBytes(pos, build(name, data));
}

int remove(Id3Tag &tag, const char *name)
{
    const Block bl = find(tag, name);
    return bl.begin < 0 ? 0 : tag.removeBytes(bl.begin, bl.end - bl.begin);
}

bool get(const Id3Tag &tag, const char *name, QByteArray &out)
{
    const Block bl = find(tag, name);
    if (bl.begin < 0)
        return false;
    out = tag.bytes().mid(bl.dataStart, bl.dataEnd - bl.dataStart);
    return true;
}

QByteArray millisToString(uint64_t ms)
{
    const auto two = [](uint64_t v) { return QByteArray::number(v).rightJustified(2, '0'); };
    return "[" + two(ms / 60000) + ":" + two(ms % 60000 / 1000) + "." + two(ms % 1000 / 10) + "]";
}

QByteArray createLyrics(const QList<TEXT_EV> &rows)
{
    QByteArray out;
    for (const TEXT_EV &row : rows)
        out += line(row.tick, text(row.text, TEXT_EV_SIZE));
    return out;
}

QByteArray createColors(const QList<SYL_EV> &syllables, const QList<TEXT_EV> &rows)
{
    QByteArray out;
    for (const SYL_EV &s : syllables) {
        int position = s.offset;
        if (s.offset != 0 && s.offset != SYL_END_OF_ROW && s.row >= 0 && s.row < rows.size()) {
            const TEXT_EV &row = rows[s.row];
            position -= int(std::count(row.text, row.text + std::min(int(s.offset), SPACES_LOOKED_AT), ' '));
        }
        out += line(s.tick, QByteArray::number(position).rightJustified(3, '0'));
    }
    return out;
}

QByteArray createChords(const QList<CHORD_EV> &chords)
{
    QByteArray out;
    for (const CHORD_EV &c : chords)
        out += line(c.tick, text(c.name, CHORD_NAME_SIZE));
    return out;
}

QByteArray createMarkers(const QList<MARKER_EV> &markers)
{
    QByteArray out;
    for (const MARKER_EV &m : markers)
        out += line(m.time, text(m.name, MARKER_NAME_SIZE));
    return out;
}

} // namespace Mp3TextBlocks
