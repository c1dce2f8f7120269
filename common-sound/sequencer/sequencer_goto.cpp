#include "sequencer_goto.h"

#include "Fading.h"
#include "RealTime.h"
#include "inserts.h"
#include "sequencer_ex_p.h"
#include "sequencer_signals.h"
#include "volumes.h"

#include <cstdlib>
#include <cstring>

uint8_t MidiAuxBuffer[MIDI_AUX_BUFFER_SIZE];
uint8_t *ptrMF5AuxBuffer = MidiAuxBuffer;
uint8_t IncomingVolume[16];

namespace {
const char *const LOG_SRC = "../common-sound/sequencer/sequencer_goto";

constexpr int CURVE_AUTOMATIC = 4;
constexpr int FIRST_DELTA = 60;
constexpr int NEXT_SYSEX_DELTA = 20;
constexpr int NEXT_CHANNEL_DELTA = 5;
constexpr uint32_t ST_PAUSE_BITS = 0x02 | ST_PAUSE;
constexpr uint8_t END_MARKER[5] = {0x00, 0xFF, 0x2F, 0x01, 0x00};
constexpr uint8_t GM_ON[7] = {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// One channel's state at a bar; 0xFF (0xFFFF for the bend) = not recorded.
struct ChaseChannel {
    uint8_t program, bank, volume;
    uint8_t cc[12];              // 11, 10, 91, 93, 64, 65, 72, 73, 74, 75, 66, 71
    uint16_t pitchBend;          // data 1 high, data 2 low
};
const uint8_t CHASE_CC[12] = {11, 10, 91, 93, 64, 65, 72, 73, 74, 75, 66, 71};

void foldChannels(const MidiInfos *infos, int bar, bool high, ChaseChannel out[16])
{
    std::memset(out, 0xFF, sizeof(ChaseChannel) * 16);
    const int n = infos->barInfoCount < MAX_BAR_INFO ? infos->barInfoCount : MAX_BAR_INFO;
    for (int i = 0; i < n; ++i) {
        const BAR_INFO &e = infos->barInfo[i];
        if (e.bar > bar || e.slot >= NUM_SLOTS || (e.slot >= 16) != high)
            continue;
        ChaseChannel &c = out[e.slot & 15];
        auto take = [](uint8_t &to, uint8_t v) {
            if (v != UNSET_BYTE)
                to = v;
        };
        take(c.program, e.program);
        take(c.bank, e.bank);
        take(c.volume, e.cc7);
        const uint8_t values[12] = {e.cc11, e.cc10, e.cc91, e.cc93, e.cc64, e.cc65,
                                    e.cc72, e.cc73, e.cc74, e.cc75, e.cc66, e.cc71};
        for (int k = 0; k < 12; ++k)
            take(c.cc[k], values[k]);
        if (e.pitchBend != UNSET_WORD)
            c.pitchBend = e.pitchBend;
    }
}

int channelBytes(const ChaseChannel &c)
{
    if (c.program == UNSET_BYTE)
        return 0;
    int n = 4 + 3 + (c.volume != UNSET_BYTE ? 4 : 0) + (c.pitchBend != UNSET_WORD ? 4 : 0);
    for (uint8_t v : c.cc)
        n += v != UNSET_BYTE ? 4 : 0;
    return n;
}

int channelsBytes(const ChaseChannel chans[16])
{
    int n = 0;
    for (int c = 0; c < 16; ++c)
        n += channelBytes(chans[c]);
    return n;
}

// Bounded writer over the chase buffer.
struct Writer {
    uint8_t *buf;
    int cap;
    int pos = 0;
    bool fits(int n, int reserve) const { return pos + n + reserve <= cap; }
    void put(uint8_t b) { buf[pos++] = b; }
    void put(const uint8_t *p, int n)
    {
        std::memcpy(buf + pos, p, size_t(n));
        pos += n;
    }
};

bool equalsLastReverb(const SYSEX_ENTRY &e)
{
    return e.message[0] == 0xF0 && lastReverbSysEx[0] == 0xF0 &&
           std::memcmp(e.message + 2, lastReverbSysEx + 1, sizeof lastReverbSysEx - 1) == 0;
}

// SysEx of the song up to bar, as long as reserve bytes stay free after them.
void writeSysex(Writer &w, const MidiInfos *infos, int bar, bool high, int &delta, int reserve)
{
    const bool differentSong = stHas(ST_JUMP_PREPARED);
    const int n = infos->sysexCount < MAX_SYSEX_ENTRIES ? infos->sysexCount : MAX_SYSEX_ENTRIES;
    for (int i = 0; i < n; ++i) {
        const SYSEX_ENTRY &e = infos->sysexTable[i];
        if (e.bar > bar)
            break;
        const bool skip = differentSong ? e.port != UNSET_WORD : e.port == (high ? 0 : 1);
        if (skip) {
            delta = NEXT_SYSEX_DELTA;
            continue;
        }
        if (!high && equalsLastReverb(e))
            continue;
        // The entry holds at most SYSEX_ENTRY_SIZE - 2 data bytes, whatever
        // its length byte says.
        int len = e.message[1];
        if (len > SYSEX_ENTRY_SIZE - 2)
            len = SYSEX_ENTRY_SIZE - 2;
        if (!w.fits(3 + len, reserve))
            break;
        w.put(uint8_t(delta));
        w.put(0xF0);
        w.put(uint8_t(len));
        w.put(e.message + 2, len);
        delta = NEXT_SYSEX_DELTA;
    }
}

void writeChannels(Writer &w, const ChaseChannel chans[16], bool high)
{
    bool first = true;
    for (int c = 0; c < 16; ++c) {
        const ChaseChannel &ch = chans[c];
        const int flat = high ? 16 + c : c;
        RT_info[flat][RT_INFO_PROGRAM].store(UNSET_BYTE, std::memory_order_relaxed);
        if (ch.program == UNSET_BYTE)
            continue;
        const uint8_t cc = uint8_t(0xB0 | c);
        w.put(uint8_t(first ? FIRST_DELTA : NEXT_CHANNEL_DELTA));
        first = false;
        const uint8_t bank[3] = {cc, 0x00, uint8_t(ch.bank == UNSET_BYTE ? 0 : ch.bank & 0x7F)};
        w.put(bank, 3);
        const uint8_t program[3] = {0x00, uint8_t(0xC0 | c), uint8_t(ch.program & 0x7F)};
        w.put(program, 3);
        RT_info[flat][RT_INFO_PROGRAM].store(ch.program, std::memory_order_relaxed);
        if (ch.volume != UNSET_BYTE) {
            const uint8_t vol[4] = {0x05, cc, 0x07, uint8_t(ch.volume & 0x7F)};
            w.put(vol, 4);
            if (!high)
                IncomingVolume[c] = ch.volume;
        }
        for (int k = 0; k < 12; ++k) {
            if (ch.cc[k] == UNSET_BYTE)
                continue;
            const uint8_t ev[4] = {0x00, cc, CHASE_CC[k], uint8_t(ch.cc[k] & 0x7F)};
            w.put(ev, 4);
        }
        if (ch.pitchBend != UNSET_WORD) {
            const uint8_t ev[4] = {0x00, uint8_t(0xE0 | c), uint8_t((ch.pitchBend >> 8) & 0x7F),
                                   uint8_t(ch.pitchBend & 0x7F)};
            w.put(ev, 4);
        }
    }
}

void writeSetup(Writer &w, const SETUP_LIST &setup, int reserve)
{
    int n = setup.count;
    if (n < 0)
        n = 0;
    if (n > SETUP_LIST_SIZE)
        n = SETUP_LIST_SIZE;
    if (w.fits(n, reserve))
        w.put(setup.data, n);
}

void setPointers(int role)
{
    SEQUENCER_EX_AssignPtrs(role);
}

int roleInPlay() { return nowIsPlaying.load() ? 1 : 0; }

int currentBarOf(const MidiStream *s) { return s ? int(timingOf(s).bar) : 0; }

// The un-pause of a goto made while paused.
void unpauseForGoto(MidiStream *stream)
{
    setPointers(roleInPlay());
    AdvanceHold hold;
    stClear(ST_PAUSE_BITS);
    ResumeHarmonizer();
    if (stream)
        sflagsSet(stream, SF_FADE_OUT_NOW);
    rtLogMsg(3, LOG_SRC, __LINE__, "Jump Phase end");
}

// A fresh reader over the chase list of a slot about to play.
void startChaseReader(MidiStream *s, Mfi *m)
{
    m->errorCode = 0;
    m->readPosition = 0;
    m->totalTicks = 0;
    m->lastDelta = 0;
    m->ticksBeforeEvent = 0;
    m->messageLength = 0;
    m->runningStatus = UNSET_WORD;
    m->fastRun = 0;
    s->currentTick = s->eventTick = s->prevEventTick = 0;
    s->currentBar = 0;
    s->currentBeat = 0;
    timingOf(s) = EngineSlotTiming{};
    ComputeTime(s);
}

void linkDb(int role)
{
    if (MidiStream *s = roleStream(role))
        s->db = roleDb(role);
    if (MidiInfos *i = roleInfos(role))
        i->db = roleDb(role);
}

// Copies a song's four records into the slot of role and its stream into a
// free event buffer; the port and the buffer index, or false (nothing taken).
bool loadIntoSlot(s_StreamData *song, int role, int &port, int &bufferIndex, const char *noPortLine)
{
    // A slot still playing is never overwritten.
    if (roleStream(role)->slotByte != 0)
        return false;
    port = SEQUENCER_EX_GetFreeMidiPort();
    if (port < 0) {
        rtLogMsg(4, LOG_SRC, __LINE__, "%s", noPortLine);
        return false;
    }
    uint8_t *buffer = SEQUENCER_EX_GetFreeBuffer(&bufferIndex);
    if (!buffer) {
        // Nothing may keep the port once the jump is refused.
        freeMidiPort(port, 0);
        return false;
    }
    std::memcpy(roleInfos(role), song->midiInfos, sizeof(MidiInfos));
    std::memcpy(roleStream(role), song->midiStream, sizeof(MidiStream));
    std::memcpy(roleMfi(role), song->mfi, sizeof(Mfi));
    std::memcpy(roleDb(role), song->db, sizeof(Db));
    uint32_t length = song->mfi->streamLength;
    if (length == 0 && song->streamLength > 0)
        length = uint32_t(song->streamLength);
    if (length > EVENT_BUFFER_SIZE)
        length = EVENT_BUFFER_SIZE;
    if (song->eventBuffer)
        std::memcpy(buffer, song->eventBuffer, length);
    linkDb(role);
    roleMfi(role)->buffer = buffer;
    roleMfi(role)->streamLength = length;
    roleStream(role)->port = uint8_t(port);
    CopyVolumesMap(ownOutput(port), ownOutput(port).other());
    return true;
}

int firstBarWithNote(const MidiInfos *infos)
{
    const int bars = infos->barCount < MAX_BARS ? infos->barCount : MAX_BARS;
    for (int b = 0; b < bars; ++b)
        for (int c = 0; c < 16; ++c)
            if (infos->activity[c][0][b] & 1)
                return b;
    return infos->barCount;
}

bool jumpRunning(const char *line)
{
    if (jumpStatus.load() == 0)
        return false;
    rtLogMsg(4, LOG_SRC, __LINE__, "%s", line);
    return true;
}
} // namespace

int isAutoBpm(int newBpm, int oldBpm)
{
    if (newBpm <= 0 || oldBpm <= 0)
        return 0;
    const int16_t ratio = int16_t(100 * newBpm / oldBpm);
    const int rate = bpmAdjustRate.load(std::memory_order_relaxed);
    return (ratio >= 100 - rate && ratio <= 100 + rate) ? 1 : 0;
}

void ResetCueingFactor(void)
{
    jumpFadeFactor1 = CROSSFADE_START_FACTOR;
    jumpFadeFactor2 = CROSSFADE_START_FACTOR;
    // A stop in the middle of a cross-fade leaves no output half silent.
    maxMidiSourceVolume(1, MidiOutput::of<1>());
    maxMidiSourceVolume(1, MidiOutput::of<2>());
}

void UnPause(void)
{
    stClear(ST_PAUSE_BITS);
    ResumeHarmonizer();
}

void SelectAutoCueingMode(int slot, int enable)
{
    cueingMode.store(enable ? CUEING_CROSSFADE : CUEING_IMMEDIATE);
    if (!enable)
        return;
    auto effective = [](const MidiStream *s) {
        return s ? int(s->songBpm) + int(s->userTempoDelta) + int(s->autoTempoDelta) : 0;
    };
    auto userSum = [](const MidiStream *s) { return s ? int(s->songBpm) + int(s->userTempoDelta) : 0; };
    const MidiStream *self = roleStream(slot == 0 ? 0 : 1);
    const MidiStream *other = roleStream(slot == 0 ? 1 : 0);
    const bool match = isAutoBpm(effective(other), effective(self)) != 0;
    const int distance = std::abs(userSum(MidiStreamFirst) - userSum(MidiStreamSecond));
    rtLogMsg(4, LOG_SRC, __LINE__, "[SelectAutoCueingMode] Distanza BPM = %i", distance);
    SetCrossFadeCurve(distance <= 20 ? (match ? 2 : 1) : (match ? 1 : 3));
}

int TheGotoProcedure(MidiStream *stream)
{
    if (isFading() || isShortResuming())
        return GOTO_BUSY;
    textStreamActive.store(uint16_t(roleInPlay()));
    const bool paused = stHas(ST_PAUSE);
    if (stHas(ST_JUMP_PREPARED)) {
        if (paused)
            unpauseForGoto(stream);
        const uint32_t st = StFlag.load() & ~(0x02u | ST_GOTO_PENDING);
        const bool wizard = (st & ST_WIZARD_MODE) != 0;
        StFlag.store(wizard ? st | ST_GOTO_PENDING : st);
        if (wizard)
            rtLogMsg(3, LOG_SRC, __LINE__, "Jump Phase start");
        return GOTO_OK;
    }
    setPointers(roleInPlay() ? 0 : 1);
    if (paused) {
        unpauseForGoto(stream);
        stClear(ST_GOTO_PENDING);
    } else {
        stSet(ST_GOTO_PENDING);
        rtLogMsg(3, LOG_SRC, __LINE__, "Jump Phase start");
        jumpStatus.store(JUMP_SAME_SONG);
    }
    return GOTO_OK;
}

int SEQUENCER_EX_BuildChaseEvents(int bar, int twoOutputs, const MidiInfos *infos, MidiStream *stream)
{
    rtLogMsg(4, LOG_SRC, __LINE__, "Building chase events struct");
    if (!infos)
        return 0;
    static ChaseChannel low[16], high[16];
    foldChannels(infos, bar, false, low);
    if (twoOutputs)
        foldChannels(infos, bar, true, high);
    const int header = 6 + (twoOutputs ? 8 : 0);
    const int lowBytes = channelsBytes(low) + int(sizeof END_MARKER);
    const int highBytes = twoOutputs ? channelsBytes(high) + int(sizeof END_MARKER) : 0;
    if (header + lowBytes + highBytes > MIDI_AUX_BUFFER_SIZE) {
        rtLogMsg(2, LOG_SRC, __LINE__, "Chase events of bar %i do not fit", bar);
        return 0;
    }
    std::memset(IncomingVolume, 0, sizeof IncomingVolume);
    Writer w{MidiAuxBuffer, MIDI_AUX_BUFFER_SIZE};

    int bpm = SEQ_DEFAULT_BPM;
    const int tempos = infos->tempoCount < MAX_TEMPO_ENTRIES ? infos->tempoCount : MAX_TEMPO_ENTRIES;
    if (tempos > 0) {
        int in = 0;
        for (int i = 0; i < tempos && infos->tempoTable[i].bar <= bar; ++i)
            in = i;
        bpm = infos->tempoTable[in].bpm ? infos->tempoTable[in].bpm : SEQ_DEFAULT_BPM;
    }
    if (stream)
        stream->songBpm = int16_t(bpm);
    const uint32_t us = 60000000u / uint32_t(bpm);
    const uint8_t tempo[6] = {0xFF, 0x51, 0x03, uint8_t(us >> 16), uint8_t(us >> 8), uint8_t(us)};
    w.put(tempo, 6);
    int delta = FIRST_DELTA;
    if (twoOutputs) {
        w.put(FIRST_DELTA);
        w.put(GM_ON, sizeof GM_ON);
        delta = NEXT_SYSEX_DELTA;
    }
    writeSysex(w, infos, bar, false, delta, lowBytes + highBytes);
    writeChannels(w, low, false);
    writeSetup(w, infos->setupList[0], int(sizeof END_MARKER) + highBytes);
    w.put(END_MARKER, sizeof END_MARKER);
    ptrMF5AuxBuffer = MidiAuxBuffer + w.pos;
    if (twoOutputs) {
        delta = FIRST_DELTA;
        writeSysex(w, infos, bar, true, delta, highBytes);
        writeChannels(w, high, true);
        writeSetup(w, infos->setupList[1], int(sizeof END_MARKER));
        w.put(END_MARKER, sizeof END_MARKER);
    }
    return 1;
}

int ActionJumpDifferentSong_TMP(s_StreamData *song, int bar)
{
    if (stop.load()) {
        rtLogMsg(4, LOG_SRC, __LINE__, "!!ERROR [ActionJumpDifferentSong_TMP]: No MIDI in play");
        return 0;
    }
    if (jumpRunning("!![ActionJumpDifferentSong_TMP] Running Jump"))
        return 0;
    if (!song || !song->midiStream || !song->midiInfos || !song->mfi || !song->db)
        return 0;
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX_ActionJumpImmediateDifferentSong_TMP] jump_bar=%i", bar);
    const int playRole = roleInPlay();
    const int role = playRole ? 0 : 1;
    MidiStream *inPlay = roleStream(playRole);
    setPointers(role);
    int port = -1, bufferIndex = -1;
    if (!loadIntoSlot(song, role, port, bufferIndex,
                      "!!ERROR [SEQUENCER_EX_ActionJumpImmediateDifferentSong_TMP]: No midi port"))
        return 0;
    MidiStream *s = roleStream(role);
    MidiInfos *infos = roleInfos(role);
    AdvanceHold hold;
    s->slotByte = uint8_t(bufferIndex + 1);
    sflagsAssign(s, (sflags(s) & ~(SF_PENDING | SF_OUT_SEL_2)) | SF_SUSPENDED | SF_OUT_SEL_1);
    s->userTempoDelta = song->db->tempoDelta;
    s->transpose = song->db->transpose;
    s->startBar = uint16_t(bar < int(infos->barCount) ? (bar < 0 ? 0 : bar) : infos->barCount);
    SEQUENCER_EX_SetFastRun(0);
    jumpStatus.store(JUMP_DIFFERENT_SONG);
    const bool two = (sflags(s) & SF_USES_SECOND_PORT) != 0;
    if (!SEQUENCER_EX_BuildChaseEvents(s->startBar, two, infos, s)) {
        CloseStream(role);
        jumpStatus.store(0);
        return 0;
    }
    startChaseReader(s, roleMfi(role));
    stop.store(0);
    sflagsClear(s, SF_CHASE | SF_CHASE_HIGH);
    sflagsSet(s, SF_CHASE | (two ? SF_CHASE_HIGH : 0));
    stClear(ST_JUMP_PREPARED);
    const int goto_ = TheGotoProcedure(inPlay);
    if (goto_ != GOTO_OK) {
        rtLogMsg(4, LOG_SRC, __LINE__, "TheGotoProcedure() = %d FAIL !!!", goto_);
        return 0;
    }
    infos->insertsPreloaded = 0;
    for (int c = 0; c < 16; ++c) {
        if (!s->db || !s->db->layers[c][0].insertId)
            continue;
        const int block = INSERT_GetFirstBlockFree();
        if (block >= 0) {
            infos->insertsPreloaded = 1;
            INSERTS_SetNextChanWithInsert(block, c, role);
            rtLogMsg(4, LOG_SRC, __LINE__, "INSERT %d preloaded at channel %d ", block, c);
        } else {
            rtLogMsg(2, LOG_SRC, __LINE__, "INSERTS NOT AVAILABLE ");
        }
    }
    if (!infos->insertsPreloaded)
        infos->insertsPreloaded = int16_t(INSERTS_GetNumOfInsert2Fit(s->db));
    C_SIGNAL_precountEnded();
    sflagsAssign(s, (sflags(s) & ~(SF_PENDING | SF_SUSPENDED)) | SF_AUDIBLE);
    return 1;
}

int SEQUENCER_EX_ActionJumpImmediateDifferentSong(s_StreamData *song, int bar, int atBar)
{
    MidiStream *inPlay = roleStream(roleInPlay());
    const MidiInfos *infos = roleInfos(roleInPlay());
    if (!inPlay || !infos || !song || !song->midiInfos)
        return 0;
    const int current = currentBarOf(inPlay);
    if (current > int(infos->barCount) - 2) {
        rtLogMsg(4, LOG_SRC, __LINE__,
                 "SEQUENCER_EX_ActionJumpImmediateDifferentSong_TMP FAIL: TOO close to end %i->%i", current,
                 int(infos->barCount));
        return 0;
    }
    // Refusals first: a refused jump leaves the arming bar and cueing alone.
    if (stop.load() || jumpStatus.load() != 0)
        return ActionJumpDifferentSong_TMP(song, bar);
    if (bar < 1)
        bar = firstBarWithNote(song->midiInfos);
    const uint16_t previousAt = inPlay->atBar;
    const int previousCueing = cueingMode.load();
    inPlay->atBar = uint16_t(atBar > 0 ? atBar : 0);
    cueingMode.store(CUEING_IMMEDIATE);
    ResetCueingFactor();
    if (ActionJumpDifferentSong_TMP(song, bar))
        return 1;
    inPlay->atBar = previousAt;
    cueingMode.store(previousCueing);
    return 0;
}

int SEQUENCER_EX_ActionJumpFadingDifferentSong(s_StreamData *song, int bar, int atBar)
{
    const int playRole = roleInPlay();
    MidiStream *inPlay = roleStream(playRole);
    const MidiInfos *infos = roleInfos(playRole);
    if (!inPlay || !infos || !song || !song->info)
        return 0;
    const int n = infos->barCount;
    const int c = currentBarOf(inPlay);
    if (c > n - 2 || atBar > n - 2) {
        rtLogMsg(4, LOG_SRC, __LINE__,
                 "SEQUENCER_EX_ActionJumpFadingDifferentSong_TMP FAIL: TOO close to end %i->%i", c, n);
        return 0;
    }
    if (c > n - 5 || atBar > n - 5) {
        rtLogMsg(4, LOG_SRC, __LINE__,
                 "SEQUENCER_EX_ActionJumpFadingDifferentSong_TMP FAIL: TOO close to end %i->%i", c, n);
        return SEQUENCER_EX_ActionJumpImmediateDifferentSong(song, bar, atBar);
    }
    if (stop.load() || jumpStatus.load() != 0)
        return ActionJumpDifferentSong_TMP(song, bar);
    const double f = getFadeBeat(playRole) / 2;
    const double newBpm = song->info->bpm;
    const double oldBpm = int(inPlay->songBpm) + int(inPlay->userTempoDelta);
    int jumpBar = bar - int(newBpm / 60 * f * 0.25 + 0.5);
    int armBar = atBar - int(oldBpm * f / 60 * 0.25 + 0.5);
    if (jumpBar < 3)
        jumpBar = 2;
    if (armBar < 3)
        armBar = 2;
    const uint16_t previousAt = inPlay->atBar;
    inPlay->atBar = uint16_t(armBar);
    cueingMode.store(CUEING_CROSSFADE);
    if (crossfadeCurve.load() == CURVE_AUTOMATIC)
        SelectAutoCueingMode(playRole, CUEING_CROSSFADE);
    else
        SetCrossFadeCurve(crossfadeCurve.load());
    if (ActionJumpDifferentSong_TMP(song, jumpBar))
        return 1;
    inPlay->atBar = previousAt;
    return 0;
}

int SEQUENCER_EX_ActionJumpImmediateSameSong(int bar, int atBar)
{
    if (jumpRunning("!![SEQUENCER_EX_ActionJumpImmediateSameSong] Running Jump"))
        return 0;
    if (MidiStreamFirst->slotByte && MidiStreamSecond->slotByte) {
        rtLogMsg(4, LOG_SRC, __LINE__, "!![SEQUENCER_EX_ActionJumpImmediateSameSong] NO stream active for Jump");
        return 0;
    }
    const int playRole = roleInPlay();
    const int role = playRole ? 0 : 1;
    MidiStream *inPlay = roleStream(playRole);
    const MidiInfos *playInfos = roleInfos(playRole);
    const int n = playInfos->barCount;
    if (stop.load() || !inPlay->slotByte || currentBarOf(inPlay) > n - 2 || atBar > n - 2) {
        rtLogMsg(4, LOG_SRC, __LINE__,
                 "!![SEQUENCER_EX_ActionJumpImmediateSameSong] Too late to Jump OR jump too close to end");
        return 0;
    }
    const int port = SEQUENCER_EX_GetFreeMidiPort();
    if (port < 0)
        return 0;
    cueingMode.store(CUEING_IMMEDIATE);
    ResetCueingFactor();
    inPlay->atBar = uint16_t(atBar > 0 ? atBar : 0);
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX_ActionJumpImmediateSameSong_TMP] jump_bar=%i,  active=%i, start_bar=%i",
             bar, int(nowIsPlaying.load()), atBar);
    setPointers(role);
    MidiStream *s = roleStream(role);
    Mfi *m = roleMfi(role);
    const Mfi *playMfi = roleMfi(playRole);
    std::memset(m, 0, sizeof *m);
    std::memcpy(roleInfos(role), playInfos, sizeof(MidiInfos));
    std::memcpy(s, inPlay, sizeof *s);
    std::memcpy(roleDb(role), roleDb(playRole), sizeof(Db));
    m->buffer = playMfi->buffer;
    m->tpqn = playMfi->tpqn;
    m->streamLength = playMfi->streamLength;
    int start = bar ? bar : 1;
    if (start > n)
        start = n;
    s->startBar = uint16_t(start);
    s->port = uint8_t(port);
    s->atBar = 0;
    s->targetBar = -1;
    s->userTempoDelta = inPlay->userTempoDelta;
    s->transpose = inPlay->transpose;
    if (s->msPerBeat == 0)
        s->msPerBeat = SEQ_DEFAULT_US_PER_QUARTER;
    CopyVolumesMap(ownOutput(port), ownOutput(port).other());
    sflagsAssign(s, (sflags(s) & ~(SF_PENDING | SF_OUT_SEL_2 | SF_FADE_AND_STOP)) | SF_SUSPENDED | SF_OUT_SEL_1 |
                       SF_AUDIBLE);
    s->slotByte = uint8_t(playRole == 1 ? 1 : 2);
    linkDb(role);
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX_ActionJumpImmediateSameSong_TMP] jump_bar=%i", start);

    AdvanceHold hold;
    jumpStatus.store(JUMP_SAME_SONG);
    stSet(ST_JUMP_PREPARED);
    stop.store(0);
    const bool two = (sflags(s) & SF_USES_SECOND_PORT) != 0;
    if (!SEQUENCER_EX_BuildChaseEvents(start, two, roleInfos(role), s)) {
        CloseStream(role);
        stClear(ST_JUMP_PREPARED);
        jumpStatus.store(0);
        return 0;
    }
    startChaseReader(s, m);
    sflagsClear(s, SF_PENDING | SF_CHASE | SF_CHASE_HIGH | SF_AUDIBLE);
    sflagsSet(s, SF_AUDIBLE | SF_CHASE | (two ? SF_CHASE_HIGH : 0));
    const int goto_ = TheGotoProcedure(s);
    if (goto_ != GOTO_OK) {
        rtLogMsg(4, LOG_SRC, __LINE__, "TheGotoProcedure() = %d FAIL !!!", goto_);
        return 0;
    }
    sflagsClear(s, SF_SUSPENDED);
    return 1;
}

int SEQUENCER_EX_ActionJumpMP3Midi(s_StreamData *song, int bar)
{
    if (jumpRunning("!![SEQUENCER_EX_ActionJumpMP3Midi] Running Jump"))
        return 0;
    if (!song || !song->midiStream || !song->midiInfos || !song->mfi || !song->db)
        return 0;
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX_ActionJumpMP3Midi] jump_bar=%i", bar);
    int port = -1, bufferIndex = -1;
    setPointers(0);
    if (!loadIntoSlot(song, 0, port, bufferIndex, "!!ERROR [SEQUENCER_EX_ActionJumpMP3Midi]: No midi port"))
        return 0;
    MidiStream *s = roleStream(0);
    nowIsPlaying.store(0);
    const int start = bar > 2 ? bar : 2;
    if (!SEQUENCER_EX_BuildChaseEvents(start, (sflags(s) & SF_USES_SECOND_PORT) != 0, roleInfos(0), s)) {
        CloseStream(0);
        return 0;
    }
    startChaseReader(s, roleMfi(0));
    C_SIGNAL_SendMidiMuteWrapper(1);
    C_SIGNAL_precountEnded();
    setMidiGeneralVolume(1, 0);
    AdvanceHold hold;
    s->userTempoDelta = song->db->tempoDelta;
    s->transpose = song->db->transpose;
    s->startBar = uint16_t(start);
    sflagsAssign(s, (sflags(s) & ~(SF_PENDING | SF_SUSPENDED | SF_OUT_SEL_2 | SF_FADE_AND_STOP)) | SF_CHASE |
                       SF_CHASE_FADE_IN | SF_OUT_SEL_1 | SF_AUDIBLE | SF_XFADE_SAVED_DB);
    s->slotByte = 1;
    stop.store(0);
    return 1;
}

int SEQUENCER_EX_ActionJumpFadeOutMidiInPlay(int bar, int mode)
{
    if (jumpRunning("!![SEQUENCER_EX_ActionJumpFadeOutMidiInPlay] Running Jump"))
        return 0;
    MidiStream *s = roleStream(roleInPlay());
    const MidiInfos *infos = roleInfos(roleInPlay());
    if (!s || !s->slotByte || !infos || stop.load())
        return 0;
    rtLogMsg(4, LOG_SRC, __LINE__, "SEQUENCER_EX_ActionJumpFadeOutMidiInPlay target bar %i", bar);
    if (bar > int(infos->barCount) - 5) {
        bar = int(infos->barCount) - 5;
        rtLogMsg(4, LOG_SRC, __LINE__, "!![SEQUENCER_EX_ActionJumpFadeOutMidiInPlay] Reset targetBar to %i ", bar);
        // A song too short for that fades at once.
        if (bar < 0)
            bar = 0;
    }
    AdvanceHold hold;
    uint32_t flags = sflags(s) & ~(SF_FADE_AND_STOP | SF_XFADE_OWN_DB);
    if (mode == 1)
        flags |= SF_FADE_AND_STOP;
    flags |= SF_XFADE_OWN_DB;
    if (bar == 0)
        flags |= SF_FADE_OUT_NOW;
    else
        s->atBar = uint16_t(bar);
    sflagsAssign(s, flags);
    jumpStatus.store(JUMP_FADE_OUT_ARMED);
    rtLogMsg(4, LOG_SRC, __LINE__, mode == 1 ? "SEQUENCER_EX_ActionJumpFadeOutMidiInPlay mode= FADE_AND_STOP"
                                             : "SEQUENCER_EX_ActionJumpFadeOutMidiInPlay mode=  FADE 4 JUMP");
    return 1;
}

int SEQUENCER_EX_ActionFadeInStartFromBar(int bar)
{
    {
        AdvanceHold hold;
        setMidiGeneralVolume(1, 0);
        jumpStatus.store(JUMP_FADE_IN);
        jumpFadeFactor = LEVEL_FADE_START_FACTOR;
    }
    if (SEQUENCER_EX_GetPause())
        SEQUENCER_EX_ActionResume();
    if (bar >= 1)
        SEQUENCER_EX_SeekBar(bar, 0);
    return 1;
}

int SEQUENCER_EX_ActionJumpClear(void)
{
    if (stop.load()) {
        rtLogMsg(4, LOG_SRC, __LINE__, "!!ERROR [SEQUENCER_EX_ActionJumpClear]: NO midi in play");
        return 0;
    }
    const int js = jumpStatus.load();
    if (js == JUMP_CROSSFADE || js == JUMP_FADE_IN || js == JUMP_FADE_OUT) {
        rtLogMsg(4, LOG_SRC, __LINE__, "!![SEQUENCER_EX_ActionJumpClear] Impossible stop during fade");
        return 0;
    }
    if (js == 0) {
        rtLogMsg(4, LOG_SRC, __LINE__, "!![SEQUENCER_EX_ActionJumpClear] No Running Jump");
        return 1;
    }
    AdvanceHold hold;
    const int playRole = roleInPlay();
    if (MidiStream *s = roleStream(playRole))
        sflagsClear(s, SF_JUMP_AT_BAR | SF_FADE_OUT_NOW | SF_XFADE_OWN_DB | SF_FADE_AND_STOP);
    const MidiStream *other = roleStream(playRole ? 0 : 1);
    if (other && other->slotByte)
        CloseStream(playRole ? 0 : 1);
    SEQUENCER_EX_ClearNextStructures();
    stClear(ST_GOTO_PENDING | ST_JUMP_PREPARED);
    jumpStatus.store(0);
    return 1;
}
