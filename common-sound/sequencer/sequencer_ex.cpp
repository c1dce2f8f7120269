#include "sequencer_ex_p.h"

#include "ByteReader.h"
#include "ExtractProc.h"
#include "Fading.h"
#include "cinterface.h"
#include "inserts.h"
#include "logmsg.h"
#include "midi_controls.h"
#include "RealTime.h"
#include "sequencer_click.h"
#include "sequencer_goto.h"
#include "sequencer_signals.h"
#include "volumes.h"

#include <cstdio>
#include <cstring>

namespace {
const char *const LOG_SRC = SEQUENCER_EX_LOG_SRC;

// Waits of the operations that need the tick to move on: polls and a bound,
// after which they go on without it (a stuck or missing engine thread must
// not hang the GUI).
constexpr unsigned STOP_POLL_MS = 10;
constexpr unsigned STOP_WAIT_LIMIT_MS = 2000;
constexpr unsigned REWIND_POLL_MS = 50;
constexpr unsigned REWIND_WAIT_LIMIT_MS = 2000;

std::atomic<SequencerHost *> g_host{nullptr};
thread_local bool t_insideTick = false;

uint64_t g_lastStamp = 0;
bool g_restartClock = true;

uint8_t g_portResetDone[2];

bool slotOccupied(const MidiStream *s)
{
    return s && s->slotByte != 0;
}

void sendStopSoundAllChannels(MidiOutput output)
{
    for (int c = 0; c < 16; ++c) {
        unsigned char msg[MIDI_CONTROLS_STOP_SOUND_LEN];
        int len = 0;
        MIDI_CONTROLS_StopSoundChanAtPort_Ex(0, c, msg, &len);
        CINTERFACE_SendMidiEvent(output.number(), msg, len);
    }
}

void releasePort(int port, bool sendReset)
{
    if (port < 0 || port > 1)
        return;
    midiPortUsed[port].store(0);
    resetMidiChVolumesMap(ownOutput(port));
    if (sendReset)
        MIDI_CONTROLS_Push_Reset(ownOutput(port).number());
}

void resetSlotTiming(const MidiStream *s)
{
    EngineSlotTiming &e = timingOf(s);
    e = EngineSlotTiming{};
    e.songUsPerQuarter = SEQ_DEFAULT_US_PER_QUARTER;
    e.songBpmOfTempo = SEQ_DEFAULT_BPM;
}

// Polls cond every pollMs through the engine's sleep (which a test driver
// turns into ticks of its simulated clock) for at most limitMs.
template <typename Cond>
bool waitFor(Cond cond, unsigned pollMs, unsigned limitMs)
{
    for (unsigned waited = 0; !cond(); waited += pollMs) {
        if (waited >= limitMs)
            return false;
        CINTERFACE_SleepMillisec(pollMs);
    }
    return true;
}

struct TickScope {
    TickScope() { t_insideTick = true; }
    ~TickScope() { t_insideTick = false; }
};
} // namespace

// ---- state

MidiStream MidiStream1, MidiStream2;
MidiInfos midiInfo1, midiInfo2;
Mfi mfi1, mfi2;
Db dB1, dB2;

MidiStream *MidiStreamFirst = &MidiStream1, *MidiStreamSecond = &MidiStream2;
MidiInfos *midiInfoFirst = &midiInfo1, *midiInfoSecond = &midiInfo2;
Mfi *mfiFirst = &mfi1, *mfiSecond = &mfi2;
Db *dBFirst = &dB1, *dBSecond = &dB2;

MidiStream *ptrMidiStream = &MidiStream1;
MidiInfos *ptrMidiInfos = &midiInfo1;
Mfi *ptrMfi = &mfi1;
Db *ptrDb = &dB1;

MidiStream *irqMidiStream = nullptr;
MidiInfos *irqMidiInfoStream = nullptr;
Mfi *irqMfi = nullptr;
Db *irq_dbPtr = nullptr;
uint8_t *irq_playbuf = nullptr;
uint8_t *irq_sM = nullptr;

uint8_t *ramBuffer[2] = {nullptr, nullptr};
std::atomic<uint8_t> ramBufferUsed[2];
uint8_t slotMsgBuf[2][SEQ_MSG_BUF_SIZE];
std::atomic<uint8_t> midiPortUsed[2];

MidiStream int_MidiStream;
MidiInfos int_MidiInfo;
Mfi int_mfi;
Db int_dB;

std::atomic<uint8_t> stop{0};
std::atomic<uint8_t> reqStop{0};
std::atomic<uint16_t> stopchi{0};
std::atomic<int> stopTimer{1};
std::atomic<uint32_t> StFlag{0};
std::atomic<uint16_t> nowIsPlaying{0};
std::atomic<uint16_t> txtArea{0};
std::atomic<uint16_t> textStreamActive{0};
std::atomic<int> jumpStatus{0};
std::atomic<uint8_t> rewindOnEOT{0};
std::atomic<uint64_t> tCount{0};
std::atomic<uint8_t> innerUse{0};

std::atomic<uint16_t> melodyChannel{3};
std::atomic<uint16_t> mute{1};
std::atomic<int> melody_mirror{0};
std::atomic<int> globalTranspose{0};
std::atomic<uint16_t> seq_fastRun{0};
std::atomic<uint16_t> tickFirstNote{0};
std::atomic<int> bpmAdjustRate{20};
std::atomic<uint8_t> autoSetBpm{1};
std::atomic<int> crossfadeCurve{0};
std::atomic<int> cueingMode{0};
std::atomic<int> harmonizer{0};
std::atomic<int> harmMode{0};
std::atomic<uint16_t> harmChannel{4};
uint8_t harmNotes[SEQ_HARM_NOTES] = {0xFF, 0xFF, 0xFF, 0xFF};
std::atomic<uint32_t> prescalerMidiClock{0};

std::atomic<int16_t> noteOnVolume[SEQ_FLAT_CHANNELS];
std::atomic<uint8_t> RT_info[SEQ_FLAT_CHANNELS][5];
uint8_t volTrk[SEQ_FLAT_CHANNELS];
uint8_t lastVolTrk[SEQ_FLAT_CHANNELS];
uint8_t lastReverbSysEx[11];

RT_RECORD Rt;

uint64_t autoBpmTime = 0;
int autoBpmStep = 0;
uint16_t seekPitchBend[SEQ_FLAT_CHANNELS];
uint8_t seekExpression[16];
int seekEventCount = 0;
Db *savedDb = nullptr;
const uint32_t deltasAutoset[5] = {20000, 4000, 6000, 8000, 16000};
const uint8_t fadeTime[13] = {80, 80, 80, 80, 75, 65, 60, 55, 50, 45, 40, 35, 30};

EngineSlotTiming engineSlot[2] = {{0, 0, SEQ_DEFAULT_US_PER_QUARTER, SEQ_DEFAULT_BPM, 0, 0, 0, 0},
                                  {0, 0, SEQ_DEFAULT_US_PER_QUARTER, SEQ_DEFAULT_BPM, 0, 0, 0, 0}};

// ---- host and handshake

void SEQUENCER_EX_SetHost(SequencerHost *host)
{
    g_host.store(host, std::memory_order_release);
}

SequencerHost *SEQUENCER_EX_GetHost()
{
    return g_host.load(std::memory_order_acquire);
}

bool SEQUENCER_EX_InsideTick()
{
    return t_insideTick;
}

int SEQUENCER_EX_SetEnableIntrAdvance(int on)
{
    SequencerHost *host = SEQUENCER_EX_GetHost();
    if (!host)
        return 0;
    // The tick holds the (non-recursive) sequencer mutex: anything it calls
    // must not take it again.
    if (t_insideTick)
        return 1;
    return host->setEnableIntrAdvance(on);
}

uint8_t SEQUENCER_EX_InnerUse(void)
{
    return innerUse.load(std::memory_order_relaxed);
}

// ---- tick and clock

void SEQUENCER_EX_MidiSequencer(uint8_t advanceEnabled)
{
    TickScope scope;
    if (reqStop.exchange(0, std::memory_order_acq_rel)) {
        stop.store(1);
        stopchi.store(STOPCHI_REQUEST);
    }
    if (stopTimer.load(std::memory_order_relaxed) == 0) {
        if (advanceEnabled && !stop.load()) {
            for (int role = 0; role < 2 && !stop.load(); ++role) {
                MidiStream *s = roleStream(role);
                if (!s)
                    continue;
                irqMidiStream = s;
                irqMidiInfoStream = roleInfos(role);
                if (s->fileType == 0 || s->fileType == FILE_TYPE_ID3 || s->slotByte == 0 ||
                    (sflags(s) & SF_SUSPENDED))
                    continue;
                const int buf = s->slotByte == 1 ? 0 : 1;
                irqMfi = buf == 0 ? mfiFirst : mfiSecond;
                irq_sM = slotMsgBuf[buf];
                irq_dbPtr = s->db ? s->db : roleDb(role);
                innerUse.store(1);
                CheckAdvance();
                innerUse.store(0);
            }
            const bool anyOccupied = slotOccupied(MidiStreamFirst) || slotOccupied(MidiStreamSecond);
            stop.store(anyOccupied ? 0 : 1);
        }
        // A held section owns the slots the fades close.
        if (advanceEnabled)
            MidiSequencer_FadeTasks();
    }
    VolumeTask();
    stopTimer.store(stHas(ST_PAUSE) ? 1 : 0);
}

void SEQUENCER_EX_SetTcount(uint64_t ms)
{
    if (stopTimer.load(std::memory_order_relaxed)) {
        g_restartClock = true;
    } else if (g_restartClock) {
        g_restartClock = false;
    } else if (ms > g_lastStamp) {
        tCount.fetch_add(2 * (ms - g_lastStamp), std::memory_order_relaxed);
    }
    g_lastStamp = ms;
}

// ---- run state

void SEQUENCER_EX_Run(void)
{
    stop.store(0);
}

uint8_t SEQUENCER_EX_Stop(void)
{
    return stop.load();
}

int SEQUENCER_EX_IsRunning(void)
{
    return stop.load() ? 0 : 1;
}

int SEQUENCER_EX_GetStopReason(void)
{
    return stopchi.load();
}

static void waitForStop(const char *who)
{
    if (stop.load())
        return;
    reqStop.store(1);
    if (!SEQUENCER_EX_GetHost()) {
        // No engine thread runs the tick: nothing can be mid-pass.
        reqStop.store(0);
        stop.store(1);
        stopchi.store(STOPCHI_REQUEST);
        return;
    }
    if (!waitFor([] { return stop.load() != 0; }, STOP_POLL_MS, STOP_WAIT_LIMIT_MS)) {
        rtLogMsg(2, LOG_SRC, __LINE__, "[%s] engine did not stop in %u ms, stopping it", who,
                 STOP_WAIT_LIMIT_MS);
        AdvanceHold hold;
        reqStop.store(0);
        stop.store(1);
        stopchi.store(STOPCHI_REQUEST);
    }
}

void SEQUENCER_EX_ActionStop(void)
{
    waitForStop("SEQUENCER_EX_ActionStop");
    CloseStream(0);
    CloseStream(1);
    silenceAll();
    ResetCueingFactor();
    SEQUENCER_EX_SetEnableIntrAdvance(0);
    freeAllMidiRes();
    resetAllMidiChannels();
    SEQUENCER_CLICK_ClickBarBeatRestore();
    INSERTS_Reset(0);
    INSERTS_Reset(1);
    INSERTS_SetAutoAssign(0);
    C_SIGNAL_precountEnded();
    SEQUENCER_EX_SetEnableIntrAdvance(1);
    SEQUENCER_EX_ClearNextStructures();
    maxMidiGeneralVolume(1);
    SEQUENCER_EX_ClickClrFX(9);
    SEQUENCER_EX_ClickClrFX(melodyChannel.load() & 15);
    C_SIGNAL_StopAllSongs();
    jumpStatus.store(0);
    stClear(ST_PAUSE | ST_GOTO_PENDING);
}

void SEQUENCER_EX_WaitStop(void)
{
    waitForStop("SEQUENCER_EX_WaitStop");
}

// A pause freezes the clock from now on, not from the end of the next tick.
void SEQUENCER_EX_SetPause(int on)
{
    if (on) {
        stSet(ST_PAUSE);
        stopTimer.store(1);
    } else {
        stClear(ST_PAUSE);
    }
}

void SEQUENCER_EX_ActionPause(void)
{
    const uint32_t before = StFlag.fetch_or(ST_PAUSE);
    if (before & ST_PAUSE)
        return;
    stopTimer.store(1);
    silenceAll();
}

void SEQUENCER_EX_ActionResume(void)
{
    // The notes the pause cut sound again with the music, at its first run.
    heldNotesResync(0);
    heldNotesResync(1);
    stClear(ST_PAUSE);
}

int SEQUENCER_EX_GetPause(void)
{
    return stHas(ST_PAUSE) ? -1 : 0;
}

uint32_t SEQUENCER_EX_GetStFlag(void)
{
    return StFlag.load();
}

// ---- sound

void SEQUENCER_EX_StopSoundChan(int flatChannel)
{
    AdvanceHold hold;
    MIDI_CONTROLS_StopSoundChan(flatChannel);
    if (flatChannel >= 0 && flatChannel < 64)
        heldNotesCut(flatChannel / 16 + 1, flatChannel & 15);
}

void SEQUENCER_EX_StopSoundChanAtPort(int port, int chan)
{
    if (port < 0 || port > 3)
        return;
    SEQUENCER_EX_StopSoundChan(port * 16 + (chan & 15));
}

void silenceAll(void)
{
    // One moment for every channel: a synthesizer that schedules by message
    // time cuts them all at once, not some a millisecond later.
    const RealTime::MessageTime at(RealTime::messageTimeMs());
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c)
        SEQUENCER_EX_StopSoundChan(c);
    SEQUENCER_EX_MelodyClick_ResetChan();
    SEQUENCER_EX_SendHarmAllNoteOff();
}

void SEQUENCER_EX_StopSound(void)
{
    silenceAll();
}

void SEQUENCER_EX_SoundHeldNotes(void)
{
    heldNotesResync(0);
    heldNotesResync(1);
}

// ---- tempo

uint32_t streamHeadSize(const MidiStream *s)
{
    return s->fileType == FILE_TYPE_MF4 ? EXTRACT_HEAD_SIZE_MF4 : EXTRACT_HEAD_SIZE;
}

uint32_t effectiveUsPerQuarter(const MidiStream *s)
{
    const EngineSlotTiming &e = timingOf(s);
    const int delta = int(s->userTempoDelta) + int(s->autoTempoDelta);
    const int bpm = int(s->songBpm) + delta;
    if (bpm <= 0 || e.songUsPerQuarter == 0)
        return 0;
    if (delta == 0)
        return e.songUsPerQuarter;
    // The song's exact tempo plus the offsets in BPM.
    const int64_t us = e.songUsPerQuarter;
    const int64_t den = 60000000LL + int64_t(delta) * us;
    if (den <= 0)
        return 0;
    const int64_t q = 60000000LL * us / den;
    return uint32_t(q < 1 ? 1 : (q > 0x7FFFFFFF ? 0x7FFFFFFF : q));
}

void rebaseStream(MidiStream *s, uint64_t atUs)
{
    EngineSlotTiming &e = timingOf(s);
    e.baseUs = atUs;
    s->timeBase = uint32_t(atUs / 500);
    s->currentTick = 0;
    s->eventTick = 0;
    s->prevEventTick = 0;
}

void recomputeTempo(MidiStream *s, uint64_t atUs)
{
    EngineSlotTiming &e = timingOf(s);
    // Someone set the song BPM without a tempo event (a song start): follow it.
    if (s->songBpm > 0 && s->songBpm != e.songBpmOfTempo) {
        e.songUsPerQuarter = 60000000u / uint32_t(s->songBpm);
        e.songBpmOfTempo = s->songBpm;
    }
    const int bpm = int(s->songBpm) + int(s->userTempoDelta) + int(s->autoTempoDelta);
    if (bpm > 0) {
        prescalerMidiClock.store(bpm <= 250 ? uint32_t(2500 / bpm) : 0);
        s->msPerBeat = (60000000u / uint32_t(bpm) + 500) / 1000;
    } else {
        s->msPerBeat = 0;
    }
    e.usPerQuarter = effectiveUsPerQuarter(s);
    rebaseStream(s, atUs);
}

void ComputeTime(MidiStream *stream)
{
    if (!stream)
        return;
    recomputeTempo(stream, nowUs());
    if (!t_insideTick)
        rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX] Stream %i CheckAdvance BPM = %i",
                 stream->slotByte,
                 int(stream->songBpm) + int(stream->userTempoDelta) + int(stream->autoTempoDelta));
}

void SEQUENCER_EX_SetDeltaBpmCurrent(int delta)
{
    AdvanceHold hold;
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    // The engine is held still: the line waits in the ring, not for the file.
    rtLogMsgDeferred(3, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetDeltaBpmCurrent] delta= %i, lpMidiStream= %p",
                     delta, static_cast<void *>(ptrMidiStream));
    if (!ptrMidiStream)
        return;
    ptrMidiStream->userTempoDelta = int16_t(delta);
    if (ptrDb)
        ptrDb->tempoDelta = int16_t(delta);
    stSet(ST_TEMPO_RECOMPUTE);
}

void SEQUENCER_EX_SetDeltaTransposeCurrent(int delta)
{
    // The tick points the same pointers at the slot when a seek arrives.
    AdvanceHold hold;
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    rtLogMsgDeferred(3, LOG_SRC, __LINE__,
                     "[SEQUENCER_EX_SetDeltaTransposeCurrent] delta= %i, ptrMidiStream= %p", delta,
                     static_cast<void *>(ptrMidiStream));
    if (!ptrMidiStream)
        return;
    // No cut: the notes held move to the new key at the interpreter's next
    // run (each ends at the pitch it was struck at), the drums go on.
    SEQUENCER_EX_MelodyClick_ResetChan();
    if (harmonizer.load())
        SEQUENCER_EX_SendHarmAllNoteOff();
    ptrMidiStream->transpose = int16_t(delta);
    if (ptrDb)
        ptrDb->transpose = int16_t(delta);
    // Heard as soon as the output allows, as a pause is.
    heldNotesResync(slotIndexOf(ptrMidiStream), true);
}

// ---- seek

void clearSeekTables(void)
{
    for (auto &p : seekPitchBend)
        p = 0xFFFF;
    for (auto &e : seekExpression)
        e = 0xFF;
    seekEventCount = 0;
}

int SEQUENCER_EX_SeekBar(int bar, int atBar)
{
    // The song stands still from the silence until the seek has taken over:
    // a note started in between would have its note-off skipped by the seek
    // and sound on. The forward seek and the rewind switch advance on again.
    AdvanceHold hold;
    const int current = rtBar();
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    // No song in play (stopped, or it has ended): nothing to seek in.
    if (!ptrMidiStream || ptrMidiStream->slotByte == 0)
        return 0;
    if (current < atBar) {
        sflagsSet(ptrMidiStream, SF_SEEK_AT_BAR);
        ptrMidiStream->targetBar = bar;
        ptrMidiStream->atBar = uint16_t(atBar);
        return 1;
    }
    // A seek past the last bar would never arrive.
    if (ptrMidiInfos && ptrMidiInfos->barCount > 0 && bar >= int(ptrMidiInfos->barCount))
        bar = int(ptrMidiInfos->barCount) - 1;
    if (bar < 0)
        bar = 0;
    silenceAll();
    // What the song held here ends with the place it is left at.
    heldNotesClear(slotIndexOf(ptrMidiStream));
    // Bar 0 is the start of the song: going there from inside the first bar
    // (the player's stop) must still start it again from the top.
    if (current == bar && bar != 0) {
        C_SIGNAL_SeekDone();
        return 1;
    }
    if (current < bar)
        return SEQUENCER_EX_ForwardToTargetBar(bar);
    SEQUENCER_EX_RewindToTargetBar(bar);
    return 1;
}

int SEQUENCER_EX_ForwardToTargetBar(int bar)
{
    if (stop.load())
        return 0;
    SEQUENCER_EX_SetEnableIntrAdvance(0);
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    clearSeekTables();
    MidiStream *s = ptrMidiStream;
    if (!s || (sflags(s) & SF_FORWARD_SEEK)) {
        SEQUENCER_EX_SetEnableIntrAdvance(1);
        return 0;
    }
    sflagsSet(s, SF_FORWARD_SEEK);
    s->targetBar = bar;
    SEQUENCER_EX_SetEnableIntrAdvance(1);
    return 1;
}

void SEQUENCER_EX_RewindToTargetBar(int bar)
{
    SEQUENCER_EX_SetEnableIntrAdvance(0);
    clearSeekTables();
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    MidiStream *s = ptrMidiStream;
    Mfi *m = ptrMfi;
    if (!s || !m || !m->buffer) {
        SEQUENCER_EX_SetEnableIntrAdvance(1);
        return;
    }
    if (bar >= 1)
        sflagsSet(s, SF_FORWARD_SEEK | SF_REWIND);
    else
        sflagsClear(s, SF_FORWARD_SEEK | SF_REWIND);
    s->targetBar = bar < 2 ? 1 : bar;
    // From the top the song's tempo is 120 BPM until its own tempo event.
    s->songBpm = SEQ_DEFAULT_BPM;
    timingOf(s).songUsPerQuarter = SEQ_DEFAULT_US_PER_QUARTER;
    timingOf(s).songBpmOfTempo = SEQ_DEFAULT_BPM;
    recomputeTempo(s, nowUs());
    m->errorCode = 0;
    s->startBar = 0;
    s->currentBar = 0;
    s->currentBeat = 0;
    timingOf(s).bar = 0;
    timingOf(s).errorReported = 0;
    SEQUENCER_EX_ResetReadPosition(s, m);
    setRtTick(0);
    if (bar < 1) {
        setRtBar(0);
        setRtBeat(0);
        // From the top, as a song starts: with the same lead-in to its first
        // note (a Play after Stop, a double-click).
        m->fastRun = uint16_t(SEQUENCER_EX_GetFastRun());
        tickFirstNote.store(0);
    }
    SEQUENCER_EX_SetEnableIntrAdvance(1);
    if (!t_insideTick) {
        const bool arrived = waitFor(
            [s] { return !(sflags(s) & SF_REWIND) || stHas(ST_PAUSE); }, REWIND_POLL_MS,
            REWIND_WAIT_LIMIT_MS);
        if (!arrived)
            rtLogMsg(2, LOG_SRC, __LINE__, "[SEQUENCER_EX_RewindToTargetBar] bar %d not reached in %u ms",
                     bar, REWIND_WAIT_LIMIT_MS);
    }
    if (bar < 1)
        C_SIGNAL_SeekDone();
}

void SEQUENCER_EX_ClearSeekFlags(void)
{
    AdvanceHold hold;
    SEQUENCER_EX_AssignPtrs(nowIsPlaying.load());
    if (!ptrMidiStream)
        return;
    sflagsClear(ptrMidiStream, SF_FORWARD_SEEK | SF_SEEK_AT_BAR);
    ptrMidiStream->targetBar = -1;
    ptrMidiStream->atBar = 0;
}

// ---- slots, buffers, ports

MidiStream *roleStream(int slot) { return slot == 0 ? MidiStreamFirst : MidiStreamSecond; }
Mfi *roleMfi(int slot) { return slot == 0 ? mfiFirst : mfiSecond; }
Db *roleDb(int slot) { return slot == 0 ? dBFirst : dBSecond; }
MidiInfos *roleInfos(int slot) { return slot == 0 ? midiInfoFirst : midiInfoSecond; }

int SEQUENCER_EX_AssignPtrs(int slot)
{
    const int role = slot == 0 ? 0 : 1;
    ptrMidiStream = roleStream(role);
    ptrMidiInfos = roleInfos(role);
    ptrMfi = roleMfi(role);
    ptrDb = roleDb(role);
    return 1;
}

void SEQUENCER_EX_SetMidiStream1(MidiStream *s) { MidiStreamFirst = s ? s : &MidiStream1; }
void SEQUENCER_EX_SetMidiStream2(MidiStream *s) { MidiStreamSecond = s ? s : &MidiStream2; }
void SEQUENCER_EX_SetMfi1(Mfi *m) { mfiFirst = m ? m : &mfi1; }
void SEQUENCER_EX_SetMfi2(Mfi *m) { mfiSecond = m ? m : &mfi2; }
void SEQUENCER_EX_SetMidiInfo1(MidiInfos *i) { midiInfoFirst = i ? i : &midiInfo1; }
void SEQUENCER_EX_SetMidiInfo2(MidiInfos *i) { midiInfoSecond = i ? i : &midiInfo2; }
void SEQUENCER_EX_SetDb1(Db *d) { dBFirst = d ? d : &dB1; }
void SEQUENCER_EX_SetDb2(Db *d) { dBSecond = d ? d : &dB2; }

void SEQUENCER_EX_BindOwnSlots(void)
{
    SEQUENCER_EX_SetMidiStream1(&MidiStream1);
    SEQUENCER_EX_SetMidiStream2(&MidiStream2);
    SEQUENCER_EX_SetMfi1(&mfi1);
    SEQUENCER_EX_SetMfi2(&mfi2);
    SEQUENCER_EX_SetMidiInfo1(&midiInfo1);
    SEQUENCER_EX_SetMidiInfo2(&midiInfo2);
    SEQUENCER_EX_SetDb1(&dB1);
    SEQUENCER_EX_SetDb2(&dB2);
}

MidiStream *SEQUENCER_EX_GetMidiStream1(void) { return MidiStreamFirst; }
MidiStream *SEQUENCER_EX_GetMidiStream2(void) { return MidiStreamSecond; }
Mfi *SEQUENCER_EX_GetMfi1(void) { return mfiFirst; }
Mfi *SEQUENCER_EX_GetMfi2(void) { return mfiSecond; }
MidiInfos *SEQUENCER_EX_GetMidiInfo1(void) { return midiInfoFirst; }
MidiInfos *SEQUENCER_EX_GetMidiInfo2(void) { return midiInfoSecond; }
Db *SEQUENCER_EX_GetDb1(void) { return dBFirst; }
Db *SEQUENCER_EX_GetDb2(void) { return dBSecond; }

MidiStream *SEQUENCER_EX_GetMidiStreamInPlay(void) { return roleStream(nowIsPlaying.load() ? 1 : 0); }
MidiInfos *SEQUENCER_EX_GetMidiInfoInPlay(void) { return roleInfos(nowIsPlaying.load() ? 1 : 0); }
Db *SEQUENCER_EX_GetDbInPlay(void) { return roleDb(nowIsPlaying.load() ? 1 : 0); }

int SEQUENCER_EX_MidiPortInPlay(void)
{
    const MidiStream *s = SEQUENCER_EX_GetMidiStreamInPlay();
    return s ? s->port : NO_PORT;
}

void SEQUENCER_EX_SetRamBuffers(uint8_t *buffer0, uint8_t *buffer1)
{
    ramBuffer[0] = buffer0;
    ramBuffer[1] = buffer1;
}

uint8_t *SEQUENCER_EX_GetFreeBuffer(int *index)
{
    for (int i = 0; i < 2; ++i) {
        uint8_t expected = 0;
        if (ramBuffer[i] && ramBufferUsed[i].compare_exchange_strong(expected, 1)) {
            if (index)
                *index = i;
            return ramBuffer[i];
        }
    }
    if (index)
        *index = -1;
    return nullptr;
}

int SEQUENCER_EX_getAssociateTextArea(const Mfi *mfi)
{
    if (!mfi || !mfi->buffer)
        return -1;
    if (mfi->buffer == ramBuffer[0])
        return 0;
    if (mfi->buffer == ramBuffer[1])
        return 1;
    return -1;
}

int SEQUENCER_EX_GetNumUsedBuffer(void)
{
    if (ramBufferUsed[0].load())
        return 0;
    return ramBufferUsed[1].load() ? 1 : -1;
}

int SEQUENCER_EX_GetFreeMidiPort(void)
{
    for (int p = 0; p < 2; ++p) {
        uint8_t expected = 0;
        if (midiPortUsed[p].compare_exchange_strong(expected, 1))
            return p;
    }
    return -1;
}

void freeMidiPort(int port, int reset)
{
    releasePort(port, reset != 0);
    zeroAllMeters();
}

void freeMidiPortMF5(int port)
{
    if (port == 0 || port == 1)
        midiPortUsed[port].store(0);
}

void resetBufferStatus(void)
{
    ramBufferUsed[0].store(0);
    ramBufferUsed[1].store(0);
    for (int role = 0; role < 2; ++role) {
        if (!slotOccupied(roleStream(role)))
            continue;
        const int b = SEQUENCER_EX_getAssociateTextArea(roleMfi(role));
        if (b >= 0)
            ramBufferUsed[b].store(1);
    }
}

void SEQUENCER_EX_ClearWorkStructures(void)
{
    std::memset(slotMsgBuf, 0, sizeof slotMsgBuf);
    setRtBar(0);
    setRtBeat(0);
    setRtTick(0);
}

void SEQUENCER_EX_ClearNextStructures(void)
{
    std::memset(&int_MidiStream, 0, sizeof int_MidiStream);
    std::memset(&int_MidiInfo, 0, sizeof int_MidiInfo);
    std::memset(&int_mfi, 0, sizeof int_mfi);
    std::memset(&int_dB, 0, sizeof int_dB);
}

int IsNextStructuresEmpty(void)
{
    return int_MidiStream.fileType == 0 ? 1 : 0;
}

void SEQUENCER_EX_ResetReadPosition(MidiStream *stream, Mfi *mfi)
{
    if (!stream || !mfi)
        return;
    const uint32_t size = mfi->streamLength < EVENT_BUFFER_SIZE ? mfi->streamLength : EVENT_BUFFER_SIZE;
    ByteReader r(mfi->buffer, mfi->buffer ? size : 0, streamHeadSize(stream));
    uint32_t firstDelta = 0;
    if (!r.vlq(firstDelta))
        firstDelta = 0;
    mfi->readPosition = r.pos;
    mfi->lastDelta = firstDelta;
    mfi->ticksBeforeEvent = 0;
    mfi->totalTicks = 0;
    mfi->runningStatus = UNSET_WORD;
    mfi->runningChannel = 0;
    mfi->startFlags = uint16_t(mfi->startFlags & ~2u);
    stream->eventTick = 0;
    timingOf(stream).nextAdvance = firstDelta;
    sflagsClear(stream, SF_PENDING | SF_SKIP_DELTA);
    heldNotesClear(slotIndexOf(stream));
}

void CloseStream(int which)
{
    rtLogMsg(4, LOG_SRC, __LINE__, "[CloseStream] Buffer = %i", which);
    const int role = which == 0 ? 0 : 1;
    MidiStream *s = roleStream(role);
    if (!s || s->fileType == 0 || s->fileType == FILE_TYPE_ID3)
        return;
    releasePort(s->port, true);
    zeroAllMeters();
    resetSlotTiming(s);
    heldNotesClear(role);
    std::memset(s, 0, sizeof *s);
    std::memset(roleMfi(role), 0, sizeof(Mfi));
    resetBufferStatus();
}

void CloseActualStream(int sendReset)
{
    MidiStream *s = irqMidiStream;
    if (!s)
        return;
    rtLogMsg(4, LOG_SRC, __LINE__, "[CloseActualStream] ");
    sendStopSoundAllChannels(homeOutput(s));
    releasePort(s->port, sendReset != 0);
    zeroAllMeters();
    resetSlotTiming(s);
    heldNotesClear(slotIndexOf(s));
    std::memset(s, 0, sizeof *s);
    resetBufferStatus();
}

void CloseActualStreamMF5(void)
{
    MidiStream *s = irqMidiStream;
    if (!s)
        return;
    freeMidiPortMF5(s->port);
    resetSlotTiming(s);
    heldNotesClear(slotIndexOf(s));
    std::memset(s, 0, sizeof *s);
    resetBufferStatus();
}

// A restarted stream reads on from its first event, audible, on the first
// output selection, with the first delta still to skip.
constexpr uint32_t SF_RESTART_CLEARED = SF_PENDING | SF_SECOND_PORT_COPY | SF_SKIP_DELTA | SF_OUT_SEL_1 |
                                        SF_OUT_SEL_2 | SF_CHASE_HIGH | SF_AUDIBLE;
constexpr uint32_t SF_RESTART_SET = SF_SKIP_DELTA | SF_OUT_SEL_1 | SF_CHASE_HIGH | SF_AUDIBLE;

void LoadActualStreamForSetupMF5(void)
{
    MidiStream *s = irqMidiStream;
    if (!s || !irqMfi)
        return;
    sendStopSoundAllChannels(homeOutput(s));
    sflagsAssign(s, (sflags(s) & ~(SF_RESTART_CLEARED | SF_FADE_AND_STOP)) | SF_RESTART_SET);
    rebaseStream(s, nowUs());
    SEQUENCER_EX_ResetReadPosition(s, irqMfi);
}

void StartStream(MidiStream *s)
{
    if (!s)
        return;
    rtLogMsg(4, LOG_SRC, __LINE__, "[SEQUENCER_EX] StartStream %d", slotIndexOf(s));
    const uint32_t f = sflags(s);
    sflagsAssign(s, (f & ~(SF_SUSPENDED | SF_SECOND_PORT_COPY | SF_CHASE_FADE_IN | SF_FADE_AND_STOP)) |
                       ((f & SF_USES_SECOND_PORT) ? SF_SECOND_PORT_COPY : 0u));
    rebaseStream(s, nowUs());
}

void RestartStream(MidiStream *s, Mfi *m)
{
    if (!s || !m)
        return;
    sendStopSoundAllChannels(MidiOutput::of<1>());
    sendStopSoundAllChannels(MidiOutput::of<2>());
    sflagsAssign(s, (sflags(s) & ~SF_RESTART_CLEARED) | SF_RESTART_SET);
    rebaseStream(s, nowUs());
    SEQUENCER_EX_ResetReadPosition(s, m);
}

void setTextAreaActive(int slot)
{
    const int role = slot == 0 ? 0 : 1;
    Mfi *m = roleMfi(role);
    const int area = SEQUENCER_EX_getAssociateTextArea(m);
    txtArea.store(uint16_t(area < 0 ? 0 : area));
    textStreamActive.store(uint16_t(role));
    setRtTick(m ? m->totalTicks : 0);
    if (MidiStream *s = roleStream(role))
        s->prevEventTick = 0;
}

void freeAllMidiRes(void)
{
    for (int p = 0; p < 2; ++p) {
        releasePort(p, true);
        zeroAllMeters();
    }
    resetSlotTiming(&MidiStream1);
    resetSlotTiming(&MidiStream2);
    heldNotesClear(0);
    heldNotesClear(1);
    std::memset(&MidiStream1, 0, sizeof MidiStream1);
    std::memset(&MidiStream2, 0, sizeof MidiStream2);
    std::memset(&mfi1, 0, sizeof mfi1);
    std::memset(&mfi2, 0, sizeof mfi2);
    ClearMidiInfos(&midiInfo1);
    ClearMidiInfos(&midiInfo2);
    ramBufferUsed[0].store(0);
    ramBufferUsed[1].store(0);
}

void resetAllMidiChannels(void)
{
    for (int c = 16; c < SEQ_FLAT_CHANNELS; ++c)
        SEQUENCER_EX_StopSoundChan(c);
    SEQUENCER_EX_SendHarmAllNoteOff();
    std::memset(lastReverbSysEx, 0, sizeof lastReverbSysEx);
    MIDI_CONTROLS_Push_Reset(1);
    MIDI_CONTROLS_Push_Reset(2);
    zeroAllMeters();
    g_portResetDone[0] = g_portResetDone[1] = 1;
}

void resetMidiChannels(void)
{
    for (int p = 0; p < 2; ++p) {
        if (slotOccupied(roleStream(p))) {
            g_portResetDone[p] = 0;
            continue;
        }
        if (g_portResetDone[p])
            continue;
        const MidiStream *other = roleStream(1 - p);
        if (!(slotOccupied(other) && (sflags(other) & SF_USES_SECOND_PORT))) {
            for (int c = 0; c < 16; ++c)
                SEQUENCER_EX_StopSoundChan(p * 16 + c);
            MIDI_CONTROLS_Push_Reset(ownOutput(p).number());
        }
        g_portResetDone[p] = 1;
        zeroAllMeters();
    }
}

void MidiWS(void)
{
    const MidiStream *s = irqMidiStream;
    if (!s || !irqMfi || !irq_sM)
        return;
    const int len = irqMfi->messageLength;
    CINTERFACE_SendMidiEvent(eventOutput(s).number(), irq_sM, len);
}

void assignIrqStructPtr(int slot)
{
    const int role = slot == 0 ? 0 : 1;
    irqMfi = roleMfi(role);
    irq_sM = slotMsgBuf[role];
}

// ---- per-channel state

int16_t SEQUENCER_EX_GetNoteOnVolume(int flatChannel)
{
    if (flatChannel < 0 || flatChannel >= SEQ_FLAT_CHANNELS)
        return 0;
    return noteOnVolume[flatChannel].load(std::memory_order_relaxed);
}

void SEQUENCER_EX_SetNoteOnVolume(int flatChannel, int layer, int value)
{
    if (flatChannel < 0 || flatChannel >= SEQ_FLAT_CHANNELS)
        return;
    if (noteOnVolume[flatChannel].load() == value)
        return;
    noteOnVolume[flatChannel].store(int16_t(value & 255));
    C_SIGNAL_NoteOnVolumeChanged(flatChannel, layer, value);
}

void zeroAllMeters(void)
{
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c) {
        if (noteOnVolume[c].exchange(0) != 0)
            C_SIGNAL_NoteOnVolumeChanged(c, 0, 0);
    }
}

void SEQUENCER_EX_ResetAllNoteOnVolume(void)
{
    zeroAllMeters();
}

void UpdateNoteOnOfDrumTrack(uint32_t amount)
{
    const Db *db = irq_dbPtr;
    if (!db)
        return;
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c) {
        if (!(db->layers[c][0].flags & DB_FLAG_DRUM))
            continue;
        const int16_t v = noteOnVolume[c].load(std::memory_order_relaxed);
        noteOnVolume[c].store(uint32_t(v) > amount ? int16_t(v - int16_t(amount)) : 0,
                              std::memory_order_relaxed);
    }
}

void EX_SEQUENCER_SetRealTimeProgramChange(int flatChannel, int program)
{
    if (flatChannel < 0 || flatChannel >= SEQ_FLAT_CHANNELS)
        return;
    RT_info[flatChannel][RT_INFO_PROGRAM].store(uint8_t(program & 0xFF));
}

int EX_SEQUENCER_GetRealTimeProgramChange(int flatChannel)
{
    if (flatChannel < 0 || flatChannel >= SEQ_FLAT_CHANNELS)
        return 255;
    return RT_info[flatChannel][RT_INFO_PROGRAM].load();
}

void SEQUENCER_EX_SetSlidersValue(int group, int value)
{
    if (group < 0 || group >= SEQ_SLIDER_GROUPS) {
        rtLogMsg(2, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetSlidersValue] group %d ignored", group);
        return;
    }
    VOLUMES_SetSliderValue(group, value);
}

void GetsSliderVolStrumPannel(void)
{
    for (int c = 0; c < SEQ_FLAT_CHANNELS; ++c) {
        if (volTrk[c] == lastVolTrk[c])
            continue;
        const unsigned char msg[3] = {uint8_t(0xB0 | (c & 15)), 7, uint8_t(volTrk[c] & 127)};
        const int port = irqMidiStream ? irqMidiStream->port : 0;
        CINTERFACE_SendMidiEvent(outputFor(port, c / 16).number(), msg, 3);
        lastVolTrk[c] = volTrk[c];
    }
}

// ---- melody, harmonizer, settings

void SEQUENCER_EX_SetMelodyChannel(int channel)
{
    if (channel < 0 || channel > 15) {
        rtLogMsg(2, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetMelodyChannel] channel %d ignored", channel);
        return;
    }
    melodyChannel.store(uint16_t(channel));
    SEQUENCER_EX_SoundHeldNotes();
}

int SEQUENCER_EX_GetMelodyChannel(void)
{
    return melodyChannel.load();
}

int SEQUENCER_EX_SetMelodyMode(int mode)
{
    mute.store(uint16_t(mode));
    // A melody let in again sounds what it holds at once.
    SEQUENCER_EX_SoundHeldNotes();
    C_SIGNAL_MelodyModeChangedWrapper(mode);
    return mode;
}

int SEQUENCER_EX_ChangeMelodyMode(int mode)
{
    return SEQUENCER_EX_SetMelodyMode(mode);
}

void SEQUENCER_EX_SetHarmonizerSeqControl(int on)
{
    harmonizer.store(on != 0);
    rtLogMsg(3, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetHarmonizerSeqControl] harmonizer= %i, harmChannel= %i",
             harmonizer.load(), int(harmChannel.load()));
}

void SEQUENCER_EX_SetHarmonyTrack(int channel)
{
    if (channel < 0 || channel > 15) {
        rtLogMsg(2, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetHarmonyTrack] channel %d ignored", channel);
        return;
    }
    harmChannel.store(uint16_t(channel));
    rtLogMsg(3, LOG_SRC, __LINE__, "[SEQUENCER_EX_SetHarmonyTrack] harmonizer= %i, harmChannel= %i",
             harmonizer.load(), channel);
}

void SEQUENCER_EX_SetHarmonyMode(int mode) { harmMode.store(mode); }
int SEQUENCER_EX_GetHarmonizerSeqControl(void) { return harmonizer.load(); }
int SEQUENCER_EX_GetHarmonyMode(void) { return harmMode.load(); }
int SEQUENCER_EX_GetHarmonyTrack(void) { return harmChannel.load(); }

void SEQUENCER_EX_SendHarmAllNoteOff(void)
{
    AdvanceHold hold;
    const int channel = (harmMode.load() == 1 ? melodyChannel.load() : harmChannel.load()) & 15;
    for (int i = 0; i < SEQ_HARM_NOTES; ++i) {
        if (harmNotes[i] == 0xFF)
            continue;
        const unsigned char msg[3] = {uint8_t(0x80 | channel), uint8_t(harmNotes[i] & 127), 1};
        CINTERFACE_QueueMidiEvent4(msg, 3);
        if (!t_insideTick)
            rtLogMsgDeferred(4, LOG_SRC, __LINE__, "[SEQUENCER_EX_SendHarmAllNoteOff] HARMONIZER Note= %x, Key= %x",
                             msg[0], msg[1]);
        harmNotes[i] = 0xFF;
    }
    SEQUENCER_EX_StopSoundChan(channel);
}

void ResumeHarmonizer(void)
{
    C_SIGNAL_Harm_SetHarmonizerMute(0);
}

void SeqInitHarm(void)
{
    for (auto &n : harmNotes)
        n = 0xFF;
}

int SendHarmNoteOn(uint8_t note, uint8_t *msg)
{
    for (auto &n : harmNotes) {
        if (n == 0xFF) {
            n = note;
            break;
        }
    }
    if (msg)
        msg[1] = note;
    return 1;
}

int SendHarmNoteOff(uint8_t note, uint8_t *msg)
{
    for (auto &n : harmNotes) {
        if (n == note) {
            n = 0xFF;
            break;
        }
    }
    if (msg)
        msg[1] = note;
    return 1;
}

void SEQUENCER_EX_InitVolumes(void)
{
    initVolumes();
    SeqInitHarm();
}

void SEQUENCER_EX_SetFastRun(int on) { seq_fastRun.store(uint16_t(on)); }
int SEQUENCER_EX_GetFastRun(void) { return seq_fastRun.load(); }
int SEQUENCER_EX_GetTickFirstNote(void) { return tickFirstNote.load(); }
void SEQUENCER_EX_SetCueingMode(int mode) { cueingMode.store(mode); }
void SEQUENCER_EX_SetCrossFadeCurve(int curve) { crossfadeCurve.store(curve); }
void SEQUENCER_EX_SetAutoBpmAdjustRate(int rate) { bpmAdjustRate.store(rate); }
void SEQUENCER_EX_SetGlobalTranspose(int semitones) { globalTranspose.store(semitones); }
void SEQUENCER_EX_SetEnableAutoSetBpm(int on) { autoSetBpm.store(on != 0); }
void SEQUENCER_EX_RewindOnEOT(int on) { rewindOnEOT.store(uint8_t(on)); }

void SEQUENCER_EX_SetShortMode(int on)
{
    if (on)
        stSet(ST_SHORT_MODE);
    else
        stClear(ST_SHORT_MODE);
}

void SEQUENCER_EX_SetWizardMode(int on)
{
    if (on)
        stSet(ST_WIZARD_MODE);
    else
        stClear(ST_WIZARD_MODE);
}

// ---- getters

int SEQUENCER_EX_GetCurrentBPM(void)
{
    const MidiStream *s = SEQUENCER_EX_GetMidiStreamInPlay();
    if (!s)
        return 0;
    return int(s->songBpm) + int(s->userTempoDelta) + int(s->autoTempoDelta);
}

uint32_t SEQUENCER_EX_GetCurrentTick(void)
{
    return uint32_t(rtTick());
}

int SEQUENCER_EX_IsValidTick(void)
{
    return SEQUENCER_CLICK_isValidClick();
}

int SEQUENCER_EX_GetCurrentBar(void)
{
    return rtBar();
}

uint32_t SEQUENCER_EX_GetPrescalerMidiClock(void)
{
    return prescalerMidiClock.load();
}

int SEQUENCER_EX_GetTempoSegment(uint64_t *baseUs, uint32_t *usPerQuarter, uint64_t *nowUsOut)
{
    const MidiStream *s = SEQUENCER_EX_GetMidiStreamInPlay();
    if (!s || stop.load() || endTailWaiting(s))
        return 0;
    const EngineSlotTiming &e = timingOf(s);
    *baseUs = e.baseUs;
    *usPerQuarter = e.usPerQuarter;
    *nowUsOut = nowUs();
    return 1;
}

int SEQUENCER_EX_getFadeBeatFromBPM(int bpm)
{
    if (bpm <= 0)
        return 0;
    const int index = bpm < 30 ? 0 : (bpm < 160 ? (bpm - 30) / 10 : 11);
    return bpm * fadeTime[index] / 600;
}

int getFadeBeat(int slot)
{
    const MidiStream *s = roleStream(slot == 0 ? 0 : 1);
    if (!s)
        return 0;
    return SEQUENCER_EX_getFadeBeatFromBPM(int(s->songBpm) + int(s->userTempoDelta) +
                                           int(s->autoTempoDelta));
}

int SEQUENCER_EX_GetSubTrackIndx(void)
{
    return 0;
}

MidiStream *getMidiStreamPtr(int slot)
{
    if (slot == 0 || slot == 1)
        return roleStream(slot);
    return nullptr;
}

MidiStream *EX_SEQUENCER_GetMidiStreamPtr(void)
{
    return ptrMidiStream;
}

// ---- rarely used

void SEQUENCER_EX_logEvents(int port, const uint8_t *bytes, int n)
{
    char line[300];
    int pos = std::snprintf(line, sizeof line, "MIDI message port %i: ", port);
    for (int i = 0; i < n && bytes && pos < int(sizeof line) - 6; ++i)
        pos += std::snprintf(line + pos, sizeof line - size_t(pos), "%02x, ", bytes[i]);
    rtLogMsg(4, LOG_SRC, __LINE__, "%s", line);
}

void SEQUENCER_EX_MasterKeb_Volume(int volume)
{
    const unsigned char msg[8] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, uint8_t(volume & 127), 0xF7};
    CINTERFACE_SendMidiEvent3(msg, 8);
    rtLogMsg(4, LOG_SRC, __LINE__, "MIDI MasterKeyb Volume : %i ", volume);
}

void SEQUENCER_EX_MIDI_MKbrd_GeneralVolume(int volume)
{
    VOLUME_setMasterKFactor(volume);
}
