// Normaliser: one MIDI-family song into the sequencer's event stream (see the
// byte contract in ExtractProc.h), with its bar, tempo, activity, controller
// and setup tables; cut mode for the file writer.
#include "ExtractProcInternal.h"
#include "ByteReader.h"
#include "ExtractLock.h"
#include "MakerRecords.h"
#include "MidiLoad.h"
#include "SongSettings.h"
#include "TempoMap.h"

#include "logmsg.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

ExtractRunState g_run;
TICK_PER_BAR SongTickPerBar[MAX_TICK_PER_BAR];
int SongTickPerBarCount = 0;

namespace {

constexpr uint32_t MAX_VLQ = 0x0FFFFFFF;
constexpr uint32_t MAX_BPM = 0xFFFF;
constexpr int CLEARED_STREAM_BYTES = 2000;
constexpr uint32_t FILE_COPY_PADDING = 100;
constexpr int DRUM_SLOT_PORT0 = 9;
constexpr int DRUM_SLOT_PORT1 = 25;
constexpr int ACTIVITY_BEATS = 8;            // bits of an activity byte
constexpr int BANK_BARS = 3;                 // bank selects in bars 0-2 set a layer's bank
constexpr int SETUP_BARS = 2;
constexpr int MAX_TIME_SIG_EXPONENT = 6;     // unit 64
constexpr uint32_t MIN_BEAT_LENGTH = 2;

// Beat grid and output of the run in progress.
struct NormState {
    uint8_t *out;
    uint32_t outCount;
    int headSize;
    uint32_t factor;

    uint64_t pending;                // ticks since the last byte written
    uint64_t sinceGrid;              // ticks since the last grid point
    uint32_t gridTick;               // tick of the last grid point
    int phase;                       // 0: next point is a half beat
    uint32_t beatLength;
    uint32_t halfBeat;
    bool halfBeatsOn;
    int beatsPerBar;

    uint8_t runningStatus;

    int sounding[NUM_SLOTS];
    uint8_t nrpnMsb[NUM_SLOTS];
    uint8_t nrpnLsb[NUM_SLOTS];

    uint64_t precountHeld;
    bool precountArmed;
    bool precountInserted;
    bool portWarned;
    bool tempoTableFull;
};

NormState N;
int decodeEndWork = 0;
int totCharDecoded = 0;
std::atomic<uint32_t> noteNum[NUM_SLOTS];
std::atomic<uint32_t> noteScore[NUM_SLOTS];

// Set by _calculate_MIDI_precount for the next real run.
int s_precountBars = 0;
bool s_fastRun = true;

bool failed() { return decodeEndWork != 0; }

// The prepared song (format 0, merged format 1 or a decoded container),
// served by the loader in sectors.
struct Source {
    s_StreamData *song;
    int pos;

    int get()
    {
        while (uint32_t(pos) >= ByteDecoded) {
            if (isEOF)
                return -1;
            LoadSmf0Sector(song);
            pos = 0;
        }
        return appendBuffer[pos++];
    }
};

Source src;

int nextByte()
{
    const int b = src.get();
    if (b < 0)
        extractFail(EXTRACT_ERR_OVERFLOW, nullptr);
    return b;
}

bool readVlq(uint32_t &value)
{
    const auto read = ByteReader::readVlq(
        [](uint8_t &b) {
            const int c = nextByte();
            b = uint8_t(c);
            return c >= 0;
        },
        value, 4);
    if (read == ByteReader::VlqRead::TooLong)
        extractFail(EXTRACT_ERR_DELTA, ">>>>>>>>>>> Error: in removing: time ");
    return read == ByteReader::VlqRead::Ok;
}

bool put(uint8_t b)
{
    if (N.outCount >= XBUF_CSHARP_SIZE) {
        extractFail(EXTRACT_ERR_TOO_LARGE, ">>>>>>>>>>> Error: overflow");
        return false;
    }
    if (!g_run.dryRun)
        N.out[N.outCount] = b;
    ++N.outCount;
    return true;
}

bool putBytes(const uint8_t *p, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (!put(p[i]))
            return false;
    }
    return true;
}

bool putVlq(uint64_t value)
{
    if (value > MAX_VLQ) {
        extractFail(EXTRACT_ERR_DELTA, ">>>>>>>>>>> Error: in removing: time ");
        return false;
    }
    uint8_t bytes[4];
    int n = 0;
    do {
        bytes[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1) {
        if (!put(uint8_t(bytes[--n] | 0x80)))
            return false;
    }
    return put(bytes[0]);
}

bool putDelta()
{
    const uint64_t d = N.pending;
    N.pending = 0;
    return putVlq(d);
}

bool putEvent(const uint8_t *p, uint32_t n) { return putDelta() && putBytes(p, n); }

bool putPseudo(uint8_t type, int value)
{
    const uint8_t ev[3] = {type, uint8_t(value & 0x7F), uint8_t((value >> 7) & 0x7F)};
    return putEvent(ev, 3);
}

void addBarBeat(int bar, int beat, uint32_t tick)
{
    BarPositions.push_back({uint16_t(bar), uint16_t(beat), tick});
}

void setTimeSignature(int beatsPerBar, int unit)
{
    uint32_t beat = g_run.tpqn * 4 / uint32_t(unit);
    if (beat < MIN_BEAT_LENGTH)
        beat = MIN_BEAT_LENGTH;
    N.beatLength = beat;
    N.halfBeat = beat / 2;
    N.halfBeatsOn = !(beatsPerBar < 3 || unit == 1);
    N.beatsPerBar = beatsPerBar;
    g_run.beatUnit = unit;
    g_run.mfi->beatsPerBar = int16_t(beatsPerBar);
    g_run.mfi->beatUnit = int16_t(unit);
}

bool fullBeat()
{
    MidiInfos *mi = g_run.mi;
    if (g_run.beat < ACTIVITY_BEATS && g_run.bar < MAX_BARS) {
        for (int slot = 0; slot < NUM_SLOTS; ++slot) {
            if (N.sounding[slot] > 0)
                mi->activity[slot][mi->currentLayer[slot] & 3][g_run.bar] |= uint8_t(1u << g_run.beat);
        }
    }
    ++g_run.beat;
    if (g_run.beat < N.beatsPerBar) {
        addBarBeat(g_run.bar, g_run.beat, N.gridTick);
        return putPseudo(EXTRACT_EV_BEAT, g_run.beat);
    }
    g_run.beat = 0;
    ++g_run.bar;
    if (g_run.bar >= MAX_BARS) {
        extractFail(EXTRACT_ERR_BARS, "Too many bars");
        return false;
    }
    const uint32_t offset = N.outCount;
    if (!putPseudo(EXTRACT_EV_BAR, g_run.bar))
        return false;
    mi->barTicks[g_run.bar] = N.gridTick;
    if (!g_run.dryRun)
        mi->barOffsets[g_run.bar] = offset;
    addBarBeat(g_run.bar, 0, N.gridTick);
    lyricsNewBar(g_run.bar, N.gridTick);
    return true;
}

// Writes every grid point up to the event in hand.
bool runGrid()
{
    for (;;) {
        uint32_t step = N.beatLength;
        if (N.halfBeatsOn)
            step = N.phase == 0 ? N.halfBeat : N.beatLength - N.halfBeat;
        if (N.sinceGrid < step)
            return true;
        const uint64_t left = N.sinceGrid - step;
        N.pending -= left;
        N.gridTick += step;
        bool ok;
        if (N.halfBeatsOn && N.phase == 0) {
            ok = putPseudo(EXTRACT_EV_HALF_BEAT, g_run.beat);
            N.phase = 1;
        } else {
            ok = fullBeat();
            N.phase = 0;
        }
        if (!ok)
            return false;
        N.pending = left;
        N.sinceGrid = left;
    }
}

BAR_INFO *barInfoFor(int slot)
{
    MidiInfos *mi = g_run.mi;
    const int bar = g_run.bar;
    const uint8_t layer = mi->currentLayer[slot];
    for (int i = int(mi->barInfoCount) - 1; i >= 0 && mi->barInfo[i].bar >= bar; --i) {
        BAR_INFO &e = mi->barInfo[i];
        if (e.bar == bar && e.slot == slot && e.layer == layer)
            return &e;
    }
    if (mi->barInfoCount >= MAX_BAR_INFO)
        return nullptr;
    BAR_INFO &e = mi->barInfo[mi->barInfoCount++];
    std::memset(&e, UNSET_BYTE, sizeof e);
    e.slot = uint8_t(slot);
    e.layer = layer;
    e.cc72 = e.cc73 = e.cc74 = e.cc71 = e.cc75 = e.cc66 = BAR_INFO_SOUND_CC_DEFAULT;
    e.bar = int16_t(bar);
    return &e;
}

void snapshotController(int slot, uint8_t controller, uint8_t value)
{
    uint8_t BAR_INFO::*field = nullptr;
    switch (controller) {
    case 0: field = &BAR_INFO::bank; break;
    case 7: field = &BAR_INFO::cc7; break;
    case 10: field = &BAR_INFO::cc10; break;
    case 11: field = &BAR_INFO::cc11; break;
    case 64: field = &BAR_INFO::cc64; break;
    case 65: field = &BAR_INFO::cc65; break;
    case 66: field = &BAR_INFO::cc66; break;
    case 71: field = &BAR_INFO::cc71; break;
    case 72: field = &BAR_INFO::cc72; break;
    case 73: field = &BAR_INFO::cc73; break;
    case 74: field = &BAR_INFO::cc74; break;
    case 75: field = &BAR_INFO::cc75; break;
    case 91: field = &BAR_INFO::cc91; break;
    case 93: field = &BAR_INFO::cc93; break;
    default: return;
    }
    if (BAR_INFO *e = barInfoFor(slot))
        e->*field = value;
}

void addSetupEvent(uint8_t status, uint8_t controller, uint8_t value)
{
    SETUP_LIST &list = g_run.mi->setupList[g_run.port & 1];
    if (list.count < 0 || list.count >= SETUP_LIST_LIMIT || list.count + 4 > SETUP_LIST_SIZE)
        return;
    uint8_t *p = list.data + list.count;
    p[0] = 3;
    p[1] = status;
    p[2] = controller;
    p[3] = value;
    list.count = int16_t(list.count + 4);
}

// Layer of a slot that a program change selects (a slot carries up to four
// programs); records it in Db and the program map.
void programChange(int slot, uint8_t program)
{
    MidiInfos *mi = g_run.mi;
    Db *db = g_run.db;
    int chosen = -1;
    for (int layer = 0; layer < NUM_LAYERS && chosen < 0; ++layer) {
        DbLayer &l = db->layers[slot][layer];
        if (l.program == UNSET_BYTE) {
            l.program = program;
            l.flags |= DB_FLAG_IN_USE;
            chosen = layer;
        } else if (l.program == program || (l.flags & DB_FLAG_PROGRAM_OVERRIDE)) {
            chosen = layer;
        }
    }
    if (chosen >= 0) {
        DbLayer &l = db->layers[slot][chosen];
        if (l.bank == UNSET_BYTE)
            l.bank = mi->currentBank[slot];
        g_run.ms->programMap[slot][chosen] = {program, l.bank};
    } else {
        chosen = 0;
    }
    mi->currentLayer[slot] = uint8_t(chosen);
    if (BAR_INFO *e = barInfoFor(slot)) {
        e->program = program;
        e->bank = mi->currentBank[slot];
    }
}

// A channel that plays before any program change plays General MIDI's
// program 0 (the drum channel its standard kit): a part on its first layer,
// like one that chose its program, whatever a settings record put there.
void defaultProgram(int slot)
{
    ProgramBank *map = g_run.ms->programMap[slot];
    if (g_run.bar >= MAX_BARS)
        return;
    for (int layer = 0; layer < NUM_LAYERS; ++layer)
        if (map[layer].program != UNSET_BYTE)
            return;
    DbLayer &l = g_run.db->layers[slot][0];
    if (l.program == UNSET_BYTE)
        l.program = 0;
    if (l.bank == UNSET_BYTE)
        l.bank = 0;
    l.flags |= DB_FLAG_IN_USE;
    map[0] = {0, l.bank};
}

void noteOn(int slot, uint8_t velocity)
{
    MidiInfos *mi = g_run.mi;
    ++N.sounding[slot];
    if (g_run.beat < ACTIVITY_BEATS && g_run.bar < MAX_BARS)
        mi->activity[slot][mi->currentLayer[slot] & 3][g_run.bar] |= uint8_t(1u << g_run.beat);
    noteNum[slot].fetch_add(1, std::memory_order_relaxed);
    noteScore[slot].fetch_add(velocity, std::memory_order_relaxed);
    mi->lastNoteTick = mi->runningTick;
    defaultProgram(slot);
    if (g_run.port == 1)
        g_run.ms->flags |= STREAM_FLAG_SECOND_PORT;
}

void noteOff(int slot)
{
    if (N.sounding[slot] > 0)
        --N.sounding[slot];
}

// GS NRPN data entry (NRPN MSB 1) that the engine plays as plain controllers.
uint8_t nrpnController(uint8_t lsb)
{
    switch (lsb) {
    case 32: return 74;
    case 33: return 71;
    case 99: return 73;
    case 100: return 75;
    case 102: return 72;
    default: return 0;
    }
}

bool controlChange(int slot, uint8_t status, uint8_t controller, uint8_t value)
{
    MidiInfos *mi = g_run.mi;
    if (controller == 99)
        N.nrpnMsb[slot] = value;
    else if (controller == 98)
        N.nrpnLsb[slot] = value;
    else if (controller == 100 || controller == 101)
        N.nrpnMsb[slot] = UNSET_BYTE;   // an RPN is selected: data entry is no longer NRPN
    if (controller == 6 && N.nrpnMsb[slot] == 1) {
        if (const uint8_t mapped = nrpnController(N.nrpnLsb[slot])) {
            controller = mapped;
            N.nrpnMsb[slot] = N.nrpnLsb[slot] = UNSET_BYTE;
        }
    }
    bool chordText = false;
    bool keep = true;
    if (status == 0xB0 && (controller == 98 || controller == 100))
        chordText = lyricsControllerChord(controller, value);
    if (status == 0xB0 && controller == 31) {
        lyricsControllerSyllable(value);
        keep = g_run.flags & EXTRACT_FLAG_LYRICS;
    }
    if (controller == 0) {
        mi->currentBank[slot] = value;
        DbLayer &l = g_run.db->layers[slot][mi->currentLayer[slot] & 3];
        if (g_run.bar < BANK_BARS && l.bank == UNSET_BYTE)
            l.bank = value;
    }
    snapshotController(slot, controller, value);
    if (g_run.bar < SETUP_BARS && !chordText &&
        (controller == 1 || controller == 5 || controller == 6 || controller == 98 ||
         controller == 100 || controller == 101))
        addSetupEvent(status, controller, value);
    if (!keep)
        return true;
    const uint8_t ev[3] = {status, controller, value};
    return putEvent(ev, 3);
}

bool playChannelEvent(uint8_t status, uint8_t d1, uint8_t d2)
{
    const int slot = (g_run.port & 1) * 16 + (status & 0x0F);
    const uint8_t kind = status & 0xF0;
    switch (kind) {
    case 0x80: {
        noteOff(slot);
        const uint8_t ev[3] = {status, d1, d2};
        return putEvent(ev, 3);
    }
    case 0x90: {
        if (d2 == 0) {
            noteOff(slot);
            const uint8_t ev[3] = {uint8_t(0x80 | (status & 0x0F)), d1, 0};
            return putEvent(ev, 3);
        }
        noteOn(slot, d2);
        const uint8_t ev[3] = {status, d1, d2};
        return putEvent(ev, 3);
    }
    case 0xA0:
        return true;
    case 0xB0:
        return controlChange(slot, status, d1, d2);
    case 0xC0: {
        programChange(slot, d1);
        const uint8_t ev[2] = {status, d1};
        return putEvent(ev, 2);
    }
    case 0xD0: {
        const uint8_t ev[2] = {status, d1};
        return putEvent(ev, 2);
    }
    default: {
        if (BAR_INFO *e = barInfoFor(slot))
            e->pitchBend = uint16_t(d1 << 8 | d2);
        const uint8_t ev[3] = {status, d1, d2};
        return putEvent(ev, 3);
    }
    }
}

bool cutChannelEvent(uint8_t status, uint8_t d1, uint8_t d2)
{
    const uint8_t kind = status & 0xF0;
    if (status == 0xB0) {
        if (d1 == 6 || d1 == 98 || d1 == 99 || d1 == 100) {
            if (d1 == 98 || d1 == 100)
                lyricsControllerChord(d1, d2);
            return true;
        }
        if (d1 == 31) {
            g_run.mi->ccSyllableMode = 1;
            lyricsControllerSyllable(d2);
            if (!(g_run.flags & EXTRACT_FLAG_LYRICS))
                return true;
        }
    }
    const uint8_t ev[3] = {status, d1, d2};
    return putEvent(ev, (kind == 0xC0 || kind == 0xD0) ? 2 : 3);
}

void tempoEvent(const uint8_t *d)
{
    MidiInfos *mi = g_run.mi;
    const uint32_t micros = uint32_t(d[0]) << 16 | uint32_t(d[1]) << 8 | d[2];
    g_run.tempoMicros = micros;
    uint32_t bpm = 60000000u / micros;
    if (bpm > MAX_BPM)
        bpm = MAX_BPM;
    TEMPO_ENTRY &last = mi->tempoTable[mi->tempoCount - 1];
    if (last.bar == g_run.bar) {
        last.bpm = uint16_t(bpm);
    } else if (last.bpm != bpm) {
        // The table only serves the display; the stream keeps every tempo
        // event, so the song still plays and times right.
        if (mi->tempoCount >= MAX_TEMPO_ENTRIES) {
            if (!N.tempoTableFull)
                logMsg(2, EXTRACT_LOG_SOURCE, __LINE__,
                       "Tempo table full: tempo changes from bar %d on are not listed", g_run.bar);
            N.tempoTableFull = true;
            return;
        }
        TEMPO_ENTRY &e = mi->tempoTable[mi->tempoCount++];
        e.bar = uint16_t(g_run.bar);
        e.bpm = uint16_t(bpm);
    }
}

void timeSignatureEvent(const uint8_t *d)
{
    const int nn = d[0];
    const int dd = d[1];
    if (nn == 0 || dd > MAX_TIME_SIG_EXPONENT) {
        logMsg(2, EXTRACT_LOG_SOURCE, __LINE__, "Time signature %d/2^%d ignored", nn, dd);
        return;
    }
    setTimeSignature(nn, 1 << dd);
    if (SongTickPerBarCount < MAX_TICK_PER_BAR) {
        TICK_PER_BAR &t = SongTickPerBar[SongTickPerBarCount++];
        t.beatLength = N.beatLength;
        t.bar = uint16_t(g_run.bar);
        t.beatsPerBar = uint16_t(nn);
    }
    if (s_precountBars > 0 && !g_run.dryRun && !N.precountInserted && !s_fastRun) {
        logMsg(4, EXTRACT_LOG_SOURCE, __LINE__, " USE PRECOUNT ");
        N.precountArmed = true;
        N.precountInserted = true;
    }
}

// Reads the data of a SysEx or meta event into the event in hand (at most
// EXTRACT_HELD_MAX bytes); the rest stays in the source.
bool readHeld(uint8_t *dst, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i) {
        const int b = nextByte();
        if (b < 0)
            return false;
        dst[i] = uint8_t(b);
    }
    return true;
}

bool passRest(uint32_t left, bool write)
{
    for (; left; --left) {
        const int b = nextByte();
        if (b < 0 || (write && !put(uint8_t(b))))
            return false;
    }
    return true;
}

bool endOfTrack()
{
    static const uint8_t eot[3] = {0xFF, 0x2F, 0x00};
    lyricsEndRun();
    if (failed() || !putEvent(eot, 3))
        return false;
    decodeEndWork = EXTRACT_OK;
    return true;
}

bool sysexEvent()
{
    ExtractEvent &ev = g_run.ev;
    uint32_t n;
    if (!readVlq(n))
        return false;
    const uint32_t held = n < EXTRACT_HELD_MAX ? n : EXTRACT_HELD_MAX;
    ev.msg[0] = 0xF0;
    ev.msg[1] = uint8_t(held);
    ev.length = held;
    if (!readHeld(ev.msg + 2, held))
        return false;
    if (g_run.playMode) {
        if (n > EXTRACT_HELD_MAX)
            return passRest(n - held, false);
        if (!AnalyseSxs(g_run.song, g_run.bar, g_run.port))
            return true;
        return putEvent(ev.msg, n + 2);
    }
    if (!AnalyseSxs(g_run.song, g_run.bar, g_run.port))
        return passRest(n - held, false);
    return putDelta() && put(0xF0) && putVlq(n) && putBytes(ev.msg + 2, held) &&
           passRest(n - held, true);
}

// Whether the meta event in hand stays in the play stream.
bool playMeta(uint8_t type, const uint8_t *d, uint32_t n)
{
    switch (type) {
    case 0x01:
        lyricsText(d, n);
        return false;
    case 0x05:
        if (isSysExMode())
            return true;
        lyricsLyric(d, n);
        return false;
    case 0x06:
        lyricsMarker(d, n);
        return false;
    case 0x4B:
        lyricsMakerMeta(d, n);
        return false;
    case 0x00:
    case 0x04:
    case 0x4C:
    case 0x4D:
        return false;
    case 0x51:
        // The engine divides by the tempo: a tempo of 0 never reaches it.
        if (n != 3 || !(d[0] | d[1] | d[2])) {
            logMsg(2, EXTRACT_LOG_SOURCE, __LINE__, "Tempo event ignored");
            return false;
        }
        tempoEvent(d);
        return true;
    case 0x58:
        if (n >= 2)
            timeSignatureEvent(d);
        return false;
    case 0x59:
        if (n >= 2)
            getKeyString(g_run.mi->key, int8_t(d[0]), d[1]);
        return false;
    case 0x7F:
        if (n != 7)
            return true;
        if (d[0] == 0x43 && d[1] == 0x7B && d[2] == 0x01)
            lyricsXfChord(d[3], d[4], d[5]);
        return false;
    default:
        return type < 0x80;
    }
}

bool cutMeta(uint8_t type, const uint8_t *d, uint32_t n)
{
    const bool lyrics = g_run.flags & EXTRACT_FLAG_LYRICS;
    const bool markers = g_run.flags & EXTRACT_FLAG_MARKERS;
    switch (type) {
    case 0x01: {
        const bool wasKaraoke = lyricsKaraokeMode();
        lyricsText(d, n);
        if (lyrics)
            return wasKaraoke || !lyricsKaraokeMode();
        return !lyricsKaraokeMode();
    }
    case 0x05:
        lyricsLyric(d, n);
        return lyrics;
    case 0x06:
        return markers;
    case 0x4B:
        return markers || n == 0 || d[0] != MAKER_META_MARKER;
    default:
        return true;
    }
}

bool metaEvent()
{
    ExtractEvent &ev = g_run.ev;
    const int type = nextByte();
    if (type < 0)
        return false;
    uint32_t n;
    if (!readVlq(n))
        return false;
    const uint32_t held = n < EXTRACT_HELD_MAX ? n : EXTRACT_HELD_MAX;
    ev.type = uint8_t(type);
    ev.msg[0] = 0xFF;
    ev.msg[1] = uint8_t(type);
    ev.msg[2] = uint8_t(held);
    ev.length = held;
    if (!readHeld(ev.msg + 3, held))
        return false;
    if (type == 0x2F)
        return endOfTrack();
    if (g_run.playMode) {
        if (n > EXTRACT_HELD_MAX)
            return passRest(n - held, false);
        if (!playMeta(uint8_t(type), ev.msg + 3, held))
            return true;
        return putEvent(ev.msg, held + 3);
    }
    if (!cutMeta(uint8_t(type), ev.msg + 3, held))
        return passRest(n - held, false);
    return putDelta() && put(0xFF) && put(uint8_t(type)) && putVlq(n) &&
           putBytes(ev.msg + 3, held) && passRest(n - held, true);
}

// F7 n data: a SysEx continuation or escaped bytes. No port takes it from the
// engine, so play mode drops it; a saved file keeps it.
bool escapeEvent()
{
    uint32_t n;
    if (!readVlq(n))
        return false;
    if (g_run.playMode)
        return passRest(n, false);
    return putDelta() && put(0xF7) && putVlq(n) && passRest(n, true);
}

bool portSelect(uint8_t p)
{
    if (p != 1 && p != 2) {
        logMsg(2, EXTRACT_LOG_SOURCE, __LINE__, "Port select %d dropped", p);
        return true;
    }
    if (g_run.playMode && g_run.fileType != FILE_TYPE_MF5) {
        if (!N.portWarned)
            logMsg(2, EXTRACT_LOG_SOURCE, __LINE__, "Port select outside an MF5 song dropped");
        N.portWarned = true;
        return true;
    }
    g_run.port = p - 1;
    const uint8_t ev[2] = {EXTRACT_EV_PORT, p};
    return putEvent(ev, 2);
}

bool dataByte(int b, bool checked)
{
    if (b < 0)
        return false;
    if (checked && b >= 0x80) {
        extractFail(EXTRACT_ERR_DATA, ">>>>>>>>>>> Error: invalid BYTE");
        return false;
    }
    return true;
}

bool readEvent()
{
    MidiInfos *mi = g_run.mi;
    uint32_t raw;
    if (!readVlq(raw))
        return false;
    uint64_t delta = uint64_t(raw) * N.factor;
    if (g_run.playMode) {
        delta += N.precountHeld;
        N.precountHeld = 0;
        if (N.precountArmed) {
            N.precountHeld = uint64_t(s_precountBars) * uint64_t(N.beatsPerBar) * N.beatLength;
            N.precountArmed = false;
        }
    }
    N.pending += delta;
    N.sinceGrid += delta;
    const uint64_t tick = uint64_t(mi->runningTick) + delta;
    mi->runningTick = tick > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(tick);
    if (g_run.playMode && !runGrid())
        return false;

    int b = nextByte();
    if (b < 0)
        return false;
    int d1 = -1;
    uint8_t status;
    if (b < 0x80) {
        if (!N.runningStatus) {
            extractFail(EXTRACT_ERR_DATA, ">>>>>>>>>>> Error: invalid BYTE");
            return false;
        }
        status = N.runningStatus;
        d1 = b;
    } else {
        status = uint8_t(b);
    }

    if (status < 0xF0) {
        N.runningStatus = status;
        const uint8_t kind = status & 0xF0;
        // Container payloads carry odd An data and no note-off velocity.
        const bool checked = !(g_run.container && kind == 0xA0);
        if (d1 < 0)
            d1 = nextByte();
        if (!dataByte(d1, checked))
            return false;
        int d2 = 0;
        if (kind == 0x80 && g_run.container) {
            d2 = 64;
        } else if (kind != 0xC0 && kind != 0xD0) {
            d2 = nextByte();
            if (!dataByte(d2, checked))
                return false;
        }
        g_run.ev.status = status;
        g_run.ev.d1 = uint8_t(d1);
        g_run.ev.d2 = uint8_t(d2);
        return g_run.playMode ? playChannelEvent(status, uint8_t(d1), uint8_t(d2))
                              : cutChannelEvent(status, uint8_t(d1), uint8_t(d2));
    }
    g_run.ev.status = status;
    switch (status) {
    case 0xF0:
        N.runningStatus = 0;
        return sysexEvent();
    case 0xFF:
        N.runningStatus = 0;
        return metaEvent();
    case 0xF7:
        N.runningStatus = 0;
        return escapeEvent();
    case EXTRACT_EV_PORT: {
        const int p = nextByte();
        return dataByte(p, true) && portSelect(uint8_t(p));
    }
    default:
        extractFail(EXTRACT_ERR_STATUS, ">>>>>>>>>>> Error: in removing ");
        return false;
    }
}

// Head: "MThd" chunk and "MTrk" header, the division rewritten to 480 when
// the deltas are scaled.
bool copyHead()
{
    uint8_t head[EXTRACT_HEAD_SIZE_MF4];
    const int size = g_run.fileType == FILE_TYPE_MF4 ? EXTRACT_HEAD_SIZE_MF4 : EXTRACT_HEAD_SIZE;
    for (int i = 0; i < size; ++i) {
        const int b = src.get();
        if (b < 0) {
            extractFail(EXTRACT_ERR_DECODE, nullptr);
            return false;
        }
        head[i] = uint8_t(b);
    }
    const bool chunkLength = g_run.fileType == FILE_TYPE_MF4 || std::memcmp(head + 4, "\0\0\0\6", 4) == 0;
    if (std::memcmp(head, "MThd", 4) != 0 || !chunkLength || std::memcmp(head + size - 8, "MTrk", 4) != 0) {
        logMsg(1, EXTRACT_LOG_SOURCE, __LINE__, "Song head not understood");
        extractFail(EXTRACT_ERR_DECODE, nullptr);
        return false;
    }
    const uint32_t division = uint32_t(head[12]) << 8 | head[13];
    if (division == 0 || (division & 0x8000)) {
        extractFail(EXTRACT_ERR_TPQN, "Invalid TPQN");
        return false;
    }
    if (EXTRACT_TPQN % division == 0) {
        N.factor = EXTRACT_TPQN / division;
        g_run.tpqn = EXTRACT_TPQN;
        if (!g_run.dryRun) {
            head[12] = uint8_t(EXTRACT_TPQN >> 8);
            head[13] = uint8_t(EXTRACT_TPQN & 0xFF);
        }
    } else {
        N.factor = 1;
        g_run.tpqn = division;
    }
    g_run.mfi->tpqn = uint16_t(g_run.tpqn);
    if (!putBytes(head, uint32_t(size)))
        return false;
    N.headSize = size;
    g_run.tempoMicros = 500000;
    setTimeSignature(4, 4);
    g_run.mi->barTicks[0] = 0;
    if (!g_run.dryRun)
        g_run.mi->barOffsets[0] = uint32_t(size);
    return true;
}

void resetTables()
{
    MidiInfos *mi = g_run.mi;
    MidiStream *ms = g_run.ms;
    ClearMidiInfos(mi);

    std::memset(ms->programMap, UNSET_BYTE, sizeof ms->programMap);
    ms->chorusMacro = ms->chorusLevel = ms->reverbMacro = ms->reverbLevel = UNSET_BYTE;
    ms->flags &= ~STREAM_FLAG_SECOND_PORT;

    for (int i = 0; i < NUM_SLOTS; ++i) {
        noteNum[i].store(0, std::memory_order_relaxed);
        noteScore[i].store(0, std::memory_order_relaxed);
    }
    SongTickPerBarCount = 0;
    BarPositions.clear();
}

void completeEffects()
{
    MidiStream *ms = g_run.ms;
    Db *db = g_run.db;
    auto complete = [](uint8_t &streamValue, uint8_t &dbValue, uint8_t fallback) {
        if (streamValue == UNSET_BYTE)
            streamValue = fallback;
        if (dbValue == UNSET_BYTE)
            dbValue = streamValue;
    };
    complete(ms->chorusMacro, db->chorusMacro, 2);
    complete(ms->chorusLevel, db->chorusLevel, 100);
    complete(ms->reverbMacro, db->reverbMacro, 4);
    complete(ms->reverbLevel, db->reverbLevel, 100);
}

int runNormaliser(s_StreamData *song, const uint8_t *fileBytes, int length, int flags, int dryRun)
{
    std::memset(&g_run, 0, sizeof g_run);
    std::memset(&N, 0, sizeof N);
    decodeEndWork = 0;
    totCharDecoded = 0;
    g_run.song = song;
    g_run.ms = song->midiStream;
    g_run.mi = song->midiInfos;
    g_run.mfi = song->mfi;
    g_run.db = song->db;
    g_run.flags = flags;
    g_run.playMode = flags == EXTRACT_PLAY_MODE;
    g_run.dryRun = dryRun != 0 && g_run.playMode;
    std::memset(N.nrpnMsb, UNSET_BYTE, sizeof N.nrpnMsb);
    std::memset(N.nrpnLsb, UNSET_BYTE, sizeof N.nrpnLsb);
    N.out = g_run.mfi->buffer;
    const int precountBars = g_run.playMode && !g_run.dryRun ? s_precountBars : 0;

    resetTables();
    lyricsBeginRun();
    if (!fileBytes || length <= 0) {
        extractFail(EXTRACT_ERR_EMPTY, nullptr);
        return 0;
    }
    // Zero padding behind the data: the loader's readers look a few bytes ahead.
    std::unique_ptr<uint8_t[]> fileCopy(new (std::nothrow) uint8_t[size_t(length) + FILE_COPY_PADDING]());
    ConversionBuffer conversion;
    if (!fileCopy || !conversion.ok()) {
        extractFail(EXTRACT_ERR_DECODE, "No memory");
        return 0;
    }
    std::memcpy(fileCopy.get(), fileBytes, size_t(length));
    uint8_t smfFormat = 0;
    g_run.fileType = getFileTypeN(fileCopy.get(), uint32_t(length), &smfFormat);
    g_run.container = g_run.fileType >= FILE_TYPE_MF3 && g_run.fileType <= FILE_TYPE_MF5;
    g_run.ms->fileType = uint32_t(g_run.fileType);
    g_run.ms->smfFormat = smfFormat;
    g_run.mi->data = fileCopy.get();
    g_run.mi->dataLength = uint32_t(length);

    const bool prepared = DecodeFileInit(song) == 1;
    if (!prepared) {
        extractFail(g_run.mi->dataLength == 0 ? EXTRACT_ERR_EMPTY : EXTRACT_ERR_DECODE, nullptr);
        g_run.mi->data = nullptr;
        g_run.mi->dataLength = 0;
        return 0;
    }
    src.song = song;
    src.pos = 0;

    if (!g_run.dryRun && N.out)
        std::memset(N.out, 0, CLEARED_STREAM_BYTES);
    initDBSTRUCT(g_run.db);
    if (g_run.fileType == FILE_TYPE_MIDI)
        loadSongSettings_MID(fileCopy.get(), uint32_t(length), g_run.db);
    else
        loadSongSettings_MFx(HeaderMFx, g_run.db);

    if (copyHead()) {
        while (!failed() && readEvent()) {
        }
    }

    MidiInfos *mi = g_run.mi;
    mi->barCount = uint16_t(g_run.bar + 1);
    mi->precountBars = int16_t(N.precountInserted ? precountBars : 0);
    g_run.mfi->streamLength = N.outCount;
    totCharDecoded = int(N.outCount);
    mi->data = nullptr;
    mi->dataLength = 0;
    if (decodeEndWork != EXTRACT_OK)
        return 0;
    if (!g_run.dryRun) {
        const uint32_t trackLength = N.outCount - uint32_t(N.headSize);
        uint8_t *p = N.out + N.headSize - 4;
        p[0] = uint8_t(trackLength >> 24);
        p[1] = uint8_t(trackLength >> 16);
        p[2] = uint8_t(trackLength >> 8);
        p[3] = uint8_t(trackLength);
    }
    completeEffects();
    return int(N.outCount);
}

} // namespace

void extractFail(int code, const char *message)
{
    if (decodeEndWork != 0)
        return;
    decodeEndWork = code;
    if (message)
        logMsg(1, EXTRACT_LOG_SOURCE, __LINE__, "%s", message);
}

int _nomalizeSequence(s_StreamData *song, const uint8_t *fileBytes, int length, int flags,
                      int dryRun)
{
    ExtractLocker lock;
    if (!song || !song->midiStream || !song->midiInfos || !song->mfi || !song->db ||
        !song->mfi->buffer) {
        decodeEndWork = EXTRACT_ERR_EMPTY;
        return 0;
    }
    const int result = runNormaliser(song, fileBytes, length, flags, dryRun);
    if (flags == EXTRACT_PLAY_MODE && !dryRun)
        s_precountBars = 0;
    return result;
}

int _calculate_MIDI_precount(s_StreamData *song, int fastRun, int precountBars, int melodyChannel)
{
    ExtractLocker lock;
    s_fastRun = fastRun != 0;
    s_precountBars = 0;
    if (!song || !song->midiInfos || s_fastRun || precountBars < 1)
        return 1;
    const MidiInfos *mi = song->midiInfos;
    const int bars = precountBars < MAX_BARS ? precountBars : MAX_BARS;
    for (int bar = 0; bar < bars; ++bar) {
        for (int slot = 0; slot < NUM_SLOTS; ++slot) {
            if (slot == melodyChannel || slot == DRUM_SLOT_PORT0 || slot == DRUM_SLOT_PORT1)
                continue;
            if (mi->activity[slot][0][bar] & 0x03) {
                s_precountBars = precountBars - bar;
                song->midiInfos->precountBars = int16_t(s_precountBars);
                return 1;
            }
        }
    }
    return 1;
}

int getLoadingError()
{
    return decodeEndWork == EXTRACT_OK || decodeEndWork == 0 ? 0 : -decodeEndWork;
}

bool isDecoding() { return decodeEndWork == 0; }

int getTotCharDecoded() { return totCharDecoded; }

uint32_t EXTRACT_GetNoteNum(int slot)
{
    return slot >= 0 && slot < NUM_SLOTS ? noteNum[slot].load(std::memory_order_relaxed) : 0;
}

uint32_t EXTRACT_GetNoteScore(int slot)
{
    return slot >= 0 && slot < NUM_SLOTS ? noteScore[slot].load(std::memory_order_relaxed) : 0;
}

uint32_t ticksToMs(int ticks, int tpqn, int bpm)
{
    if (tpqn <= 0 || bpm <= 0)
        return 0;
    return uint32_t(double(ticks) * 60000.0 / (double(tpqn) * double(bpm)));
}

uint32_t msAtTick(int tick, s_StreamData *song)
{
    return TempoMap(song).msAt(tick);
}
