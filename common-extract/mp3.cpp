#include "mp3.h"

#include "ByteReader.h"
#include "ExtractLock.h"
#include "logmsg.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>

namespace {

const char kLogFile[] = "../common-extract/mp3";
constexpr size_t npos = size_t(-1);

constexpr int ROWS_PER_REFILL = 10;
constexpr int SYLS_PER_REFILL = 40;
constexpr int CHORDS_PER_REFILL = 30;

constexpr int FIRST_TAG_CHARS = 9;           // characters up to and with "]"
constexpr int FIRST_TAG_CHARS_TRAILING = 7;
constexpr int NEXT_ROW_SCAN_CHARS = 200;
constexpr int TAG_CLOSE_MIN = 6;             // "]" this far after "[" closes a tag
constexpr int TAG_CLOSE_MAX = 10;
constexpr int TAG_GIVE_UP = 11;
constexpr int NEXT_TAG_CHARS = 30;           // colours and chords
constexpr long CHORD_SEARCH_BYTES = 99999;
constexpr int WL5_TIME_CHARS = 7;
constexpr int COLOR_DIGITS = 3;
constexpr int TRAILER_CHARS = 15;            // size digits and end marker before "LYRICS200"

constexpr uint32_t TRAILING_SYL_DELAY = 20;
constexpr uint32_t WL5_FIRST_SYL_TIME = 200;
constexpr uint32_t SYLT_ROW_GAP = 10;

constexpr int SYLT_TEXT_CAP = 256;           // decoded characters kept of one syllable

const char kOwnNames[][7] = {"LYRICS", "COLORS", "CHORDS", "MARKER", "MIDITK"};
constexpr int OWN_NAME_CHARS = 6;
constexpr int BEGIN_MARKER_CHARS = 11;       // NAME + "BEGIN"
constexpr int LYRICS3_FIELD_HEAD = 8;        // 3-letter id + 5 size digits
constexpr int LYRICS3_MAX_FIELDS = 16;

enum Id3Encoding { ENC_LATIN1 = 0, ENC_UTF16 = 1, ENC_UTF16BE = 2, ENC_UTF8 = 3 };
constexpr uint8_t SYLT_FORMAT_MS = 2;

struct Stream {
    size_t pos;
    size_t end;                  // end of the block's data (or of the file)
    bool found;
    bool ended;
    uint32_t nextTime;
};

// Data of one own or Lyrics3 v2 block.
struct Region {
    size_t marker = npos;        // "NAMEBEGIN"
    size_t begin = 0;
    size_t end = 0;
    bool bounded = false;        // its length field was read
};

struct Reader {
    const uint8_t *data;
    size_t size;
    size_t tagEnd;               // end of the ID3v2 tag, 0 when none
    size_t scanStart;            // where block searches begin (after the ID3v2 frames)
    Stream txt, col, cho;
    size_t txtSearchFrom;        // where the colour search starts
    size_t colSearchFrom;        // where the chord search starts after colours
    bool trailing;
    bool wl5;
    bool sylt;
    uint32_t LenSylt;

    // SYLT frame
    int syltEncoding;
    bool utf16LittleEndian;
    char bufferMevText[MP3_SYLT_LINE_CHARS];
    int ptrTextLine;
    int cntSyl;                  // visible characters of the row so far
    int pendingStart;            // line buffer index where the current syllable began
    bool rowHasSyl;
    bool rowHasFirstSyl;
    uint32_t rowFirstSylTime;
    uint32_t rowStart;
    uint32_t lastSylTime;

    // colours
    int prevColOffset;
    bool firstCol;
};

Reader g;

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

bool matchAt(size_t p, const char *s, size_t n)
{
    return p <= g.size && g.size - p >= n && std::memcmp(g.data + p, s, n) == 0;
}

size_t findBytes(const char *pattern, size_t n, size_t from, size_t to)
{
    to = std::min(to, g.size);
    if (from >= to || to - from < n)
        return npos;
    const void *hit = memmem(g.data + from, to - from, pattern, n);
    return hit ? size_t(static_cast<const uint8_t *>(hit) - g.data) : npos;
}

size_t findByte(uint8_t c, size_t from, size_t to)
{
    to = std::min(to, g.size);
    if (from >= to)
        return npos;
    const void *hit = std::memchr(g.data + from, c, to - from);
    return hit ? size_t(static_cast<const uint8_t *>(hit) - g.data) : npos;
}

// "mm:ss" or "mm.ss", optionally ":hh" or ".hh", after an optional "[".
// Hundredths and the characters used, or -1.
int parseTime(const uint8_t *t, size_t n, size_t *used)
{
    size_t i = 0;
    if (n > 0 && t[0] == '[')
        i = 1;
    auto sep = [](uint8_t c) { return c == ':' || c == '.'; };
    if (n - i < 5 || !isDigit(t[i]) || !isDigit(t[i + 1]) || !sep(t[i + 2]) ||
        !isDigit(t[i + 3]) || !isDigit(t[i + 4]))
        return -1;
    int value = ((t[i] - '0') * 10 + (t[i + 1] - '0')) * 6000 +
                ((t[i + 3] - '0') * 10 + (t[i + 4] - '0')) * 100;
    i += 5;
    if (n - i >= 3 && sep(t[i]) && isDigit(t[i + 1]) && isDigit(t[i + 2])) {
        value += (t[i + 1] - '0') * 10 + (t[i + 2] - '0');
        i += 3;
    }
    if (used)
        *used = i;
    return value;
}

// A whole tag "[...]" at p whose "]" lies at most maxChars after the "[".
// Its value, with *after the index behind the "]", or -1.
int readTag(size_t p, size_t end, int maxChars, size_t *after)
{
    end = std::min(end, g.size);
    if (p >= end || g.data[p] != '[')
        return -1;
    for (int i = 1; i <= maxChars && p + i < end; ++i) {
        if (g.data[p + i] != ']')
            continue;
        size_t used = 0;
        const int v = parseTime(g.data + p, size_t(i), &used);
        if (v < 0 || used != size_t(i))
            return -1;
        *after = p + i + 1;
        return v;
    }
    return -1;
}

// First tag that parses among the "[" in [from, end).
int firstTag(size_t from, size_t end, int maxChars, size_t *after)
{
    for (size_t q = findByte('[', from, end); q != npos; q = findByte('[', q + 1, end)) {
        const int v = readTag(q, end, maxChars, after);
        if (v >= 0)
            return v;
    }
    return -1;
}

// "NAMEBEGIN" at p: walks the Lyrics3 v2 fields that follow to the "LYR"
// field, whose size bounds the data; the own blocks put CR LF between that
// size and the data. Unbounded (to the end of the file) when a field does
// not read.
Region blockRegion(size_t p)
{
    Region r;
    r.marker = p;
    r.begin = std::min(g.size, p + BEGIN_MARKER_CHARS);
    r.end = g.size;
    size_t q = r.begin;
    for (int field = 0; field < LYRICS3_MAX_FIELDS; ++field) {
        if (q > g.size || g.size - q < size_t(LYRICS3_FIELD_HEAD))
            break;
        const uint8_t *f = g.data + q;
        bool ok = f[0] >= 'A' && f[0] <= 'Z' && f[1] >= 'A' && f[1] <= 'Z' &&
                  f[2] >= 'A' && f[2] <= 'Z';
        size_t n = 0;
        for (int i = 3; ok && i < LYRICS3_FIELD_HEAD; ++i) {
            ok = isDigit(f[i]);
            n = n * 10 + size_t(f[i] - '0');
        }
        if (!ok)
            break;
        size_t dataStart = q + LYRICS3_FIELD_HEAD;
        if (std::memcmp(f, "LYR", 3) == 0) {
            if (matchAt(dataStart, "\r\n", 2))
                dataStart += 2;
            r.begin = dataStart;
            r.end = std::min(g.size, dataStart + n);
            r.bounded = true;
            return r;
        }
        q = dataStart + n;
    }
    return r;
}

bool isOwnName(const uint8_t *p)
{
    for (const char *name : kOwnNames)
        if (std::memcmp(p, name, OWN_NAME_CHARS) == 0)
            return true;
    return false;
}

// The block "NAMEBEGIN" whose marker starts in [from, to); the data of other
// own blocks on the way (an opaque MIDI track, say) is skipped.
Region findOwnBlock(const char *name, size_t from, size_t to)
{
    to = std::min(to, g.size);
    size_t searchFrom = from + OWN_NAME_CHARS;
    while (true) {
        const size_t h = findBytes("BEGIN", 5, searchFrom, to + OWN_NAME_CHARS + 5);
        if (h == npos || h - OWN_NAME_CHARS >= to)
            return Region();
        const size_t p = h - OWN_NAME_CHARS;
        searchFrom = h + 1;
        if (p < from)
            continue;
        if (std::memcmp(g.data + p, name, OWN_NAME_CHARS) == 0)
            return blockRegion(p);
        if (isOwnName(g.data + p)) {
            const Region other = blockRegion(p);
            if (other.bounded && other.end > searchFrom)
                searchFrom = other.end;
        }
    }
}

// Starts a block's text at its first tag that parses; searchFrom, when
// given, gets where the search for the next block begins. False when there
// is no block or no tag in it.
bool openBlockText(const Region &block, int maxChars, Stream &text, size_t *searchFrom)
{
    if (block.marker == npos)
        return false;
    size_t after = 0;
    const int v = firstTag(block.begin, block.end, maxChars, &after);
    if (v < 0)
        return false;
    text = {after, block.end, true, false, uint32_t(v)};
    if (searchFrom)
        *searchFrom = block.bounded ? block.end : after;
    return true;
}

void resetReader(const uint8_t *file, size_t size)
{
    std::memset(&g, 0, sizeof g);
    g.data = file;
    g.size = file ? size : 0;
}

void resetCounts(MidiInfos *infos)
{
    infos->textRowCount = 0;
    infos->syllableCount = 0;
    infos->chordCount = 0;
}

bool addRow(MidiInfos *infos, const char *text, int length, uint32_t time)
{
    if (infos->textRowCount < 0 || infos->textRowCount >= MAX_TEXT_ROWS)
        return false;
    TEXT_EV &row = infos->textRows[infos->textRowCount++];
    std::memset(row.text, 0, sizeof row.text);
    std::memcpy(row.text, text, size_t(std::clamp(length, 0, TEXT_EV_SIZE - 1)));
    row.tick = time;
    return true;
}

bool addSyl(MidiInfos *infos, int offset, int row, uint32_t time)
{
    if (infos->syllableCount < 0 || infos->syllableCount >= MAX_SYLLABLES)
        return false;
    SYL_EV &s = infos->syllables[infos->syllableCount++];
    s.offset = uint8_t(std::clamp(offset, 0, int(SYL_END_OF_ROW)));
    s.row = int16_t(row);
    s.tick = time;
    return true;
}

bool addChord(MidiInfos *infos, const uint8_t *name, int length, uint32_t time)
{
    if (infos->chordCount < 0 || infos->chordCount >= MAX_CHORDS)
        return false;
    CHORD_EV &c = infos->chords[infos->chordCount++];
    std::memset(c.name, 0, sizeof c.name);
    std::memcpy(c.name, name, size_t(std::clamp(length, 0, MP3_CHORD_CHARS)));
    c.tick = time;
    return true;
}

// ---- ID3v2 frames ----------------------------------------------------------

bool validFrameId(const uint8_t *id)
{
    for (int i = 0; i < 4; ++i)
        if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9')))
            return false;
    return true;
}

// Index behind the terminator of a string of the frame's encoding at pos, or npos.
size_t skipEncodedString(size_t pos, size_t end, int encoding)
{
    if (encoding == ENC_UTF16 || encoding == ENC_UTF16BE) {
        for (size_t q = pos; q + 2 <= end; q += 2)
            if (g.data[q] == 0 && g.data[q + 1] == 0)
                return q + 2;
        return npos;
    }
    const size_t z = findByte(0, pos, end);
    return z == npos ? npos : z + 1;
}

// A SYLT frame with data in [begin, end): sets the reader up at its first
// syllable when its text can be read and its times are milliseconds.
bool setupSylt(size_t begin, size_t end, uint8_t major, uint8_t tagFlags, uint16_t frameFlags)
{
    const bool unsync = (tagFlags & 0x80) || (major == 4 && (frameFlags & 0x0002));
    const bool packed = major == 4 ? (frameFlags & 0x000C) : (frameFlags & 0x00C0);
    if (unsync || packed)
        return false;
    size_t p = begin;
    const bool grouped = major == 4 ? (frameFlags & 0x0040) : (frameFlags & 0x0020);
    if (grouped)
        ++p;
    if (major == 4 && (frameFlags & 0x0001))
        p += 4;                                  // data length indicator
    if (p > end || end - p < 6)
        return false;
    const uint8_t encoding = g.data[p];
    const uint8_t format = g.data[p + 4];
    if (encoding > ENC_UTF8 || format != SYLT_FORMAT_MS)
        return false;
    g.syltEncoding = encoding;
    g.utf16LittleEndian = false;
    p += 6;
    if (encoding == ENC_UTF16 && p + 2 <= end)
        g.utf16LittleEndian = g.data[p] == 0xFF && g.data[p + 1] == 0xFE;
    const size_t text = skipEncodedString(p, end, encoding);
    if (text == npos)
        return false;
    g.sylt = true;
    g.txt.found = true;
    g.txt.pos = text;
    g.txt.end = end;
    g.txt.nextTime = 0;
    g.rowStart = 0;
    return true;
}

// Walks the frames of an ID3v2.3 or v2.4 tag for the first usable SYLT frame.
// Block searches start where the walk stops: at the padding, at the own
// blocks behind the frames, or at the first thing that is not a frame.
void walkId3Frames()
{
    if (g.size < 10 || std::memcmp(g.data, "ID3", 3) != 0)
        return;
    const uint8_t major = g.data[3];
    const uint8_t flags = g.data[5];
    const size_t declaredEnd = size_t(10) + readSyncsafe32(g.data + 6);
    g.tagEnd = std::min(g.size, declaredEnd);
    g.scanStart = 10;
    if (major != 3 && major != 4)
        return;
    size_t pos = 10;
    if (flags & 0x40) {
        if (g.tagEnd < pos + 4)
            return;
        const size_t ext = major == 4 ? readSyncsafe32(g.data + pos) : size_t(readU32be(g.data + pos)) + 4;
        if (ext > declaredEnd - pos)
            return;
        pos += ext;
        g.scanStart = std::min(pos, g.size);
    }
    while (pos < g.size && g.size - pos >= 10 && declaredEnd - std::min(pos, declaredEnd) >= 10) {
        const uint8_t *h = g.data + pos;
        const size_t frameSize = major == 4 ? readSyncsafe32(h + 4) : readU32be(h + 4);
        const size_t begin = pos + 10;
        if (!validFrameId(h) || frameSize > declaredEnd - begin)
            break;
        const uint16_t frameFlags = uint16_t((h[8] << 8) | h[9]);
        const size_t end = begin + std::min(frameSize, g.size - begin);   // a cut file
        if (std::memcmp(h, "SYLT", 4) == 0 &&
            setupSylt(begin, end, major, flags, frameFlags)) {
            g.LenSylt = uint32_t(frameSize);
            g.scanStart = end;
            return;
        }
        pos = begin + frameSize;
        g.scanStart = std::min(pos, g.size);
    }
}

// ---- SYLT syllables --------------------------------------------------------

void putUtf32(uint32_t cp, char *out, int cap, int *n)
{
    if (*n < cap)
        out[(*n)++] = cp <= 0xFF ? char(cp) : '?';
}

// One terminated string of the frame's encoding at g.txt.pos, as Latin-1.
bool readSyltText(char *out, int cap, int *length)
{
    *length = 0;
    const size_t end = g.txt.end;
    size_t p = g.txt.pos;
    if (g.syltEncoding == ENC_LATIN1 || g.syltEncoding == ENC_UTF8) {
        const size_t z = findByte(0, p, end);
        if (z == npos)
            return false;
        if (g.syltEncoding == ENC_LATIN1) {
            for (; p < z; ++p)
                putUtf32(g.data[p], out, cap, length);
        } else {
            while (p < z) {
                const uint8_t c = g.data[p];
                int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2
                          : (c & 0xF8) == 0xF0 ? 3 : -1;
                uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F)
                            : extra == 2 ? (c & 0x0F) : (c & 0x07);
                if (extra < 0 || z - p <= size_t(extra)) {
                    putUtf32('?', out, cap, length);
                    ++p;
                    continue;
                }
                bool ok = true;
                for (int i = 1; i <= extra; ++i) {
                    const uint8_t cc = g.data[p + i];
                    ok = ok && (cc & 0xC0) == 0x80;
                    cp = (cp << 6) | (cc & 0x3F);
                }
                putUtf32(ok ? cp : '?', out, cap, length);
                p += ok ? size_t(extra) + 1 : 1;
            }
        }
        g.txt.pos = z + 1;
        return true;
    }
    bool little = g.syltEncoding == ENC_UTF16 && g.utf16LittleEndian;
    bool first = true;
    for (; p + 2 <= end; p += 2) {
        uint32_t u = little ? (g.data[p] | (g.data[p + 1] << 8))
                            : ((g.data[p] << 8) | g.data[p + 1]);
        if (u == 0) {
            g.txt.pos = p + 2;
            return true;
        }
        if (first && g.syltEncoding == ENC_UTF16 && (u == 0xFEFF || u == 0xFFFE)) {
            if (u == 0xFFFE) {
                little = !little;
                g.utf16LittleEndian = little;
            }
            first = false;
            continue;
        }
        first = false;
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && p + 4 <= end) {
                const uint32_t low = little ? (g.data[p + 2] | (g.data[p + 3] << 8))
                                            : ((g.data[p + 2] << 8) | g.data[p + 3]);
                if (low >= 0xDC00 && low <= 0xDFFF)
                    p += 2;                      // the pair stands for one character
            }
            u = '?';
        }
        putUtf32(u, out, cap, length);
    }
    return false;
}

// Start time of the row being read.
uint32_t syltRowStart()
{
    return g.rowHasFirstSyl ? std::min(g.rowStart, g.rowFirstSylTime) : g.rowStart;
}

void storeSyltSyl(MidiInfos *infos, uint32_t time)
{
    if (!addSyl(infos, g.cntSyl, infos->textRowCount, time)) {
        // The syllables of this row already stored keep their row: it is
        // stored up to the syllable that no longer fits.
        if (g.rowHasSyl)
            addRow(infos, g.bufferMevText, g.pendingStart, syltRowStart());
        g.txt.ended = true;
        return;
    }
    if (!g.rowHasFirstSyl) {
        g.rowHasFirstSyl = true;
        g.rowFirstSylTime = time;
    }
    g.rowHasSyl = true;
    g.lastSylTime = time;
}

// Closes the row of the first `keep` buffer characters; the characters from
// `moveFrom` on begin the next row. `now` is the time of the syllable being
// read, `ownSylStored` tells whether it already sits in the row being closed.
void endSyltRow(MidiInfos *infos, int keep, int moveFrom, uint32_t now, bool ownSylStored)
{
    // No empty row before the first one with text.
    if (infos->textRowCount > 0 || keep > 0 || g.rowHasSyl) {
        // An end that no longer fits ends the text, but the row is still
        // stored: its syllables point at it.
        if (g.rowHasSyl) {
            const uint32_t eor = ownSylStored ? now : std::max(g.lastSylTime, now > 0 ? now - 1 : 0);
            if (!addSyl(infos, SYL_END_OF_ROW, infos->textRowCount, eor))
                g.txt.ended = true;
        }
        if (!addRow(infos, g.bufferMevText, keep, syltRowStart()) || infos->textRowCount >= MAX_TEXT_ROWS ||
            g.txt.ended) {
            g.txt.ended = true;
            return;
        }
        if (g.rowHasSyl)
            g.rowStart = ownSylStored ? g.lastSylTime + SYLT_ROW_GAP
                                      : std::min(g.lastSylTime + SYLT_ROW_GAP, now);
    }
    const int moved = std::max(0, g.ptrTextLine - moveFrom);
    std::memmove(g.bufferMevText, g.bufferMevText + moveFrom, size_t(moved));
    g.ptrTextLine = moved;
    g.cntSyl = 0;
    for (int i = 0; i < moved; ++i)
        if (uint8_t(g.bufferMevText[i]) >= 33)
            ++g.cntSyl;
    g.pendingStart = 0;
    g.rowHasSyl = false;
    g.rowHasFirstSyl = false;
}

// The line buffer is full: break at its last blank that keeps the syllables
// already stored in the row, else before the current syllable.
void wrapSyltRow(MidiInfos *infos, uint32_t now)
{
    const int lowest = std::max(0, g.pendingStart - 1);
    for (int i = g.ptrTextLine - 1; i >= lowest; --i) {
        if (g.bufferMevText[i] == ' ') {
            endSyltRow(infos, i, i + 1, now, false);
            return;
        }
    }
    if (g.pendingStart > 0)
        endSyltRow(infos, g.pendingStart, g.pendingStart, now, false);
    else
        endSyltRow(infos, g.ptrTextLine, g.ptrTextLine, now, false);
}

void flushSyltRow(MidiInfos *infos)
{
    if (g.ptrTextLine > 0 || g.rowHasSyl)
        endSyltRow(infos, g.ptrTextLine, g.ptrTextLine, g.lastSylTime, true);
}

void refillSylt(MidiInfos *infos)
{
    char text[SYLT_TEXT_CAP];
    for (int n = 0; n < SYLS_PER_REFILL && !g.txt.ended; ++n) {
        int length = 0;
        if (!readSyltText(text, SYLT_TEXT_CAP, &length) || g.txt.pos > g.txt.end ||
            g.txt.end - g.txt.pos < 4) {
            flushSyltRow(infos);
            g.txt.ended = true;
            return;
        }
        const uint32_t now = getmp3SylTime(g.data + g.txt.pos);
        g.txt.pos += 4;
        g.pendingStart = g.ptrTextLine;
        bool pending = false;
        bool stored = false;
        for (int i = 0; i < length && !g.txt.ended; ++i) {
            const char c = text[i];
            if (c == '\n') {
                if (pending) {
                    storeSyltSyl(infos, now);
                    pending = false;
                    stored = true;
                }
                endSyltRow(infos, g.ptrTextLine, g.ptrTextLine, now, stored);
                continue;
            }
            if (c == '\r')
                continue;
            if (g.ptrTextLine >= MP3_SYLT_LINE_CHARS)
                wrapSyltRow(infos, now);
            if (g.txt.ended)
                break;
            g.bufferMevText[g.ptrTextLine++] = c;
            if (uint8_t(c) >= 33)
                ++g.cntSyl;
            pending = true;
        }
        if (!g.txt.ended && (pending || length == 0))
            storeSyltSyl(infos, now);
        if (g.txt.pos >= g.txt.end) {
            flushSyltRow(infos);
            g.txt.ended = true;
        }
    }
}

// ---- text, colour and chord blocks -----------------------------------------

// Next row time after a row's text; false when the text stream ends here.
bool nextRowTime()
{
    Stream &s = g.txt;
    if (g.wl5) {
        if (s.pos >= s.end || g.data[s.pos] != '|')
            return false;
        const size_t from = s.pos + 1;
        const size_t bar = findByte('|', from, std::min(s.end, from + WL5_TIME_CHARS + 1));
        if (bar == npos || bar == from)
            return false;
        const char *t = reinterpret_cast<const char *>(g.data + from);
        const int n = int(bar - from);
        int value;
        if (ismp3msecTime(t, n)) {
            long ms = 0;
            for (int i = 0; i < n && isDigit(uint8_t(t[i])); ++i)
                ms = ms * 10 + (t[i] - '0');
            value = int(ms / 10);
        } else {
            size_t used = 0;
            value = parseTime(g.data + from, size_t(n), &used);
            if (value < 0 || used != size_t(n))
                return false;
        }
        s.pos = bar + 1;
        if (s.pos < s.end && g.data[s.pos] == '|')
            return false;
        s.nextTime = uint32_t(value);
        return true;
    }
    size_t lastOpen = npos;
    for (int scanned = 0; scanned < NEXT_ROW_SCAN_CHARS; ++scanned) {
        if (s.pos >= s.end)
            return false;
        const uint8_t c = g.data[s.pos];
        if (c == '[') {
            lastOpen = s.pos;
        } else if (c == ']' && lastOpen != npos) {
            const size_t d = s.pos - lastOpen;
            size_t after = 0;
            if (d >= size_t(TAG_CLOSE_MIN) && d <= size_t(TAG_CLOSE_MAX)) {
                const int v = readTag(lastOpen, s.end, int(d), &after);
                if (v >= 0) {
                    s.pos = after;
                    s.nextTime = uint32_t(v);
                    return true;
                }
            }
        }
        if (lastOpen != npos && s.pos - lastOpen >= size_t(TAG_GIVE_UP))
            return false;
        ++s.pos;
    }
    return true;                                 // a new row at the same time
}

void readTextRow(MidiInfos *infos)
{
    Stream &s = g.txt;
    const uint32_t time = s.nextTime;
    const size_t start = s.pos;
    int n = 0;
    while (s.pos < s.end && n < MP3_ROW_READ_CHARS) {
        const uint8_t c = g.data[s.pos];
        if (c == '\r' || c == '\n' || c == 0 || (g.wl5 && c == '|'))
            break;
        ++s.pos;
        ++n;
    }
    int length = n;
    bool last = false;
    if (n >= 9 && std::memcmp(g.data + start + n - 9, "LYRICS200", 9) == 0) {
        last = true;
        length = std::max(0, n - TRAILER_CHARS);
    }
    const int row = infos->textRowCount;
    if (!addRow(infos, reinterpret_cast<const char *>(g.data + start),
                std::min(length, MP3_ROW_STORED_CHARS), time)) {
        s.ended = true;
        return;
    }
    if (g.trailing) {
        const uint32_t sylTime = g.wl5 && row == 0 ? WL5_FIRST_SYL_TIME : time + TRAILING_SYL_DELAY;
        addSyl(infos, SYL_END_OF_ROW, row, sylTime);
    }
    if (last || infos->textRowCount >= MAX_TEXT_ROWS || !nextRowTime())
        s.ended = true;
}

// Row of a syllable at `time`: the last row that starts before it. A row that
// starts exactly then moves 1/100 s later when the syllable goes on from the
// previous one (it ends the row before), else 1/100 s earlier.
int colourRow(MidiInfos *infos, uint32_t time, int offset)
{
    const int rows = infos->textRowCount;
    int r = 0;
    while (r < rows && infos->textRows[r].tick < time)
        ++r;
    const bool goesOn = g.firstCol || offset >= g.prevColOffset;
    if (r < rows && infos->textRows[r].tick == time) {
        if (goesOn) {
            infos->textRows[r].tick += 1;
            return std::max(0, r - 1);
        }
        infos->textRows[r].tick = time > 0 ? time - 1 : 0;
        return r;
    }
    return std::max(0, r - 1);
}

// After an entry of a colour or chord block: the next entry's time.
bool nextEntryTime(Stream &s, size_t from)
{
    const size_t open = findByte('[', from, std::min(s.end, from + NEXT_TAG_CHARS));
    if (open == npos)
        return false;
    size_t after = 0;
    const int v = readTag(open, s.end, FIRST_TAG_CHARS, &after);
    if (v < 0)
        return false;
    s.pos = after;
    s.nextTime = uint32_t(v);
    return true;
}

void readColour(MidiInfos *infos)
{
    Stream &s = g.col;
    const uint32_t time = s.nextTime;
    size_t p = s.pos;
    int digits = 0;
    int value = 0;
    while (p < s.end && isDigit(g.data[p]) && digits <= COLOR_DIGITS) {
        value = value * 10 + (g.data[p] - '0');
        ++digits;
        ++p;
    }
    const bool lineEnd = p >= s.end || g.data[p] == '\r' || g.data[p] == '\n' || g.data[p] == 0;
    if (digits == COLOR_DIGITS && lineEnd) {
        const int offset = std::min(value, int(SYL_END_OF_ROW));
        const int row = colourRow(infos, time, offset);
        if (!addSyl(infos, offset, row, time)) {
            s.ended = true;
            return;
        }
        g.prevColOffset = offset;
        g.firstCol = false;
    }
    while (p < s.end && g.data[p] != '\r' && g.data[p] != '\n' && g.data[p] != 0)
        ++p;
    if (!nextEntryTime(s, p))
        s.ended = true;
}

void readChord(MidiInfos *infos)
{
    Stream &s = g.cho;
    const uint32_t time = s.nextTime;
    const size_t start = s.pos;
    size_t p = start;
    while (p < s.end && g.data[p] != '\r' && g.data[p] != '\n' && g.data[p] != 0)
        ++p;
    if (!addChord(infos, g.data + start, int(std::min(p - start, size_t(MP3_CHORD_CHARS))), time)) {
        s.ended = true;
        return;
    }
    if (!nextEntryTime(s, p))
        s.ended = true;
}

} // namespace

// ---- time tags -----------------------------------------------------------------

int ismp3Time(const char *text, int length)
{
    if (!text || length <= 0)
        return 0;
    size_t used = 0;
    return parseTime(reinterpret_cast<const uint8_t *>(text), size_t(length), &used) >= 0;
}

int ismp3msecTime(const char *text, int length)
{
    if (!text || length <= 0)
        return 0;
    int i = text[0] == '[' ? 1 : 0;
    const int stop = std::min(length, i + 6);
    if (i >= stop)
        return 0;
    for (; i < stop; ++i)
        if (!isDigit(uint8_t(text[i])))
            return 0;
    return 1;
}

int getmp3time(const char *text, int length)
{
    if (!text || length <= 0)
        return -1;
    size_t used = 0;
    return parseTime(reinterpret_cast<const uint8_t *>(text), size_t(length), &used);
}

uint32_t getmp3SylTime(const uint8_t *p)
{
    return p ? readU32be(p) / 10 : 0;
}

// ---- text reader -----------------------------------------------------------------

void mp3_text_init(MidiInfos *infos)
{
    resetReader(nullptr, 0);
    if (infos)
        resetCounts(infos);
}

int mp3_load_txt(MidiInfos *infos, const uint8_t *file, long size, long tailLength)
{
    assert(EXTRACT_IsLockedByThisThread());
    resetReader(file, size > 0 ? size_t(size) : 0);
    if (!infos || !g.data)
        return 0;
    walkId3Frames();
    if (g.sylt)
        return 1;

    size_t pos = g.scanStart;
    size_t wl5 = npos;
    while (pos < g.size) {
        if (wl5 == npos || wl5 < pos)
            wl5 = findBytes("<WL5SYNCT>", 10, pos, g.size);
        const Region block = findOwnBlock("LYRICS", pos, g.size);
        if (wl5 != npos && (block.marker == npos || wl5 < block.marker)) {
            const size_t bar = findByte('|', wl5 + 10, g.size);
            if (bar == npos)
                return 0;
            g.trailing = g.wl5 = true;
            g.txt = {bar + 1, g.size, true, false, 0};
            return 1;
        }
        if (block.marker == npos)
            return 0;
        const long long lastByte = (long long)block.marker + BEGIN_MARKER_CHARS - 1;
        const bool trailing = tailLength > 0 && block.marker >= g.tagEnd &&
                              (long long)g.size - lastByte <= tailLength;
        if (openBlockText(block, trailing ? FIRST_TAG_CHARS_TRAILING : FIRST_TAG_CHARS, g.txt,
                          &g.txtSearchFrom)) {
            g.trailing = trailing;
            return 1;
        }
        pos = block.marker + BEGIN_MARKER_CHARS;
    }
    return 0;
}

int mp3_load_color(MidiInfos *infos)
{
    if (!infos || !g.txt.found || g.trailing || g.sylt)
        return 0;
    const Region block = findOwnBlock("COLORS", g.txtSearchFrom, g.size);
    if (!openBlockText(block, FIRST_TAG_CHARS, g.col, &g.colSearchFrom))
        return 0;
    g.firstCol = true;
    return 1;
}

int mp3_load_chords(MidiInfos *infos)
{
    if (!infos || g.trailing || g.sylt)
        return 0;
    const size_t from = g.col.found ? g.colSearchFrom : g.txt.found ? g.txtSearchFrom : g.scanStart;
    const size_t to = from + std::min<size_t>(CHORD_SEARCH_BYTES, g.size - std::min(from, g.size));
    return openBlockText(findOwnBlock("CHORDS", from, to), FIRST_TAG_CHARS, g.cho, nullptr) ? 1 : 0;
}

int mp3_refill_text(MidiInfos *infos)
{
    assert(EXTRACT_IsLockedByThisThread());
    if (!infos || !g.data)
        return 0;
    if (g.sylt) {
        if (!g.txt.ended)
            refillSylt(infos);
    } else {
        for (int n = 0; n < ROWS_PER_REFILL && g.txt.found && !g.txt.ended; ++n)
            readTextRow(infos);
        // A syllable finds its row only once every row is stored.
        if (!g.txt.found || g.txt.ended)
            for (int n = 0; n < SYLS_PER_REFILL && g.col.found && !g.col.ended; ++n)
                readColour(infos);
        for (int n = 0; n < CHORDS_PER_REFILL && g.cho.found && !g.cho.ended; ++n)
            readChord(infos);
    }
    return (g.txt.found && !g.txt.ended) || (g.col.found && !g.col.ended) ||
           (g.cho.found && !g.cho.ended);
}

int mp3_text_find_type(MidiInfos *infos, const uint8_t *file, long size, long tailLength)
{
    if (!infos)
        return 0;
    resetCounts(infos);
    mp3_load_txt(infos, file, size, tailLength);
    if (!g.trailing && !g.sylt) {
        mp3_load_color(infos);
        mp3_load_chords(infos);
    }
    while (mp3_refill_text(infos)) {
    }
    return 1;
}

// ---- audio -------------------------------------------------------------------

namespace {

// Bitrates in kbit/s by [MPEG-1 layer I, II, III, MPEG-2/2.5 layer I, II and III][index].
const int kBitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
// Sample rates by [MPEG-2.5, reserved, MPEG-2, MPEG-1][index]; index 3 is reserved.
const int kSampleRates[4][4] = {
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
};

constexpr int FRAME_HEADERS_CHECKED = 11;
constexpr int FRAME_REJECTS_ALLOWED = 5;
constexpr unsigned FRAME_REJECT_SKIP = 64;

bool frameHeaderAt(const uint8_t *p, size_t avail)
{
    if (avail < 3 || p[0] != 0xFF || p[1] == 0xFF)
        return false;
    const uint8_t b1 = p[1];
    return (b1 & 0xE0) == 0xE0 && ((b1 >> 3) & 3) != 1 && ((b1 >> 1) & 3) != 0 &&
           p[2] >= 16 && p[2] <= 239;
}

} // namespace

const uint8_t *seekToValidMp3Frame(const uint8_t *data, unsigned length)
{
    if (!data)
        return nullptr;
    for (unsigned i = 0; i + 3 <= length; ++i) {
        const void *hit = std::memchr(data + i, 0xFF, length - i);
        if (!hit)
            return nullptr;
        i = unsigned(static_cast<const uint8_t *>(hit) - data);
        if (frameHeaderAt(data + i, length - i))
            return data + i;
    }
    return nullptr;
}

int isMp3ValidType(const uint8_t *audio, unsigned length)
{
    if (!audio)
        return 0;
    const unsigned len = std::min(length, MP3_FRAME_CHECK_BYTES);
    unsigned pos = 0;
    int examined = 0;
    int rejected = 0;
    int first = 0;
    while (examined < FRAME_HEADERS_CHECKED && pos < len) {
        const uint8_t *h = seekToValidMp3Frame(audio + pos, len - pos);
        if (!h)
            break;
        const unsigned at = unsigned(h - audio);
        const int version = (h[1] >> 3) & 3;       // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
        const int layer = (h[1] >> 1) & 3;         // 1 III, 2 II, 3 I
        const int table = version == 3 ? 3 - layer : layer == 3 ? 3 : 4;
        const int bitrate = kBitrates[table][h[2] >> 4];
        const int rate = kSampleRates[version][(h[2] >> 2) & 3];
        const bool mono = len - at >= 4 && (h[3] >> 6) == 3;
        ++examined;
        const char *why = nullptr;
        char text[96];
        if (rate != 32000 && rate != 44100 && rate != 48000) {
            std::snprintf(text, sizeof text,
                          "mp3.c :: Sampling!=44100 && Sampling !=48000, Sampling = %d", rate);
            why = text;
        } else if (bitrate < 32) {
            why = "mp3.c :: bitRate < 32";
        } else if (layer == 2 && (mono ? bitrate > 192
                                       : (bitrate == 32 || bitrate == 48 || bitrate == 56 ||
                                          bitrate == 80))) {
            why = "mp3.c :: bitRate no good for LAYER_II";
        }
        if (why) {
            ++rejected;
            if (examined == FRAME_HEADERS_CHECKED)
                logMsg(3, kLogFile, __LINE__, "%s", why);
            pos = at + FRAME_REJECT_SKIP;
            continue;
        }
        if (!first)
            first = bitrate;
        const unsigned frame = unsigned(bitrate) * 144000u / unsigned(rate) + ((h[2] >> 1) & 1);
        pos = at + std::max(frame, 1u);
    }
    return rejected > FRAME_REJECTS_ALLOWED ? 0 : first;
}

int id3_header_lenght(const uint8_t *data, unsigned length)
{
    if (!data || length < 10 || std::memcmp(data, "ID3", 3) != 0)
        return 0;
    return int(readSyncsafe32(data + 6));
}

int _nomalizeMp3(const uint8_t *file, int length, MP3_CONTROL *out)
{
    if (!out)
        return 0;
    out->audio = nullptr;
    out->length = length;
    out->tagLength = 0;
    if (!file || length <= 0)
        return 0;
    const bool id3 = length >= 10 && std::memcmp(file, "ID3", 3) == 0;
    long long tag = id3 ? id3_header_lenght(file, unsigned(length)) : 0;
    long long start = id3 ? tag + 10 : 0;
    if (start >= length)
        return 0;
    const uint8_t *frame = seekToValidMp3Frame(file + start, unsigned(length - start));
    if (!frame)
        return 0;
    if (frame != file + start) {
        logMsg(2, kLogFile, __LINE__, "mp3.c :: ID3 Error len detected and changed");
        start = frame - file;
        tag = start - 10;
    }
    out->audio = file + start;
    out->tagLength = int32_t(std::max(0LL, tag));
    return isMp3ValidType(out->audio, unsigned(length - start));
}
