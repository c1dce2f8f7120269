// Lyric rows, syllables, chords and markers of a MIDI song, read from the
// event in hand while the normaliser walks the song; GS reverb, chorus and
// rhythm-part messages; the song's SysEx table.
#include "ExtractProcInternal.h"
#include "MakerRecords.h"
#include "Utf16Text.h"

#include "logmsg.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr int ROW_MAX_CHARS = TEXT_EV_SIZE - 1;
constexpr int NAME_MAX_CHARS = CHORD_NAME_SIZE - 1;
constexpr uint32_t TEXT_CHORD_MAX_LENGTH = 14;
constexpr uint32_t MAKER_CHORD_MAX_CHARS = 10;
constexpr uint32_t SYSEX_TABLE_MAX_DATA = 97;
constexpr int GS_PARTS = 16;

const char *const yamahaChordNoteList[7] = {"C", "D", "E", "F", "G", "A", "B"};
const char *const yamahaChordTypeList[34] = {
    "Maj", "Maj6", "Maj7", "Maj7(#11)", "Maj(9)", "Maj7(9)", "Maj6(9)", "aug",
    "min", "min6", "min7", "min7b5", "min(9)", "min7(9)", "min7(11)", "minMaj7",
    "minMaj7(9)", "dim", "dim7", "7", "7sus4", "7b5", "7(9)", "7(#11)",
    "7(13)", "7(b9)", "7(b13)", "7(#9)", "Maj7aug", "7aug", "8", "5",
    "sus4", "sus2"};

struct LyricState {
    char bufferMevText[TEXT_EV_SIZE];
    int ptrTextLine;
    int cntSyl;                      // visible characters of the row so far

    bool textFound;                  // rows or chords taken from FF 01 / FF 05
    bool karaokeMode;
    bool sysExMode;                  // maker text-track rows seen
    bool specialLyricMode;
    bool sysExChord;
    bool yamahaChord;
    int ptrChordLine;                // open controller chord, -1 none

    bool rowValid[4];
    int sysTextOffset;
    int sysPtrCnt;

    int lastSylOffset;
    int lastSylRow;
    int lastEndMarkRow;

    uint8_t gsPartMap[GS_PARTS];

    bool makerMarkers;
    int makerMarkerStored;

    int chorusMark;                  // 0 none, 1 armed, 2 set
    bool verseSeen;
    bool verseChorusSet;
};

LyricState L;

// Room for the UTF-8 form of a held text: three bytes a UTF-16 code unit.
constexpr uint32_t UTF8_TEXT_SIZE = EXTRACT_HELD_MAX / 2 * 3 + 1;

// Points a UTF-16 text (with its byte-order mark) at its UTF-8 form in buffer.
void asUtf8(const uint8_t *&text, uint32_t &length, uint8_t (&buffer)[UTF8_TEXT_SIZE])
{
    if (!hasUtf16Bom(text, length))
        return;
    length = utf16BomToUtf8(text, length, buffer, UTF8_TEXT_SIZE);
    text = buffer;
}

bool lyricsOn() { return g_run.flags & EXTRACT_FLAG_LYRICS; }
bool chordsOn() { return g_run.flags & EXTRACT_FLAG_CHORDS; }

void storeSyllable(int offset, int row, uint32_t tick)
{
    MidiInfos *mi = g_run.mi;
    if (mi->syllableCount < 0 || mi->syllableCount >= MAX_SYLLABLES || row < 0)
        return;
    SYL_EV &s = mi->syllables[mi->syllableCount];
    s.offset = uint8_t(offset & 0x7F);
    s.row = int16_t(row);
    s.tick = tick;
    if (++mi->syllableCount >= MAX_SYLLABLES)
        extractFail(EXTRACT_ERR_SYLLABLES, "Too many text syls");
}

void storeRow(const char *text, uint32_t tick)
{
    MidiInfos *mi = g_run.mi;
    if (mi->textRowCount < 0 || mi->textRowCount >= MAX_TEXT_ROWS)
        return;
    TEXT_EV &r = mi->textRows[mi->textRowCount];
    std::memset(r.text, 0, sizeof r.text);
    std::memcpy(r.text, text, strnlen(text, ROW_MAX_CHARS));
    r.tick = tick;
    if (++mi->textRowCount >= MAX_TEXT_ROWS)
        extractFail(EXTRACT_ERR_ROWS, "Too many text rows");
}

void commitChord()
{
    MidiInfos *mi = g_run.mi;
    if (++mi->chordCount >= MAX_CHORDS)
        extractFail(EXTRACT_ERR_CHORDS, "Too many chords");
}

void storeChord(const char *name, uint32_t tick)
{
    MidiInfos *mi = g_run.mi;
    if (mi->chordCount < 0 || mi->chordCount >= MAX_CHORDS || !name[0])
        return;
    // A controller chord still open sits in the next slot: keep it there.
    if (L.ptrChordLine >= 0) {
        if (mi->chordCount + 1 >= MAX_CHORDS)
            return;
        mi->chords[mi->chordCount + 1] = mi->chords[mi->chordCount];
        L.ptrChordLine = mi->chordCount + 1;
    }
    CHORD_EV &c = mi->chords[mi->chordCount];
    std::memset(c.name, 0, sizeof c.name);
    std::memcpy(c.name, name, strnlen(name, NAME_MAX_CHARS));
    c.tick = tick;
    commitChord();
}

bool startsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        if (std::toupper(static_cast<unsigned char>(*text)) != *prefix)
            return false;
    }
    return true;
}

bool isDigitAt(const char *text, int index)
{
    for (int i = 0; i < index; ++i) {
        if (!text[i])
            return false;
    }
    return std::isdigit(static_cast<unsigned char>(text[index])) != 0;
}

// Rows that only name a channel ("CH 1", "MIDI1", "Canale 2") are not lyrics.
bool isChannelLabel(const char *text)
{
    if (startsWithNoCase(text, "CH") && (isDigitAt(text, 2) || text[2] == ' '))
        return true;
    if (startsWithNoCase(text, "MIDI") && (isDigitAt(text, 4) || isDigitAt(text, 5)))
        return true;
    if (startsWithNoCase(text, "CANALE") && (isDigitAt(text, 6) || isDigitAt(text, 7)))
        return true;
    return false;
}

void clearRowBuffer()
{
    std::memset(L.bufferMevText, 0, sizeof L.bufferMevText);
    L.ptrTextLine = 0;
    L.cntSyl = 0;
}

void closeRow(uint32_t endTick)
{
    MidiInfos *mi = g_run.mi;
    const int rowIndex = mi->textRowCount;
    if (L.cntSyl > 0)
        storeSyllable(SYL_END_OF_ROW, rowIndex, endTick);
    L.bufferMevText[L.ptrTextLine] = 0;
    if (isChannelLabel(L.bufferMevText)) {
        while (mi->syllableCount > 0 && mi->syllables[mi->syllableCount - 1].row == rowIndex)
            --mi->syllableCount;
    } else {
        int first = mi->syllableCount;
        while (first > 0 && mi->syllables[first - 1].row == rowIndex)
            --first;
        if (first < mi->syllableCount)
            storeRow(L.bufferMevText, mi->syllables[first].tick);
        else if (mi->syllableCount > 0)
            storeRow(L.bufferMevText, mi->syllables[mi->syllableCount - 1].tick);
    }
    clearRowBuffer();
}

uint32_t lastSyllableTick()
{
    const MidiInfos *mi = g_run.mi;
    return mi->syllableCount > 0 ? mi->syllables[mi->syllableCount - 1].tick : mi->runningTick;
}

// Appends text to the row, wrapping at the last space when the row is full.
// True when it added a visible character and nothing had to be dropped.
bool appendText(const uint8_t *text, uint32_t length)
{
    int added = 0;
    for (uint32_t i = 0; i < length && text[i]; ++i) {
        uint8_t c = text[i] == '"' ? uint8_t('\'') : text[i];
        if (L.ptrTextLine >= ROW_MAX_CHARS) {
            int space = L.ptrTextLine - 1;
            while (space >= 0 && L.bufferMevText[space] != ' ')
                --space;
            if (space < 0)
                return false;
            char moved[TEXT_EV_SIZE] = {};
            const int movedLength = L.ptrTextLine - space - 1;
            std::memcpy(moved, L.bufferMevText + space + 1, size_t(movedLength));
            L.ptrTextLine = space;
            closeRow(lastSyllableTick());
            std::memcpy(L.bufferMevText, moved, size_t(movedLength));
            L.ptrTextLine = movedLength;
            for (int k = 0; k < movedLength; ++k) {
                if (static_cast<uint8_t>(moved[k]) > ' ')
                    ++L.cntSyl;
            }
        }
        L.bufferMevText[L.ptrTextLine++] = char(c);
        if (c > ' ') {
            ++L.cntSyl;
            ++added;
        }
    }
    return added > 0;
}

void appendWithSyllable(const uint8_t *text, uint32_t length)
{
    if (length && appendText(text, length))
        storeSyllable(L.cntSyl, g_run.mi->textRowCount, g_run.mi->runningTick);
}

void karaokeText(const uint8_t *text, uint32_t length)
{
    if (text[0] == '@')
        return;
    L.textFound = true;
    if (text[0] == '\\' || text[0] == '/') {
        closeRow(g_run.mi->runningTick);
        ++text;
        --length;
    }
    appendWithSyllable(text, length);
}

void textChord(const uint8_t *text, uint32_t length)
{
    if (length > TEXT_CHORD_MAX_LENGTH || text[0] < 'A' || text[0] > 'G')
        return;
    char squeezed[TEXT_CHORD_MAX_LENGTH + 1] = {};
    int n = 0;
    for (uint32_t i = 0; i < length && text[i]; ++i) {
        if (text[i] != ' ' && text[i] != '_')
            squeezed[n++] = char(text[i]);
    }
    char name[TEXT_CHORD_MAX_LENGTH + 1] = {};
    int m = 0;
    for (int i = 0; i < n;) {
        if (std::strncmp(squeezed + i, "min", 3) == 0) {
            name[m++] = 'm';
            i += 3;
        } else if (std::strncmp(squeezed + i, "th", 2) == 0) {
            i += 2;
        } else {
            name[m++] = squeezed[i++];
        }
    }
    if (m > 0 && name[m - 1] == '/')
        name[--m] = 0;
    logMsg(4, EXTRACT_LOG_SOURCE, __LINE__, "Chord %s", name);
    storeChord(name, g_run.mi->runningTick);
}

// Syllable value of a maker 17 record or a channel-1 controller 31.
void syllableValue(int value)
{
    MidiInfos *mi = g_run.mi;
    if (value == 127) {
        mi->syllablesOn = 1;
        return;
    }
    if (!mi->syllablesOn)
        return;
    const int row = mi->textRowCount - 1;
    if (row < 0)
        return;
    if (value < L.lastSylOffset || (value == L.lastSylOffset && row == L.lastSylRow))
        return;
    if (row != L.lastEndMarkRow) {
        if (mi->syllableCount > 0)
            mi->syllables[mi->syllableCount - 1].offset = SYL_END_OF_ROW;
        L.lastEndMarkRow = row;
    }
    storeSyllable(value, row, mi->runningTick);
    L.lastSylOffset = value;
    L.lastSylRow = row;
}

// Text of a maker record, up to its F7, into out (at most max characters).
int makerText(const uint8_t *p, uint32_t n, char *out, int max, bool skipNewlines, bool printable)
{
    int k = 0;
    for (uint32_t i = 0; i < n && p[i] != 0xF7 && k < max; ++i) {
        if (skipNewlines && (p[i] == '\r' || p[i] == '\n'))
            continue;
        if (printable && p[i] < ' ')
            continue;
        out[k++] = char(p[i]);
    }
    out[k] = 0;
    return k;
}

void makerChord(const uint8_t *p, uint32_t n)
{
    if (L.yamahaChord)
        return;
    char name[MAKER_CHORD_MAX_CHARS + 1];
    makerText(p, n, name, int(MAKER_CHORD_MAX_CHARS), false, true);
    const char *shown = name;
    if (g_run.container) {
        if (char *bar = std::strchr(name, '|'))
            *bar = 0;
        shown = name[0] ? name + 1 : name;
    }
    L.sysExChord = true;
    storeChord(shown, g_run.mi->runningTick);
}

void makerRow(uint8_t command, const uint8_t *p, uint32_t n)
{
    MidiInfos *mi = g_run.mi;
    if (command == 0x04) {
        std::memset(L.rowValid, 0, sizeof L.rowValid);
        L.sysTextOffset = 0;
        L.sysPtrCnt = 0;
    }
    if (L.textFound) {
        mi->textRowCount = 0;
        mi->syllableCount = 0;
        mi->chordCount = 0;
        L.textFound = false;
        L.ptrChordLine = -1;
        clearRowBuffer();
    }
    L.sysExMode = true;
    const int index = mi->textRowCount + L.sysTextOffset;
    if (index >= MAX_TEXT_ROWS) {
        extractFail(EXTRACT_ERR_ROWS, "Too many text rows");
        return;
    }
    TEXT_EV &row = mi->textRows[index];
    std::memset(row.text, 0, sizeof row.text);
    makerText(p, n, row.text, ROW_MAX_CHARS, true, false);
    row.tick = mi->runningTick;
    if (isChannelLabel(row.text)) {
        row.text[0] = char(0xFF);
        L.rowValid[command - 0x04] = false;
    } else {
        L.rowValid[command - 0x04] = true;
        ++L.sysTextOffset;
    }
}

void makerRowStart()
{
    MidiInfos *mi = g_run.mi;
    const int pointed = L.sysPtrCnt++;
    if (pointed >= 4 || !L.rowValid[pointed])
        return;
    if (mi->textRowCount >= MAX_TEXT_ROWS)
        return;
    mi->textRows[mi->textRowCount].tick = mi->runningTick;
    if (++mi->textRowCount >= MAX_TEXT_ROWS)
        extractFail(EXTRACT_ERR_ROWS, "Too many text rows");
    L.sysExMode = true;
    L.lastSylOffset = 0;
}

// 1 keeps the maker record in the stream.
int makerRecord(const uint8_t *data, uint32_t n)
{
    const uint8_t command = data[4];
    const uint8_t *p = data + 5;
    const uint32_t pn = n - 5;
    switch (command) {
    case 0x01:
        if (chordsOn())
            makerChord(p, pn);
        return chordsOn();
    case 0x03:
    case 0x09:
    case 0x0F:
        return lyricsOn();
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x07:
        if (lyricsOn())
            makerRow(command, p, pn);
        return lyricsOn();
    case 0x08:
        if (lyricsOn())
            makerRowStart();
        return lyricsOn();
    case 0x17:
        if (!lyricsOn() || g_run.mi->ccSyllableMode)
            return 0;
        g_run.mi->sysexSyllableMode = 1;
        if (pn > 0)
            syllableValue(p[0]);
        return 1;
    default:
        // Settings records: the engine has them through Db; a saved file keeps them.
        if (isSettingsCommand(command))
            return !g_run.playMode;
        return !g_run.playMode && lyricsOn();
    }
}

void gsChecksum(uint8_t *data, uint32_t n)
{
    // Roland checksum over address and data: the byte before F7.
    unsigned sum = 0;
    for (uint32_t i = 4; i + 2 < n; ++i)
        sum += data[i];
    data[n - 2] = uint8_t((128 - sum % 128) % 128);
}

uint8_t clampData(int v) { return uint8_t(v < 0 ? 0 : v > 127 ? 127 : v); }

bool containsText(const char *haystack, const char *needle)
{
    return std::strstr(haystack, needle) != nullptr;
}

void markerMarks(const char *name, uint32_t tick)
{
    MidiInfos *mi = g_run.mi;
    char lower[MARKER_NAME_SIZE] = {};
    for (int i = 0; i < NAME_MAX_CHARS && name[i]; ++i)
        lower[i] = char(std::tolower(static_cast<unsigned char>(name[i])));

    if (L.chorusMark == 1) {
        const uint64_t sevenSeconds =
            uint64_t(7000000) * g_run.tpqn / (g_run.tempoMicros ? g_run.tempoMicros : 500000);
        mi->chorusTick = tick > sevenSeconds ? uint32_t(tick - sevenSeconds) : 0;
        L.chorusMark = 2;
    } else if (L.chorusMark == 0 && containsText(lower, "chorus")) {
        L.chorusMark = 1;
    }

    const int bpm = int(60000000u / (g_run.tempoMicros ? g_run.tempoMicros : 500000));
    const uint32_t ms = ticksToMs(int(tick), int(g_run.tpqn), bpm);
    if (!L.verseSeen && containsText(lower, "verse") && ms > 0) {
        L.verseSeen = true;
    } else if (L.verseSeen && !L.verseChorusSet && containsText(lower, "chorus")) {
        mi->verseChorusTick = tick;
        L.verseChorusSet = true;
    }
    if (containsText(lower, "finale") || containsText(lower, "fine"))
        mi->endBar = uint16_t(g_run.bar >= 4 ? g_run.bar - 4 : 0);
}

int nextMarkerSlot(int count)
{
    if (count < MAX_MARKERS)
        return count;
    logMsg(2, EXTRACT_LOG_SOURCE, __LINE__, "Too many markers");
    return MAX_MARKERS - 1;
}

void revealMakerMarkers(int bar)
{
    MidiInfos *mi = g_run.mi;
    while (mi->markerCount < L.makerMarkerStored && mi->markerCount < MAX_MARKERS &&
           mi->markers[mi->markerCount].bar <= bar) {
        MARKER_EV &m = mi->markers[mi->markerCount];
        // The bar's real start, whatever the time signatures before it.
        if (m.bar < MAX_BARS && m.bar <= bar)
            m.time = mi->barTicks[m.bar];
        ++mi->markerCount;
    }
}

} // namespace

void lyricsBeginRun()
{
    std::memset(&L, 0, sizeof L);
    L.ptrChordLine = -1;
    L.lastSylRow = -1;
    L.lastEndMarkRow = -1;
    L.gsPartMap[0] = 9;
    for (int block = 1; block <= 9; ++block)
        L.gsPartMap[block] = uint8_t(block - 1);
    for (int block = 10; block < GS_PARTS; ++block)
        L.gsPartMap[block] = uint8_t(block);
}

void lyricsEndRun()
{
    MidiInfos *mi = g_run.mi;
    if (L.ptrChordLine >= 0 && mi->chordCount < MAX_CHORDS) {
        const char first = mi->chords[mi->chordCount].name[0];
        if (first >= 'A' && first <= 'G')
            commitChord();
        L.ptrChordLine = -1;
    }
    if (L.ptrTextLine > 0)
        closeRow(mi->runningTick);
}

void lyricsNewBar(int bar, uint32_t)
{
    if (L.makerMarkers)
        revealMakerMarkers(bar);
}

bool lyricsKaraokeMode() { return L.karaokeMode; }

void lyricsText(const uint8_t *text, uint32_t length)
{
    uint8_t utf8[UTF8_TEXT_SIZE];
    asUtf8(text, length, utf8);
    if (!length || !text[0])
        return;
    if (!L.karaokeMode && text[0] == '@') {
        L.karaokeMode = true;
        return;
    }
    if (L.sysExMode)
        return;
    if (L.karaokeMode) {
        if (lyricsOn())
            karaokeText(text, length);
    } else if (chordsOn()) {
        textChord(text, length);
    }
}

void lyricsLyric(const uint8_t *text, uint32_t length)
{
    uint8_t utf8[UTF8_TEXT_SIZE];
    asUtf8(text, length, utf8);
    if (L.sysExMode || !lyricsOn() || !length || !text[0])
        return;
    MidiInfos *mi = g_run.mi;
    if (text[0] == '<' || text[0] == '%')
        L.specialLyricMode = true;
    L.textFound = true;
    if (L.specialLyricMode) {
        if (text[0] == '%' && chordsOn()) {
            char name[CHORD_NAME_SIZE] = {};
            for (uint32_t i = 1; i < length && text[i] && i <= uint32_t(NAME_MAX_CHARS); ++i)
                name[i - 1] = char(text[i]);
            storeChord(name, mi->runningTick);
        } else if (text[0] == '<') {
            clearRowBuffer();
            for (uint32_t i = 1; i < length && text[i] && L.ptrTextLine < ROW_MAX_CHARS; ++i) {
                const uint8_t c = text[i];
                if (c == '\r' || c == '\n')
                    continue;
                L.bufferMevText[L.ptrTextLine++] = char(c);
                if (c > ' ')
                    ++L.cntSyl;
            }
            closeRow(mi->runningTick);
        }
        return;
    }
    if (text[0] == '\r' || text[0] == '\n') {
        closeRow(mi->runningTick);
        while (length && (text[0] == '\r' || text[0] == '\n')) {
            ++text;
            --length;
        }
        if (!length)
            return;
    }
    uint32_t n = 0;
    while (n < length && text[n])
        ++n;
    bool lineEnd = false;
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) {
        --n;
        lineEnd = true;
    }
    appendWithSyllable(text, n);
    if (lineEnd || (L.ptrTextLine >= ROW_MAX_CHARS - 1 && L.bufferMevText[L.ptrTextLine - 1] == ' '))
        closeRow(mi->runningTick);
}

void lyricsMarker(const uint8_t *name, uint32_t length)
{
    MidiInfos *mi = g_run.mi;
    if (g_run.bar >= MAX_BARS)
        return;
    if (L.makerMarkers) {
        mi->markerCount = 0;
        L.makerMarkers = false;
    }
    const int index = nextMarkerSlot(mi->markerCount);
    if (index == mi->markerCount)
        ++mi->markerCount;
    MARKER_EV &m = mi->markers[index];
    std::memset(m.name, 0, sizeof m.name);
    for (uint32_t i = 0; i < length && i < uint32_t(NAME_MAX_CHARS) && name[i]; ++i)
        m.name[i] = char(name[i]);
    m.bar = uint16_t(g_run.bar);
    m.time = mi->runningTick;
    markerMarks(m.name, mi->runningTick);
}

void lyricsMakerMeta(const uint8_t *data, uint32_t length)
{
    if (length < 3 || data[0] != MAKER_META_MARKER)
        return;
    MidiInfos *mi = g_run.mi;
    if (!L.makerMarkers) {
        L.makerMarkers = true;
        L.makerMarkerStored = 0;
        mi->markerCount = 0;
    }
    const int index = nextMarkerSlot(L.makerMarkerStored);
    if (index == L.makerMarkerStored)
        ++L.makerMarkerStored;
    MARKER_EV &m = mi->markers[index];
    std::memset(m.name, 0, sizeof m.name);
    for (uint32_t i = 3; i < length && i - 3 < uint32_t(NAME_MAX_CHARS) && data[i]; ++i)
        m.name[i - 3] = char(data[i]);
    m.bar = uint16_t(data[1] << 8 | data[2]);
    m.time = uint32_t(g_run.beatUnit) * g_run.tpqn * m.bar;
    revealMakerMarkers(g_run.bar);
}

void lyricsXfChord(uint8_t cr, uint8_t ct, uint8_t bn)
{
    if (!chordsOn() || L.sysExChord)
        return;
    L.yamahaChord = true;
    const int root = cr & 0x0F;
    if (root < 1 || root > 7)
        return;
    auto accidental = [](uint8_t b) { return (b >> 4) == 2 ? "b" : (b >> 4) == 4 ? "#" : ""; };
    char name[40];
    int n = std::snprintf(name, sizeof name, "%s%s%s", yamahaChordNoteList[root - 1],
                          accidental(cr), ct < 34 ? yamahaChordTypeList[ct] : "");
    const int bass = bn & 0x0F;
    if (bn != 127 && bn != cr && bass >= 1 && bass <= 7)
        n += std::snprintf(name + n, sizeof name - size_t(n), "/%s%s", yamahaChordNoteList[bass - 1],
                           accidental(bn));
    if (n < CHORD_NAME_SIZE)
        storeChord(name, g_run.mi->runningTick);
}

void lyricsControllerSyllable(uint8_t value)
{
    MidiInfos *mi = g_run.mi;
    if (!lyricsOn() || mi->sysexSyllableMode || (g_run.db->layers[0][0].flags & DB_FLAG_IN_USE))
        return;
    mi->ccSyllableMode = 1;
    syllableValue(value);
}

bool lyricsControllerChord(uint8_t controller, uint8_t value)
{
    MidiInfos *mi = g_run.mi;
    if (!chordsOn() || L.sysExChord || L.yamahaChord || !L.textFound ||
        (g_run.db->layers[0][0].flags & DB_FLAG_IN_USE))
        return false;
    if (controller == 98) {
        if (value != 1)
            return false;
        if (L.ptrChordLine >= 0) {
            const char first = mi->chords[mi->chordCount].name[0];
            L.ptrChordLine = -1;
            if (first >= 'A' && first <= 'G')
                commitChord();
        }
        if (mi->chordCount >= 0 && mi->chordCount < MAX_CHORDS) {
            CHORD_EV &c = mi->chords[mi->chordCount];
            std::memset(c.name, 0, sizeof c.name);
            c.tick = mi->runningTick;
            L.ptrChordLine = mi->chordCount;
        }
        return true;
    }
    if (controller == 100 && L.ptrChordLine >= 0) {
        CHORD_EV &c = mi->chords[L.ptrChordLine];
        const size_t n = strnlen(c.name, sizeof c.name);
        if (value >= ' ' && value < 127 && n < size_t(NAME_MAX_CHARS))
            c.name[n] = char(value);
        return true;
    }
    return false;
}

bool isSysExMode() { return L.sysExMode; }

void addNewLiricsRow(MidiInfos *infos)
{
    if (infos && infos == g_run.mi)
        closeRow(infos->runningTick);
}

int substituteRevCho(s_StreamData *song, uint8_t *message, int offset)
{
    if (!song || !message || offset < 1)
        return 0;
    uint8_t *data = message + offset;
    const uint32_t n = message[offset - 1];
    if (n < 10 || data[0] != 0x41 || (data[1] != 0x10 && data[1] != 0x00) || data[2] != 0x42 ||
        data[3] != 0x12 || data[4] != 0x40)
        return 0;
    MidiStream *ms = song->midiStream;
    Db *db = song->db;
    const uint8_t block = data[5];
    const uint8_t address = data[6];
    const uint8_t v = data[7];
    const bool sealed = data[n - 1] == 0xF7;
    if (block == 0x01) {
        switch (address) {
        case 0x30: {
            const uint8_t macro = v < 8 ? v : 4;
            ms->reverbMacro = macro;
            if (db->reverbMacro == UNSET_BYTE)
                db->reverbMacro = macro;
            return 1;
        }
        case 0x33:
            ms->reverbLevel = v;
            if (db->reverbLevel == UNSET_BYTE)
                db->reverbLevel = v;
            if (sealed) {
                data[7] = clampData(64 + (6 * int(db->reverbLevel) - 384) / 9);
                gsChecksum(data, n);
            }
            return 0;
        case 0x38: {
            const uint8_t macro = v < 8 ? v : 2;
            ms->chorusMacro = macro;
            if (db->chorusMacro == UNSET_BYTE)
                db->chorusMacro = macro;
            return 1;
        }
        case 0x3A:
            ms->chorusLevel = v;
            if (db->chorusLevel == UNSET_BYTE)
                db->chorusLevel = v;
            if (sealed) {
                data[7] = clampData(54 + (4 * int(db->chorusLevel) - 256) / 9);
                gsChecksum(data, n);
            }
            return 0;
        default:
            return 0;
        }
    }
    if ((block & 0xF0) == 0x10) {
        const int part = block & 0x0F;
        if (address == 0x15 && v != 0) {
            const int slot = (g_run.port & 1) * 16 + L.gsPartMap[part];
            for (int layer = 0; layer < NUM_LAYERS; ++layer)
                db->layers[slot][layer].flags |= DB_FLAG_DRUM;
        } else if (address == 0x02 && v < 16) {
            L.gsPartMap[part] = v;
        }
    }
    return 0;
}

int AnalyseSxs(s_StreamData *song, int bar, int port)
{
    ExtractEvent &ev = g_run.ev;
    const uint32_t n = ev.length;
    uint8_t *data = ev.msg + 2;
    if (n >= 5 && data[0] == MAKER_SYSEX_ID[0] && data[1] == MAKER_SYSEX_ID[1] &&
        data[2] == MAKER_SYSEX_ID[2] && data[3] == MAKER_SYSEX_ID[3])
        return makerRecord(data, n);
    if (!g_run.playMode)
        return 1;
    if (n >= 7 && data[0] == 0x43 && data[1] == 0x7E && data[2] == 0x02)
        lyricsXfChord(data[3], data[4], data[5]);
    if (substituteRevCho(song, ev.msg, 2))
        return 1;
    if (n <= SYSEX_TABLE_MAX_DATA) {
        MidiInfos *mi = song->midiInfos;
        int index = mi->sysexCount;
        if (index < MAX_SYSEX_ENTRIES)
            ++mi->sysexCount;
        else
            index = MAX_SYSEX_ENTRIES - 1;
        SYSEX_ENTRY &e = mi->sysexTable[index];
        e.bar = uint16_t(bar);
        e.port = uint16_t(port);
        std::memset(e.message, 0, sizeof e.message);
        std::memcpy(e.message, ev.msg, n + 2);
    }
    return 1;
}
